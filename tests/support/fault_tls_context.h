// The fault server's TLS server context: a fresh self-signed EC P-256 certificate for
// 127.0.0.1, made in memory when the context is made. Any thread may make one; the context is
// then used read-only by the server's connection threads.
#pragma once

#include <openssl/ssl.h>

namespace pixhaul::test {

// A new server context owning its key and certificate; the caller frees it with SSL_CTX_free.
// Raises std::runtime_error when OpenSSL refuses a step.
SSL_CTX* MakeFaultTlsContext();

}  // namespace pixhaul::test
