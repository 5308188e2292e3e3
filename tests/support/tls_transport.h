// TlsTransport: the TLS server side of a ScriptedServer connection, so a script states byte for
// byte what an HTTPS server sends and records what the client sent, decrypted.
//
// Plug it in with ScriptedServer::Options::makeTransport = TlsTransportFactory(). The factory
// runs on each connection's thread right after accept and performs the server handshake there
// with the shared test certificate (CN=localhost); a failed handshake raises std::runtime_error,
// which ends that connection's script as failed. The transport blocks SIGPIPE on the server's
// connection thread, so a client that leaves mid-reply cannot end the test process.
#pragma once

#include <openssl/ssl.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "tests/support/scripted_server.h"

namespace pixhaul::test {

class TlsTransport : public testing::Transport {
 public:
  // Runs the server handshake on `fd` with `context` (not owned; must outlive the transport).
  TlsTransport(int fd, SSL_CTX* context);
  ~TlsTransport() override;

  // Also true while decrypted bytes wait inside the channel.
  bool WaitReadable(int timeoutMs) override;
  ssize_t Read(void* buffer, size_t size) override;
  ssize_t Write(const void* buffer, size_t size) override;
  // Sends close_notify, then ends the sending direction.
  void ShutdownWrite() override;

  // The host name the client sent (SNI), or none.
  std::optional<std::string> ServerName() const;

 private:
  SSL* ssl_ = nullptr;
};

// A makeTransport function for ScriptedServer::Options. The returned function shares one
// server context among all its connections.
std::function<std::unique_ptr<testing::Transport>(int fd)> TlsTransportFactory();

}  // namespace pixhaul::test
