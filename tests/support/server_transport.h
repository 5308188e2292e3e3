// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The byte channel of one connection a test server accepted: plain TCP, or the server side of
// TLS with the loopback servers' self-signed certificate, so that a scripted peer states byte
// for byte what an HTTPS server sends and sees decrypted what the client sent.
//
// A transport belongs to the connection's thread. The server owns and closes the descriptor;
// a transport only reads and writes it, and goes before the descriptor is closed.
#pragma once

#include <openssl/ssl.h>
#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "loopback/tls_accept.h"

namespace pixhaul::test {

class Transport {
 public:
  explicit Transport(int fd) : fd_(fd) {}
  virtual ~Transport() = default;
  Transport(const Transport&) = delete;
  Transport& operator=(const Transport&) = delete;

  int Fd() const { return fd_; }
  // True when Read would not block, within timeoutMs.
  virtual bool WaitReadable(int timeoutMs);
  // Socket-style results: a count, 0 at the peer's close, -1 on failure (errno tells).
  virtual ssize_t Read(void* buffer, size_t size);
  // May write fewer bytes than asked; the caller loops.
  virtual ssize_t Write(const void* buffer, size_t size);
  // Ends the sending direction (a TLS transport sends its close alert first).
  virtual void ShutdownWrite();
  // Puts `bytes` on the wire as they are, outside any TLS record (to corrupt a TLS stream).
  bool WriteRaw(std::string_view bytes);

  // TLS only; a plain transport has no records, no alert and no server name.
  // Encrypts `bytes` as one record but puts only its first part on the wire, holding back the
  // last `heldBackBytes` encrypted bytes: the client sees the start of a record that never
  // completes.
  virtual bool WritePartialRecord(std::string_view bytes, size_t heldBackBytes);
  virtual void SendCloseNotify() {}
  // The host name the client sent in the handshake (SNI), or none.
  virtual std::optional<std::string> ServerName() const { return std::nullopt; }

 private:
  int fd_;
};

class TlsTransport : public Transport {
 public:
  // Runs the server handshake on `fd` with `context` (not owned; must outlive the transport),
  // on the calling thread, which has SIGPIPE blocked (as a loopback acceptor's threads have) so
  // that a client leaving mid-reply cannot end the test process. Raises std::runtime_error when
  // the handshake fails.
  TlsTransport(int fd, SSL_CTX* context);
  ~TlsTransport() override;

  // Also true while decrypted bytes wait inside the channel.
  bool WaitReadable(int timeoutMs) override;
  ssize_t Read(void* buffer, size_t size) override;
  // Each call of at most 16384 bytes goes out as one TLS record.
  ssize_t Write(const void* buffer, size_t size) override;
  // Sends close_notify, then ends the sending direction.
  void ShutdownWrite() override;
  bool WritePartialRecord(std::string_view bytes, size_t heldBackBytes) override;
  void SendCloseNotify() override;
  std::optional<std::string> ServerName() const override;

 private:
  loopback::SslPtr ssl_;
};

}  // namespace pixhaul::test
