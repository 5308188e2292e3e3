// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "loopback/tls_accept.h"

namespace pixhaul::loopback {

SslPtr AcceptTls(SSL_CTX* context, int fd, long mode, const std::function<bool(int)>& wait) {
  SslPtr ssl(SSL_new(context));
  if (!ssl || SSL_set_fd(ssl.get(), fd) != 1) return nullptr;
  SSL_set_mode(ssl.get(), mode);
  for (;;) {
    const int result = SSL_accept(ssl.get());
    if (result == 1) return ssl;
    if (!wait(SSL_get_error(ssl.get(), result))) return nullptr;
  }
}

}  // namespace pixhaul::loopback
