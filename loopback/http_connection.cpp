// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// One accepted connection of the loopback server: its reads and writes (plain or TLS), each
// bounded by the server's deadline and ended at once when the server stops.
#include <openssl/err.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "loopback/loopback_server.h"

namespace pixhaul::loopback {

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kMaxRequestHead = 64 * 1024;

}  // namespace

HttpConnection::HttpConnection(int fd, const LoopbackHttpServer& server)
    : fd_(fd), server_(server) {}

HttpConnection::~HttpConnection() { Close(); }

bool HttpConnection::Stopping() const { return server_.Stopping(); }

bool HttpConnection::Handshake() {
  const Clock::time_point until = Clock::now() + server_.options_.ioLimit;
  ssl_ = AcceptTls(server_.tlsContext_.get(), fd_,
                   SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER,
                   [&](int sslError) { return WaitFor(sslError, until); });
  return ssl_ != nullptr;
}

ssize_t HttpConnection::ReadSome(char* buffer, size_t size, Clock::time_point until) {
  for (;;) {
    if (fd_ < 0) return -1;
    if (ssl_ != nullptr) {
      const int result = SSL_read(ssl_.get(), buffer, static_cast<int>(size));
      if (result > 0) return result;
      const int error = SSL_get_error(ssl_.get(), result);
      if (error == SSL_ERROR_ZERO_RETURN) return 0;
      if (error == SSL_ERROR_SYSCALL && ERR_peek_error() == 0) return 0;  // bare end of stream
      if (!WaitFor(error, until)) return -1;
    } else {
      const ssize_t result = ::recv(fd_, buffer, size, 0);
      if (result >= 0) return result;
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
      if (!WaitFor(SSL_ERROR_WANT_READ, until)) return -1;
    }
  }
}

bool HttpConnection::ReadRequestHead(std::string& head) {
  head.clear();
  char buffer[16384];
  for (;;) {
    const size_t end = pending_.find("\r\n\r\n");
    if (end != std::string::npos) {
      head = pending_.substr(0, end + 2);
      pending_.erase(0, end + 4);
      return true;
    }
    if (pending_.size() > kMaxRequestHead) return false;
    const ssize_t n = ReadSome(buffer, sizeof buffer, Clock::now() + server_.options_.ioLimit);
    if (n <= 0) return false;
    pending_.append(buffer, static_cast<size_t>(n));
  }
}

bool HttpConnection::Write(std::string_view bytes) {
  const Clock::time_point until = Clock::now() + server_.options_.ioLimit;
  while (!bytes.empty()) {
    if (fd_ < 0) return false;
    if (ssl_ != nullptr) {
      size_t written = 0;
      const int result = SSL_write_ex(ssl_.get(), bytes.data(), bytes.size(), &written);
      if (result == 1) {
        bytes.remove_prefix(written);
        continue;
      }
      if (!WaitFor(SSL_get_error(ssl_.get(), result), until)) return false;
    } else {
      const ssize_t result = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (result > 0) {
        bytes.remove_prefix(static_cast<size_t>(result));
        continue;
      }
      if (result < 0 && errno == EINTR) continue;
      if (result < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
      if (!WaitFor(SSL_ERROR_WANT_WRITE, until)) return false;
    }
  }
  return true;
}

void HttpConnection::WaitUntilPeerGone() {
  char buffer[4096];
  while (ReadSome(buffer, sizeof buffer, server_.acceptor_.Deadline()) > 0) {
  }
}

void HttpConnection::CloseGracefully() {
  if (fd_ < 0) return;
  if (ssl_ != nullptr) SSL_shutdown(ssl_.get());
  ::shutdown(fd_, SHUT_WR);
  char buffer[4096];
  const Clock::time_point until = Clock::now() + server_.options_.ioLimit;
  while (ReadSome(buffer, sizeof buffer, until) > 0) {
  }
  Close();
}

void HttpConnection::Finish() {
  if (fd_ < 0) return;
  if (ssl_ != nullptr) SSL_shutdown(ssl_.get());
  ::shutdown(fd_, SHUT_WR);
  Close();
}

void HttpConnection::Reset() {
  if (fd_ < 0) return;
  linger hard{1, 0};
  ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  Close();
}

void HttpConnection::Close() {
  ssl_.reset();
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

bool HttpConnection::WaitFor(int sslError, Clock::time_point until) {
  short events = 0;
  if (sslError == SSL_ERROR_WANT_READ) events = POLLIN;
  if (sslError == SSL_ERROR_WANT_WRITE) events = POLLOUT;
  return events != 0 && fd_ >= 0 && server_.acceptor_.WaitFor(fd_, events, until);
}

}  // namespace pixhaul::loopback
