// The HTTP client's exception tree below the framework's `Exception`, and the connection-level
// failures with their fixed messages.
//
// Every failure the client raises derives from EIdException. The download worker sorts failures
// by their message, so each text below is defined exactly once and used byte for byte. Classes
// with a single fixed message are default-constructible and carry it; the socket errors live in
// http/socket_error.h, the TLS ones in http/ssl_exceptions.h.
#pragma once

#include "framework/exception.h"

namespace pixhaul {

inline constexpr const char* kConnClosedGracefullyMessage = "Connection Closed Gracefully.";
inline constexpr const char* kAlreadyConnectedMessage = "Already connected.";
inline constexpr const char* kNotEnoughDataInBufferMessage = "Not enough data in buffer.";
inline constexpr const char* kInterceptPropIsNilMessage =
    "InterceptEnabled cannot be set to true when Intercept is nil.";
inline constexpr const char* kInterceptPropInvalidMessage = "Intercept value is not valid";
inline constexpr const char* kNoDataToReadMessage = "No data to read.";
inline constexpr const char* kObjectTypeNotSupportedMessage = "Object type not supported.";
inline constexpr const char* kReadTimedOutMessage = "Read timed out.";
inline constexpr const char* kReplyLineTooLongMessage = "Reply line too long.";
inline constexpr const char* kReplyHeaderTooLargeMessage = "Reply header too large.";
inline constexpr const char* kReplyBodyTooLargeMessage = "Reply body too large.";

class EIdException : public Exception {
 public:
  using Exception::Exception;
};

// A failure that ends an operation quietly: the peer's orderly close.
class EIdSilentException : public EIdException {
 public:
  using EIdException::EIdException;
};

// The peer closed the connection while more was expected of it.
class EIdConnClosedGracefully : public EIdSilentException {
 public:
  EIdConnClosedGracefully() : EIdSilentException(kConnClosedGracefullyMessage) {}
};

class EIdAlreadyConnected : public EIdException {
 public:
  EIdAlreadyConnected() : EIdException(kAlreadyConnectedMessage) {}
};

// Misuse of the connection object itself (buffer, intercept, stream kinds).
class EIdTCPConnectionError : public EIdException {
 public:
  using EIdException::EIdException;
};

class EIdNotEnoughDataInBuffer : public EIdTCPConnectionError {
 public:
  EIdNotEnoughDataInBuffer() : EIdTCPConnectionError(kNotEnoughDataInBufferMessage) {}
};

class EIdInterceptPropIsNil : public EIdTCPConnectionError {
 public:
  EIdInterceptPropIsNil() : EIdTCPConnectionError(kInterceptPropIsNilMessage) {}
};

class EIdInterceptPropInvalid : public EIdTCPConnectionError {
 public:
  EIdInterceptPropInvalid() : EIdTCPConnectionError(kInterceptPropInvalidMessage) {}
};

class EIdNoDataToRead : public EIdTCPConnectionError {
 public:
  EIdNoDataToRead() : EIdTCPConnectionError(kNoDataToReadMessage) {}
};

class EIdObjectTypeNotSupported : public EIdTCPConnectionError {
 public:
  EIdObjectTypeNotSupported() : EIdTCPConnectionError(kObjectTypeNotSupportedMessage) {}
};

// A read that saw no byte arrive for the connection's read time limit. The connection has been
// closed before this is raised.
class EIdReadTimeout : public EIdException {
 public:
  EIdReadTimeout() : EIdException(kReadTimedOutMessage) {}
};

// A hostile or broken peer sent more than the client accepts (an endless line, a huge header
// block or body). The connection has been closed and what was buffered freed before this is
// raised. Construct it with one of kReplyLineTooLongMessage, kReplyHeaderTooLargeMessage,
// kReplyBodyTooLargeMessage.
class EIdLimitExceeded : public EIdException {
 public:
  using EIdException::EIdException;
};

}  // namespace pixhaul
