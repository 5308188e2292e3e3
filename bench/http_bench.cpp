// HTTP client benchmark helper: a loopback HTTP/1.1 server, the client runs being measured, and
// a runner that times any command and reports its peak resident memory.
//
//   http_bench serve PORT_FILE            serve on 127.0.0.1 (port written to PORT_FILE) until
//                                         SIGTERM or SIGINT
//   http_bench get URL SIZE [SAVE_FILE]   one GetInto into a memory stream (then SaveToFile),
//                                         checking the body is SIZE bytes
//   http_bench many URL_PREFIX COUNT SIZE COUNT GetInto calls of URL_PREFIX0..COUNT-1 on one
//                                         client (one kept-alive connection)
//   http_bench measure CMD [ARGS...]      runs CMD, prints "seconds maxrss_kb" on stderr's last
//                                         line and exits with CMD's status
//
// Server paths: /counted/N (Content-Length body of N bytes), /chunked/N (N bytes in chunks of
// 64 KiB), /small/ANYTHING (16 KiB, counted). Every reply keeps the connection open.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "framework/memory_stream.h"
#include "http/id_http.h"

namespace {

constexpr size_t kSmallSize = 16 * 1024;
constexpr size_t kChunkSize = 64 * 1024;
constexpr size_t kPatternSize = 1 << 20;

std::atomic<bool> gStop{false};

void OnSignal(int) { gStop = true; }

const std::string& Pattern() {
  static const std::string pattern = [] {
    std::string bytes(kPatternSize, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
    return bytes;
  }();
  return pattern;
}

bool SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool SendPattern(int fd, uint64_t size) {
  const std::string& pattern = Pattern();
  while (size > 0) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, pattern.size()));
    if (!SendAll(fd, pattern.data(), n)) return false;
    size -= n;
  }
  return true;
}

bool Answer(int fd, const std::string& path) {
  auto sizeAfter = [&](const char* prefix) {
    return std::strtoull(path.c_str() + std::strlen(prefix), nullptr, 10);
  };
  if (path.rfind("/counted/", 0) == 0) {
    const uint64_t size = sizeAfter("/counted/");
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n";
    return SendAll(fd, head.data(), head.size()) && SendPattern(fd, size);
  }
  if (path.rfind("/chunked/", 0) == 0) {
    uint64_t left = sizeAfter("/chunked/");
    const std::string head = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
    if (!SendAll(fd, head.data(), head.size())) return false;
    char line[32];
    while (left > 0) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(left, kChunkSize));
      const int len = std::snprintf(line, sizeof line, "%zx\r\n", n);
      if (!SendAll(fd, line, static_cast<size_t>(len)) || !SendAll(fd, Pattern().data(), n) ||
          !SendAll(fd, "\r\n", 2)) {
        return false;
      }
      left -= n;
    }
    return SendAll(fd, "0\r\n\r\n", 5);
  }
  if (path.rfind("/small/", 0) == 0) {
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kSmallSize) + "\r\n\r\n";
    std::string reply = head + Pattern().substr(0, kSmallSize);
    return SendAll(fd, reply.data(), reply.size());
  }
  const std::string notFound = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n";
  return SendAll(fd, notFound.data(), notFound.size());
}

void ServeConnection(int fd) {
  std::string pending;
  char buffer[16384];
  while (!gStop) {
    const size_t end = pending.find("\r\n\r\n");
    if (end == std::string::npos) {
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      pending.append(buffer, static_cast<size_t>(n));
      continue;
    }
    const std::string requestLine = pending.substr(0, pending.find("\r\n"));
    pending.erase(0, end + 4);
    const size_t firstBlank = requestLine.find(' ');
    const size_t secondBlank = requestLine.find(' ', firstBlank + 1);
    if (firstBlank == std::string::npos || secondBlank == std::string::npos) break;
    if (!Answer(fd, requestLine.substr(firstBlank + 1, secondBlank - firstBlank - 1))) break;
  }
  ::close(fd);
}

int Serve(const char* portFile) {
  // Without SA_RESTART, so the signal ends a blocked accept.
  struct sigaction action {};
  action.sa_handler = OnSignal;
  ::sigaction(SIGTERM, &action, nullptr);
  ::sigaction(SIGINT, &action, nullptr);
  const int listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listenFd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd, 64) != 0) {
    std::perror("listen");
    return 1;
  }
  socklen_t length = sizeof address;
  ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length);
  std::ofstream(portFile) << ntohs(address.sin_port) << "\n";
  std::vector<std::thread> threads;
  while (!gStop) {
    const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno == EINTR) continue;
      break;
    }
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    threads.emplace_back(ServeConnection, fd);
  }
  ::close(listenFd);
  // Connections end when their clients leave; a stuck one would hold the exit, so detach.
  for (auto& thread : threads) thread.detach();
  return 0;
}

int Get(const std::string& url, uint64_t size, const char* saveFile) {
  pixhaul::TIdHTTP http;
  pixhaul::TMemoryStream body;
  http.GetInto(url, body);
  if (static_cast<uint64_t>(body.Size()) != size) {
    std::fprintf(stderr, "expected %llu bytes, got %lld\n", static_cast<unsigned long long>(size),
                 static_cast<long long>(body.Size()));
    return 1;
  }
  if (saveFile != nullptr) body.SaveToFile(saveFile);
  return 0;
}

int Many(const std::string& prefix, int count, uint64_t size) {
  pixhaul::TIdHTTP http;
  pixhaul::TMemoryStream body;
  for (int i = 0; i < count; ++i) {
    body.Clear();
    http.GetInto(prefix + std::to_string(i), body);
    if (static_cast<uint64_t>(body.Size()) != size) {
      std::fprintf(stderr, "request %d: got %lld bytes\n", i, static_cast<long long>(body.Size()));
      return 1;
    }
  }
  return 0;
}

int Measure(char** command) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child == 0) {
    ::execvp(command[0], command);
    std::perror("execvp");
    std::_Exit(127);
  }
  int status = 0;
  rusage usage{};
  while (::wait4(child, &status, 0, &usage) < 0 && errno == EINTR) {
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "%.4f %ld\n", seconds, usage.ru_maxrss);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: http_bench serve PORT_FILE | get URL SIZE [SAVE_FILE] | "
               "many URL_PREFIX COUNT SIZE | measure CMD [ARGS...]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string mode = argv[1];
  try {
    if (mode == "serve" && argc == 3) return Serve(argv[2]);
    if (mode == "get" && (argc == 4 || argc == 5)) {
      return Get(argv[2], std::strtoull(argv[3], nullptr, 10), argc == 5 ? argv[4] : nullptr);
    }
    if (mode == "many" && argc == 5) {
      return Many(argv[2], std::atoi(argv[3]), std::strtoull(argv[4], nullptr, 10));
    }
    if (mode == "measure" && argc >= 3) return Measure(argv + 2);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
  return Usage();
}
