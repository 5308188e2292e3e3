// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The fault server does what its catalogue promises, checked with a raw socket client (and a
// raw OpenSSL client for https), so that the soak test's verdicts rest on a server whose
// behaviour is itself verified.
// test-labels: threaded
#include "tests/support/fault_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>

namespace pixhaul::test {
namespace {

using namespace std::chrono_literals;

struct RawResult {
  std::string bytes;  // everything received
  int error = 0;      // errno of the read that ended the exchange; 0 for an orderly close
  bool timedOut = false;
  long elapsedMs = 0;
};

int Connect(uint16_t port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

std::string Request(const std::string& target) {
  return "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/html, */*\r\n\r\n";
}

// Sends one request and reads until the server closes, fails, goes silent for `idle`, or
// `maxBytes` arrived.
RawResult RawGet(uint16_t port, const std::string& target, std::chrono::milliseconds idle = 1500ms,
                 size_t maxBytes = 1 << 20) {
  RawResult result;
  const auto start = std::chrono::steady_clock::now();
  const int fd = Connect(port);
  if (fd < 0) {
    result.error = errno;
    return result;
  }
  const std::string request = Request(target);
  EXPECT_EQ(send(fd, request.data(), request.size(), MSG_NOSIGNAL),
            static_cast<ssize_t>(request.size()));
  char buffer[65536];
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(idle.count())) == 0) {
      result.timedOut = true;
      break;
    }
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n == 0) break;
    if (n < 0) {
      result.error = errno;
      break;
    }
    result.bytes.append(buffer, static_cast<size_t>(n));
    if (result.bytes.size() >= maxBytes) break;
  }
  close(fd);
  result.elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now() - start)
                         .count();
  return result;
}

std::string Target(FaultKind kind, int n, int hop = -1) {
  std::string token(FaultToken(kind));
  if (hop >= 0) token += "-" + std::to_string(hop);
  return "/img/" + std::to_string(n) + "/" + token + ".png";
}

std::string Body(const std::string& reply) {
  const size_t end = reply.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : reply.substr(end + 4);
}

class FaultServerTest : public ::testing::Test {
 protected:
  FaultServer::Options Small() {
    FaultServer::Options options;
    options.lifetime = 60s;
    options.ioLimit = 5s;
    return options;
  }
};

TEST_F(FaultServerTest, CountedRepliesCarryTheCataloguedBodies) {
  FaultServer server(Small());
  const uint16_t port = server.Ports().http;
  struct Row {
    FaultKind kind;
    std::string statusLine;
  };
  const Row rows[] = {{FaultKind::kImage, "HTTP/1.1 200 OK"},
                      {FaultKind::kEmptyImage, "HTTP/1.1 200 OK"},
                      {FaultKind::kNotFound, "HTTP/1.1 404 Not Found"},
                      {FaultKind::kForbidden, "HTTP/1.1 403 Forbidden"},
                      {FaultKind::kBadRequest, "HTTP/1.1 400 Bad Request"},
                      {FaultKind::kServerError, "HTTP/1.1 500 Internal Server Error"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(FaultToken(row.kind));
    // The server keeps the connection open; the client's silence timeout ends the read.
    RawResult result = RawGet(port, Target(row.kind, 42), 300ms);
    EXPECT_EQ(result.bytes.substr(0, row.statusLine.size()), row.statusLine);
    if (FaultSucceeds(row.kind)) {
      EXPECT_EQ(Body(result.bytes), FaultExpectation({row.kind, 42}).bytes);
    }
  }
  EXPECT_EQ(server.RequestsForImage(42), 6);
  EXPECT_EQ(server.UnknownRequests(), 0);
}

TEST_F(FaultServerTest, ChunkedBodyDecodesToTheImage) {
  FaultServer server(Small());
  RawResult result = RawGet(server.Ports().http, Target(FaultKind::kChunked, 9), 300ms);
  std::string body = Body(result.bytes);
  std::string decoded;
  bool sawUpper = false;
  for (;;) {
    const size_t eol = body.find("\r\n");
    ASSERT_NE(eol, std::string::npos);
    const std::string sizeLine = body.substr(0, eol);
    if (sizeLine.find_first_of("ABCDEF") != std::string::npos) sawUpper = true;
    const size_t size = std::stoul(sizeLine, nullptr, 16);
    if (size == 0) {
      EXPECT_EQ(body.substr(eol), "\r\n\r\n");
      break;
    }
    decoded += body.substr(eol + 2, size);
    body.erase(0, eol + 2 + size + 2);
  }
  EXPECT_EQ(decoded, FaultImageBytes(9));
  EXPECT_TRUE(sawUpper);
}

TEST_F(FaultServerTest, RedirectChainEndsInTheImageAfterThreeHops) {
  FaultServer server(Small());
  const uint16_t port = server.Ports().http;
  const std::string self = "http://127.0.0.1:" + std::to_string(port);
  RawResult hop0 = RawGet(port, Target(FaultKind::kRedirectChain, 5), 300ms);
  EXPECT_NE(hop0.bytes.find("Location: " + self + "/img/5/redir-1.png\r\n"), std::string::npos);
  EXPECT_GT(Body(hop0.bytes).size(), FaultImageBytes(5).size());
  RawResult hop1 = RawGet(port, Target(FaultKind::kRedirectChain, 5, 1), 300ms);
  EXPECT_NE(hop1.bytes.find("Location: /img/5/redir-2.png\r\n"), std::string::npos);
  RawResult hop3 = RawGet(port, Target(FaultKind::kRedirectChain, 5, 3), 300ms);
  EXPECT_EQ(Body(hop3.bytes), FaultImageBytes(5));
  RawResult loop = RawGet(port, Target(FaultKind::kRedirectLoop, 5, 14), 300ms);
  EXPECT_NE(loop.bytes.find("Location: /img/5/loop-15.png\r\n"), std::string::npos);
  EXPECT_EQ(Body(loop.bytes), FaultLoopBody(5, 14));
}

TEST_F(FaultServerTest, BrokenStreamsBreakTheWayTheirKindSays) {
  FaultServer server(Small());
  const uint16_t port = server.Ports().http;

  RawResult reset = RawGet(port, Target(FaultKind::kResetMidBody, 3));
  EXPECT_EQ(reset.error, ECONNRESET);
  EXPECT_LT(Body(reset.bytes).size(), FaultImageBytes(3).size());

  RawResult shortBody = RawGet(port, Target(FaultKind::kShortBody, 3));
  EXPECT_EQ(shortBody.error, 0);
  EXPECT_FALSE(shortBody.timedOut);
  EXPECT_LT(Body(shortBody.bytes).size(), FaultImageBytes(3).size() / 5);

  RawResult hangup = RawGet(port, Target(FaultKind::kCloseBeforeStatus, 3));
  EXPECT_EQ(hangup.error, 0);
  EXPECT_FALSE(hangup.timedOut);
  EXPECT_EQ(hangup.bytes, "");

  RawResult untilClose = RawGet(port, Target(FaultKind::kUntilClose, 3));
  EXPECT_FALSE(untilClose.timedOut);
  EXPECT_EQ(untilClose.bytes.find("Content-Length"), std::string::npos);
  EXPECT_EQ(Body(untilClose.bytes), FaultImageBytes(3));

  RawResult garbage = RawGet(port, Target(FaultKind::kGarbageStatus, 3));
  EXPECT_EQ(garbage.bytes, "SPAM eggs-and-ham\r\n\r\n");

  RawResult negative = RawGet(port, Target(FaultKind::kNegativeLength, 3));
  EXPECT_NE(negative.bytes.find("Content-Length: -5\r\n"), std::string::npos);
}

TEST_F(FaultServerTest, StallsSendNothingMoreUntilTheClientLeaves) {
  FaultServer server(Small());
  const uint16_t port = server.Ports().http;
  RawResult stall = RawGet(port, Target(FaultKind::kStallBeforeStatus, 8), 700ms);
  EXPECT_TRUE(stall.timedOut);
  EXPECT_EQ(stall.bytes, "");
  RawResult stallBody = RawGet(port, Target(FaultKind::kStallMidBody, 8), 700ms);
  EXPECT_TRUE(stallBody.timedOut);
  EXPECT_EQ(stallBody.bytes.substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_LT(Body(stallBody.bytes).size(), FaultImageBytes(8).size());
}

TEST_F(FaultServerTest, DripSendsTheWholeReplyOneByteAtATime) {
  FaultServer::Options options = Small();
  options.dripInterval = 2ms;
  FaultServer server(options);
  RawResult drip = RawGet(server.Ports().http, Target(FaultKind::kSlowDrip, 4), 300ms);
  EXPECT_EQ(Body(drip.bytes), FaultExpectation({FaultKind::kSlowDrip, 4}).bytes);
  // About 200 bytes at 2 ms each, plus the final 300 ms of silence.
  EXPECT_GE(drip.elapsedMs, 300 + 200 * 2);
}

TEST_F(FaultServerTest, HostileRepliesAreAsLargeAsPromisedWithoutEnd) {
  FaultServer server(Small());
  const uint16_t port = server.Ports().http;
  RawResult longHeader = RawGet(port, Target(FaultKind::kLongHeaderLine, 1));
  const size_t lineStart = longHeader.bytes.find("X-Filler: ");
  const size_t lineEnd = longHeader.bytes.find("\r\n", lineStart);
  ASSERT_NE(lineEnd, std::string::npos);
  EXPECT_GT(lineEnd - lineStart, 100u * 1024);

  RawResult endless = RawGet(port, Target(FaultKind::kEndlessBody, 1), 1500ms, 8u << 20);
  EXPECT_GE(endless.bytes.size(), 8u << 20);
  EXPECT_EQ(endless.bytes.find("Content-Length"), std::string::npos);
  EXPECT_EQ(endless.bytes.find("chunked"), std::string::npos);
}

TEST_F(FaultServerTest, RefusedPortRefusesAndBadTlsPortIsNoTls) {
  FaultServer server(Small());
  EXPECT_EQ(Connect(server.Ports().refused), -1);
  EXPECT_EQ(errno, ECONNREFUSED);

  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> context(SSL_CTX_new(TLS_client_method()),
                                                            &SSL_CTX_free);
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = Connect(server.Ports().badTls);
    ASSERT_GE(fd, 0);
    SSL* ssl = SSL_new(context.get());
    SSL_set_fd(ssl, fd);
    EXPECT_NE(SSL_connect(ssl), 1) << "attempt " << attempt;
    SSL_free(ssl);
    close(fd);
    ERR_clear_error();
  }
}

TEST_F(FaultServerTest, HttpsPortServesTheImageOverTls) {
  FaultServer server(Small());
  std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> context(SSL_CTX_new(TLS_client_method()),
                                                            &SSL_CTX_free);
  const int fd = Connect(server.Ports().https);
  ASSERT_GE(fd, 0);
  SSL* ssl = SSL_new(context.get());
  SSL_set_fd(ssl, fd);
  ASSERT_EQ(SSL_connect(ssl), 1);
  const std::string request = Request(Target(FaultKind::kImage, 77));
  ASSERT_EQ(SSL_write(ssl, request.data(), static_cast<int>(request.size())),
            static_cast<int>(request.size()));
  const std::string expected = FaultImageBytes(77);
  std::string reply;
  char buffer[16384];
  while (Body(reply).size() < expected.size()) {
    const int n = SSL_read(ssl, buffer, sizeof buffer);
    if (n <= 0) break;
    reply.append(buffer, static_cast<size_t>(n));
  }
  EXPECT_EQ(Body(reply), expected);
  SSL_free(ssl);
  close(fd);
}

TEST_F(FaultServerTest, PageListsEveryAddressOnceWithTheBingMarker) {
  FaultServer server(Small());
  const std::vector<FaultEntry> entries = MixedFaultEntries(
      50, {FaultKind::kImage, FaultKind::kStallBeforeStatus, FaultKind::kRefused}, {5, 1, 1});
  server.SetPage(FaultResultPage(entries, server.Ports()));
  RawResult page = RawGet(server.Ports().http, "/page", 300ms);
  const std::string body = Body(page.bytes);
  size_t markers = 0;
  for (size_t at = body.find("imgurl:\""); at != std::string::npos;
       at = body.find("imgurl:\"", at + 1))
    ++markers;
  EXPECT_EQ(markers, entries.size());
  for (const FaultEntry& entry : entries)
    EXPECT_NE(body.find("imgurl:\"" + FaultAddress(entry, server.Ports()) + "\""),
              std::string::npos);
  EXPECT_EQ(std::count_if(entries.begin(), entries.end(),
                          [](const FaultEntry& e) { return e.kind == FaultKind::kImage; }),
            36);
}

TEST_F(FaultServerTest, StopsByItselfAfterItsLifetimeEvenWithAStalledClient) {
  FaultServer::Options options = Small();
  options.lifetime = 800ms;
  FaultServer server(options);
  RawResult stall = RawGet(server.Ports().http, Target(FaultKind::kStallBeforeStatus, 1), 5s);
  EXPECT_FALSE(stall.timedOut);  // the server closed when its lifetime ended
}

}  // namespace
}  // namespace pixhaul::test
