// CliProcess: runs pixhaul-cli (or any program) as a child process for the soak tests, with
// its standard output and error captured, a bounded wait, and the figures a soak reports.
//
// The child gets the test's environment plus the given settings, /dev/null as input, and
// pipes for output that reader threads drain (so a chatty child never blocks). Start, Kill and
// Wait are called from the test's thread; the stdout line callback runs on a reader thread.
// The destructor kills a child still running and joins the readers.
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

  // `argv[0]` is the program path. `environment` entries "NAME=value" override the test's own.
  CliProcess(std::vector<std::string> argv, std::vector<std::string> environment);
  ~CliProcess();
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  // Called for every complete stdout line (without its LF), on a reader thread. Set before
  // Start.
  void OnStdoutLine(LineCallback callback) { onLine_ = std::move(callback); }

  // Raises std::runtime_error when the program cannot be started.
  void Start();
  pid_t Pid() const { return pid_; }
  void Kill(int signal);
  // Waits for the end; after `timeout` the child is killed (SIGKILL) and timedOut set.
  ProcessResult Wait(std::chrono::milliseconds timeout);

 private:
  void Drain(int fd, std::string& sink, bool lines);

  std::vector<std::string> argv_;
  std::vector<std::string> environment_;
  LineCallback onLine_;
  pid_t pid_ = -1;
  bool reaped_ = false;
  std::chrono::steady_clock::time_point started_;
  std::mutex mutex_;
  std::string out_;  // guarded by mutex_
  std::string err_;  // guarded by mutex_
  std::thread outReader_;
  std::thread errReader_;
};

}  // namespace pixhaul::test
