// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The root of the HTTP client's exception tree below the framework's `Exception`, and the
// connection-level failures with their fixed messages. The root sits in the socket layer, the
// lowest of the client, so that every layer above raises from it.
//
// Every failure the client raises derives from EIdException. The download worker sorts failures
// by their message, so each text below is defined exactly once and used byte for byte. Classes
// with a single fixed message are default-constructible and carry it (framework/exception.h
// says how classes are declared); the socket errors live in http/socket/socket_error.h, the TLS
// ones in http/tls/ssl_exceptions.h, the proxies' in http/proxy/proxy_exceptions.h, the
// exchange's own in http/http_client.h.
//
// Tests: tests/http/socket/tcp_connection_test.cpp.
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

PIXHAUL_EXCEPTION(EIdException, Exception);

// A failure that ends an operation quietly: the peer's orderly close.
PIXHAUL_EXCEPTION(EIdSilentException, EIdException);
// The peer closed the connection while more was expected of it.
PIXHAUL_FIXED_EXCEPTION(EIdConnClosedGracefully, EIdSilentException, kConnClosedGracefullyMessage);

PIXHAUL_FIXED_EXCEPTION(EIdAlreadyConnected, EIdException, kAlreadyConnectedMessage);

// Misuse of the connection object itself (buffer, intercept, stream kinds).
PIXHAUL_EXCEPTION(EIdTCPConnectionError, EIdException);
PIXHAUL_FIXED_EXCEPTION(EIdNotEnoughDataInBuffer, EIdTCPConnectionError,
                        kNotEnoughDataInBufferMessage);
PIXHAUL_FIXED_EXCEPTION(EIdInterceptPropIsNil, EIdTCPConnectionError, kInterceptPropIsNilMessage);
PIXHAUL_FIXED_EXCEPTION(EIdInterceptPropInvalid, EIdTCPConnectionError,
                        kInterceptPropInvalidMessage);
PIXHAUL_FIXED_EXCEPTION(EIdNoDataToRead, EIdTCPConnectionError, kNoDataToReadMessage);
PIXHAUL_FIXED_EXCEPTION(EIdObjectTypeNotSupported, EIdTCPConnectionError,
                        kObjectTypeNotSupportedMessage);

// A read that saw no byte arrive for the connection's read time limit. The connection has been
// closed before this is raised.
PIXHAUL_FIXED_EXCEPTION(EIdReadTimeout, EIdException, kReadTimedOutMessage);

// A hostile or broken peer sent more than the client accepts (an endless line, a huge header
// block or body). The connection has been closed and what was buffered freed before this is
// raised. Raised with one of kReplyLineTooLongMessage, kReplyHeaderTooLargeMessage,
// kReplyBodyTooLargeMessage.
PIXHAUL_EXCEPTION(EIdLimitExceeded, EIdException);

}  // namespace pixhaul
