// TlsServer: a TLS loopback server for tests, with a certificate made in memory at start.
//
// It listens on 127.0.0.1 with a port the system picks, accepts any number of connections at
// once (one thread each), performs the server handshake and hands each connection to the
// test's handler, which states byte for byte what the server reads and writes. A server in
// refusing mode answers every ClientHello with a fatal "protocol version" alert instead.
//
// Every socket read and write of the server gives up after a few seconds, so no handler can
// hang a test. The destructor stops accepting, waits for the running handlers and joins every
// thread. The server object is made and destroyed on the test's thread; a connection object is
// used only by its handler's thread. The self-signed certificate (CN=localhost, EC P-256) is
// made once per process and shared by all servers.
#pragma once

#include <openssl/ssl.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace pixhaul::test {

// The servers' shared certificate (CN=localhost) in PEM form, and its private key, encrypted
// with `password` (AES-128-CBC) unless that is empty.
std::string TestCertificatePem();
std::string TestPrivateKeyPem(const std::string& password = "");

// A new server context (TLS_server_method) holding the shared certificate and key, without
// session cache or tickets. The caller frees it with SSL_CTX_free.
SSL_CTX* NewTestServerContext();

// One accepted TLS connection, as its handler sees it.
class TlsServerConnection {
 public:
  TlsServerConnection(SSL* ssl, int fd) : ssl_(ssl), fd_(fd) {}
  TlsServerConnection(const TlsServerConnection&) = delete;
  TlsServerConnection& operator=(const TlsServerConnection&) = delete;

  // Up to `maxBytes` decrypted bytes; empty when the client closed, failed or went silent.
  std::string ReadSome(size_t maxBytes = 16384);
  // Exactly `count` bytes, or fewer when the client closed or went silent first.
  std::string ReadExactly(size_t count);
  // Everything up to and including `terminator` (for example the empty line of a request), or
  // what arrived before the client closed or went silent.
  std::string ReadUntil(std::string_view terminator);
  // Writes `bytes` whole. Each call of at most 16384 bytes goes out as one TLS record, so a
  // test can choose record sizes. False when the client is gone.
  bool Write(std::string_view bytes);
  // Encrypts `bytes` as one record but puts only its first part on the wire, holding back the
  // last `heldBackBytes` encrypted bytes: the client sees the start of a record that never
  // completes. False when the client is gone.
  bool WritePartialRecord(std::string_view bytes, size_t heldBackBytes);
  // Puts `bytes` on the wire as they are, outside any record (to corrupt the stream).
  bool WriteRaw(std::string_view bytes);
  // Makes the close that follows the handler's return a reset (SO_LINGER 0).
  void ResetOnClose();
  // Sends the close_notify alert. Without it, closing the socket is a bare end of stream.
  void SendCloseNotify();
  // The host name the client sent in the handshake (SNI), or none.
  std::optional<std::string> ServerName() const;

 private:
  SSL* ssl_;
  int fd_;
  std::string pending_;  // read past a terminator, handed out first by the next read
};

class TlsServer {
 public:
  using Handler = std::function<void(TlsServerConnection&)>;
  enum class Mode {
    kHandshake,        // complete the handshake, then run the handler
    kRefuseHandshake,  // answer the ClientHello with a protocol_version alert and close
  };

  // Starts listening and accepting at once. The handler runs on each connection's own thread
  // after the handshake; the socket is closed (without close_notify) when it returns.
  explicit TlsServer(Handler handler, Mode mode = Mode::kHandshake);
  ~TlsServer();
  TlsServer(const TlsServer&) = delete;
  TlsServer& operator=(const TlsServer&) = delete;

  uint16_t Port() const { return port_; }

  // Completed handshakes so far, and the SNI name each of them carried, in completion order.
  int HandshakeCount() const;
  std::vector<std::optional<std::string>> ServerNames() const;
  // Connections accepted so far (including refused and failed handshakes).
  int AcceptCount() const;
  // Waits (at most `timeoutMs`) until `count` connections have been handled to the end;
  // true when they have.
  bool WaitForFinished(int count, int timeoutMs = 10000) const;

 private:
  void AcceptLoop();
  void Serve(int fd);
  void Refuse(int fd);

  Handler handler_;
  Mode mode_;
  SSL_CTX* context_ = nullptr;
  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptThread_;

  mutable std::mutex mutex_;
  mutable std::condition_variable finishedChanged_;
  std::vector<std::thread> connectionThreads_;           // guarded by mutex_
  std::vector<std::optional<std::string>> serverNames_;  // guarded by mutex_
  int acceptCount_ = 0;                                  // guarded by mutex_
  int finishedCount_ = 0;                                // guarded by mutex_
};

}  // namespace pixhaul::test
