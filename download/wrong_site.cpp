// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/wrong_site.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "framework/ascii_text.h"
#include "harvest/address_harvest.h"
#include "harvest/site_table.h"
#include "http/uri.h"

namespace pixhaul {

namespace {

// A site's domain: its host name without the first label ("google.com").
std::string SiteDomain(int index) {
  const std::string label = SiteLabel(index);
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

int SiteOfHost(const std::string& host, int selected) {
  if (host.empty()) return kNoSite;
  for (int i = 0; i < kSiteCount; ++i) {
    if (i == selected) continue;
    const std::string domain = SiteDomain(i);
    if (host == domain || host.ends_with("." + domain)) return i;
  }
  return kNoSite;
}

int OtherSiteOfPage(const std::string& pageAddress, int selected, const PageFile& page,
                    RuleBook& rules, const FileTarget& scratchList) {
  const int byHost = SiteOfHost(AddressHost(pageAddress), selected);
  if (byHost != kNoSite) return byHost;
  // The list a harvest writes is not wanted, only whether it found addresses.
  struct Scratch {
    const FileTarget& file;
    ~Scratch() {
      if (file.folder >= 0) {
        ::unlinkat(file.folder, file.Name().c_str(), 0);
      } else {
        std::remove(file.path.c_str());
      }
    }
  } scratch{scratchList};
  for (int i = 0; i < kSiteCount; ++i) {
    if (i == selected) continue;
    if (HarvestImageUrls(page, scratch.file, i, rules).foundAddresses) return i;
  }
  return kNoSite;
}

}  // namespace pixhaul
