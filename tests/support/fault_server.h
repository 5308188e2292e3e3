// FaultServer: a fault-injecting loopback image server for soak tests and benchmarks.
//
// It listens on 127.0.0.1 with ports the system picks: one plain http port, one https port
// (its own OpenSSL server context with a self-signed EC certificate made at start), one port
// whose peer does not speak TLS (for failing handshakes), and one bound but not listening
// socket whose port refuses connections. Each request for /img/<n>/<token>.png is answered by
// the fault its token names (tests/support/fault_catalogue.h); /page serves the result page
// set with SetPage. Connections are kept alive between requests as HTTP/1.1 allows.
//
// Threads: one acceptor and a fixed pool of connection threads (one connection each at a
// time; further connections wait in the listen queue). Every wait of the server is bounded:
// by the peer going away, by the server stopping, by `ioLimit` for a silent peer, and by the
// server's `lifetime`, after which it stops by itself. The destructor stops and joins every
// thread. The public functions may be called from any thread.
#pragma once

#include <openssl/ssl.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/fault_catalogue.h"

namespace pixhaul::test {

class FaultServer {
 public:
  struct Options {
    // The server stops by itself this long after it started.
    std::chrono::milliseconds lifetime{std::chrono::minutes(10)};
    // The longest a connection waits for a silent peer that should be sending.
    std::chrono::milliseconds ioLimit{std::chrono::seconds(60)};
    // The pause between two bytes of a slow-drip reply.
    std::chrono::milliseconds dripInterval{5};
    // Connection threads; more concurrent connections wait in the listen queue.
    int connectionThreads = 64;
  };

  // Starts listening and serving at once. Raises std::runtime_error when a socket or the TLS
  // context cannot be set up.
  explicit FaultServer(Options options);
  FaultServer() : FaultServer(Options{}) {}
  ~FaultServer();
  FaultServer(const FaultServer&) = delete;
  FaultServer& operator=(const FaultServer&) = delete;

  const FaultPorts& Ports() const { return ports_; }
  // The markup served at http://127.0.0.1:<http port>/page.
  void SetPage(std::string page);
  std::string PageAddress() const;

  // Stops accepting, ends every connection and joins every thread. Idempotent.
  void Stop();

  // Statistics, safe while serving.
  int ConnectionsAccepted() const { return accepted_.load(); }
  int LiveConnections() const { return live_.load(); }
  int PeakConnections() const { return peak_.load(); }
  // Request targets in arrival order (badTls and refused connections carry none).
  std::vector<std::string> RequestTargets() const;
  // Requests whose path named image n, over all hops and runs so far.
  int RequestsForImage(int n) const;
  // Requests per kind (first hops and inner hops alike).
  int RequestsForKind(FaultKind kind) const;
  // Requests whose target the server did not recognise (answered 404).
  int UnknownRequests() const { return unknown_.load(); }
  // Bytes sent by endless bodies before their clients gave up.
  uint64_t EndlessBytesSent() const { return endlessBytes_.load(); }
  // Forgets the recorded targets (counts per kind stay).
  void ClearRequestLog();

 private:
  class Channel;
  struct Pending {
    int fd;
    int listener;  // index into listenFds_
  };

  void AcceptLoop();
  void ConnectionLoop();
  void Serve(Pending pending);
  void ServeBadTls(int fd);
  // Answers one request; false when the connection has to end afterwards.
  bool Respond(Channel& channel, const std::string& target);
  bool RespondToImage(Channel& channel, FaultKind kind, int n, int hop);
  void Record(const std::string& target, int n, FaultKind kind, bool known);

  Options options_;
  std::chrono::steady_clock::time_point deadline_;
  FaultPorts ports_;
  std::array<int, 3> listenFds_{-1, -1, -1};  // http, https, badTls
  int refusedFd_ = -1;
  int wakeFd_ = -1;  // eventfd, readable once the server stops
  SSL_CTX* tlsContext_ = nullptr;

  std::atomic<bool> stopping_{false};
  std::mutex stopMutex_;
  bool stopped_ = false;  // guarded by stopMutex_
  std::thread acceptor_;
  std::vector<std::thread> pool_;

  mutable std::mutex mutex_;
  std::condition_variable pendingChanged_;
  std::deque<Pending> pending_;                         // guarded by mutex_
  std::string page_;                                    // guarded by mutex_
  std::vector<std::string> targets_;                    // guarded by mutex_
  std::vector<int> requestsPerImage_;                   // guarded by mutex_; index n
  std::array<int, kFaultKindCount> requestsPerKind_{};  // guarded by mutex_

  std::atomic<int> accepted_{0};
  std::atomic<int> live_{0};
  std::atomic<int> peak_{0};
  std::atomic<int> unknown_{0};
  std::atomic<int> badTlsCount_{0};
  std::atomic<uint64_t> endlessBytes_{0};
};

}  // namespace pixhaul::test
