// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "tests/support/server_transport.h"

#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <stdexcept>

namespace pixhaul::test {

namespace {

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

bool Transport::WaitReadable(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  int r;
  do {
    r = ::poll(&p, 1, timeoutMs);
  } while (r < 0 && errno == EINTR);
  return r > 0;
}

ssize_t Transport::Read(void* buffer, size_t size) {
  ssize_t n;
  do {
    n = ::recv(fd_, buffer, size, 0);
  } while (n < 0 && errno == EINTR);
  return n;
}

ssize_t Transport::Write(const void* buffer, size_t size) {
  ssize_t n;
  do {
    n = ::send(fd_, buffer, size, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n;
}

void Transport::ShutdownWrite() { ::shutdown(fd_, SHUT_WR); }

bool Transport::WriteRaw(std::string_view bytes) { return SendAll(fd_, bytes); }

bool Transport::WritePartialRecord(std::string_view, size_t) { return false; }

// The socket blocks, with the server's step limit as its timeouts: a handshake that would wait
// has timed out.
TlsTransport::TlsTransport(int fd, SSL_CTX* context)
    : Transport(fd), ssl_(loopback::AcceptTls(context, fd, 0, [](int) { return false; })) {
  if (!ssl_) throw std::runtime_error("TLS server handshake failed");
}

TlsTransport::~TlsTransport() = default;

bool TlsTransport::WaitReadable(int timeoutMs) {
  return SSL_pending(ssl_.get()) > 0 || Transport::WaitReadable(timeoutMs);
}

ssize_t TlsTransport::Read(void* buffer, size_t size) {
  const int n = SSL_read(ssl_.get(), buffer, static_cast<int>(size));
  if (n > 0) return n;
  return SSL_get_error(ssl_.get(), n) == SSL_ERROR_ZERO_RETURN ? 0 : -1;
}

ssize_t TlsTransport::Write(const void* buffer, size_t size) {
  const int n = SSL_write(ssl_.get(), buffer, static_cast<int>(size));
  return n > 0 ? n : -1;
}

void TlsTransport::ShutdownWrite() {
  SSL_shutdown(ssl_.get());
  ::shutdown(Fd(), SHUT_WR);
}

bool TlsTransport::WritePartialRecord(std::string_view bytes, size_t heldBackBytes) {
  // Encrypt into memory instead of the socket, then send all but the tail by hand.
  BIO* socketBio = SSL_get_wbio(ssl_.get());
  BIO_up_ref(socketBio);
  BIO* memory = BIO_new(BIO_s_mem());
  SSL_set0_wbio(ssl_.get(), memory);
  const int written = SSL_write(ssl_.get(), bytes.data(), static_cast<int>(bytes.size()));
  char* data = nullptr;
  const long length = BIO_get_mem_data(memory, &data);
  const std::string record(data, static_cast<size_t>(length));
  SSL_set0_wbio(ssl_.get(), socketBio);
  if (written <= 0 || record.size() <= heldBackBytes) return false;
  return SendAll(Fd(), std::string_view(record).substr(0, record.size() - heldBackBytes));
}

void TlsTransport::SendCloseNotify() { SSL_shutdown(ssl_.get()); }

std::optional<std::string> TlsTransport::ServerName() const {
  const char* name = SSL_get_servername(ssl_.get(), TLSEXT_NAMETYPE_host_name);
  if (name == nullptr) return std::nullopt;
  return std::string(name);
}

}  // namespace pixhaul::test
