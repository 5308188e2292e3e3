// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// ScanImageUrls: the walk of a text from one site marker to the next, handing each address
// (the bytes from the marker's skip up to the next double quote) to a callback.
//
// Instead of cutting the text after each hit, a start position stands for the cut: it moves to
// where the address begins (clamped to the end), and both the closing quote and the next marker
// are searched from there, so a marker inside an address is found again, exactly as if the
// text had been cut. `Text` is PageTextStream or WholeText.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string_view>

#include "harvest/marker_search.h"
#include "harvest/quote_finder.h"
#include "harvest/site_table.h"

namespace pixhaul {

// Calls `found(address)` for every marker in `text`, an address without a closing quote being
// empty; returns the count. Nothing is found with an empty marker.
template <class Text, class Found>
size_t ScanImageUrls(Text& text, const SiteMarker& site, Found&& found) {
  if (site.marker.empty()) return 0;
  const size_t overlap = site.marker.size() - 1;
  QuoteFinder quotes;
  size_t count = 0;
  size_t from = 0;
  for (;;) {
    const size_t begin = text.Begin();
    size_t hit = FindMarker(text.View(begin, text.End()), from - begin, site.marker);
    if (hit == std::string_view::npos) {
      // Only the last bytes can still start a marker that the next chunk completes.
      const size_t end = text.End();
      const size_t resume = std::max(from, end - std::min(end, overlap));
      if (!text.More(resume)) return count;
      from = resume;
      continue;
    }
    hit += begin;
    size_t start = hit + site.skip;
    while (text.End() < start && text.More(hit)) {
    }
    start = std::min(start, text.End());
    const size_t quote = quotes.NextFrom(text, start);
    found(quote == std::string_view::npos ? std::string_view() : text.View(start, quote));
    ++count;
    from = start;
  }
}

}  // namespace pixhaul
