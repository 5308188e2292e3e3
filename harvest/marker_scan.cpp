// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/marker_scan.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "framework/ascii_text.h"
#include "harvest/address_list_file.h"
#include "harvest/byte_blocks.h"
#include "harvest/page_text_stream.h"
#include "harvest/site_table.h"

namespace pixhaul {

namespace {

// ---- Finding the next marker ----

// A candidate is a position whose byte is the marker's first and whose byte the marker's length
// less one further on is its last; sixteen positions are tried at once, and only a candidate is
// compared whole. The search reads no further than a marker at its last possible start would
// reach, so it costs about the distance to its hit, at several bytes a cycle.
// Position of the first `marker` (not empty) at or after `from` in `text`, or npos.
size_t FindMarker(std::string_view text, size_t from, std::string_view marker) {
  const size_t length = marker.size();
  if (from > text.size() || text.size() - from < length) return std::string_view::npos;
  const char* const base = text.data();
  const size_t lastStart = text.size() - length;
  const ByteBlock first = BlockOf(marker.front());
  const ByteBlock last = BlockOf(marker.back());
  size_t at = from;
  for (; at <= lastStart && lastStart - at >= kBlockBytes - 1; at += kBlockBytes) {
    const BlockMatches matches =
        (LoadBlock(base + at) == first) & (LoadBlock(base + at + length - 1) == last);
    if (!AnyMatch(matches)) continue;
    for (unsigned candidates = MatchBits(matches); candidates != 0; candidates &= candidates - 1) {
      const size_t start = at + static_cast<size_t>(__builtin_ctz(candidates));
      if (std::memcmp(base + start, marker.data(), length) == 0) return start;
    }
  }
  for (; at <= lastStart; ++at) {
    if (base[at] == marker.front() && std::memcmp(base + at, marker.data(), length) == 0) {
      return at;
    }
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
// returns the count and whether the list was cut. Nothing is found with an empty marker.
//
// Instead of cutting the text after each hit, a start position stands for the cut: it moves to
// where the address begins (clamped to the end), and both the closing quote and the next marker
// are searched from there, so a marker inside an address is found again, exactly as if the
// text had been cut.
//
// Entries restart at the address just taken, so a page whose addresses hold its marker again
// gives entries that overlap: the list's bytes (each entry with its CR LF) are bounded at
// kListBytesPerPageByte times the page's size (`pageBytes`, or the text read so far when that
// is more); the entry that would pass the bound is not found, and the walk ends there.
struct MarkerWalk {
  size_t count = 0;
  bool cut = false;
};

template <class Text, class Found>
MarkerWalk ScanImageUrls(Text& text, const SiteMarker& site, uint64_t pageBytes, Found&& found) {
  MarkerWalk walk;
  if (site.marker.empty()) return walk;
  const size_t overlap = site.marker.size() - 1;
  QuoteFinder quotes;
  uint64_t listBytes = 0;
  size_t& count = walk.count;
  size_t from = 0;
  for (;;) {
    const size_t begin = text.Begin();
    size_t hit = FindMarker(text.View(begin, text.End()), from - begin, site.marker);
    if (hit == std::string_view::npos) {
      // Only the last bytes can still start a marker that the next chunk completes.
      const size_t end = text.End();
      const size_t resume = std::max(from, end - std::min(end, overlap));
      if (!text.More(resume)) return walk;
      from = resume;
      continue;
    }
    hit += begin;
    size_t start = hit + site.skip;
    while (text.End() < start && text.More(hit)) {
    }
    start = std::min(start, text.End());
    const size_t quote = quotes.NextFrom(text, start);
    const std::string_view address =
        quote == std::string_view::npos ? std::string_view() : text.View(start, quote);
    listBytes += address.size() + 2;
    if (listBytes > kListBytesPerPageByte * std::max<uint64_t>(pageBytes, text.End())) {
      walk.cut = true;
      return walk;
    }
    found(address);
    ++count;
    from = start;
  }
}

}  // namespace

TStringList FindImageUrls(std::string_view text, std::optional<SiteId> site) {
  TStringList addresses;
  WholeText whole(text);
  ScanImageUrls(whole, MarkerForSite(site), text.size(),
                [&](std::string_view address) { addresses.Add(std::string(address)); });
  return addresses;
}

namespace detail {

MarkerScan ScanPageWithMarker(PageTextStream& page, std::optional<SiteId> site,
                              AddressListFile& list) {
  MarkerScan scan;
  const MarkerWalk walk =
      ScanImageUrls(page, MarkerForSite(site), page.FileBytes(), [&](std::string_view address) {
        list.Add(address);
        scan.cutAnAddress = scan.cutAnAddress || StartsWithText(address, "http://") ||
                            StartsWithText(address, "https://");
      });
  scan.count = static_cast<int>(walk.count);
  scan.listCut = walk.cut;
  return scan;
}

int ExtractImageUrlsChunked(const PageFile& pageFile, const FileTarget& listFile,
                            std::optional<SiteId> site, size_t chunkBytes) {
  PageTextStream page(pageFile, chunkBytes);  // the page first: no list when it cannot be read
  AddressListFile list(listFile);
  const MarkerScan scan = ScanPageWithMarker(page, site, list);
  list.Finish();
  return scan.count;
}

}  // namespace detail

int ExtractImageUrls(const PageFile& pageFile, const FileTarget& listFile,
                     std::optional<SiteId> site) {
  return detail::ExtractImageUrlsChunked(pageFile, listFile, site, detail::kPageChunkBytes);
}

}  // namespace pixhaul
