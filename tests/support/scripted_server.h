// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// ScriptedServer: a loopback TCP server, plain or TLS, for tests that state byte for byte what a
// peer sends and check byte for byte what it received.
//
// The server listens on 127.0.0.1 with a system-chosen port. Each accepted connection runs one
// Script on a thread of its own: connection i runs scripts[i], or, with Options::repeatScripts,
// scripts[i % scripts.size()] for any number of connections. A connection beyond the scripts is
// closed at once. With Options::tls the server handshake (self-signed certificate, CN=localhost)
// runs before the script, and the script reads and writes decrypted bytes.
//
// A script is a list of steps: fixed exchanges (receive until a text, send bytes, pause, close,
// reset), and Call steps that drive the ScriptedConnection themselves where a reply depends on
// what arrived. Every wait is bounded: a receiving step gives up after Options::stepTimeoutMs
// without a byte and ends its script as failed, and every wait ends when the server stops (by
// itself too, ten minutes after it started). The destructor stops accepting, ends every script
// and joins every thread. Everything a
// connection received is recorded, whichever step read it.
//
// Thread use: construct, query and destroy from one (test) thread; the scripts run on the
// server's threads, and a ScriptedConnection is used only by its connection's thread.
#pragma once

#include <openssl/ssl.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "loopback/connection_acceptor.h"
#include "loopback/self_signed_certificate.h"

namespace pixhaul::test {

class ScriptedConnection;
class ScriptedServer;
class Transport;

// One step of a connection's script.
struct ScriptStep {
  enum class Kind {
    kReceiveUntil,        // read until `text` has arrived (inclusive)
    kReceiveBytes,        // read until `count` more bytes have arrived
    kReceiveUntilClose,   // read until the peer closes
    kSend,                // send `text`
    kSendRepeated,        // send `text` over and over until `count` bytes went out
    kPause,               // sleep `count` milliseconds
    kShutdownWrite,       // end the sending direction (FIN), keep reading possible
    kClose,               // close the connection; later steps are skipped
    kReset,               // close with SO_LINGER 0 (the peer sees a reset)
    kRefuseTlsHandshake,  // read a ClientHello record, answer with a fatal alert
    kCall,                // run `action` with the connection
  };
  Kind kind;
  std::string text;
  uint64_t count = 0;
  std::function<void(ScriptedConnection&)> action;
};

// A connection's script, built by chaining: Script().ReceiveUntil("\r\n\r\n").Send(reply).Close().
// Without an explicit Close or Reset the connection is closed when the script ends.
class Script {
 public:
  Script& ReceiveUntil(std::string text);
  Script& ReceiveBytes(uint64_t count);
  Script& ReceiveUntilClose();
  Script& Send(std::string bytes);
  Script& SendRepeated(std::string chunk, uint64_t totalBytes);
  Script& Pause(int milliseconds);
  Script& ShutdownWrite();
  Script& Close();
  Script& Reset();
  // The answer of a server that supports none of the offered TLS versions: reads the client's
  // ClientHello record and sends a fatal protocol_version alert (on a plain server).
  Script& RefuseTlsHandshake();
  // Runs `action` on the connection's thread.
  Script& Call(std::function<void(ScriptedConnection&)> action);

  const std::vector<ScriptStep>& Steps() const { return steps_; }

 private:
  std::vector<ScriptStep> steps_;
};

// One accepted connection as a Call step sees it. Reads wait at most the server's step limit
// for each byte and end at once when the server stops; everything read is recorded.
class ScriptedConnection {
 public:
  // Up to `maxBytes` bytes; empty when the peer closed, failed or stayed silent.
  std::string ReadSome(size_t maxBytes = 16384);
  // Exactly `count` bytes, or fewer when the peer closed or stayed silent first.
  std::string ReadExactly(size_t count);
  // Everything up to and including `terminator` (for example the empty line of a request), or
  // what arrived before the peer closed or stayed silent.
  std::string ReadUntil(std::string_view terminator);
  // Writes `bytes` whole; over TLS each call of at most 16384 bytes goes out as one record.
  // False when the peer is gone.
  bool Write(std::string_view bytes);
  // Puts `bytes` on the wire as they are, outside any TLS record.
  bool WriteRaw(std::string_view bytes);
  // TLS only: the start of a record that never completes (see Transport).
  bool WritePartialRecord(std::string_view bytes, size_t heldBackBytes);
  // TLS only: sends close_notify. Without it, the close that ends the script is a bare end of
  // stream.
  void SendCloseNotify();
  // Closes the connection now, with a reset; later reads and writes fail.
  void Reset();
  // The host name the client sent in the TLS handshake (SNI), or none.
  std::optional<std::string> ServerName() const;

 private:
  friend class ScriptedServer;
  ScriptedConnection(ScriptedServer& server, size_t index, std::unique_ptr<Transport> transport);
  ~ScriptedConnection();

  // Runs one step; returns an empty text or why it failed.
  std::string Run(const ScriptStep& step);
  // Reads until `satisfied` holds for the bytes pending; returns an empty text or why it
  // stopped short. `untilClose` reads until the peer closes (then keeping nothing pending).
  std::string Fill(const std::function<bool()>& satisfied, bool untilClose = false);
  std::string Take(size_t count);
  std::string Send(std::string_view block, uint64_t total);
  void CloseNow(bool reset);

  ScriptedServer& server_;
  size_t index_;
  std::unique_ptr<Transport> transport_;  // null once closed
  std::string pending_;                   // received, not yet taken by a step
};

class ScriptedServer {
 public:
  struct Options {
    // Connection i runs scripts[i % scripts.size()], for any number of connections.
    bool repeatScripts = false;
    // Every connection is TLS: the server handshake runs before the script.
    bool tls = false;
    // Bound of every waiting step, in milliseconds without a byte.
    int stepTimeoutMs = 10000;
    // Listen backlog.
    int backlog = 64;
    // Listen on ::1 instead of 127.0.0.1; construction raises std::runtime_error when the
    // machine has no ::1 (see HasIPv6Loopback).
    bool ipv6 = false;
  };

  explicit ScriptedServer(std::vector<Script> scripts);
  ScriptedServer(std::vector<Script> scripts, Options options);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int Port() const { return acceptor_.Port(0); }
  // Whether this machine can listen on ::1.
  static bool HasIPv6Loopback();
  // "http://127.0.0.1:<port>" + path ("https" with Options::tls, "[::1]" with Options::ipv6).
  std::string Url(const std::string& path = "/") const;
  // Number of connections accepted so far.
  size_t AcceptedCount() const;
  // Number of connections whose TLS handshake completed.
  size_t HandshakeCount() const;
  // Waits (bounded) until `count` connections have finished their scripts; true when they did.
  bool WaitFinished(size_t count, int timeoutMs = 10000);
  // Everything connection `index` received so far, byte for byte ("" if not accepted yet).
  std::string Received(size_t index) const;
  // Whether connection `index` ran its whole script (false while running or after a failed
  // step; see Failure).
  bool Completed(size_t index) const;
  // Why connection `index`'s script stopped early, empty when it did not.
  std::string Failure(size_t index) const;
  // The host name connection `index`'s client sent in the TLS handshake, or none.
  std::optional<std::string> ServerName(size_t index) const;

 private:
  friend class ScriptedConnection;
  struct Connection {
    int fd = -1;  // -1 once closed
    std::string received;
    bool handshake = false;
    std::optional<std::string> serverName;
    bool finished = false;
    bool completed = false;
    std::string failure;
  };

  // Takes connection `fd` on the accept thread: its script's work, or none when unscripted.
  loopback::ConnectionAcceptor::Work Admit(int fd);
  void RunScript(size_t index, int fd);
  void CloseConnectionFd(size_t index, bool reset);
  void Record(size_t index, const char* bytes, size_t count);
  bool Stopping() const { return acceptor_.Stopping(); }

  std::vector<Script> scripts_;
  Options options_;
  loopback::SslContextPtr tlsContext_;  // with Options::tls
  mutable std::mutex mutex_;
  std::condition_variable finishedChanged_;
  std::vector<std::unique_ptr<Connection>> connections_;  // guarded by mutex_
  loopback::ConnectionAcceptor acceptor_;                 // last: its threads use the above
};

}  // namespace pixhaul::test
