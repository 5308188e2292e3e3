// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/uri.h"

#include <algorithm>
#include <string_view>

namespace pixhaul {

namespace {

constexpr std::string_view kSchemeSeparator = "://";

// Moves the text up to and including the last "/" of `rest` into the returned path. The search
// covers the query too, so a slash inside "?u=x/y" ends the path there.
std::string TakePathUpToLastSlash(std::string& rest) {
  const size_t lastSlash = rest.rfind('/');
  if (lastSlash == std::string::npos) return {};
  std::string path = rest.substr(0, lastSlash + 1);
  rest.erase(0, lastSlash + 1);
  return path;
}

// Removes "protocol://authority" from the front of an absolute address and fills in the
// protocol, host and port; `rest` keeps what follows the authority.
void SplitAbsolutePrefix(std::string& rest, size_t separatorAt, std::string& Protocol,
                         std::string& Host, std::string& Port) {
  Protocol = rest.substr(0, separatorAt);
  rest.erase(0, separatorAt + kSchemeSeparator.size());

  // The authority ends at the first "/", "?" or "#": "http://h:8080?id=1" names port 8080 of
  // h, never a host "h" on a port "8080?id=1". Only a "/" that ends it goes with it; a query
  // or fragment stays as the start of the rest.
  const size_t authorityEnd = rest.find_first_of("/?#");
  std::string authority = rest.substr(0, authorityEnd);
  if (authorityEnd == std::string::npos) {
    rest.clear();
  } else {
    rest.erase(0, rest[authorityEnd] == '/' ? authorityEnd + 1 : authorityEnd);
  }

  // User information ("user:password@") is never sent and never taken for the host: the host
  // begins after the authority's last "@".
  const size_t at = authority.rfind('@');
  if (at != std::string::npos) authority.erase(0, at + 1);

  // An IPv6 literal keeps its brackets (the Host line writes it so); its port, if any,
  // follows the closing bracket.
  const size_t hostEnd = authority.starts_with('[') ? authority.find(']') : std::string::npos;
  const size_t colon = authority.find(':', hostEnd == std::string::npos ? 0 : hostEnd);
  if (colon == std::string::npos) {
    Host = std::move(authority);
    Port.clear();
  } else {
    Host = authority.substr(0, colon);
    Port = authority.substr(colon + 1);
  }
}

}  // namespace

void TIdURI::UnifySlashes(std::string& text) { std::replace(text.begin(), text.end(), '\\', '/'); }

void TIdURI::SplitAddress(std::string address, std::string& Protocol, std::string& Host,
                          std::string& Path, std::string& ResourceName, std::string& Port,
                          std::string& Fragment) {
  // Port is deliberately not reset: a relative address leaves the caller's port in place.
  Protocol.clear();
  Host.clear();
  Path.clear();
  ResourceName.clear();

  UnifySlashes(address);
  const size_t separatorAt = address.find(kSchemeSeparator);
  if (separatorAt != std::string::npos) {
    SplitAbsolutePrefix(address, separatorAt, Protocol, Host, Port);
  }
  Path = TakePathUpToLastSlash(address);
  ResourceName = std::move(address);

  if (Path.empty() || Path.front() != '/') Path.insert(Path.begin(), '/');

  // Only a "#" after the last slash is a fragment; one inside Path stays in the request target.
  const size_t hash = ResourceName.find('#');
  if (hash == std::string::npos) {
    Fragment.clear();
  } else {
    Fragment = ResourceName.substr(hash + 1);
    ResourceName.resize(hash);
  }
}

}  // namespace pixhaul
