// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "tests/support/cli_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <stdexcept>

extern char** environ;

namespace pixhaul::test {

namespace {

// The test's environment with `settings` in place of same-named entries.
std::vector<std::string> MergedEnvironment(const std::vector<std::string>& settings) {
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    merged[text.substr(0, text.find('='))] = text;
  }
  for (const std::string& text : settings) merged[text.substr(0, text.find('='))] = text;
  std::vector<std::string> texts;
  for (auto& [name, text] : merged) texts.push_back(text);
  return texts;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

CliProcess::CliProcess(std::vector<std::string> argv, Options options)
    : options_(std::move(options)) {
  int outPipe[2];
  int errPipe[2] = {-1, -1};
  if (::pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const bool errPiped = options_.errDevice.empty();
  if (errPiped && ::pipe2(errPipe, O_CLOEXEC) != 0) {
    ::close(outPipe[0]);
    ::close(outPipe[1]);
    throw std::runtime_error("pipe failed");
  }
  std::vector<std::string> environment = MergedEnvironment(options_.environment);
  std::vector<char*> envp = Pointers(environment);
  std::vector<char*> args = Pointers(argv);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  if (errPiped) {
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  } else {
    posix_spawn_file_actions_addopen(&actions, 2, options_.errDevice.c_str(), O_RDWR | O_NOCTTY, 0);
  }
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  started_ = std::chrono::steady_clock::now();
  const int error = posix_spawn(&pid_, args[0], &actions, &attributes, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(outPipe[1]);
  if (errPiped) ::close(errPipe[1]);
  if (error != 0) {
    ::close(outPipe[0]);
    if (errPiped) ::close(errPipe[0]);
    pid_ = -1;
    throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(error));
  }
  outReader_ = std::thread([this, fd = outPipe[0]] { Drain(fd, out_, true); });
  if (errPiped) errReader_ = std::thread([this, fd = errPipe[0]] { Drain(fd, err_, false); });
}

CliProcess::~CliProcess() {
  if (pid_ > 0 && !reaped_) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  if (outReader_.joinable()) outReader_.join();
  if (errReader_.joinable()) errReader_.join();
}

void CliProcess::Drain(int fd, std::string& sink, bool lines) {
  std::string partial;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    {
      std::lock_guard lock(mutex_);
      sink.append(buffer, static_cast<size_t>(n));
    }
    if (!lines || !options_.onStdoutLine) continue;
    partial.append(buffer, static_cast<size_t>(n));
    size_t start = 0;
    for (size_t end = partial.find('\n'); end != std::string::npos;
         end = partial.find('\n', start)) {
      options_.onStdoutLine(partial.substr(start, end - start));
      start = end + 1;
    }
    partial.erase(0, start);
  }
  ::close(fd);
}

void CliProcess::Signal(int signal) {
  if (pid_ > 0 && !reaped_) ::kill(pid_, signal);
}

bool CliProcess::Wait(std::chrono::milliseconds timeout) {
  if (reaped_) return !result_.timedOut;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  int status = 0;
  rusage usage{};
  for (;;) {
    const pid_t done = ::wait4(pid_, &status, WNOHANG, &usage);
    if (done == pid_) break;
    if (done < 0 && errno != EINTR) throw std::runtime_error("wait4 failed");
    if (std::chrono::steady_clock::now() > deadline && !result_.timedOut) {
      result_.timedOut = true;
      ::kill(pid_, SIGKILL);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  reaped_ = true;
  result_.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  outReader_.join();
  if (errReader_.joinable()) errReader_.join();
  result_.exited = WIFEXITED(status);
  result_.exitCode = result_.exited ? WEXITSTATUS(status) : -1;
  result_.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result_.maxRssKiB = usage.ru_maxrss;
  std::lock_guard lock(mutex_);
  result_.out = out_;
  result_.err = err_;
  return !result_.timedOut;
}

int CliProcess::ExitCode() const {
  return result_.exited ? result_.exitCode : 128 + result_.signal;
}

std::string CliProcess::Out() const {
  std::lock_guard lock(mutex_);
  return out_;
}

std::string CliProcess::Err() const {
  std::lock_guard lock(mutex_);
  return err_;
}

bool CliProcess::WaitForOutput(const std::string& text, std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (Out().find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace pixhaul::test
