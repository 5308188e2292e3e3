// CliProcess: runs the pixhaul-cli program as a child process for end-to-end tests, with its
// standard output and error captured in files, extra environment variables, and a bounded
// wait (a child that outlives it is killed and the wait reports failure).
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace pixhaul::testing {

class CliProcess {
 public:
  // Starts `program` with `arguments`; `environment` entries ("NAME=value") are added to the
  // test's own environment. Output files go into `scratchFolder`. A `errDevice` (a terminal's
  // path) takes standard error instead of its file; Err() is then empty.
  CliProcess(const std::string& program, const std::vector<std::string>& arguments,
             const std::vector<std::string>& environment, const std::string& scratchFolder,
             const std::string& errDevice = "")
      : outPath_(scratchFolder + "/stdout.txt"), errPath_(scratchFolder + "/stderr.txt") {
    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e != nullptr; ++e) envStrings.emplace_back(*e);
    envStrings.insert(envStrings.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (std::string& e : envStrings) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    if (errDevice.empty()) {
      posix_spawn_file_actions_addopen(&actions, 2, errPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                       0644);
    } else {
      posix_spawn_file_actions_addopen(&actions, 2, errDevice.c_str(), O_RDWR | O_NOCTTY, 0);
    }
    // The child starts with default signal handling and an empty mask, whatever the test has.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int failed =
        posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failed != 0) throw std::runtime_error("cannot start " + program);
  }
  ~CliProcess() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      int status;
      ::waitpid(pid_, &status, 0);
    }
  }
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  // Waits at most `timeoutMs`; true when the child ended. ExitCode() is then its exit status,
  // or 128 + the signal that ended it.
  bool Wait(unsigned timeoutMs = 60000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!exited_) {
      int status;
      const pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_) {
        exited_ = true;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        break;
      }
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }
  // Waits (bounded) until standard output holds `text`; false when it never did.
  bool WaitForOutput(const std::string& text, unsigned timeoutMs = 20000) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Out().find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
  }
  void Signal(int signal) { ::kill(pid_, signal); }

  int ExitCode() const { return exitCode_; }
  std::string Out() const { return Read(outPath_); }
  std::string Err() const { return Read(errPath_); }

 private:
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string outPath_;
  std::string errPath_;
  pid_t pid_ = -1;
  bool exited_ = false;
  int exitCode_ = -1;
};

}  // namespace pixhaul::testing
