// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// SoakRig: one soak scenario's world - a fault server, a generated result page mixing the
// fault kinds, a private save folder, and runs of pixhaul-cli against them with the figures
// each run produced (exit, output, log, peak memory, descriptors and threads at start and end).
//
// Made and used on the test's thread. The destructor stops the server and removes the folder.
// pixhaul-cli runs with lowered waits and I/O limits (its hidden test settings) unless
// PIXHAUL_SOAK_REAL_TIMINGS=1 is set, which keeps the program's own timings (the benchmark).
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/soak/soak_check.h"
#include "tests/support/cli_process.h"
#include "tests/support/fault_server.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {

struct SoakSettings {
  int entries = 2000;
  std::vector<FaultKind> kinds;
  std::vector<int> weights;
  // Positions that get an endless body (each costs the client its whole body limit).
  std::vector<int> endlessAt;
  // Connect and read limit of every connection. Long enough that a loaded machine (sanitizers,
  // parallel tests) never starves a healthy download that long; short enough to keep stalls
  // cheap.
  int ioTimeoutMs = PIXHAUL_SOAK_SANITIZED ? 3000 : 2000;
  // start pause, live-worker limit, throttle period, grace period, stop wait. The grace period
  // outlasts the slowest worker (a stall waits out the read limit; the endless body takes a few
  // seconds), so every worker's line makes it into log.txt.
  std::string timings = "1,50,20,8000,200";
  // About 200 bytes at this pace take longer than the read limit in total, while no single gap
  // comes near it: the limit must count silence, not the whole reply. They still take well
  // under twice the limit, beyond which fewer than 1,024 bytes are a trickle that fails.
  std::chrono::milliseconds dripInterval{PIXHAUL_SOAK_SANITIZED ? 16 : 12};
  std::chrono::seconds runTimeout{240};
  // When above 0, pixhaul-cli runs under this address-space limit (ulimit -v, KiB).
  long addressSpaceLimitKiB = 0;
};

// Descriptors and threads of the child at its start and its end (see resource_probe.cpp).
struct ProbeFigures {
  int startFds = -1;
  int startThreads = -1;
  int endFds = -1;
  int endThreads = -1;
  int settleMs = -1;
  long vmHwmKiB = -1;
};

struct SoakRun {
  ProcessResult process;
  ProbeFigures probe;
  std::string logText;
  RunLog log;
};

// Peak resident memory of the program during a run (KiB).
long PeakRssKiB(const SoakRun& run);

// True when the program runs with its real timings (PIXHAUL_SOAK_REAL_TIMINGS=1).
bool RealTimings();

class SoakRig {
 public:
  explicit SoakRig(SoakSettings settings);
  ~SoakRig();
  SoakRig(const SoakRig&) = delete;
  SoakRig& operator=(const SoakRig&) = delete;

  FaultServer& Server() { return *server_; }
  const std::vector<FaultEntry>& Entries() const { return entries_; }
  const std::string& Page() const { return page_; }
  const std::string& SaveFolder() const { return saveFolder_; }
  // The closing grace period of a run in seconds: no run can end sooner.
  double GraceSeconds() const;
  // Every address with its file name and outcome, all expected to log one record.
  std::vector<Expectation> FirstRunExpectations() const;

  // Runs pixhaul-cli on the page address into the save folder. `onLine` sees stdout lines as
  // they come and may call Kill.
  SoakRun Run(const std::function<void(const std::string&, SoakRig&)>& onLine = {});
  void Kill(int signal);

  // Prints the figures of a run (addresses, outcomes by kind, time, memory, fds, threads).
  void Report(const std::string& title, const SoakRun& run,
              const std::vector<Expectation>& page) const;

 private:
  SoakSettings settings_;
  TempDir root_;
  std::string saveFolder_;
  std::unique_ptr<FaultServer> server_;
  std::vector<FaultEntry> entries_;
  std::string page_;
  std::mutex runningMutex_;
  CliProcess* running_ = nullptr;  // guarded by runningMutex_
  int runs_ = 0;
};

// The checks every completed run must pass; `page` says which addresses log a record.
// `tolerated` names files a killed earlier run may have left. Failures are gtest failures.
void ExpectCleanRun(const SoakRig& rig, const SoakRun& run, const std::vector<Expectation>& page,
                    const std::set<std::string>& tolerated, long rssBoundKiB);

// The second run's expectations: saved images are skipped, failures logged again.
std::vector<Expectation> RerunExpectations(const std::vector<Expectation>& first);

}  // namespace pixhaul::test
