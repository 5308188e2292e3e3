// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The HTTP exchange over TLS: https addresses switch the intercept on, a failed reply closes
// the TLS connection, relative redirects stay on it, plain addresses redirect onto it, and a
// plain address after it goes without TLS.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/memory_stream.h"
#include "http/http_client.h"
#include "http/tls/openssl_intercept.h"
#include "tests/http/http_client_fixture.h"
#include "tests/support/raised.h"
#include "tests/support/scripted_server.h"

namespace pixhaul::test {
namespace {

constexpr ScriptedServer::Options kTls{.tls = true};

// A worker-like client: its TLS intercept is attached but not enabled.
struct TlsWorkerClient {
  explicit TlsWorkerClient(int serverPort) : http(serverPort) {
    intercept.SSLOptions().Method = sslvSSLv23;
    http.SetIntercept(&intercept);
    UseWorkerSettings(http);
  }
  TIdConnectionInterceptOpenSSL intercept;
  LoopbackHTTP http;
};

TEST(TIdHTTPTls, HttpsAddressSendsTheSixLinesThroughTls) {
  ScriptedServer server({ServeOnce(CountedReply("200 OK", "secret"))}, kTls);
  TlsWorkerClient client(server.Port());
  EXPECT_FALSE(client.http.InterceptEnabled());
  TMemoryStream body;
  client.http.GetInto("https://img.example:8443/a/b.jpg?x=1#frag", body);
  EXPECT_EQ(body.ToString(), "secret");
  EXPECT_TRUE(client.http.InterceptEnabled());
  EXPECT_EQ(client.http.Connects, std::vector<std::string>{"img.example:8443"});
  ASSERT_TRUE(server.WaitFinished(1));
  EXPECT_EQ(server.Received(0), WorkerRequest("/a/b.jpg?x=1", "img.example"));
}

TEST(TIdHTTPTls, DefaultPortIs443) {
  ScriptedServer server({ServeOnce(CountedReply("200 OK", "x"))}, kTls);
  TlsWorkerClient client(server.Port());
  TMemoryStream body;
  client.http.GetInto("HTTPS://img.example/x", body);
  EXPECT_EQ(client.http.Connects, std::vector<std::string>{"img.example:443"});
}

TEST(TIdHTTPTls, FailedReplyClosesTheTlsConnection) {
  ScriptedServer server({ServeOnce(CountedReply("404 Not Found", "gone")).Pause(3000)}, kTls);
  TlsWorkerClient client(server.Port());
  TMemoryStream body;
  EXPECT_EQ(Raised<EIdProtocolReplyError>(
                [&] { client.http.GetInto("https://img.example/x.jpg", body); },
                [&](const EIdProtocolReplyError& e) { EXPECT_EQ(e.StatusCode, 404); }),
            "EIdProtocolReplyError: 404 Not Found");
  EXPECT_EQ(body.ToString(), "gone");
  EXPECT_FALSE(client.http.IsConnected());
}

TEST(TIdHTTPTls, RelativeRedirectStaysOnTheOpenTlsConnection) {
  Script script;
  script.ReceiveUntil("\r\n\r\n")
      .Send(RedirectReply("/img.jpg", "moving"))
      .ReceiveUntil("\r\n\r\n")
      .Send(CountedReply("200 OK", "image bytes"))
      .Pause(3000);
  ScriptedServer server({script}, kTls);
  TlsWorkerClient client(server.Port());
  TMemoryStream body;
  client.http.GetInto("https://img.example/start", body);
  EXPECT_EQ(body.ToString(), "image bytes");
  EXPECT_EQ(server.AcceptedCount(), 1u);
  EXPECT_EQ(client.http.Connects.size(), 1u);
  EXPECT_EQ(server.Received(0),
            WorkerRequest("/start", "img.example") + WorkerRequest("/img.jpg", "img.example"));
  EXPECT_TRUE(client.http.InterceptEnabled());
  EXPECT_TRUE(client.http.IsConnected());
  // The relative hop keeps the port of the connection it stays on.
  EXPECT_EQ(client.http.Port(), 443);
}

TEST(TIdHTTPTls, RelativeRedirectAfterACloseReconnectsToTheSamePortOverTls) {
  ScriptedServer server(
      {ServeOnce(CountedReply("302 Found", "", "Connection: close\r\nLocation: /img.jpg\r\n"))
           .Close(),
       ServeOnce(CountedReply("200 OK", "image bytes"))},
      kTls);
  TlsWorkerClient client(server.Port());
  TMemoryStream body;
  client.http.GetInto("https://img.example/start", body);
  EXPECT_EQ(body.ToString(), "image bytes");
  EXPECT_EQ(client.http.Connects, (std::vector<std::string>{"img.example:443", "img.example:443"}));
  ASSERT_TRUE(server.WaitFinished(2));
  EXPECT_EQ(server.Received(1), WorkerRequest("/img.jpg", "img.example"));
}

TEST(TIdHTTPTls, PlainAddressRedirectsToHttps) {
  ScriptedServer secure({ServeOnce(CountedReply("200 OK", "over tls"))}, kTls);
  ScriptedServer plain({ServeOnce(RedirectReply("https://secure.example/s.jpg")).Pause(3000)});
  TlsWorkerClient client(plain.Port());
  client.http.PortMap[443] = secure.Port();
  TMemoryStream body;
  client.http.GetInto("http://plain.example/p.jpg", body);
  EXPECT_EQ(body.ToString(), "over tls");
  EXPECT_EQ(client.http.Connects,
            (std::vector<std::string>{"plain.example:80", "secure.example:443"}));
  ASSERT_TRUE(secure.WaitFinished(1));
  EXPECT_EQ(secure.Received(0), WorkerRequest("/s.jpg", "secure.example"));
}

TEST(TIdHTTPTls, LaterPlainAddressIsFetchedWithoutTls) {
  ScriptedServer secure({ServeOnce(CountedReply("200 OK", "first"))}, kTls);
  ScriptedServer plain({ServeOnce(CountedReply("200 OK", "second"))});
  TlsWorkerClient client(plain.Port());
  client.http.PortMap[443] = secure.Port();
  TMemoryStream first, second;
  client.http.GetInto("https://a.example/1", first);
  client.http.GetInto("http://b.example/2", second);
  EXPECT_EQ(first.ToString(), "first");
  EXPECT_EQ(second.ToString(), "second");
  EXPECT_FALSE(client.http.InterceptEnabled());
  ASSERT_TRUE(plain.WaitFinished(1));
  EXPECT_EQ(plain.Received(0), WorkerRequest("/2", "b.example"));
}

}  // namespace
}  // namespace pixhaul::test
