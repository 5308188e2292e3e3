// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// DownloadClient: an HTTP client set up the way every download is made - the fixed Referer and
// User-Agent, redirects followed, and a TLS intercept (version-negotiating method) that the
// client switches on by itself for an https address, so one client fetches both kinds. The
// download worker fetches its image with one and pixhaul-cli its result page.
//
// The object owns the client and its intercept and lets them go in the one safe order, the
// client first: it refers to the intercept until it is gone. The time limits are the
// connections' process-wide defaults (TIdTCPConnection::SetDefaultTimeouts). Where the body
// goes is the caller's choice, given to GetInto; other settings a caller needs are made on
// Http() before the fetch. Used on one thread at a time. Certificates are verified only when
// SetVerifyServerCertificates has turned that on; proxies are used as SetProxyChoice says.
//
// Tests: tests/download/down_tile_thread_test.cpp and tests/cli/proxy_environment_test.cpp.
#pragma once

#include <string>

#include "framework/stream.h"
#include "http/http_client.h"
#include "http/proxy/proxy_choice.h"
#include "http/tls/openssl_intercept.h"

namespace pixhaul {

// The fixed request fields of every download.
inline constexpr const char* kDownloadReferer = "http://www.bing.com/images/";
inline constexpr const char* kDownloadUserAgent =
    "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";

class DownloadClient {
 public:
  DownloadClient();
  DownloadClient(const DownloadClient&) = delete;
  DownloadClient& operator=(const DownloadClient&) = delete;

  // Fetches `url`, following redirects; the body goes to `body` as it arrives (a redirect's
  // body is overwritten by the next hop's). Raises what TIdHTTP::GetInto raises.
  void GetInto(const std::string& url, TStream& body) { http_.GetInto(url, body); }

  TIdHTTP& Http() { return http_; }

  // Whether clients made from now on verify the server's certificate against the system's trust
  // store and the host name (TIdSSLOptions::VerifyServer). Off unless a front end turns it on:
  // pixhaul-cli --verify-tls, or the window's setting. Any thread.
  static void SetVerifyServerCertificates(bool verify);
  static bool VerifyServerCertificates();

  // Which proxy clients made from now on go through (http/proxy/proxy_choice.h). Direct unless
  // a front end chooses: pixhaul-cli reads the environment or --proxy, the window its setting.
  // Any thread.
  static void SetProxyChoice(ProxyChoice choice);
  static ProxyChoice CurrentProxyChoice();

 private:
  // Declared in this order so that the client goes before the intercept it refers to.
  TIdConnectionInterceptOpenSSL intercept_;
  TIdHTTP http_;
};

}  // namespace pixhaul
