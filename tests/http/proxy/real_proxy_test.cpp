// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Through the real proxies, started for each row: tinyproxy (the proxy form for http, the
// CONNECT tunnel for https, its Basic authentication) and microsocks (socks5 resolving here,
// socks5h sending the name, with and without a user). Each row checks what the image server
// got and what the proxy logged of the client's request.
#include "tests/support/real_proxy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/memory_stream.h"
#include "http/http_client.h"
#include "http/proxy/proxy_choice.h"
#include "http/tls/openssl_intercept.h"
#include "loopback/self_signed_certificate.h"
#include "tests/http/http_client_fixture.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

const char* NoEnvironment(const char*) { return nullptr; }

struct Row {
  std::string name;
  RealProxy::Kind kind;
  std::string proxyUser;   // the proxy asks for this user, password "secret", when not empty
  std::string scheme;      // of the proxy address the client is given
  std::string clientUser;  // "user:password@" in that address
  bool secure;             // the image over https, its certificate verified for "localhost"
  std::string outcome;
  std::string logged;  // "{}" stands for the image server's port
};

TEST(RealProxies, TheImageArrivesThroughTinyproxyAndMicrosocks) {
  using Kind = RealProxy::Kind;
  const std::vector<Row> rows = {
      {"tinyproxy, http: the absolute target", Kind::kTinyproxy, "", "http", "", false, "body: img",
       "GET http://localhost:{}/a.png HTTP/1.1"},
      {"tinyproxy, https: the tunnel, TLS to the image host", Kind::kTinyproxy, "", "http", "",
       true, "body: img", "CONNECT localhost:{} HTTP/1.1"},
      {"tinyproxy asking for a user, given it", Kind::kTinyproxy, "ann", "http", "ann:secret@",
       true, "body: img", "CONNECT localhost:{} HTTP/1.1"},
      {"tinyproxy asking for a user, http without it", Kind::kTinyproxy, "ann", "http", "", false,
       "EIdProxyAuthenticationRequired: Proxy authentication required.", ""},
      // tinyproxy answers wrong credentials with 401, not 407: its own status text is the line.
      {"tinyproxy asking for a user, https with a wrong one", Kind::kTinyproxy, "ann", "http",
       "ann:wrong@", true, "EIdProxyError: Proxy refused the tunnel: 401 Unauthorized.", ""},
      {"microsocks, socks5: the address", Kind::kMicrosocks, "", "socks5", "", false, "body: img",
       "connected to 127.0.0.1:{}"},
      {"microsocks, socks5h: the name", Kind::kMicrosocks, "", "socks5h", "", false, "body: img",
       "connected to localhost:{}"},
      {"microsocks, socks5h and https", Kind::kMicrosocks, "", "socks5h", "", true, "body: img",
       "connected to localhost:{}"},
      {"microsocks with a user", Kind::kMicrosocks, "ann", "socks5h", "ann:secret@", false,
       "body: img", "connected to localhost:{}"},
      {"microsocks, a wrong password", Kind::kMicrosocks, "ann", "socks5", "ann:wrong@", false,
       "EIdSocksError: SOCKS5 proxy: authentication failed.", ""},
      {"microsocks wants a user, none offered", Kind::kMicrosocks, "ann", "socks5h", "", false,
       "EIdSocksError: SOCKS5 proxy: no acceptable authentication method.", ""},
  };
  TempDir folder;
  const std::string trusted = folder.File("localhost.pem");
  WriteFileBytes(trusted, loopback::SelfSignedCertificatePem());
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    RealProxy proxy(row.kind, row.proxyUser, row.proxyUser.empty() ? "" : "secret");
    ScriptedServer image({ServeOnce(CountedReply("200 OK", "img"))}, {.tls = row.secure});
    const std::string port = std::to_string(image.Port());
    TIdConnectionInterceptOpenSSL intercept;
    intercept.SSLOptions().VerifyServer = row.secure;
    intercept.SSLOptions().RootCertFile = trusted;
    TIdHTTP http;
    UseWorkerSettings(http);
    http.SetIntercept(&intercept);
    http.SetReadTimeoutMs(kTestReadTimeoutMs);
    http.SetConnectTimeoutMs(kTestReadTimeoutMs);
    http.Proxies =
        ProxyChoice::Fixed(*ParseProxyAddress(row.scheme + "://" + row.clientUser +
                                              "127.0.0.1:" + std::to_string(proxy.Port())),
                           NoEnvironment);
    EXPECT_EQ(
        Outcome(http, (row.secure ? "https://localhost:" : "http://localhost:") + port + "/a.png"),
        row.outcome);
    if (row.outcome != "body: img") {
      EXPECT_EQ(image.AcceptedCount(), 0u);
      continue;
    }
    ASSERT_TRUE(image.WaitFinished(1));
    // The proxy forwards the request line in the origin form, and never the credentials.
    EXPECT_EQ(image.Received(0).substr(0, image.Received(0).find("\r\n")), Get("/a.png"));
    EXPECT_EQ(image.Received(0).find("Proxy-Authorization"), std::string::npos);
    if (row.secure) {
      EXPECT_EQ(image.ServerName(0), "localhost");
    }
    std::string logged = row.logged;
    logged.replace(logged.find("{}"), 2, port);
    EXPECT_NE(proxy.Log().find(logged), std::string::npos) << proxy.Log();
  }
}

}  // namespace
}  // namespace pixhaul::test
