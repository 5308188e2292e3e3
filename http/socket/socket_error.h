// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The socket errors: one table of {system error, socket error number, text} that gives the
// mapping of the system's errors, the messages and the numbers the code names; and the
// socket-level exceptions.
//
// Error numbers are the Windows Sockets numbers (10061 for a refused connection, 11001 for a
// failed name lookup, ...): the socket stack (http/socket/socket_stack.h) maps the operating
// system's errno values onto them with ErrnoToSocketError, so that every message keeps the "Socket
// Error # %d\r\n%s" form the download worker recognises. Pure functions here; safe from any thread.
#pragma once

#include <cerrno>
#include <string>

#include "http/socket/connection_exceptions.h"

namespace pixhaul {

struct SocketErrorEntry {
  int error;          // the system's errno value
  int number;         // the socket error number it becomes
  const char* text;   // the second line of the message
  int alsoError = 0;  // a second errno value of the same meaning, or 0
};

// The texts are those users and the download worker already know; keep them byte for byte.
inline constexpr SocketErrorEntry kSocketErrors[] = {
    {EINTR, 10004, "Interrupted system call."},
    {EBADF, 10009, "Bad file number."},
    {EACCES, 10013, "Access denied.", EPERM},
    {EFAULT, 10014, "Bad address."},
    {EINVAL, 10022, "Invalid argument."},
    {EMFILE, 10024, "Too many open files.", ENFILE},
    {EWOULDBLOCK, 10035, "Operation would block. "},
    {EINPROGRESS, 10036, "Operation now in progress."},
    {EALREADY, 10037, "Operation already in progress."},
    {ENOTSOCK, 10038, "Socket operation on non-socket."},
    {EDESTADDRREQ, 10039, "Destination address required."},
    {EMSGSIZE, 10040, "Message too long."},
    {EPROTOTYPE, 10041, "Protocol wrong type for socket."},
    {ENOPROTOOPT, 10042, "Bad protocol option."},
    {EPROTONOSUPPORT, 10043, "Protocol not supported."},
    {ESOCKTNOSUPPORT, 10044, "Socket type not supported."},
    {EOPNOTSUPP, 10045, "Operation not supported on socket."},
    {EPFNOSUPPORT, 10046, "Protocol family not supported."},
    {EAFNOSUPPORT, 10047, "Address family not supported by protocol family."},
    {EADDRINUSE, 10048, "Address already in use."},
    {EADDRNOTAVAIL, 10049, "Cannot assign requested address."},
    {ENETDOWN, 10050, "Network is down."},
    {ENETUNREACH, 10051, "Network is unreachable."},
    {ENETRESET, 10052, "Net dropped connection or reset."},
    {ECONNABORTED, 10053, "Software caused connection abort."},
    {ECONNRESET, 10054, "Connection reset by peer."},
    {ENOBUFS, 10055, "No buffer space available."},
    {EISCONN, 10056, "Socket is already connected."},
    {ENOTCONN, 10057, "Socket is not connected."},
    {EPIPE, 10058, "Cannot send or receive after socket is closed.", ESHUTDOWN},
    {ETOOMANYREFS, 10059, "Too many references, cannot splice."},
    {ETIMEDOUT, 10060, "Connection timed out."},
    {ECONNREFUSED, 10061, "Connection refused."},
    {ELOOP, 10062, "Too many levels of symbolic links."},
    {ENAMETOOLONG, 10063, "File name too long."},
    {EHOSTDOWN, 10064, "Host is down."},
    {EHOSTUNREACH, 10065, "No route to host."},
    {ENOTEMPTY, 10066, "Directory not empty"},
};

// The one mapping from an errno value onto a socket error number: 0 stays 0, and an error
// outside the table keeps its own value (its message then has an empty second line).
constexpr int ErrnoToSocketError(int error) {
  if (error == 0) return 0;
  for (const SocketErrorEntry& entry : kSocketErrors) {
    if (entry.error == error || entry.alsoError == error) return entry.number;
  }
  return error;
}

// Socket error numbers the connection layer names in code.
inline constexpr int kWsaEIntr = ErrnoToSocketError(EINTR);
inline constexpr int kWsaEInval = ErrnoToSocketError(EINVAL);
inline constexpr int kWsaEWouldBlock = ErrnoToSocketError(EWOULDBLOCK);
inline constexpr int kWsaEAddrInUse = ErrnoToSocketError(EADDRINUSE);
inline constexpr int kWsaEConnReset = ErrnoToSocketError(ECONNRESET);
inline constexpr int kWsaENotConn = ErrnoToSocketError(ENOTCONN);
inline constexpr int kWsaEShutdown = ErrnoToSocketError(ESHUTDOWN);
inline constexpr int kWsaETimedOut = ErrnoToSocketError(ETIMEDOUT);
inline constexpr int kWsaEConnRefused = ErrnoToSocketError(ECONNREFUSED);
inline constexpr int kWsaEAfNoSupport = ErrnoToSocketError(EAFNOSUPPORT);
// A failed name lookup has no errno; its number is outside the table (an empty second line).
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
// "%s is not a valid service."
std::string InvalidServiceNameMessage(const std::string& name);

// A failed socket call; carries the socket error number it was raised for. Written out rather
// than declared like the others because it carries the number besides its message.
class EIdSocketError : public EIdException {
 public:
  explicit EIdSocketError(int number) : EIdException(SocketErrorText(number)), number_(number) {}
  int LastError() const noexcept { return number_; }

 private:
  int number_;
};

// Raises EIdSocketError for `number`.
[[noreturn]] void ThrowSocketError(int number);

PIXHAUL_FIXED_EXCEPTION(EIdInvalidSocket, EIdException, kInvalidSocketMessage);

PIXHAUL_EXCEPTION(EIdStackError, EIdException);
PIXHAUL_FIXED_EXCEPTION(EIdStackInitializationFailed, EIdStackError,
                        kStackInitializationFailedMessage);
PIXHAUL_FIXED_EXCEPTION(EIdStackSetSizeExceeded, EIdStackError, kSetSizeExceededMessage);

PIXHAUL_EXCEPTION(EIdSocketHandleError, EIdException);
PIXHAUL_FIXED_EXCEPTION(EIdCouldNotBindSocket, EIdSocketHandleError, kCouldNotBindSocketMessage);

// A name that is neither a known service nor a number: InvalidServiceNameMessage.
PIXHAUL_EXCEPTION(EIdInvalidServiceName, EIdException);

}  // namespace pixhaul
