// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/proxy/proxy_choice.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "framework/ascii_text.h"
#include "framework/integer_text.h"
#include "http/proxy/proxy_exceptions.h"

namespace pixhaul {

namespace {

// The variable's value; empty when it is unset or empty, which curl takes alike.
std::string Variable(const EnvironmentReader& environment, const char* name) {
  const char* value = environment(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string FirstSet(const EnvironmentReader& environment, const char* lower, const char* upper) {
  std::string value = Variable(environment, lower);
  return value.empty() ? Variable(environment, upper) : value;
}

std::string_view WithoutBrackets(std::string_view host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
    host.remove_prefix(1);
    host.remove_suffix(1);
  }
  return host;
}

// The bytes of a numeric address, 4 or 16 of them; empty for a name.
std::vector<unsigned char> AddressBytes(std::string_view text) {
  const std::string address(WithoutBrackets(text));
  unsigned char bytes[16];
  if (::inet_pton(AF_INET, address.c_str(), bytes) == 1) return {bytes, bytes + 4};
  if (::inet_pton(AF_INET6, address.c_str(), bytes) == 1) return {bytes, bytes + 16};
  return {};
}

bool AddressEntryMatches(std::string_view entry, const std::vector<unsigned char>& host) {
  const size_t slash = entry.find('/');
  const std::vector<unsigned char> network = AddressBytes(entry.substr(0, slash));
  if (network.size() != host.size()) return false;
  size_t bits = host.size() * 8;
  if (slash != std::string_view::npos) {
    const std::optional<int64_t> prefix = ParseDecimal(entry.substr(slash + 1));
    if (!prefix || *prefix < 0 || static_cast<size_t>(*prefix) > bits) return false;
    bits = static_cast<size_t>(*prefix);
  }
  for (size_t i = 0; i < bits; ++i) {
    const unsigned mask = 0x80u >> (i % 8);
    if ((network[i / 8] & mask) != (host[i / 8] & mask)) return false;
  }
  return true;
}

bool NameEntryMatches(std::string_view entry, std::string_view name) {
  if (entry.starts_with('.')) entry.remove_prefix(1);
  if (entry.ends_with('.')) entry.remove_suffix(1);
  if (entry.empty() || entry.size() > name.size()) return false;
  const std::string tail(name.substr(name.size() - entry.size()));
  if (!SameText(tail, std::string(entry))) return false;
  return entry.size() == name.size() || name[name.size() - entry.size() - 1] == '.';
}

std::optional<ProxyServer> Parsed(const std::string& address) {
  if (address.empty()) return std::nullopt;
  std::optional<ProxyServer> proxy = ParseProxyAddress(address);
  if (!proxy) throw EIdProxyError(ProxyNotSupportedMessage(address));
  return proxy;
}

}  // namespace

const char* SystemEnvironment(const char* name) { return std::getenv(name); }

bool NoProxyMatches(std::string_view noProxy, std::string_view host) {
  std::string_view name = WithoutBrackets(host);
  if (name.ends_with('.')) name.remove_suffix(1);
  const std::vector<unsigned char> address = AddressBytes(name);
  size_t at = 0;
  while (at < noProxy.size()) {
    const size_t end = noProxy.find_first_of(", \t", at);
    const std::string_view entry =
        noProxy.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    at = end == std::string_view::npos ? noProxy.size() : end + 1;
    if (entry.empty()) continue;
    if (entry == "*") {
      // curl takes "*" as every host only when it stands alone.
      if (noProxy.find_first_not_of(", \t*") == std::string_view::npos) return true;
      continue;
    }
    if (address.empty() ? NameEntryMatches(entry, name)
                        : AddressEntryMatches(WithoutBrackets(entry), address)) {
      return true;
    }
  }
  return false;
}

ProxyChoice ProxyChoice::FromEnvironment(const EnvironmentReader& environment) {
  ProxyChoice choice;
  choice.mode_ = Mode::kEnvironment;
  // Only the lower-case http_proxy: a CGI program's HTTP_PROXY comes from a request's
  // "Proxy:" header, so curl never reads it.
  choice.httpProxy_ = Variable(environment, "http_proxy");
  choice.httpsProxy_ = FirstSet(environment, "https_proxy", "HTTPS_PROXY");
  choice.allProxy_ = FirstSet(environment, "all_proxy", "ALL_PROXY");
  choice.noProxy_ = FirstSet(environment, "no_proxy", "NO_PROXY");
  return choice;
}

ProxyChoice ProxyChoice::Fixed(ProxyServer proxy, const EnvironmentReader& environment) {
  ProxyChoice choice;
  choice.mode_ = Mode::kFixed;
  choice.fixed_ = std::move(proxy);
  choice.noProxy_ = FirstSet(environment, "no_proxy", "NO_PROXY");
  return choice;
}

ProxyChoice ProxyChoice::Asking(Lookup lookup) {
  ProxyChoice choice;
  choice.mode_ = Mode::kAsking;
  choice.lookup_ = std::move(lookup);
  return choice;
}

bool ProxyChoice::AlwaysDirect() const { return mode_ == Mode::kDirect; }

std::optional<ProxyServer> ProxyChoice::For(const std::string& scheme, const std::string& host,
                                            int port) const {
  switch (mode_) {
    case Mode::kDirect:
      return std::nullopt;
    case Mode::kAsking:
      return Parsed(lookup_ ? lookup_(scheme + "://" + host + ":" + std::to_string(port) + "/")
                            : std::string());
    case Mode::kFixed:
      if (NoProxyMatches(noProxy_, host)) return std::nullopt;
      return fixed_;
    case Mode::kEnvironment:
      break;
  }
  if (NoProxyMatches(noProxy_, host)) return std::nullopt;
  const std::string& own = SameText(scheme, "https") ? httpsProxy_ : httpProxy_;
  return Parsed(own.empty() ? allProxy_ : own);
}

}  // namespace pixhaul
