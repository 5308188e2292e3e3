// LoopbackHttpServer: a small HTTP and HTTPS server on 127.0.0.1 for the demo site, the tests
// and the benchmark. Each request is answered by a handler the owner supplies.
//
// It listens on two ports (plain and TLS; 0 lets the system choose), accepts any number of
// connections at once, one thread each, reads one request per connection and answers it with
// "Connection: close". The TLS side uses a self-signed certificate made in memory at start.
// Handlers run on the connection threads, may block (a test holding replies) and must return
// by themselves. Every socket wait of the server is bounded (10 s). The destructor stops
// accepting and joins every thread. Construct, query and destroy from one thread; the
// counters may be read from any thread.
#pragma once

#include <openssl/ssl.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace pixhaul::demo {

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

class LoopbackHttpServer {
 public:
  using Handler = std::function<HttpReply(const HttpRequest&)>;

  // Starts listening and serving at once. Raises std::runtime_error when a socket or the TLS
  // context cannot be set up (a taken port included).
  explicit LoopbackHttpServer(Handler handler, uint16_t httpPort = 0, uint16_t httpsPort = 0);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  uint16_t HttpPort() const { return httpPort_; }
  uint16_t HttpsPort() const { return httpsPort_; }
  std::string HttpBase() const;   // "http://127.0.0.1:<port>"
  std::string HttpsBase() const;  // "https://127.0.0.1:<port>"

  // Stops accepting, waits for the running handlers and joins every thread. Idempotent.
  void Stop();

  int RequestCount() const { return requests_.load(); }
  int LiveConnections() const { return live_.load(); }
  int PeakConnections() const { return peak_.load(); }

 private:
  struct Connection {
    std::thread thread;
    std::atomic<bool> done{false};
  };

  void AcceptLoop();
  void Serve(int fd, bool tls);
  void ReapFinished();

  Handler handler_;
  int httpListener_ = -1;
  int httpsListener_ = -1;
  uint16_t httpPort_ = 0;
  uint16_t httpsPort_ = 0;
  std::unique_ptr<SSL_CTX, void (*)(SSL_CTX*)> tlsContext_;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  std::mutex connectionsMutex_;
  std::list<Connection> connections_;  // guarded by connectionsMutex_
  std::atomic<int> requests_{0};
  std::atomic<int> live_{0};
  std::atomic<int> peak_{0};
};

// A loopback port on which connections are refused: a socket bound to it that never listens.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  uint16_t Port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

}  // namespace pixhaul::demo
