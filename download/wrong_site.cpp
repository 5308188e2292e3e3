// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/wrong_site.h"

#include <fcntl.h>
#include <unistd.h>

#include "framework/ascii_text.h"
#include "harvest/address_harvest.h"
#include "harvest/site_table.h"
#include "http/uri.h"

namespace pixhaul {

namespace {

// A site's domain: its host name without the first label ("google.com").
std::string SiteDomain(SiteId site) {
  const std::string label = SiteLabel(site);
  const size_t dot = label.find('.');
  return dot == std::string::npos ? label : label.substr(dot + 1);
}

}  // namespace

std::string AddressHost(const std::string& address) {
  if (!StartsWithText(address, "http://") && !StartsWithText(address, "https://")) return "";
  // The host as a request to the address would name it.
  std::string protocol, host, path, resource, port, fragment;
  TIdURI::SplitAddress(address, protocol, host, path, resource, port, fragment);
  for (char& c : host) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return host;
}

std::optional<SiteId> SiteOfHost(const std::string& host, std::optional<SiteId> selected) {
  if (host.empty()) return std::nullopt;
  for (const SiteId site : AllSites()) {
    if (site == selected) continue;
    const std::string domain = SiteDomain(site);
    if (host == domain || host.ends_with("." + domain)) return site;
  }
  return std::nullopt;
}

std::optional<SiteId> OtherSiteOfPage(const std::string& pageAddress,
                                      std::optional<SiteId> selected, const PageFile& page,
                                      RuleBook& rules, const FileTarget& scratchList) {
  if (const std::optional<SiteId> byHost = SiteOfHost(AddressHost(pageAddress), selected))
    return byHost;
  // The list a harvest writes is not wanted, only whether it found addresses.
  struct Scratch {
    const FileTarget& file;
    ~Scratch() { ::unlinkat(file.AtFolder(), file.AtName().c_str(), 0); }
  } scratch{scratchList};
  for (const SiteId site : AllSites()) {
    if (site == selected) continue;
    if (HarvestImageUrls(page, scratch.file, site, rules).foundAddresses) return site;
  }
  return std::nullopt;
}

}  // namespace pixhaul
