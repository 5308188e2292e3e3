// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// LoopbackHttpServer: an HTTP/1.1 server on 127.0.0.1, plain and TLS, whose replies come from
// a handler its owner supplies. The demo image-search site runs on it; the tests and the
// benchmarks serve their pages, images and faulty replies through it too.
//
// It listens on two ports (plain and TLS, with the self-signed certificate of
// self_signed_certificate.h; port 0 lets the system choose) and serves each accepted connection
// on a thread of its own, which its ConnectionAcceptor runs. A Handler returns an HttpReply, which
// the server writes with its length. A RawHandler writes the reply itself through the
// HttpConnection it is given - at its own pace, cut short, reset, or not at all - and says whether
// the connection may carry another request. Without Options::keepAlive every connection carries one
// request and its reply says "Connection: close"; with it, a connection serves request after
// request until the client closes it or a raw handler ends it.
//
// Every wait of the server is bounded: by the peer going away, by Stop, by Options::ioLimit
// for a silent peer, and by Options::lifetime, after which the server stops by itself.
// Handlers run on the connection threads; they may block (a test holding replies back) but
// must return by themselves, and a raw handler's waits on its connection end when the server
// stops. The server's threads run with SIGPIPE blocked, so a client that leaves mid-reply
// fails a write instead of ending the process, while the owner's threads keep their signals.
//
// Construct, Stop and destroy from one thread; the counters may be read from any thread. The
// destructor stops the server and joins every thread.
//
// Tests: tests/loopback/connection_acceptor_test.cpp, and every suite whose server it is.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "loopback/connection_acceptor.h"
#include "loopback/loopback_listener.h"
#include "loopback/self_signed_certificate.h"
#include "loopback/tls_accept.h"

namespace pixhaul::loopback {

struct HttpRequest {
  std::string method;
  std::string target;  // as sent: "/img/3.png?x=1"
  std::string head;    // the request line and header lines, CR LF ended, without the empty line
  bool tls = false;
  // The value of a header (name compared ignoring case), or empty.
  std::string Header(const std::string& name) const;
};

struct HttpReply {
  int status = 200;
  std::string reason = "OK";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  bool closeWithoutReply = false;  // drop the connection instead of answering
};

// A reply of status 200 with `body` and its content type.
HttpReply OkReply(std::string body, std::string contentType = "text/html; charset=utf-8");

class LoopbackHttpServer;

// One accepted connection, as a raw handler sees it. Every call returns at once when the
// server stops; a write that the peer does not take within the server's I/O limit fails.
class HttpConnection {
 public:
  bool Tls() const { return ssl_ != nullptr; }
  // Writes all of `bytes`; false when the peer is gone or silent, or the server stops.
  bool Write(std::string_view bytes);
  // Ends the stream in order (close_notify over TLS, then the end of the TCP stream), reads
  // and discards what the peer still sends so that the close does not become a reset, and
  // closes once the peer has gone (or the I/O limit passed).
  void CloseGracefully();
  // Closes with a TCP reset.
  void Reset();
  // Waits until the peer closes, fails or the server stops (at most until the server's
  // lifetime ends), discarding whatever the peer sends.
  void WaitUntilPeerGone();
  bool Stopping() const;

 private:
  friend class LoopbackHttpServer;
  using Clock = std::chrono::steady_clock;

  HttpConnection(int fd, const LoopbackHttpServer& server);
  ~HttpConnection();
  HttpConnection(const HttpConnection&) = delete;
  HttpConnection& operator=(const HttpConnection&) = delete;

  // Makes this a TLS connection; false when the handshake fails.
  bool Handshake();
  // Up to `size` bytes: > 0 read, 0 the peer closed, -1 failure, silence until `until`, or stop.
  ssize_t ReadSome(char* buffer, size_t size, Clock::time_point until);
  // A request head up to its empty line, or false when the peer closed or went silent.
  bool ReadRequestHead(std::string& head);
  // Waits for what an SSL_ERROR_WANT_* code asks (plain sockets use the same codes); false on
  // any other code, when `until` or the server's lifetime passes, or when the server stops.
  bool WaitFor(int sslError, Clock::time_point until);
  // The end of a connection that carried one reply: close_notify, the end of the stream, close.
  void Finish();
  void Close();

  int fd_;
  SslPtr ssl_;
  const LoopbackHttpServer& server_;
  std::string pending_;  // bytes read past the last request head
};

class LoopbackHttpServer {
 public:
  using Handler = std::function<HttpReply(const HttpRequest&)>;
  // Writes the reply through the connection; returns whether the connection may carry another
  // request (only with keepAlive; false when the handler ended the connection).
  using RawHandler = std::function<bool(const HttpRequest&, HttpConnection&)>;

  struct Options {
    uint16_t httpPort = 0;
    uint16_t httpsPort = 0;
    // Connections serve request after request instead of one.
    bool keepAlive = false;
    // The longest a connection waits for a silent peer.
    std::chrono::milliseconds ioLimit{std::chrono::seconds(10)};
    // The server stops by itself this long after it started.
    std::chrono::milliseconds lifetime{std::chrono::minutes(10)};
  };

  // Starts listening and serving at once. Raises std::runtime_error when a socket or the TLS
  // context cannot be set up (a taken port included).
  explicit LoopbackHttpServer(Handler handler) : LoopbackHttpServer(std::move(handler), {}) {}
  LoopbackHttpServer(Handler handler, Options options);
  LoopbackHttpServer(RawHandler handler, Options options);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  uint16_t HttpPort() const { return acceptor_.Port(0); }
  uint16_t HttpsPort() const { return acceptor_.Port(1); }
  std::string HttpBase() const;   // "http://127.0.0.1:<port>"
  std::string HttpsBase() const;  // "https://127.0.0.1:<port>"

  // Stops accepting, ends every connection's waits and joins every thread. Idempotent.
  void Stop() { acceptor_.Stop(); }

  int RequestCount() const { return requests_.load(); }
  int LiveConnections() const { return live_.load(); }
  int PeakConnections() const { return peak_.load(); }

 private:
  friend class HttpConnection;

  void Serve(int fd, bool tls);
  bool Stopping() const { return acceptor_.Stopping(); }

  RawHandler handler_;
  Options options_;
  SslContextPtr tlsContext_;
  std::atomic<int> requests_{0};
  std::atomic<int> live_{0};
  std::atomic<int> peak_{0};
  ConnectionAcceptor acceptor_;  // last: its threads use the members above
};

}  // namespace pixhaul::loopback
