// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "tests/support/fault_server.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <thread>

namespace pixhaul::test {

namespace {

constexpr size_t kLongHeaderBytes = 150 * 1024;
constexpr size_t kRedirectFillerBytes = 70000;  // more than the largest image
constexpr size_t kDripBodyBytes = 160;

// The badTls port's two answers to a ClientHello, taken in turn: a plain-text reply, then a
// plain close; either must fail the client's handshake. Each ends the stream in order and
// waits for the client to go, so that the close is never a reset.
std::vector<Script> BadTlsScripts() {
  return {Script()
              .ReceiveBytes(1)
              .Send("HTTP/1.1 400 Bad Request\r\nContent-Length: 0\r\n\r\n")
              .ShutdownWrite()
              .ReceiveUntilClose(),
          Script().ReceiveBytes(1).ShutdownWrite().ReceiveUntilClose()};
}

// "/img/<n>/<token>[-<hop>].png" -> n, kind, hop; false for anything else.
bool ParseImageTarget(const std::string& target, int& n, FaultKind& kind, int& hop) {
  constexpr std::string_view kPrefix = "/img/";
  constexpr std::string_view kSuffix = ".png";
  std::string_view rest(target);
  if (!rest.starts_with(kPrefix) || !rest.ends_with(kSuffix)) return false;
  rest.remove_prefix(kPrefix.size());
  rest.remove_suffix(kSuffix.size());
  const size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return false;
  auto [end, error] = std::from_chars(rest.data(), rest.data() + slash, n);
  if (error != std::errc() || end != rest.data() + slash || n < 0) return false;
  std::string_view token = rest.substr(slash + 1);
  hop = 0;
  const size_t dash = token.find('-');
  if (dash != std::string_view::npos) {
    std::string_view suffix = token.substr(dash + 1);
    token = token.substr(0, dash);
    if (token != "longname") {
      auto [hopEnd, hopError] = std::from_chars(suffix.data(), suffix.data() + suffix.size(), hop);
      if (hopError != std::errc() || hopEnd != suffix.data() + suffix.size()) return false;
    }
  }
  return FaultKindFromToken(token, kind);
}

std::string Reply(std::string_view statusLine, const std::string& headers, const std::string& body,
                  bool withLength = true) {
  std::string reply = "HTTP/1.1 " + std::string(statusLine) + "\r\n" + headers;
  if (withLength) reply += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  return reply + "\r\n" + body;
}

std::string ErrorPage(std::string_view statusLine) {
  return "<html><head><title>" + std::string(statusLine) + "</title></head><body><h1>" +
         std::string(statusLine) + "</h1></body></html>\n";
}

}  // namespace

FaultServer::FaultServer(Options options)
    : options_(options),
      badTls_(BadTlsScripts(),
              {.repeatScripts = true, .stepTimeoutMs = static_cast<int>(options.ioLimit.count())}),
      server_([this](const loopback::HttpRequest& request,
                     loopback::HttpConnection& connection) { return Respond(request, connection); },
              {.keepAlive = true, .ioLimit = options.ioLimit, .lifetime = options.lifetime}) {
  ports_.http = server_.HttpPort();
  ports_.https = server_.HttpsPort();
  ports_.badTls = static_cast<uint16_t>(badTls_.Port());
  ports_.refused = refused_.Port();
}

FaultServer::~FaultServer() { Stop(); }

void FaultServer::Stop() { server_.Stop(); }

void FaultServer::SetPage(std::string page) {
  std::lock_guard lock(mutex_);
  page_ = std::move(page);
}

std::string FaultServer::PageAddress() const {
  return "http://127.0.0.1:" + std::to_string(ports_.http) + "/page";
}

std::vector<std::string> FaultServer::RequestTargets() const {
  std::lock_guard lock(mutex_);
  return targets_;
}

int FaultServer::RequestsForImage(int n) const {
  std::lock_guard lock(mutex_);
  return n >= 0 && static_cast<size_t>(n) < requestsPerImage_.size() ? requestsPerImage_[n] : 0;
}

int FaultServer::RequestsForKind(FaultKind kind) const {
  std::lock_guard lock(mutex_);
  return requestsPerKind_[static_cast<size_t>(kind)];
}

void FaultServer::ClearRequestLog() {
  std::lock_guard lock(mutex_);
  targets_.clear();
  requestsPerImage_.clear();
}

void FaultServer::Record(const std::string& target, int n, FaultKind kind, bool known) {
  std::lock_guard lock(mutex_);
  targets_.push_back(target);
  if (!known) return;
  if (static_cast<size_t>(n) >= requestsPerImage_.size()) requestsPerImage_.resize(n + 1, 0);
  ++requestsPerImage_[n];
  ++requestsPerKind_[static_cast<size_t>(kind)];
}

bool FaultServer::Respond(const loopback::HttpRequest& request, loopback::HttpConnection& channel) {
  const std::string& target = request.target;
  int n = 0;
  int hop = 0;
  FaultKind kind{};
  if (target == "/page") {
    Record(target, 0, kind, false);
    std::string page;
    {
      std::lock_guard lock(mutex_);
      page = page_;
    }
    return channel.Write(Reply("200 OK", "Content-Type: text/html\r\n", page));
  }
  if (!ParseImageTarget(target, n, kind, hop)) {
    Record(target, 0, kind, false);
    ++unknown_;
    return channel.Write(Reply("404 Not Found", "", ErrorPage("404 Not Found")));
  }
  Record(target, n, kind, true);
  return RespondToImage(channel, kind, n, hop);
}

bool FaultServer::RespondToImage(loopback::HttpConnection& channel, FaultKind kind, int n,
                                 int hop) {
  // The ports come from the server itself: they were set before its threads started.
  const std::string self = channel.Tls() ? server_.HttpsBase() : server_.HttpBase();
  const std::string imagePath = "/img/" + std::to_string(n) + "/";
  const std::string png = "Content-Type: image/png\r\n";
  auto status = [&](std::string_view line) {
    return channel.Write(Reply(line, "Content-Type: text/html\r\n", ErrorPage(line)));
  };
  switch (kind) {
    case FaultKind::kImage:
    case FaultKind::kLongName:
    case FaultKind::kUserInformation:
      return channel.Write(Reply("200 OK", png, FaultImageBytes(n)));
    case FaultKind::kPartialContent: {
      const std::string body = FaultImageBytes(n);
      const std::string half = body.substr(0, body.size() / 2);
      return channel.Write(Reply("206 Partial Content",
                                 png + "Content-Range: bytes 0-" + std::to_string(half.size() - 1) +
                                     "/" + std::to_string(body.size()) + "\r\n",
                                 half));
    }
    case FaultKind::kEmptyImage:
      return channel.Write(Reply("200 OK", png, ""));
    case FaultKind::kNoContent:
      return channel.Write("HTTP/1.1 204 No Content\r\n\r\n");
    case FaultKind::kNotFound:
      return status("404 Not Found");
    case FaultKind::kForbidden:
      return status("403 Forbidden");
    case FaultKind::kBadRequest:
      return status("400 Bad Request");
    case FaultKind::kServerError:
      return status("500 Internal Server Error");
    case FaultKind::kRedirectChain: {
      const std::string next = imagePath + "redir-" + std::to_string(hop + 1) + ".png";
      switch (hop) {
        case 0:
          return channel.Write(Reply("301 Moved Permanently", "Location: " + self + next + "\r\n",
                                     std::string(kRedirectFillerBytes, 'm')));
        case 1:
          return channel.Write(Reply("302 Found", "Location: " + next + "\r\n", ""));
        case 2:
          return channel.Write(Reply("307 Temporary Redirect", "Location: " + self + next + "\r\n",
                                     "moved for now"));
        default:
          return channel.Write(Reply("200 OK", png, FaultImageBytes(n)));
      }
    }
    case FaultKind::kRedirectToTls:
      return channel.Write(
          Reply("302 Found", "Location: " + server_.HttpsBase() + imagePath + "ok.png\r\n", ""));
    case FaultKind::kRedirectLoop:
      return channel.Write(Reply(
          "302 Found", "Location: " + imagePath + "loop-" + std::to_string(hop + 1) + ".png\r\n",
          FaultLoopBody(n, hop)));
    case FaultKind::kChunked: {
      const std::string body = FaultImageBytes(n);
      std::string reply = "HTTP/1.1 200 OK\r\n" + png + "Transfer-Encoding: chunked\r\n\r\n";
      static constexpr size_t kSizes[] = {1, 7, 100, 4096, 255, 20000};
      size_t offset = 0;
      for (size_t i = 0; offset < body.size(); ++i) {
        const size_t size = std::min(kSizes[i % std::size(kSizes)], body.size() - offset);
        char hex[24];
        // Sizes alternate between lower-case and upper-case hexadecimal digits.
        std::snprintf(hex, sizeof hex, i % 2 == 0 ? "%zx\r\n" : "%zX\r\n", size);
        reply += hex;
        reply.append(body, offset, size);
        reply += "\r\n";
        offset += size;
      }
      reply += "0\r\n\r\n";
      return channel.Write(reply);
    }
    case FaultKind::kUntilClose:
      if (channel.Write(Reply("200 OK", png, FaultImageBytes(n), false))) channel.CloseGracefully();
      return false;
    case FaultKind::kResetMidBody: {
      const std::string body = FaultImageBytes(n);
      const std::string reply = Reply("200 OK", png, body);
      if (channel.Write(std::string_view(reply).substr(0, reply.size() - body.size() / 2)))
        channel.Reset();
      return false;
    }
    case FaultKind::kShortBody: {
      const std::string body = FaultImageBytes(n);
      const std::string reply = Reply("200 OK", png, body);
      if (channel.Write(std::string_view(reply).substr(0, reply.size() - body.size() * 9 / 10)))
        channel.CloseGracefully();
      return false;
    }
    case FaultKind::kCloseBeforeStatus:
      channel.CloseGracefully();
      return false;
    case FaultKind::kStallBeforeStatus:
      channel.WaitUntilPeerGone();
      return false;
    case FaultKind::kStallMidBody: {
      const std::string body = FaultImageBytes(n);
      const std::string reply = Reply("200 OK", png, body);
      if (channel.Write(std::string_view(reply).substr(0, reply.size() - body.size() * 2 / 3)))
        channel.WaitUntilPeerGone();
      return false;
    }
    case FaultKind::kSlowDrip: {
      const std::string reply = Reply("200 OK", "", FaultImageBytes(n).substr(0, kDripBodyBytes));
      for (char byte : reply) {
        if (!channel.Write(std::string_view(&byte, 1))) return false;
        std::this_thread::sleep_for(options_.dripInterval);
        if (channel.Stopping()) return false;
      }
      return true;
    }
    case FaultKind::kGarbageStatus:
      if (channel.Write("SPAM eggs-and-ham\r\n\r\n")) channel.CloseGracefully();
      return false;
    case FaultKind::kLongHeaderLine: {
      // Sent from one buffer made once: the line is the point, not the server's memory.
      static const std::string kFiller(kLongHeaderBytes, 'a');
      if (channel.Write("HTTP/1.1 200 OK\r\nX-Filler: ") && channel.Write(kFiller) &&
          channel.Write("\r\nContent-Length: 5\r\n\r\nhello"))
        channel.CloseGracefully();
      return false;
    }
    case FaultKind::kEndlessBody: {
      // The same buffer again and again: nothing on the server grows with the bytes sent.
      static const std::string kChunk(64 * 1024, 'z');
      if (!channel.Write("HTTP/1.1 200 OK\r\n" + png + "\r\n")) return false;
      while (!channel.Stopping() && channel.Write(kChunk)) endlessBytes_ += kChunk.size();
      return false;
    }
    case FaultKind::kNegativeLength:
      if (channel.Write("HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nhello"))
        channel.CloseGracefully();
      return false;
    case FaultKind::kHugeDeclaredLength:
    case FaultKind::kHugeLengthStall:
      if (!channel.Write(
              "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(kHugeLengthDeclared) +
              "\r\n\r\n" + FaultImageBytes(n).substr(0, 100)))
        return false;
      if (kind == FaultKind::kHugeLengthStall) {
        channel.WaitUntilPeerGone();
      } else {
        channel.CloseGracefully();
      }
      return false;
    case FaultKind::kTlsHandshakeFails:
    case FaultKind::kRefused:
    case FaultKind::kOtherScheme:
      // Their addresses name other ports or schemes; reaching here means a client ignored them.
      ++unknown_;
      return status("404 Not Found");
  }
  return false;
}

}  // namespace pixhaul::test
