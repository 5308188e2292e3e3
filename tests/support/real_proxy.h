// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// RealProxy: tinyproxy (an HTTP proxy) or microsocks (a SOCKS5 proxy), started for one test
// on 127.0.0.1 with a port the system chose and a configuration of its own in a temporary
// folder, and stopped (SIGTERM, then waited for) when the object goes.
//
// The port is found free by binding to port 0, then handed to the proxy; should another
// program take it first, the proxy is started again on a new one. A proxy that is not
// installed is a failure of the machine's set-up, never a reason to skip: construction raises
// std::runtime_error "install tinyproxy" (or "install microsocks"). Used from the test's thread.
#pragma once

#include <sys/types.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace pixhaul::test {

class RealProxy {
 public:
  enum class Kind { kTinyproxy, kMicrosocks };

  // With a user, the proxy asks for it and its password (tinyproxy's BasicAuth, microsocks's
  // RFC 1929 user and password).
  explicit RealProxy(Kind kind, const std::string& user = "", const std::string& password = "");
  ~RealProxy();
  RealProxy(const RealProxy&) = delete;
  RealProxy& operator=(const RealProxy&) = delete;

  int Port() const { return port_; }
  // "http://127.0.0.1:<port>" for tinyproxy, "<scheme>://127.0.0.1:<port>" for microsocks.
  std::string Address(const std::string& scheme = "http") const;
  // What the proxy logged so far: tinyproxy writes each request line it was sent, microsocks
  // "connected to HOST:PORT" with the host as the client named it.
  std::string Log() const;

 private:
  // Starts the proxy on `port`; false when it did not come to listen there.
  bool Start(int port);

  Kind kind_;
  std::string user_;
  std::string password_;
  TempDir folder_;
  pid_t pid_ = -1;
  int port_ = 0;
};

}  // namespace pixhaul::test
