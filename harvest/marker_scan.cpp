// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/marker_scan.h"

#include <string.h>  // memmem

#include <algorithm>
#include <cstring>
#include <string_view>

#include "framework/ascii_text.h"
#include "harvest/address_list_file.h"
#include "harvest/page_text_stream.h"
#include "harvest/site_table.h"

namespace pixhaul {

namespace {

// ---- Finding the next marker ----

// memmem (or a sanitizer's wrapper of it) may touch the whole range it is given, which makes a
// scan that asks for one marker after another quadratic. The search hands it windows that start
// small and double, so one call costs about the distance to its hit; neighbouring windows
// overlap by the marker's length less one byte, so a marker across their border is still found.
// The first window is small because markers on a result page are close together; the largest
// keeps a page without markers to a few hundred calls.
constexpr size_t kFirstWindow = 256;
constexpr size_t kLargestWindow = 1 << 20;

// Position of the first `marker` (not empty) at or after `from` in `text`, or npos.
size_t FindMarker(std::string_view text, size_t from, std::string_view marker) {
  size_t window = kFirstWindow;
  while (from < text.size() && text.size() - from >= marker.size()) {
    const size_t length = std::min(window, text.size() - from);
    const void* hit = memmem(text.data() + from, length, marker.data(), marker.size());
    if (hit != nullptr) return static_cast<size_t>(static_cast<const char*>(hit) - text.data());
    if (length == text.size() - from) break;
    from += length - (marker.size() - 1);
    window = std::min(window * 2, kLargestWindow);
  }
  return std::string_view::npos;
}

// ---- Finding the closing quote ----

// The first double quote at or after a position that never moves backwards, in a text seen
// through the PageTextStream interface. The answer is remembered, and so is how far the text is
// known to hold no quote, so a page whose quotes run out is not rescanned to its end once per
// marker: every byte is looked at once at most.
class QuoteFinder {
 public:
  // The position of the quote, or npos when the text has none from `from` on. Reads more of
  // `text` while looking, keeping it from `from` on.
  template <class Text>
  size_t NextFrom(Text& text, size_t from) {
    if (next_ != kNone && next_ >= from) return next_;
    if (exhausted_) return kNone;
    size_t at = std::max(from, searched_);
    for (;;) {
      const std::string_view rest = text.View(at, text.End());
      const void* hit = std::memchr(rest.data(), '"', rest.size());
      if (hit != nullptr) {
        next_ = at + static_cast<size_t>(static_cast<const char*>(hit) - rest.data());
        searched_ = next_;
        return next_;
      }
      searched_ = text.End();
      if (!text.More(from)) {
        exhausted_ = true;
        next_ = kNone;
        return kNone;
      }
      at = searched_;
    }
  }

 private:
  static constexpr size_t kNone = std::string_view::npos;

  size_t next_ = kNone;
  // Searched up to here: between the last start and searched_ the only quote is next_.
  size_t searched_ = 0;
  bool exhausted_ = false;
};

// ---- The scan ----

// A text held whole in memory, seen through the interface of PageTextStream, so that one scan
// serves a streamed page and a text in memory alike. Positions are offsets into the text.
class WholeText {
 public:
  explicit WholeText(std::string_view text) : text_(text) {}
  size_t Begin() const { return 0; }
  size_t End() const { return text_.size(); }
  std::string_view View(size_t from, size_t to) const { return text_.substr(from, to - from); }
  // There is never more: the whole text is in.
  bool More(size_t /*keepFrom*/) { return false; }

 private:
  std::string_view text_;
};

// The walk of a text (PageTextStream or WholeText) from one marker to the next: calls
// `found(address)` for every marker, an address without a closing quote being empty, and
// returns the count. Nothing is found with an empty marker.
//
// Instead of cutting the text after each hit, a start position stands for the cut: it moves to
// where the address begins (clamped to the end), and both the closing quote and the next marker
// are searched from there, so a marker inside an address is found again, exactly as if the
// text had been cut.
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

}  // namespace

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
