// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "loopback/loopback_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <strings.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>

namespace pixhaul::loopback {

namespace {

using Clock = std::chrono::steady_clock;

// The longest a wait goes without looking at the clock again.
constexpr int64_t kPollSliceMs = 1000;

int ListenOn(uint16_t port, uint16_t& boundPort) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) throw std::runtime_error("socket() failed");
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 512) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port));
  }
  boundPort = ntohs(address.sin_port);
  return fd;
}

std::string ReplyBytes(const HttpReply& reply, bool keepAlive, bool withBody) {
  std::string out = "HTTP/1.1 " + std::to_string(reply.status) + " " + reply.reason +
                    "\r\nContent-Length: " + std::to_string(reply.body.size()) + "\r\n";
  if (!keepAlive) out += "Connection: close\r\n";
  for (const auto& [name, value] : reply.headers) out += name + ": " + value + "\r\n";
  out += "\r\n";
  if (withBody) out += reply.body;
  return out;
}

HttpRequest ParseRequest(std::string head, bool tls) {
  HttpRequest request;
  request.head = std::move(head);
  request.tls = tls;
  const std::string line = request.head.substr(0, request.head.find("\r\n"));
  const size_t firstBlank = line.find(' ');
  const size_t secondBlank = line.find(' ', firstBlank + 1);
  request.method = line.substr(0, firstBlank);
  if (firstBlank != std::string::npos) {
    request.target = line.substr(firstBlank + 1, secondBlank == std::string::npos
                                                     ? std::string::npos
                                                     : secondBlank - firstBlank - 1);
  }
  return request;
}

}  // namespace

std::string HttpRequest::Header(const std::string& name) const {
  size_t start = head.find("\r\n");
  while (start != std::string::npos && start + 2 < head.size()) {
    const size_t lineStart = start + 2;
    const size_t end = head.find("\r\n", lineStart);
    const std::string line =
        head.substr(lineStart, end == std::string::npos ? end : end - lineStart);
    const size_t colon = line.find(':');
    if (colon == name.size() && ::strncasecmp(line.c_str(), name.c_str(), name.size()) == 0) {
      size_t valueStart = colon + 1;
      while (valueStart < line.size() && line[valueStart] == ' ') ++valueStart;
      return line.substr(valueStart);
    }
    start = end;
  }
  return "";
}

HttpReply OkReply(std::string body, std::string contentType) {
  return HttpReply{200, "OK", {{"Content-Type", std::move(contentType)}}, std::move(body), false};
}

LoopbackHttpServer::LoopbackHttpServer(Handler handler, Options options)
    : LoopbackHttpServer(
          [handler = std::move(handler), keepAlive = options.keepAlive](
              const HttpRequest& request, HttpConnection& connection) {
            HttpReply reply;
            try {
              reply = handler(request);
            } catch (const std::exception& e) {
              reply = HttpReply{500, "Internal Server Error", {}, e.what(), false};
            }
            if (reply.closeWithoutReply) return false;
            return connection.Write(ReplyBytes(reply, keepAlive, request.method != "HEAD")) &&
                   keepAlive;
          },
          options) {}

LoopbackHttpServer::LoopbackHttpServer(RawHandler handler, Options options)
    : handler_(std::move(handler)),
      options_(options),
      deadline_(Clock::now() + options.lifetime),
      tlsContext_(NewServerContext()) {
  httpListener_ = ListenOn(options_.httpPort, httpPort_);
  try {
    httpsListener_ = ListenOn(options_.httpsPort, httpsPort_);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd_ < 0) throw std::runtime_error("eventfd() failed");
  } catch (...) {
    ::close(httpListener_);
    if (httpsListener_ >= 0) ::close(httpsListener_);
    throw;
  }
  // OpenSSL writes with write(), which raises SIGPIPE when a client has gone. The acceptor
  // starts with SIGPIPE blocked and the connection threads it starts inherit that, so such a
  // write just fails with EPIPE; the owner's threads keep their signal mask.
  sigset_t pipeSignal;
  sigset_t previous;
  sigemptyset(&pipeSignal);
  sigaddset(&pipeSignal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
  acceptor_ = std::thread([this] { AcceptLoop(); });
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

LoopbackHttpServer::~LoopbackHttpServer() {
  Stop();
  ::close(httpListener_);
  ::close(httpsListener_);
  ::close(wakeFd_);
}

std::string LoopbackHttpServer::HttpBase() const {
  return "http://127.0.0.1:" + std::to_string(httpPort_);
}

std::string LoopbackHttpServer::HttpsBase() const {
  return "https://127.0.0.1:" + std::to_string(httpsPort_);
}

void LoopbackHttpServer::Stop() {
  std::lock_guard stopLock(stopMutex_);
  if (stopped_) return;
  stopped_ = true;
  stopping_ = true;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
  if (acceptor_.joinable()) acceptor_.join();
  std::list<ConnectionThread> remaining;
  {
    std::lock_guard lock(connectionsMutex_);
    remaining.swap(connections_);
  }
  for (ConnectionThread& connection : remaining) connection.thread.join();
}

void LoopbackHttpServer::AcceptLoop() {
  while (!Stopping()) {
    const int64_t left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
    if (left <= 0) break;
    pollfd fds[3] = {{httpListener_, POLLIN, 0}, {httpsListener_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    const int ready = ::poll(fds, 3, static_cast<int>(std::min(left, kPollSliceMs)));
    ReapFinished();
    if (ready <= 0) continue;
    if (fds[2].revents != 0) break;
    for (int i = 0; i < 2; ++i) {
      if ((fds[i].revents & POLLIN) == 0) continue;
      const int fd = ::accept4(fds[i].fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) continue;
      const bool tls = i == 1;
      std::lock_guard lock(connectionsMutex_);
      ConnectionThread& connection = connections_.emplace_back();
      connection.thread = std::thread([this, fd, tls, &connection] {
        Serve(fd, tls);
        connection.done = true;
      });
    }
  }
  // A server past its lifetime stops by itself: every connection's waits end.
  stopping_ = true;
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
}

void LoopbackHttpServer::ReapFinished() {
  std::list<ConnectionThread> finished;
  {
    std::lock_guard lock(connectionsMutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      const auto next = std::next(it);
      if (it->done) finished.splice(finished.end(), connections_, it);
      it = next;
    }
  }
  for (ConnectionThread& connection : finished) connection.thread.join();
}

void LoopbackHttpServer::Serve(int fd, bool tls) {
  const int now = ++live_;
  for (int peak = peak_.load(); now > peak && !peak_.compare_exchange_weak(peak, now);) {
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  SSL* ssl = nullptr;
  if (tls) {
    ssl = SSL_new(tlsContext_.get());
    if (ssl == nullptr) {
      ::close(fd);
      --live_;
      return;
    }
    SSL_set_fd(ssl, fd);
    SSL_set_mode(ssl, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  }
  {
    HttpConnection connection(fd, ssl, *this);
    if (!tls || connection.Handshake()) {
      std::string head;
      bool more = true;
      while (more && !Stopping() && connection.ReadRequestHead(head)) {
        ++requests_;
        more = handler_(ParseRequest(std::move(head), tls), connection);
      }
      // A connection that carried one reply ends at once; one that was kept alive has seen
      // its client go, or its handler ended it.
      if (options_.keepAlive) {
        connection.CloseGracefully();
      } else {
        connection.Finish();
      }
    }
  }
  --live_;
}

RefusingPort::RefusingPort() {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (fd_ >= 0) ::close(fd_);
    throw std::runtime_error("cannot bind a loopback port");
  }
  socklen_t length = sizeof address;
  ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
}

RefusingPort::~RefusingPort() { ::close(fd_); }

}  // namespace pixhaul::loopback
