// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/page_address_count.h"

#include "harvest/address_harvest.h"

namespace pixhaul {

int CountPageAddresses(PageMarkup markup, std::optional<SiteId> site, RuleBook& book,
                       const std::string& workFolder) {
  const std::string pageFile = workFolder + "page.txt";
  const FileDescriptor written = markup.SaveToFile(pageFile);
  return HarvestImageUrls(PageFile(pageFile, written.Get()), workFolder + "list.txt", site, book)
      .count;
}

}  // namespace pixhaul
