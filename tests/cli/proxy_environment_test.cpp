// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The proxy a download takes, from the environment as curl reads it and from --proxy, checked
// by which server sees the request: the image host itself, a proxy, or a proxy that cannot be
// reached (a row whose choice named it ends in its socket error).
#include <gtest/gtest.h>
#include <netinet/in.h>

#include <map>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "download/download_client.h"
#include "framework/memory_stream.h"
#include "http/socket/socket_stack.h"
#include "tests/support/raised.h"
#include "tests/support/scripted_server.h"

namespace pixhaul::test {
namespace {

enum class Via { kDirect, kProxy, kDeadProxy };

struct Row {
  std::map<std::string, std::string> environment;  // "{proxy}", "{dead}": the two proxies
  std::string proxyOption;                         // --proxy's value; empty: not given
  std::string url;                                 // "{http}", "{https}": the image servers' ports
  Via via;
};

std::string Expand(std::string text, const std::map<std::string, std::string>& values) {
  for (const auto& [key, value] : values) {
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key)) {
      text.replace(at, key.size(), value);
    }
  }
  return text;
}

Script Answer(const std::string& body) {
  Script script;
  script.Call([body](ScriptedConnection& connection) {
    const std::string head = connection.ReadUntil("\r\n\r\n");
    // A tunnel is refused, so that which server saw the request is all that matters.
    connection.Write(head.starts_with("CONNECT ")
                         ? std::string("HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n")
                         : "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                               "\r\n\r\n" + body);
  });
  return script;
}

TEST(ProxyEnvironment, TheVariablesAsCurlReadsThemAndProxyOverThem) {
  const std::string http = "http://img.pixhaul.test:{http}/a.png";
  const std::string https = "https://img.pixhaul.test:{https}/a.png";
  const std::vector<Row> rows = {
      {{}, "", http, Via::kDirect},
      {{}, "", https, Via::kDirect},
      {{{"http_proxy", "{proxy}"}}, "", http, Via::kProxy},
      // Upper-case HTTP_PROXY is never read (a CGI program's comes from a request header).
      {{{"HTTP_PROXY", "{proxy}"}}, "", http, Via::kDirect},
      {{{"http_proxy", "{proxy}"}}, "", https, Via::kDirect},
      {{{"https_proxy", "{proxy}"}}, "", https, Via::kProxy},
      {{{"HTTPS_PROXY", "{proxy}"}}, "", https, Via::kProxy},
      {{{"https_proxy", "{proxy}"}, {"HTTPS_PROXY", "{dead}"}}, "", https, Via::kProxy},
      {{{"https_proxy", "{proxy}"}}, "", http, Via::kDirect},
      {{{"all_proxy", "{proxy}"}}, "", http, Via::kProxy},
      {{{"ALL_PROXY", "{proxy}"}}, "", https, Via::kProxy},
      {{{"all_proxy", "{proxy}"}, {"ALL_PROXY", "{dead}"}}, "", https, Via::kProxy},
      {{{"http_proxy", "{proxy}"}, {"all_proxy", "{dead}"}}, "", http, Via::kProxy},
      {{{"https_proxy", "{dead}"}, {"all_proxy", "{proxy}"}}, "", https, Via::kDeadProxy},
      {{{"http_proxy", ""}, {"all_proxy", "{proxy}"}}, "", http, Via::kProxy},
      // no_proxy: names, suffixes, addresses, "*"; the port plays no part.
      {{{"http_proxy", "{proxy}"}, {"no_proxy", "img.pixhaul.test"}}, "", http, Via::kDirect},
      {{{"https_proxy", "{proxy}"}, {"no_proxy", ".pixhaul.test"}}, "", https, Via::kDirect},
      {{{"http_proxy", "{proxy}"}, {"no_proxy", "pixhaul.test"}}, "", http, Via::kDirect},
      {{{"http_proxy", "{proxy}"}, {"no_proxy", "xpixhaul.test,other.test"}},
       "",
       http,
       Via::kProxy},
      {{{"http_proxy", "{proxy}"}, {"NO_PROXY", "other.test, img.pixhaul.test"}},
       "",
       http,
       Via::kDirect},
      {{{"http_proxy", "{proxy}"}, {"no_proxy", "other.test"}, {"NO_PROXY", "img.pixhaul.test"}},
       "",
       http,
       Via::kProxy},
      {{{"http_proxy", "{proxy}"}, {"no_proxy", "127.0.0.0/8"}},
       "",
       "http://127.0.0.1:{http}/",
       Via::kDirect},
      {{{"http_proxy", "{proxy}"}, {"no_proxy", "127.0.0.1"}}, "", http, Via::kProxy},
      {{{"all_proxy", "{proxy}"}, {"no_proxy", "*"}}, "", https, Via::kDirect},
      // --proxy over the environment; no_proxy still holds for it, as for curl -x.
      {{}, "{proxy}", http, Via::kProxy},
      {{}, "{proxy}", https, Via::kProxy},
      {{{"http_proxy", "{dead}"}}, "{proxy}", http, Via::kProxy},
      {{{"all_proxy", "{dead}"}}, "none", https, Via::kDirect},
      {{{"no_proxy", "img.pixhaul.test"}}, "{proxy}", http, Via::kDirect},
  };

  ScriptedServer image({Answer("direct")}, {.repeatScripts = true});
  ScriptedServer secureImage({Answer("direct")}, {.repeatScripts = true, .tls = true});
  ScriptedServer proxy({Answer("proxy")}, {.repeatScripts = true});
  int deadPort = 0;
  {
    ScriptedServer gone({});
    deadPort = gone.Port();
  }
  const std::map<std::string, std::string> values = {
      {"{proxy}", "http://127.0.0.1:" + std::to_string(proxy.Port())},
      {"{dead}", "http://127.0.0.1:" + std::to_string(deadPort)},
      {"{http}", std::to_string(image.Port())},
      {"{https}", std::to_string(secureImage.Port())}};
  TIdStack::SetHostResolver([](const std::string&) {
    return std::vector<TIdResolvedAddress>{{AF_INET, "127.0.0.1"}};
  });
  struct Reset {
    ~Reset() {
      TIdStack::SetHostResolver(nullptr);
      DownloadClient::SetProxyChoice(ProxyChoice::None());
    }
  } reset;

  for (const Row& row : rows) {
    std::string described = "--proxy [" + row.proxyOption + "]";
    std::map<std::string, std::string> environment;
    for (const auto& [name, value] : row.environment) {
      environment[name] = Expand(value, values);
      described += " " + name + "=" + value;
    }
    const std::string url = Expand(row.url, values);
    SCOPED_TRACE(described + " " + url);
    cli::CliOptions options;
    options.proxy = Expand(row.proxyOption, values);
    DownloadClient::SetProxyChoice(cli::ProxyChoiceFor(options, [&](const char* name) {
      const auto found = environment.find(name);
      return found == environment.end() ? nullptr : found->second.c_str();
    }));
    const size_t proxySaw = proxy.AcceptedCount();
    DownloadClient client;
    TMemoryStream body;
    const std::string outcome = Raised([&] { client.GetInto(url, body); });
    switch (row.via) {
      case Via::kDirect:
        EXPECT_EQ(outcome, "");
        EXPECT_EQ(body.ToString(), "direct");
        EXPECT_EQ(proxy.AcceptedCount(), proxySaw);
        break;
      case Via::kProxy:
        EXPECT_EQ(outcome, url.starts_with("https")
                               ? "EIdProxyError: Proxy refused the tunnel: 403 Forbidden."
                               : "");
        EXPECT_EQ(proxy.AcceptedCount(), proxySaw + 1);
        break;
      case Via::kDeadProxy:
        EXPECT_EQ(outcome, "EIdSocketError: Socket Error # 10061\r\nConnection refused.");
        EXPECT_EQ(proxy.AcceptedCount(), proxySaw);
        break;
    }
  }
}

}  // namespace
}  // namespace pixhaul::test
