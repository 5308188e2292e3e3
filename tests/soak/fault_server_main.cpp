// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// fault_server_main: runs the fault server on its own, for trying a client by hand.
//
//   fault_server_main [ENTRIES [SECONDS]]
//
// Prints the ports and the page address, then serves a page of ENTRIES addresses (default
// 2000) mixing every fault kind as the soak tests do (one endless body), until SECONDS (default
// 600) have passed or SIGINT/SIGTERM.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "tests/support/fault_server.h"

namespace {
volatile std::sig_atomic_t stopRequested = 0;
void OnSignal(int) { stopRequested = 1; }
}  // namespace

int main(int argc, char** argv) {
  using namespace pixhaul::test;
  const int entries = argc > 1 ? std::atoi(argv[1]) : 2000;
  const int seconds = argc > 2 ? std::atoi(argv[2]) : 600;
  if (entries < 0 || seconds <= 0) {
    std::fprintf(stderr, "usage: fault_server_main [ENTRIES [SECONDS]]\n");
    return 2;
  }
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  FaultServer::Options options;
  options.lifetime = std::chrono::seconds(seconds);
  FaultServer server(options);
  std::vector<FaultKind> kinds;
  std::vector<int> weights;
  StandardFaultMix(kinds, weights);
  std::vector<FaultEntry> page = MixedFaultEntries(entries, kinds, weights);
  if (!page.empty()) page[page.size() / 3].kind = FaultKind::kEndlessBody;
  server.SetPage(FaultResultPage(page, server.Ports()));
  std::printf("http %u https %u badtls %u refused %u\npage %s\n", server.Ports().http,
              server.Ports().https, server.Ports().badTls, server.Ports().refused,
              server.PageAddress().c_str());
  std::fflush(stdout);
  for (int i = 0; i < seconds * 10 && !stopRequested; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  server.Stop();
  return 0;
}
