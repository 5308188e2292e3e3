// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The TLS layer's exceptions, each with its one fixed message but the certificate check's, which
// carries the library's reason.
//
// EIdOpenSSLError is the root of every TLS failure; EIdOpenSSLLoadError groups the failures to
// load the library or a file it needs. A read or write that fails after the handshake is not
// one of these: it reaches the caller as the connection's EIdSocketError. Default-constructing
// an exception gives it its message; the texts are exact and other code compares them.
//
// Tests: tests/http/tls/ssl_context_test.cpp.
#pragma once

#include <string>

#include "http/socket/connection_exceptions.h"

namespace pixhaul {

inline constexpr const char* kCouldNotLoadSslLibraryMessage = "Could not load SSL library.";
inline constexpr const char* kModeNotSetMessage = "Mode has not been set.";
inline constexpr const char* kGetMethodErrorMessage = "Error geting SSL method.";
inline constexpr const char* kCreatingContextErrorMessage = "Error creating SSL context.";
inline constexpr const char* kLoadingRootCertErrorMessage = "Could not load root certificate.";
inline constexpr const char* kLoadingCertErrorMessage = "Could not load certificate.";
inline constexpr const char* kLoadingKeyErrorMessage = "Could not load key, check password.";
inline constexpr const char* kSettingCipherErrorMessage = "SetCipher failed.";
inline constexpr const char* kDataBindingErrorMessage = "Error binding data to SSL socket.";
inline constexpr const char* kConnectErrorMessage = "Error connecting with SSL.";
inline constexpr const char* kAcceptErrorMessage = "Error accepting connection with SSL.";
inline constexpr const char* kCertificateVerifyFailedPrefix = "Certificate verify failed: ";

PIXHAUL_EXCEPTION(EIdOpenSSLError, EIdException);
PIXHAUL_EXCEPTION(EIdOpenSSLLoadError, EIdOpenSSLError);

PIXHAUL_FIXED_EXCEPTION(EIdOSSLCouldNotLoadSSLLibrary, EIdOpenSSLLoadError,
                        kCouldNotLoadSslLibraryMessage);
PIXHAUL_FIXED_EXCEPTION(EIdOSSLModeNotSet, EIdOpenSSLError, kModeNotSetMessage);
PIXHAUL_FIXED_EXCEPTION(EIdOSSLGetMethodError, EIdOpenSSLError, kGetMethodErrorMessage);
PIXHAUL_FIXED_EXCEPTION(EIdOSSLCreatingContextError, EIdOpenSSLError, kCreatingContextErrorMessage);
PIXHAUL_FIXED_EXCEPTION(EIdOSSLLoadingRootCertError, EIdOpenSSLLoadError,
                        kLoadingRootCertErrorMessage);
PIXHAUL_FIXED_EXCEPTION(EIdOSSLLoadingCertError, EIdOpenSSLLoadError, kLoadingCertErrorMessage);
PIXHAUL_FIXED_EXCEPTION(EIdOSSLLoadingKeyError, EIdOpenSSLLoadError, kLoadingKeyErrorMessage);
PIXHAUL_FIXED_EXCEPTION(EIdOSSLSettingCipherError, EIdOpenSSLError, kSettingCipherErrorMessage);
PIXHAUL_FIXED_EXCEPTION(EIdOSSLDataBindingError, EIdOpenSSLError, kDataBindingErrorMessage);
PIXHAUL_FIXED_EXCEPTION(EIdOSSLConnectError, EIdOpenSSLError, kConnectErrorMessage);
PIXHAUL_FIXED_EXCEPTION(EIdOSSLAcceptError, EIdOpenSSLError, kAcceptErrorMessage);

// The server's certificate failed verification (asked for by TIdSSLOptions::VerifyServer);
// raised with CertificateVerifyFailedMessage of the library's reason.
PIXHAUL_EXCEPTION(EIdOSSLCertificateVerifyError, EIdOpenSSLError);
// "Certificate verify failed: " + reason + ".", e.g. "Certificate verify failed: hostname
// mismatch."
inline std::string CertificateVerifyFailedMessage(const std::string& reason) {
  return kCertificateVerifyFailedPrefix + reason + ".";
}

}  // namespace pixhaul
