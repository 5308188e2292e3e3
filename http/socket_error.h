// Socket-level failures and the text of a socket error number.
//
// Error numbers are the Windows Sockets numbers (10061 for a refused connection, 11001 for a
// failed name lookup, ...): the operating system's errno values are mapped onto them by the
// socket stack (http/id_stack.h) so that every message keeps the "Socket Error # %d\r\n%s" form
// the download worker recognises. Pure functions here; safe from any thread.
#pragma once

#include <string>

#include "http/id_exception.h"

namespace pixhaul {

// Socket error numbers the connection layer names in code.
inline constexpr int kWsaEIntr = 10004;
inline constexpr int kWsaEInval = 10022;
inline constexpr int kWsaEWouldBlock = 10035;
inline constexpr int kWsaEAddrInUse = 10048;
inline constexpr int kWsaEConnReset = 10054;
inline constexpr int kWsaENotConn = 10057;
inline constexpr int kWsaEShutdown = 10058;
inline constexpr int kWsaETimedOut = 10060;
inline constexpr int kWsaEConnRefused = 10061;
inline constexpr int kWsaHostNotFound = 11001;

inline constexpr const char* kInvalidSocketMessage = "Cannot allocate socket.";
inline constexpr const char* kCouldNotBindSocketMessage =
    "Could not bind socket. Address and port are already in use.";
inline constexpr const char* kSetSizeExceededMessage = "Set Size Exceeded.";
inline constexpr const char* kStackInitializationFailedMessage = "Winsock Initialization Error.";

// The fixed text for an error number, empty for a number outside the table.
std::string SocketErrorDescription(int number);
// "Socket Error # <number>\r\n<description>" (an empty second line outside the table).
std::string SocketErrorText(int number);

// A failed socket call; carries the socket error number it was raised for.
class EIdSocketError : public EIdException {
 public:
  explicit EIdSocketError(int number) : EIdException(SocketErrorText(number)), number_(number) {}
  int LastError() const noexcept { return number_; }

 private:
  int number_;
};

// Raises EIdSocketError for `number`.
[[noreturn]] void ThrowSocketError(int number);

class EIdInvalidSocket : public EIdException {
 public:
  EIdInvalidSocket() : EIdException(kInvalidSocketMessage) {}
};

class EIdStackError : public EIdException {
 public:
  using EIdException::EIdException;
};

class EIdStackInitializationFailed : public EIdStackError {
 public:
  EIdStackInitializationFailed() : EIdStackError(kStackInitializationFailedMessage) {}
};

class EIdStackSetSizeExceeded : public EIdStackError {
 public:
  EIdStackSetSizeExceeded() : EIdStackError(kSetSizeExceededMessage) {}
};

class EIdSocketHandleError : public EIdException {
 public:
  using EIdException::EIdException;
};

class EIdCouldNotBindSocket : public EIdSocketHandleError {
 public:
  EIdCouldNotBindSocket() : EIdSocketHandleError(kCouldNotBindSocketMessage) {}
};

// "%s is not a valid service."
class EIdInvalidServiceName : public EIdException {
 public:
  explicit EIdInvalidServiceName(const std::string& name);
};

}  // namespace pixhaul
