// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/image_url_extraction.h"

#include <string_view>

#include "harvest/address_list_file.h"
#include "harvest/marker_scan.h"
#include "harvest/page_text_stream.h"
#include "harvest/site_marker.h"
#include "harvest/whole_text.h"

namespace pixhaul {

TStringList FindImageUrls(std::string_view text, int siteIndex) {
  TStringList addresses;
  WholeText whole(text);
  ScanImageUrls(whole, MarkerForSite(siteIndex),
                [&](std::string_view address) { addresses.Add(std::string(address)); });
  return addresses;
}

namespace detail {

int ExtractImageUrlsChunked(const PageFile& pageFile, const std::string& listFile, int siteIndex,
                            size_t chunkBytes) {
  PageTextStream page(pageFile, chunkBytes);  // the page first: no list when it cannot be read
  AddressListFile list(listFile);
  const size_t count = ScanImageUrls(page, MarkerForSite(siteIndex),
                                     [&](std::string_view address) { list.Add(address); });
  list.Finish();
  return static_cast<int>(count);
}

}  // namespace detail

int ExtractImageUrls(const PageFile& pageFile, const std::string& listFile, int siteIndex) {
  return detail::ExtractImageUrlsChunked(pageFile, listFile, siteIndex, detail::kPageChunkBytes);
}

}  // namespace pixhaul
