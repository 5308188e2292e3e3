#include "tests/support/tls_transport.h"

#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>

#include <stdexcept>

#include "tests/support/tls_server.h"

namespace pixhaul::test {

TlsTransport::TlsTransport(int fd, SSL_CTX* context) : Transport(fd) {
  sigset_t pipeSet;
  sigemptyset(&pipeSet);
  sigaddset(&pipeSet, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSet, nullptr);
  ssl_ = SSL_new(context);
  if (ssl_ == nullptr || SSL_set_fd(ssl_, fd) != 1 || SSL_accept(ssl_) != 1) {
    SSL_free(ssl_);
    ssl_ = nullptr;
    throw std::runtime_error("TLS server handshake failed");
  }
}

TlsTransport::~TlsTransport() { SSL_free(ssl_); }

bool TlsTransport::WaitReadable(int timeoutMs) {
  return SSL_pending(ssl_) > 0 || Transport::WaitReadable(timeoutMs);
}

ssize_t TlsTransport::Read(void* buffer, size_t size) {
  int n = SSL_read(ssl_, buffer, static_cast<int>(size));
  if (n > 0) return n;
  int reason = SSL_get_error(ssl_, n);
  return reason == SSL_ERROR_ZERO_RETURN ? 0 : -1;
}

ssize_t TlsTransport::Write(const void* buffer, size_t size) {
  int n = SSL_write(ssl_, buffer, static_cast<int>(size));
  return n > 0 ? n : -1;
}

void TlsTransport::ShutdownWrite() {
  SSL_shutdown(ssl_);
  ::shutdown(Fd(), SHUT_WR);
}

std::optional<std::string> TlsTransport::ServerName() const {
  const char* name = SSL_get_servername(ssl_, TLSEXT_NAMETYPE_host_name);
  if (name == nullptr) return std::nullopt;
  return std::string(name);
}

std::function<std::unique_ptr<testing::Transport>(int fd)> TlsTransportFactory() {
  std::shared_ptr<SSL_CTX> context(NewTestServerContext(), SSL_CTX_free);
  return [context](int fd) -> std::unique_ptr<testing::Transport> {
    return std::make_unique<TlsTransport>(fd, context.get());
  };
}

}  // namespace pixhaul::test
