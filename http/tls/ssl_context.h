// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdSSLContext: one OpenSSL context (SSL_CTX) prepared for a mode, with its method, cipher
// list and optional certificate files.
//
// Constructing a context starts the TLS library (SslLibrary::Start) and may therefore raise
// EIdOSSLCouldNotLoadSSLLibrary. The context owns its SSL_CTX and frees it when re-prepared or
// destroyed. One context serves one connection and is used on that connection's thread only.
#pragma once

#include <openssl/ssl.h>

#include <functional>
#include <string>

#include "http/tls/ssl_library.h"
#include "http/tls/ssl_options.h"

namespace pixhaul {

class TIdSSLContext {
 public:
  // The cipher list every context is given.
  static constexpr const char* kCipherList = "ALL:!ADH:RC4+RSA:+HIGH:+MEDIUM:+LOW:+SSLv2:+EXP";

  // Starts `library` if it is not started yet; raises EIdOSSLCouldNotLoadSSLLibrary
  // "Could not load SSL library." when it cannot be.
  explicit TIdSSLContext(SslLibrary& library);
  ~TIdSSLContext();
  TIdSSLContext(const TIdSSLContext&) = delete;
  TIdSSLContext& operator=(const TIdSSLContext&) = delete;

  TIdSSLVersion Method = sslvSSLv2;
  TIdSSLVerifyModeSet VerifyMode = 0;
  std::string RootCertFile;
  std::string CertFile;
  std::string KeyFile;
  // The peer's certificate must verify against RootCertFile, or the system's trust store when
  // that is empty (see TIdSSLOptions::VerifyServer).
  bool VerifyServer = false;
  // Asked for the private key's password while KeyFile is loaded; none: no password.
  std::function<std::string()> AskPassword;

  TIdSSLMode Mode() const { return mode_; }
  // The library method for Method and the current mode. Raises EIdOSSLModeNotSet
  // "Mode has not been set." in sslmUnassigned and EIdOSSLGetMethodError
  // "Error geting SSL method." for a Method outside 0..3.
  const SSL_METHOD* ChooseMethod() const;
  // Makes a fresh library context for `mode` (nothing when the mode is unchanged; only frees
  // the old one for sslmUnassigned). Raises EIdOSSLCreatingContextError,
  // EIdOSSLLoadingRootCertError, EIdOSSLLoadingCertError, EIdOSSLLoadingKeyError or
  // EIdOSSLSettingCipherError with their messages.
  void Prepare(TIdSSLMode mode);

  SSL_CTX* Handle() const { return context_; }
  const SslFunctions& Functions() const { return functions_; }

 private:
  static int PasswordCallback(char* buffer, int size, int rwflag, void* userData);
  void Free();

  const SslFunctions& functions_;
  TIdSSLMode mode_ = sslmUnassigned;
  SSL_CTX* context_ = nullptr;
};

}  // namespace pixhaul
