// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// FaultServer: a fault-injecting loopback image server for soak tests and benchmarks.
//
// It listens on 127.0.0.1 with ports the system picks: one plain http port and one https port
// (the loopback HTTP server of the demo, with connections kept alive between requests as
// HTTP/1.1 allows), one port whose peer does not speak TLS (for failing handshakes), and one
// bound but not listening socket whose port refuses connections. Each request for
// /img/<n>/<token>.png is answered by the fault its token names (tests/support/
// fault_catalogue.h); /page serves the result page set with SetPage.
//
// Every wait of the server is bounded: by the peer going away, by the server stopping, by
// `ioLimit` for a silent peer, and by the server's `lifetime`, after which it stops by itself.
// The destructor stops and joins every thread. The public functions may be called from any
// thread.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "loopback/loopback_listener.h"
#include "loopback/loopback_server.h"
#include "tests/support/fault_catalogue.h"
#include "tests/support/scripted_server.h"

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
  // Answers one request; false when the connection has to end afterwards.
  bool Respond(const loopback::HttpRequest& request, loopback::HttpConnection& connection);
  bool RespondToImage(loopback::HttpConnection& connection, FaultKind kind, int n, int hop);
  void Record(const std::string& target, int n, FaultKind kind, bool known);

  Options options_;

  mutable std::mutex mutex_;
  std::string page_;                                    // guarded by mutex_
  std::vector<std::string> targets_;                    // guarded by mutex_
  std::vector<int> requestsPerImage_;                   // guarded by mutex_; index n
  std::array<int, kFaultKindCount> requestsPerKind_{};  // guarded by mutex_
  std::atomic<int> unknown_{0};
  std::atomic<uint64_t> endlessBytes_{0};

  // The servers go first: their threads use the members above.
  loopback::RefusingPort refused_;
  ScriptedServer badTls_;
  loopback::LoopbackHttpServer server_;
  FaultPorts ports_;
};

}  // namespace pixhaul::test
