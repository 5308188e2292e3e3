// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Helpers for the HTTP exchange tests: a client that sends every address to a loopback test
// server while recording where it was asked to connect, the download worker's settings, and
// builders for request and reply bytes.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "http/http_client.h"
#include "tests/support/scripted_server.h"

namespace pixhaul::test {

inline constexpr const char* kWorkerReferer = "http://www.bing.com/images/";
inline constexpr const char* kWorkerUserAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";
// Long enough for a loaded machine, short enough that a hang fails the test quickly.
inline constexpr int kTestReadTimeoutMs = 5000;

// A client whose connections all go to 127.0.0.1:serverPort (or to PortMap[port] when the
// chosen port is mapped), whatever host and port the address named; Connects records the
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
    SetHost("127.0.0.1");
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

}  // namespace pixhaul::test
