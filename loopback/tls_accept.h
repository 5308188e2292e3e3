// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The server side of a loopback TLS connection: the session over an accepted socket and its
// handshake, for the loopback HTTP server and the tests' scripted peers alike.
//
// A session belongs to its connection's thread.
//
// Tests: tests/http/http_client_tls_test.cpp, through tests/support/server_transport.cpp.
#pragma once

#include <openssl/ssl.h>

#include <functional>
#include <memory>

namespace pixhaul::loopback {

struct SslFree {
  void operator()(SSL* ssl) const { SSL_free(ssl); }
};
using SslPtr = std::unique_ptr<SSL, SslFree>;

// Runs the server handshake on `fd` (not owned; it must outlive the session) with `context`,
// after setting `mode` (SSL_MODE_* bits) on the session. Whenever OpenSSL needs the socket
// readable or writable, `wait` gets the SSL_ERROR_WANT_* code, waits for it and says whether
// to go on. Returns the session once the handshake is done, or null when it failed or `wait`
// gave up.
SslPtr AcceptTls(SSL_CTX* context, int fd, long mode, const std::function<bool(int)>& wait);

}  // namespace pixhaul::loopback
