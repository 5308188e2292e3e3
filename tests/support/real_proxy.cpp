// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "tests/support/real_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>
#include <vector>

#include "loopback/loopback_listener.h"

namespace pixhaul::test {

namespace {

const char* ProgramName(RealProxy::Kind kind) {
  return kind == RealProxy::Kind::kTinyproxy ? "tinyproxy" : "microsocks";
}

// The program's path on PATH; empty when it is not installed.
std::string FindProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::string folders = path != nullptr ? path : "/usr/bin:/usr/sbin";
  folders += ":/usr/sbin:/sbin";
  size_t at = 0;
  while (at <= folders.size()) {
    const size_t end = folders.find(':', at);
    const std::string folder = folders.substr(at, end - at);
    const std::string candidate = folder + "/" + name;
    if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return {};
}

bool Accepts(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return connected;
}

}  // namespace

RealProxy::RealProxy(Kind kind, const std::string& user, const std::string& password)
    : kind_(kind), user_(user), password_(password) {
  if (FindProgram(ProgramName(kind)).empty()) {
    throw std::runtime_error(std::string("install ") + ProgramName(kind));
  }
  for (int attempt = 0; attempt < 5; ++attempt) {
    const int port = loopback::RefusingPort().Port();  // free once the probe is gone
    if (Start(port)) return;
  }
  throw std::runtime_error(std::string(ProgramName(kind)) + " did not start: " + Log());
}

RealProxy::~RealProxy() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
}

bool RealProxy::Start(int port) {
  const std::string program = FindProgram(ProgramName(kind_));
  std::vector<std::string> arguments = {program};
  if (kind_ == Kind::kTinyproxy) {
    std::string config = "Port " + std::to_string(port) +
                         "\nListen 127.0.0.1\nTimeout 30\nMaxClients 100\nAllow 127.0.0.1\n"
                         "LogLevel Info\nLogFile \"" +
                         folder_.File("proxy.log") + "\"\nPidFile \"" + folder_.File("pid") +
                         "\"\n";
    if (!user_.empty()) config += "BasicAuth " + user_ + " " + password_ + "\n";
    WriteFileBytes(folder_.File("tinyproxy.conf"), config);
    arguments.insert(arguments.end(), {"-d", "-c", folder_.File("tinyproxy.conf")});
  } else {
    arguments.insert(arguments.end(), {"-i", "127.0.0.1", "-p", std::to_string(port)});
    if (!user_.empty()) arguments.insert(arguments.end(), {"-u", user_, "-P", password_});
  }
  const std::string output = folder_.File(kind_ == Kind::kTinyproxy ? "output.log" : "proxy.log");
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    const int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, 0);
    ::dup2(fd, 1);
    ::dup2(fd, 2);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  if (pid < 0) return false;
  pid_ = pid;
  port_ = port;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
      pid_ = -1;  // gone, most likely because the port was taken meanwhile
      return false;
    }
    if (Accepts(port)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
  pid_ = -1;
  return false;
}

std::string RealProxy::Address(const std::string& scheme) const {
  return scheme + "://127.0.0.1:" + std::to_string(port_);
}

std::string RealProxy::Log() const {
  try {
    return ReadFileBytes(folder_.File("proxy.log"));
  } catch (...) {
    return {};
  }
}

}  // namespace pixhaul::test
