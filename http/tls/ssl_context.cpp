// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/tls/ssl_context.h"

#include <algorithm>
#include <cstring>

#include "http/tls/ssl_exceptions.h"

namespace pixhaul {

TIdSSLContext::TIdSSLContext(SslLibrary& library) : functions_(library.Start()) {}

TIdSSLContext::~TIdSSLContext() { Free(); }

void TIdSSLContext::Free() {
  if (context_ != nullptr) functions_.SSL_CTX_free(context_);
  context_ = nullptr;
}

const SSL_METHOD* TIdSSLContext::ChooseMethod() const {
  if (mode_ == sslmUnassigned) throw EIdOSSLModeNotSet();
  switch (Method) {
    // OpenSSL 3 offers only the version-negotiating methods; the old per-version names all
    // map onto them, and the library picks the best version both ends support.
    case sslvSSLv2:
    case sslvSSLv23:
    case sslvSSLv3:
    case sslvTLSv1:
      switch (mode_) {
        case sslmClient:
          return functions_.TLS_client_method();
        case sslmServer:
          return functions_.TLS_server_method();
        default:
          return functions_.TLS_method();
      }
  }
  throw EIdOSSLGetMethodError();
}

void TIdSSLContext::Prepare(TIdSSLMode mode) {
  if (mode == mode_) return;
  mode_ = mode;
  Free();
  if (mode == sslmUnassigned) return;

  context_ = functions_.SSL_CTX_new(ChooseMethod());
  if (context_ == nullptr) throw EIdOSSLCreatingContextError();
  functions_.SSL_CTX_set_default_passwd_cb(context_, &PasswordCallback);
  functions_.SSL_CTX_set_default_passwd_cb_userdata(context_, this);
  // A server that ends the stream without close_notify (common after "Connection: close")
  // must read as an orderly close, not as a protocol failure.
  functions_.SSL_CTX_set_options(context_, SSL_OP_IGNORE_UNEXPECTED_EOF);

  if (!RootCertFile.empty() &&
      functions_.SSL_CTX_load_verify_locations(context_, RootCertFile.c_str(), nullptr) <= 0) {
    throw EIdOSSLLoadingRootCertError();
  }
  if (!CertFile.empty() &&
      functions_.SSL_CTX_use_certificate_file(context_, CertFile.c_str(), SSL_FILETYPE_PEM) <= 0) {
    throw EIdOSSLLoadingCertError();
  }
  if (!KeyFile.empty() &&
      (functions_.SSL_CTX_use_PrivateKey_file(context_, KeyFile.c_str(), SSL_FILETYPE_PEM) <= 0 ||
       functions_.SSL_CTX_check_private_key(context_) <= 0)) {
    throw EIdOSSLLoadingKeyError();
  }
  if (functions_.SSL_CTX_set_cipher_list(context_, kCipherList) <= 0) {
    throw EIdOSSLSettingCipherError();
  }
  if (VerifyServer) {
    // The library's own checks decide (no callback); a handshake with a certificate that
    // fails them fails. Without a roots file the system's trust store is the anchor; when it
    // cannot be found every certificate fails as untrusted.
    if (RootCertFile.empty()) functions_.SSL_CTX_set_default_verify_paths(context_);
    functions_.SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
  }
  // Otherwise no verification is asked for: the server's certificate is not verified.
}

int TIdSSLContext::PasswordCallback(char* buffer, int size, int /*rwflag*/, void* userData) {
  auto* context = static_cast<TIdSSLContext*>(userData);
  if (context == nullptr || !context->AskPassword || size <= 0) return 0;
  std::string password = context->AskPassword();
  size_t length = std::min(password.size(), static_cast<size_t>(size));
  std::memcpy(buffer, password.data(), length);
  return static_cast<int>(length);
}

}  // namespace pixhaul
