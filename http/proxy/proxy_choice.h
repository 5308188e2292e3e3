// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// ProxyChoice: which proxy, if any, a request for an address goes through.
//
// The environment is read as curl reads it: for http addresses http_proxy (lower case only),
// for https addresses https_proxy, else HTTPS_PROXY; then all_proxy, else ALL_PROXY; an empty
// variable counts as unset. no_proxy, else NO_PROXY, names the hosts that go direct (see
// NoProxyMatches); it applies to a proxy given on the command line too, as with curl -x. A
// front end may instead name one proxy, none at all, or ask a lookup of its own per address
// (the window's "as the system").
//
// A choice is a value: the environment is read once, when it is made. For() may be called
// from any thread at once (a lookup given to Asking must allow that too).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "http/proxy/proxy_server.h"

namespace pixhaul {

// getenv, or a table standing in for it in tests: the value of a variable, null when unset.
using EnvironmentReader = std::function<const char*(const char* name)>;
const char* SystemEnvironment(const char* name);

class ProxyChoice {
 public:
  // The proxy address for `url` (such as "http://h:80/"), or empty to go direct.
  using Lookup = std::function<std::string(const std::string& url)>;

  // Always direct, the environment not read: what a client does unless told otherwise.
  ProxyChoice() = default;
  static ProxyChoice None() { return ProxyChoice(); }
  static ProxyChoice FromEnvironment(const EnvironmentReader& environment = SystemEnvironment);
  // `proxy` for every address but those no_proxy of `environment` names.
  static ProxyChoice Fixed(ProxyServer proxy,
                           const EnvironmentReader& environment = SystemEnvironment);
  static ProxyChoice Asking(Lookup lookup);

  // True when every request goes direct whatever its address.
  bool AlwaysDirect() const;
  // The proxy for a request to `host` (an IPv6 literal in brackets or not) on `port` by
  // `scheme` ("http" or "https", any case); none to go direct. Raises EIdProxyError with
  // ProxyNotSupportedMessage when the proxy address found is not one this client speaks.
  std::optional<ProxyServer> For(const std::string& scheme, const std::string& host,
                                 int port) const;

 private:
  enum class Mode { kDirect, kEnvironment, kFixed, kAsking };

  Mode mode_ = Mode::kDirect;
  std::string httpProxy_;
  std::string httpsProxy_;
  std::string allProxy_;
  std::string noProxy_;
  ProxyServer fixed_;
  Lookup lookup_;
};

// Whether `host` (a name, a dotted address or an IPv6 literal, bracketed or not) is one that
// `noProxy` sends direct, as curl reads it: entries separated by commas and blanks; "*" alone
// matches every host; a name entry matches the name itself and every name ending in "." and
// the entry, with or without a leading "." and in any case; an address entry matches that
// address, or with "/bits" every address of that prefix. Ports play no part.
bool NoProxyMatches(std::string_view noProxy, std::string_view host);

}  // namespace pixhaul
