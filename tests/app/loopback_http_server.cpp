#include "tests/app/loopback_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace pixhaul::apptest {

namespace {

constexpr int kReadLimitMs = 5000;

const char* StatusText(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 404:
      return "Not Found";
    default:
      return "Other";
  }
}

void SendAll(int fd, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

}  // namespace

LoopbackHttpServer::LoopbackHttpServer() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
  if (listenFd_ < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listenFd_, 64) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(listenFd_);
    throw std::runtime_error("bind/listen failed");
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  stopping_ = true;
  acceptor_.join();
  ::close(listenFd_);
  std::vector<std::thread> threads;
  {
    std::lock_guard lock(mutex_);
    threads.swap(connectionThreads_);
  }
  for (std::thread& thread : threads) thread.join();
}

void LoopbackHttpServer::Serve(const std::string& path, Reply reply) {
  std::lock_guard lock(mutex_);
  replies_[path] = std::move(reply);
}

std::string LoopbackHttpServer::Address(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int LoopbackHttpServer::RequestCount(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto found = requestCounts_.find(path);
  return found == requestCounts_.end() ? 0 : found->second;
}

void LoopbackHttpServer::AcceptLoop() {
  while (!stopping_) {
    pollfd waiting{listenFd_, POLLIN, 0};
    if (::poll(&waiting, 1, 50) <= 0) continue;
    const int fd = ::accept(listenFd_, nullptr, nullptr);
    if (fd < 0) continue;
    std::lock_guard lock(mutex_);
    connectionThreads_.emplace_back([this, fd] { HandleConnection(fd); });
  }
}

void LoopbackHttpServer::HandleConnection(int fd) {
  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
    pollfd waiting{fd, POLLIN, 0};
    if (stopping_ || ::poll(&waiting, 1, kReadLimitMs) <= 0) break;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    request.append(buffer, static_cast<size_t>(n));
  }
  const size_t methodEnd = request.find(' ');
  const size_t pathEnd = request.find(' ', methodEnd + 1);
  if (methodEnd == std::string::npos || pathEnd == std::string::npos) {
    ::close(fd);
    return;
  }
  const std::string path = request.substr(methodEnd + 1, pathEnd - methodEnd - 1);
  Reply reply;
  {
    std::lock_guard lock(mutex_);
    ++requestCounts_[path];
    auto found = replies_.find(path);
    if (found != replies_.end()) {
      reply = found->second;
    } else {
      reply.status = 404;
      reply.body = "<html><body>not here</body></html>";
    }
  }
  std::string response = "HTTP/1.1 " + std::to_string(reply.status) + " " +
                         StatusText(reply.status) + "\r\nContent-Type: " + reply.contentType +
                         "\r\nContent-Length: " + std::to_string(reply.body.size()) +
                         "\r\nConnection: close\r\n\r\n" + reply.body;
  SendAll(fd, response);
  ::shutdown(fd, SHUT_WR);
  ::close(fd);
}

}  // namespace pixhaul::apptest
