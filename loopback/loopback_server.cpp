// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "loopback/loopback_server.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <strings.h>
#include <sys/socket.h>

namespace pixhaul::loopback {

namespace {

// The plain listener, then the TLS one.
std::vector<LoopbackListener> Listeners(const LoopbackHttpServer::Options& options) {
  std::vector<LoopbackListener> listeners;
  listeners.emplace_back(LoopbackListener::Options{.port = options.httpPort});
  listeners.emplace_back(LoopbackListener::Options{.port = options.httpsPort});
  return listeners;
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
      tlsContext_(NewServerContext()),
      acceptor_(Listeners(options),
                [this](int fd, size_t listener) {
                  return [this, fd, tls = listener == 1] { Serve(fd, tls); };
                },
                {.nonBlocking = true, .lifetime = options.lifetime}) {}

LoopbackHttpServer::~LoopbackHttpServer() { Stop(); }

std::string LoopbackHttpServer::HttpBase() const {
  return "http://127.0.0.1:" + std::to_string(HttpPort());
}

std::string LoopbackHttpServer::HttpsBase() const {
  return "https://127.0.0.1:" + std::to_string(HttpsPort());
}

void LoopbackHttpServer::Serve(int fd, bool tls) {
  const int now = ++live_;
  for (int peak = peak_.load(); now > peak && !peak_.compare_exchange_weak(peak, now);) {
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  {
    HttpConnection connection(fd, *this);
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

}  // namespace pixhaul::loopback
