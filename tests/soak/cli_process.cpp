#include "tests/soak/cli_process.h"

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

CliProcess::CliProcess(std::vector<std::string> argv, std::vector<std::string> environment)
    : argv_(std::move(argv)), environment_(std::move(environment)) {}

CliProcess::~CliProcess() {
  if (pid_ > 0 && !reaped_) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  if (outReader_.joinable()) outReader_.join();
  if (errReader_.joinable()) errReader_.join();
}

void CliProcess::Start() {
  int outPipe[2];
  int errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (::pipe2(errPipe, O_CLOEXEC) != 0) {
    ::close(outPipe[0]);
    ::close(outPipe[1]);
    throw std::runtime_error("pipe failed");
  }
  // The test's environment with the given settings in place of same-named ones.
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text(*entry);
    merged[text.substr(0, text.find('='))] = text;
  }
  for (const std::string& text : environment_) merged[text.substr(0, text.find('='))] = text;
  std::vector<std::string> envTexts;
  for (auto& [name, text] : merged) envTexts.push_back(text);
  std::vector<char*> envp;
  for (std::string& text : envTexts) envp.push_back(text.data());
  envp.push_back(nullptr);
  std::vector<char*> args;
  for (std::string& arg : argv_) args.push_back(arg.data());
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
  started_ = std::chrono::steady_clock::now();
  const int error = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  if (error != 0) {
    ::close(outPipe[0]);
    ::close(errPipe[0]);
    pid_ = -1;
    throw std::runtime_error("cannot start " + argv_[0] + ": " + std::strerror(error));
  }
  outReader_ = std::thread([this, fd = outPipe[0]] { Drain(fd, out_, true); });
  errReader_ = std::thread([this, fd = errPipe[0]] { Drain(fd, err_, false); });
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
    if (!lines || !onLine_) continue;
    partial.append(buffer, static_cast<size_t>(n));
    size_t start = 0;
    for (size_t end = partial.find('\n'); end != std::string::npos;
         end = partial.find('\n', start)) {
      onLine_(partial.substr(start, end - start));
      start = end + 1;
    }
    partial.erase(0, start);
  }
  ::close(fd);
}

void CliProcess::Kill(int signal) {
  if (pid_ > 0 && !reaped_) ::kill(pid_, signal);
}

ProcessResult CliProcess::Wait(std::chrono::milliseconds timeout) {
  ProcessResult result;
  const auto deadline = started_ + timeout;
  int status = 0;
  rusage usage{};
  for (;;) {
    const pid_t done = ::wait4(pid_, &status, WNOHANG, &usage);
    if (done == pid_) break;
    if (done < 0 && errno != EINTR) throw std::runtime_error("wait4 failed");
    if (std::chrono::steady_clock::now() > deadline && !result.timedOut) {
      result.timedOut = true;
      ::kill(pid_, SIGKILL);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  reaped_ = true;
  result.wallSeconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  outReader_.join();
  errReader_.join();
  result.exited = WIFEXITED(status);
  result.exitCode = result.exited ? WEXITSTATUS(status) : -1;
  result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  result.maxRssKiB = usage.ru_maxrss;
  std::lock_guard lock(mutex_);
  result.out = out_;
  result.err = err_;
  return result;
}

}  // namespace pixhaul::test
