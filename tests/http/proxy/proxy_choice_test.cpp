// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Proxy addresses as curl writes them, and no_proxy as curl reads it.
#include "http/proxy/proxy_choice.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "http/proxy/proxy_server.h"
#include "tests/support/raised.h"

namespace pixhaul::test {
namespace {

TEST(ParseProxyAddress, ReadsTheFormsCurlAccepts) {
  struct Case {
    std::string address;
    std::optional<ProxyServer> proxy;
  };
  const std::vector<Case> cases = {
      {"http://p:3128", ProxyServer{ProxyKind::kHttp, "p", 3128, "", ""}},
      {"p:3128", ProxyServer{ProxyKind::kHttp, "p", 3128, "", ""}},
      {"HTTP://p/", ProxyServer{ProxyKind::kHttp, "p", 1080, "", ""}},
      {"socks5://10.0.0.1:1081", ProxyServer{ProxyKind::kSocks5, "10.0.0.1", 1081, "", ""}},
      {"socks5h://[::1]:9050", ProxyServer{ProxyKind::kSocks5h, "[::1]", 9050, "", ""}},
      {"http://ann:s%40cret@p:8080", ProxyServer{ProxyKind::kHttp, "p", 8080, "ann", "s@cret"}},
      {"http://ann@p:8080", ProxyServer{ProxyKind::kHttp, "p", 8080, "ann", ""}},
      {"http://a:b@c@p:1", ProxyServer{ProxyKind::kHttp, "p", 1, "a", "b@c"}},
      // Schemes this client does not speak, and addresses that name no proxy.
      {"https://p:443", std::nullopt},
      {"socks4://p:1080", std::nullopt},
      {"socks://p:1080", std::nullopt},
      {"http://:3128", std::nullopt},
      {"http://p:0", std::nullopt},
      {"http://p:65536", std::nullopt},
      {"http://p:31x", std::nullopt},
      {"http://[::1:80", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ParseProxyAddress(c.address), c.proxy) << "address: [" << c.address << "]";
  }
}

TEST(NoProxyMatches, NamesSuffixesAddressesAndTheStar) {
  struct Case {
    std::string noProxy;
    std::string host;
    bool direct;
  };
  const std::vector<Case> cases = {
      {"example.org", "example.org", true},
      {"example.org", "EXAMPLE.org", true},
      {"example.org", "img.example.org", true},
      {".example.org", "img.example.org", true},
      {".example.org", "example.org", true},
      {"example.org", "badexample.org", false},
      {"example.org", "example.org.evil", false},
      {"img.example.org", "example.org", false},
      {"example.org.", "img.example.org.", true},
      {"a.test, example.org", "example.org", true},
      {"a.test example.org", "x.example.org", true},
      {"a.test,,b.test", "example.org", false},
      {"*", "anything.test", true},
      {" * ", "anything.test", true},
      {"*.example.org", "img.example.org", false},
      {"", "example.org", false},
      // Addresses compare as addresses, with or without a prefix length.
      {"127.0.0.1", "127.0.0.1", true},
      {"127.0.0.1", "127.0.0.2", false},
      {"10.0.0.0/8", "10.9.8.7", true},
      {"10.0.0.0/8", "11.0.0.1", false},
      {"::1", "[::1]", true},
      {"[::1]", "::1", true},
      {"2001:db8::/32", "[2001:db8:1::5]", true},
      {"2001:db8::/32", "[2001:db9::5]", false},
      {"127.0.0.1", "localhost", false},
      {"0.0.0.1", "1", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NoProxyMatches(c.noProxy, c.host), c.direct)
        << "no_proxy: [" << c.noProxy << "] host: [" << c.host << "]";
  }
}

TEST(ProxyChoice, AnAddressItCannotSpeakFailsTheRequestWithItsText) {
  const auto environment = [](const char* name) -> const char* {
    return std::string(name) == "https_proxy" ? "socks4://p:1080" : nullptr;
  };
  const ProxyChoice choice = ProxyChoice::FromEnvironment(environment);
  EXPECT_EQ(Raised([&] { choice.For("https", "h", 443); }),
            "EIdProxyError: Proxy not supported: socks4://p:1080.");
  EXPECT_EQ(choice.For("http", "h", 80), std::nullopt);
}

TEST(ProxyChoice, AskingPassesTheAddressAndReadsTheAnswer) {
  std::vector<std::string> asked;
  const ProxyChoice choice = ProxyChoice::Asking([&](const std::string& url) {
    asked.push_back(url);
    return url.starts_with("https") ? std::string("socks5h://s:1") : std::string();
  });
  EXPECT_EQ(choice.For("https", "[::1]", 8443), (ProxyServer{ProxyKind::kSocks5h, "s", 1, "", ""}));
  EXPECT_EQ(choice.For("http", "h", 80), std::nullopt);
  EXPECT_EQ(asked, (std::vector<std::string>{"https://[::1]:8443/", "http://h:80/"}));
}

}  // namespace
}  // namespace pixhaul::test
