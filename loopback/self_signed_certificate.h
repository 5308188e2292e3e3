// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The loopback servers' TLS identity: one self-signed certificate (CN=localhost, EC P-256) and
// its key, made in memory the first time any of these functions runs and shared by every
// server of the process. Clients of these servers do not verify certificates unless a test makes
// them trust this one (SelfSignedCertificatePem), which then names the host "localhost".
//
// Any thread may call these functions; the identity is made once and read-only afterwards.
// They raise std::runtime_error when OpenSSL refuses a step.
//
// Tests: tests/http/tls/ssl_context_test.cpp.
#pragma once

#include <openssl/ssl.h>

#include <memory>
#include <string>

namespace pixhaul::loopback {

struct SslContextFree {
  void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
using SslContextPtr = std::unique_ptr<SSL_CTX, SslContextFree>;

// A new server context (TLS_server_method) holding the certificate and key, without session
// cache or tickets (so the server writes nothing after the handshake that was not asked for),
// where a client's end of stream without close_notify counts as an end, not an error.
SslContextPtr NewServerContext();

// The certificate in PEM form, and its private key, encrypted with `password` (AES-128-CBC)
// unless that is empty.
std::string SelfSignedCertificatePem();
std::string SelfSignedKeyPem(const std::string& password = "");

}  // namespace pixhaul::loopback
