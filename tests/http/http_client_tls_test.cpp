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

// The client set up as a worker sets it up: its TLS intercept attached but not enabled until
// an https address comes.
TEST(TIdHTTPTls, HttpsAddressesGoThroughTls) {
  const std::vector<ExchangeRow> rows = {
      ExchangeRow("the six lines through TLS", "https://img.example:8443/a/b.jpg?x=1#frag")
          .Secure({ServeOnce(CountedReply("200 OK", "secret"))})
          .Ends("body: secret")
          .TlsAfter(true)
          .Connects({"img.example:8443"})
          .SecureReceived({WorkerRequest("/a/b.jpg?x=1", "img.example")}),
      ExchangeRow("default port 443", "HTTPS://img.example/x")
          .Secure({ServeOnce(CountedReply("200 OK", "x"))})
          .Ends("body: x")
          .Connects({"img.example:443"}),
      ExchangeRow("a failed reply closes the TLS connection", "https://img.example/x.jpg")
          .Secure({ServeOnce(CountedReply("404 Not Found", "gone")).Pause(3000)})
          .Ends("EIdProtocolReplyError: 404 Not Found")
          .LeavesBody("gone")
          .Code(404)
          .Connected(false),
      // The relative hop keeps the port of the connection it stays on.
      ExchangeRow("a relative redirect stays on the open TLS connection",
                  "https://img.example/start")
          .Secure({ServeOnce(RedirectReply("/img.jpg", "moving"))
                       .ReceiveUntil("\r\n\r\n")
                       .Send(CountedReply("200 OK", "image bytes"))
                       .Pause(3000)})
          .Ends("body: image bytes")
          .Connects({"img.example:443"})
          .SecureReceived(
              {WorkerRequest("/start", "img.example") + WorkerRequest("/img.jpg", "img.example")})
          .TlsAfter(true)
          .Connected(true)
          .PortAfter(443),
      ExchangeRow("a relative redirect after a close reconnects to the same port over TLS",
                  "https://img.example/start")
          .Secure({ServeOnce(
                       CountedReply("302 Found", "", "Connection: close\r\nLocation: /img.jpg\r\n"))
                       .Close(),
                   ServeOnce(CountedReply("200 OK", "image bytes"))})
          .Ends("body: image bytes")
          .Connects({"img.example:443", "img.example:443"})
          .SecureReceived(
              {WorkerRequest("/start", "img.example"), WorkerRequest("/img.jpg", "img.example")}),
      ExchangeRow("a plain address redirects to https", "http://plain.example/p.jpg")
          .Plain({ServeOnce(RedirectReply("https://secure.example/s.jpg")).Pause(3000)})
          .Secure({ServeOnce(CountedReply("200 OK", "over tls"))})
          .Ends("body: over tls")
          .Connects({"plain.example:80", "secure.example:443"})
          .SecureReceived({WorkerRequest("/s.jpg", "secure.example")}),
  };
  for (const ExchangeRow& row : rows) ExpectExchange(row);
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
