// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdSSLOptions: what a TLS intercept is asked to use (method, mode, certificate files).
//
// A plain value owned by its intercept and read when the intercept attaches; one thread.
// `Method` keeps the historical version names, but every valid value selects the library's
// version-negotiating method: the client offers every protocol version the library supports.
//
// Tests: tests/http/tls/ssl_context_test.cpp and tests/http/http_client_tls_test.cpp.
#pragma once

#include <string>

namespace pixhaul {

enum TIdSSLVersion : int { sslvSSLv2 = 0, sslvSSLv23 = 1, sslvSSLv3 = 2, sslvTLSv1 = 3 };

enum TIdSSLMode : int { sslmUnassigned = 0, sslmClient = 1, sslmServer = 2, sslmBoth = 3 };

// Bits of a TIdSSLVerifyModeSet; they equal the library's SSL_VERIFY_* flags.
enum TIdSSLVerifyMode : int {
  sslvrfPeer = 1 << 0,
  sslvrfFailIfNoPeerCert = 1 << 1,
  sslvrfClientOnce = 1 << 2,
};
using TIdSSLVerifyModeSet = int;

struct TIdSSLOptions {
  std::string RootCertFile;  // trusted roots (PEM); empty: none loaded
  std::string CertFile;      // own certificate (PEM); empty: none
  std::string KeyFile;       // own private key (PEM); empty: none
  TIdSSLVersion Method = sslvSSLv2;
  TIdSSLMode Mode = sslmUnassigned;  // not read by the client intercept (always client mode)
  TIdSSLVerifyModeSet VerifyMode = 0;
  int VerifyDepth = 0;  // stored only
  // Verify the server's certificate against the trusted roots - RootCertFile when it is set,
  // else the system's trust store - and against the host name the connection reaches. Off by
  // default: the server's certificate is then not verified at all.
  bool VerifyServer = false;
};

}  // namespace pixhaul
