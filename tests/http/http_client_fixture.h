// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Helpers for the HTTP exchange tests: a client that sends every address to a loopback test
// server while recording where it was asked to connect, the download worker's settings,
// builders for request and reply bytes, and the exchange table: one row per case of the shape
// "servers' scripts, an address, how the call ends and what the servers saw".
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "framework/memory_stream.h"
#include "http/http_client.h"
#include "http/tls/openssl_intercept.h"
#include "tests/support/raised.h"
#include "tests/support/scripted_server.h"

namespace pixhaul::test {

inline constexpr const char* kWorkerReferer = "http://www.bing.com/images/";
inline constexpr const char* kWorkerUserAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";
// Long enough for a loaded machine, short enough that a hang fails the test quickly.
inline constexpr int kTestReadTimeoutMs = 5000;

// A client whose connections all go to 127.0.0.1:serverPort (or to PortMap[port] when the
// chosen port is mapped; to MappedHost when that is changed), whatever host and port the
// address named; Connects records the
// host:port of each connect as the client chose it.
class LoopbackHTTP : public TIdHTTP {
 public:
  explicit LoopbackHTTP(int serverPort) : serverPort_(serverPort) {
    SetReadTimeoutMs(kTestReadTimeoutMs);
    SetConnectTimeoutMs(kTestReadTimeoutMs);
  }

  void ConnectToPeer() override {
    const std::string host = Host();
    const int port = Port();
    Connects.push_back(host + ":" + std::to_string(port));
    if (!MappedHost.empty()) SetHost(MappedHost);
    const auto mapped = PortMap.find(port);
    SetPort(mapped == PortMap.end() ? serverPort_ : mapped->second);
    try {
      TIdTCPClient::ConnectToPeer();
    } catch (...) {
      SetHost(host);
      SetPort(port);
      throw;
    }
    SetHost(host);
    SetPort(port);
  }

  void SetServerPort(int port) { serverPort_ = port; }

  std::vector<std::string> Connects;
  std::map<int, int> PortMap;
  // Where every connect goes; empty: to the host the client chose (resolved as usual).
  std::string MappedHost = "127.0.0.1";

 private:
  int serverPort_;
};

inline void UseWorkerSettings(TIdHTTP& http) {
  http.Request.Referer = kWorkerReferer;
  http.Request.UserAgent = kWorkerUserAgent;
  http.HandleRedirects = true;
}

// The six lines the worker's GET sends.
inline std::string WorkerRequest(const std::string& target, const std::string& host) {
  return "GET " + target + " HTTP/1.1\r\nHost: " + host +
         "\r\nAccept: text/html, */*\r\nReferer: " + kWorkerReferer +
         "\r\nUser-Agent: " + kWorkerUserAgent + "\r\n\r\n";
}

// A reply with a counted body.
inline std::string CountedReply(const std::string& status, const std::string& body,
                                const std::string& extraHeaders = "") {
  return "HTTP/1.1 " + status + "\r\n" + extraHeaders +
         "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

inline std::string RedirectReply(const std::string& location, const std::string& body = "",
                                 const std::string& status = "302 Found") {
  return CountedReply(status, body, "Location: " + location + "\r\n");
}

// Number of request lines (lines starting with "GET ") in what a server received.
inline int CountRequests(const std::string& received) {
  int count = 0;
  for (size_t at = received.find("GET "); at != std::string::npos;
       at = received.find("GET ", at + 1)) {
    if (at == 0 || received[at - 1] == '\n') ++count;
  }
  return count;
}

inline Script ServeOnce(const std::string& reply) {
  Script script;
  script.ReceiveUntil("\r\n\r\n").Send(reply);
  return script;
}

// Answers one request with `reply`, then a second one on the same connection with the body
// "next": the second call checks that the first reply ended exactly where it should.
inline Script ThenServeNext(const std::string& reply) {
  Script script;
  script.ReceiveUntil("\r\n\r\n")
      .Send(reply)
      .ReceiveUntil("\r\n\r\n")
      .Send(CountedReply("200 OK", "next"))
      .Pause(3000);
  return script;
}

inline std::string Get(const std::string& target) { return "GET " + target + " HTTP/1.1"; }

// What a call ended in: "body: " and the body, or the exception's class, ": " and its message.
inline std::string Outcome(TIdHTTP& http, const std::string& url, TMemoryStream& body) {
  const std::string raised = Raised([&] { http.GetInto(url, body); });
  return raised.empty() ? "body: " + body.ToString() : raised;
}

inline std::string Outcome(TIdHTTP& http, const std::string& url) {
  TMemoryStream body;
  return Outcome(http, url, body);
}

// The lines beginning with `start` ("GET " for the request lines, "Host: " for the Host lines)
// in what a server received, in order.
inline void AddLines(const std::string& received, const std::string& start,
                     std::vector<std::string>& lines) {
  for (size_t at = received.find(start); at != std::string::npos;
       at = received.find(start, at + 1)) {
    if (at == 0 || received[at - 1] == '\n') {
      lines.push_back(received.substr(at, received.find("\r\n", at) - at));
    }
  }
}

// One row of the exchange table: the servers' scripts, the address, and how the call must end.
// Unless said otherwise the client is set up as a download worker sets it up: Referer,
// User-Agent, redirects followed, a TLS intercept attached.
struct ExchangeRow {
  ExchangeRow(std::string rowName, std::string rowUrl)
      : name(std::move(rowName)), url(std::move(rowUrl)) {}
  // The plain server's scripts, one per connection in order.
  ExchangeRow& Plain(std::vector<Script> scripts) {
    plain = std::move(scripts);
    return *this;
  }
  // The TLS server's scripts; the client reaches it on port 443 (on every port when there is
  // no plain server).
  ExchangeRow& Secure(std::vector<Script> scripts) {
    secure = std::move(scripts);
    return *this;
  }
  // The Outcome the call must have.
  ExchangeRow& Ends(std::string outcome) {
    expected = std::move(outcome);
    return *this;
  }
  // What the caller's stream holds after the call (after a failure too).
  ExchangeRow& LeavesBody(std::string text) {
    bodyLeft = std::move(text);
    return *this;
  }
  // Whether the connection is still open after the call.
  ExchangeRow& Connected(bool open) {
    connectedAfter = open;
    return *this;
  }
  // The request lines the servers saw: the plain server's, then the TLS server's.
  ExchangeRow& Requests(std::vector<std::string> lines) {
    requestLines = std::move(lines);
    return *this;
  }
  // Byte for byte what each connection of the plain server received, in order.
  ExchangeRow& PlainReceived(std::vector<std::string> texts) {
    plainReceived = std::move(texts);
    return *this;
  }
  // Byte for byte what each connection of the TLS server received, in order.
  ExchangeRow& SecureReceived(std::vector<std::string> texts) {
    secureReceived = std::move(texts);
    return *this;
  }
  // Where the client chose to connect ("host:port"), in order; none at all when empty.
  ExchangeRow& Connects(std::vector<std::string> hostPorts) {
    connects = std::move(hostPorts);
    return *this;
  }
  // The connections both servers accepted, together.
  ExchangeRow& Accepted(size_t count) {
    accepted = count;
    return *this;
  }
  // The Host lines the servers saw, in the order of Requests.
  ExchangeRow& Hosts(std::vector<std::string> lines) {
    hostLines = std::move(lines);
    return *this;
  }
  // ReplyCode and RedirectDepth after the call.
  ExchangeRow& Code(int32_t code) {
    replyCode = code;
    return *this;
  }
  ExchangeRow& Depth(int32_t depth) {
    redirectDepth = depth;
    return *this;
  }
  ExchangeRow& BodyLimit(int64_t bytes) {
    maxBodyBytes = bytes;
    return *this;
  }
  // The TLS intercept verifies the server's certificate (against the system's trust store).
  ExchangeRow& VerifyingCertificates() {
    verifyServer = true;
    return *this;
  }
  // A second call then gets "next" on the same connection: the reply ended where it should.
  ExchangeRow& LeavesTheConnectionAtTheNextReply() {
    secondCall = true;
    return *this;
  }
  ExchangeRow& ReadLimitMs(int ms) {
    readTimeoutMs = ms;
    return *this;
  }
  // A client as constructed: no worker settings (redirects not followed), no intercept.
  ExchangeRow& BareClient() {
    workerSettings = false;
    tlsIntercept = false;
    return *this;
  }
  // The worker's settings without a TLS intercept.
  ExchangeRow& WithoutIntercept() {
    tlsIntercept = false;
    return *this;
  }
  // Whether TLS is switched on, and the port, after the call.
  ExchangeRow& TlsAfter(bool on) {
    tlsAfter = on;
    return *this;
  }
  ExchangeRow& PortAfter(int port) {
    portAfter = port;
    return *this;
  }
  // The client speaks HTTP/1.0.
  ExchangeRow& Http10Client() {
    http10Client = true;
    return *this;
  }

  std::string name;
  std::string url;
  std::vector<Script> plain;
  std::vector<Script> secure;
  std::string expected;
  std::optional<std::string> bodyLeft;
  std::optional<bool> connectedAfter;
  std::vector<std::string> requestLines;
  std::vector<std::string> hostLines;
  std::vector<std::string> plainReceived;
  std::vector<std::string> secureReceived;
  std::optional<std::vector<std::string>> connects;
  std::optional<size_t> accepted;
  std::optional<int32_t> replyCode;
  std::optional<int32_t> redirectDepth;
  std::optional<bool> tlsAfter;
  std::optional<int> portAfter;
  bool secondCall = false;
  int readTimeoutMs = kTestReadTimeoutMs;
  int64_t maxBodyBytes = kMaxReplyBodyBytes;
  bool verifyServer = false;
  bool workerSettings = true;
  bool tlsIntercept = true;
  bool http10Client = false;
};

// Runs one row against fresh servers and a fresh client and checks all it states.
inline void ExpectExchange(const ExchangeRow& row) {
  SCOPED_TRACE(row.name);
  auto plain = std::make_unique<ScriptedServer>(row.plain);
  std::unique_ptr<ScriptedServer> secure;
  if (!row.secure.empty()) {
    secure = std::make_unique<ScriptedServer>(row.secure, ScriptedServer::Options{.tls = true});
  }
  TIdConnectionInterceptOpenSSL intercept;
  intercept.SSLOptions().Method = sslvSSLv23;
  intercept.SSLOptions().VerifyServer = row.verifyServer;
  LoopbackHTTP http(row.plain.empty() ? secure->Port() : plain->Port());
  if (secure) http.PortMap[443] = secure->Port();
  http.SetReadTimeoutMs(row.readTimeoutMs);
  http.MaxReplyBodyBytes = row.maxBodyBytes;
  if (row.http10Client) http.ProtocolVersion = TIdHTTPProtocolVersion::pv1_0;
  if (row.workerSettings) UseWorkerSettings(http);
  if (row.tlsIntercept) http.SetIntercept(&intercept);

  TMemoryStream body;
  EXPECT_EQ(Outcome(http, row.url, body), row.expected);
  if (row.bodyLeft) {
    EXPECT_EQ(body.ToString(), *row.bodyLeft);
  }
  if (row.connectedAfter) {
    EXPECT_EQ(http.IsConnected(), *row.connectedAfter);
  }
  // A read that ran out of time leaves nothing behind to be read as the next reply.
  if (row.expected.starts_with("EIdReadTimeout")) {
    EXPECT_FALSE(http.SocketHandle().HandleAllocated());
  }
  if (row.replyCode) {
    EXPECT_EQ(http.ReplyCode, *row.replyCode);
  }
  if (row.redirectDepth) {
    EXPECT_EQ(http.RedirectDepth, *row.redirectDepth);
  }
  if (row.tlsAfter) {
    EXPECT_EQ(http.InterceptEnabled(), *row.tlsAfter);
  }
  if (row.portAfter) {
    EXPECT_EQ(http.Port(), *row.portAfter);
  }
  if (row.secondCall) {
    // Same host and port: the open connection carries the request.
    EXPECT_EQ(Outcome(http, "http://h:80/again"), "body: next");
    EXPECT_EQ(plain->AcceptedCount(), 1u);
  }
  for (const auto& [start, expected] :
       {std::pair{"GET ", &row.requestLines}, std::pair{"Host: ", &row.hostLines}}) {
    if (expected->empty()) continue;
    std::vector<std::string> seen;
    for (size_t i = 0; i < plain->AcceptedCount(); ++i) AddLines(plain->Received(i), start, seen);
    for (size_t i = 0; secure && i < secure->AcceptedCount(); ++i) {
      AddLines(secure->Received(i), start, seen);
    }
    if (row.secondCall) seen.pop_back();
    EXPECT_EQ(seen, *expected);
  }
  for (const auto& [server, texts] :
       {std::pair{plain.get(), &row.plainReceived}, std::pair{secure.get(), &row.secureReceived}}) {
    if (texts->empty()) continue;
    ASSERT_NE(server, nullptr);
    EXPECT_EQ(server->AcceptedCount(), texts->size());
    for (size_t i = 0; i < texts->size() && i < server->AcceptedCount(); ++i) {
      EXPECT_EQ(server->Received(i), (*texts)[i]) << "connection " << i;
    }
  }
  if (row.connects) {
    EXPECT_EQ(http.Connects, *row.connects);
  }
  if (row.accepted) {
    EXPECT_EQ(plain->AcceptedCount() + (secure ? secure->AcceptedCount() : 0), *row.accepted);
  }
}

}  // namespace pixhaul::test
