// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/image_url_extraction.h"

#include <string_view>

#include "framework/ascii_text.h"
#include "harvest/address_list_file.h"
#include "harvest/marker_scan.h"
#include "harvest/page_text_stream.h"
#include "harvest/site_table.h"
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

MarkerScan ScanPageWithMarker(PageTextStream& page, int siteIndex, AddressListFile& list) {
  MarkerScan scan;
  scan.count =
      static_cast<int>(ScanImageUrls(page, MarkerForSite(siteIndex), [&](std::string_view address) {
        list.Add(address);
        scan.cutAnAddress = scan.cutAnAddress || StartsWithText(address, "http://") ||
                            StartsWithText(address, "https://");
      }));
  return scan;
}

int ExtractImageUrlsChunked(const PageFile& pageFile, const std::string& listFile, int siteIndex,
                            size_t chunkBytes) {
  PageTextStream page(pageFile, chunkBytes);  // the page first: no list when it cannot be read
  AddressListFile list(listFile);
  const MarkerScan scan = ScanPageWithMarker(page, siteIndex, list);
  list.Finish();
  return scan.count;
}

}  // namespace detail

int ExtractImageUrls(const PageFile& pageFile, const std::string& listFile, int siteIndex) {
  return detail::ExtractImageUrlsChunked(pageFile, listFile, siteIndex, detail::kPageChunkBytes);
}

}  // namespace pixhaul
