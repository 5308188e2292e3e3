// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// CliProcess: runs a program (pixhaul-cli, mostly) as a child process for end-to-end and soak
// tests: extra environment settings, /dev/null as input, standard output and error read from
// pipes as they come (so a chatty child never blocks), a bounded wait, and the figures a soak
// reports (peak memory, wall time).
//
// The child starts with default signal handling and an empty signal mask, whatever the test's
// threads have. Construct, Signal, Wait and destroy on the test's thread; Out and Err may be
// read meanwhile; the stdout line callback runs on a reader thread. The destructor kills a
// child still running and joins the readers.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pixhaul::test {

struct ProcessResult {
  bool exited = false;  // ended by exit (not by a signal)
  int exitCode = -1;
  int signal = 0;  // the signal that ended it, when not exited
  bool timedOut = false;
  std::string out;
  std::string err;
  // Peak resident size from wait4. Linux carries the high-water mark of the memory the child
  // shared with the test until exec into it, so this is at least the test's own size then.
  long maxRssKiB = 0;
  double wallSeconds = 0;
};

class CliProcess {
 public:
  using LineCallback = std::function<void(const std::string& line)>;
  struct Options {
    // "NAME=value" entries, in place of same-named ones of the test's environment.
    std::vector<std::string> environment = {};
    // A terminal's path that takes standard error instead of a pipe (Err() is then empty).
    std::string errDevice = {};
    // Sees every complete stdout line (without its LF) as it comes, on a reader thread.
    LineCallback onStdoutLine = {};
  };

  // Starts `argv[0]` with `argv`. Raises std::runtime_error when it cannot be started.
  explicit CliProcess(std::vector<std::string> argv) : CliProcess(std::move(argv), Options{}) {}
  CliProcess(std::vector<std::string> argv, Options options);
  ~CliProcess();
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  pid_t Pid() const { return pid_; }
  void Signal(int signal);

  // Waits until the child has ended and its output is read. A child still running after
  // `timeout` is killed (SIGKILL) and its result says so. True when it ended by itself.
  bool Wait(std::chrono::milliseconds timeout = std::chrono::seconds(60));
  // After Wait: how it ended, and everything it wrote.
  const ProcessResult& Result() const { return result_; }
  // After Wait: its exit status, or 128 + the signal that ended it.
  int ExitCode() const;

  // What the child wrote so far.
  std::string Out() const;
  std::string Err() const;
  // Waits (bounded) until standard output holds `text`; false when it never did.
  bool WaitForOutput(const std::string& text,
                     std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

 private:
  void Drain(int fd, std::string& sink, bool lines);

  Options options_;
  pid_t pid_ = -1;
  bool reaped_ = false;
  std::chrono::steady_clock::time_point started_;
  ProcessResult result_;
  mutable std::mutex mutex_;
  std::string out_;  // guarded by mutex_
  std::string err_;  // guarded by mutex_
  std::thread outReader_;
  std::thread errReader_;
};

}  // namespace pixhaul::test
