#include "harvest/image_url_extraction.h"

#include <string.h>  // memmem

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

#include "framework/exception.h"
#include "framework/replacement_file.h"
#include "framework/string_list.h"
#include "harvest/page_text_stream.h"

namespace pixhaul {

namespace {

constexpr int kBing = 0;
constexpr int kGoogle = 1;
constexpr int kBaidu = 2;

constexpr size_t kNone = std::string_view::npos;

// Bounds of the memmem windows: the first is small because markers on a result page are close
// together; the largest keeps a page without markers to a few hundred calls.
constexpr size_t kFirstWindow = 256;
constexpr size_t kLargestWindow = 1 << 20;

// The list file's write buffer.
constexpr size_t kListBufferBytes = 64 * 1024;

// A site's marker and how far past the marker's first byte its address begins. For Google and
// Baidu the skip stops short of the marker's end, so the "http" the marker ends with starts the
// address; for Bing it also drops the one byte after the marker (normally the opening quote).
struct SiteMarker {
  std::string_view marker;
  size_t skip = 0;
};

SiteMarker MarkerForSite(int siteIndex) {
  switch (siteIndex) {
    case kBing:
      return {"imgurl:", 8};
    case kGoogle:
      return {"\"ou\":\"http", 6};
    case kBaidu:
      return {"\"objURL\":\"http", 10};
    default:
      return {};  // an empty marker never matches
  }
}

// Position of the first `marker` at or after `from` in `text`, or kNone; `marker` is not empty.
// memmem is searched in windows that start small and double, so one call costs about the
// distance to its hit even where memmem (or a sanitizer's wrapper of it) touches the whole
// range it is given; neighbouring windows overlap by the marker's length less one byte, so a
// marker across their border is still found.
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
  return kNone;
}

// A text held whole in memory, seen through the same interface as a streamed page. Positions
// are offsets into the text.
class WholeText {
 public:
  explicit WholeText(std::string_view text) : text_(text) {}
  size_t Begin() const { return 0; }
  size_t End() const { return text_.size(); }
  std::string_view View(size_t from, size_t to) const { return text_.substr(from, to - from); }
  bool More(size_t /*keepFrom*/) { return false; }

 private:
  std::string_view text_;
};

// Finds the first double quote at or after a position that never moves backwards. The answer
// is remembered, and so is how far the text is known to hold no quote, so a page whose quotes
// run out is not rescanned to its end once per marker: every byte is looked at once at most.
class QuoteFinder {
 public:
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
      // The address starts at `from`: keep it while its end is looked for.
      if (!text.More(from)) {
        exhausted_ = true;
        next_ = kNone;
        return kNone;
      }
      at = searched_;
    }
  }

 private:
  size_t next_ = kNone;
  // Searched up to here: between the last start and searched_ the only quote is next_.
  size_t searched_ = 0;
  bool exhausted_ = false;
};

// Walks the text marker by marker, handing each address to `found`; returns the count. Instead
// of cutting the text after each hit, a start position stands for the cut: it moves to where
// the address begins (clamped to the end), and both the closing quote and the next marker are
// searched from there, so a marker inside an address is found again, exactly as if the text
// had been cut.
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
    if (hit == kNone) {
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
    // No closing quote anywhere later: the entry is empty but still counts.
    found(quote == kNone ? std::string_view() : text.View(start, quote));
    ++count;
    from = start;
  }
}

// The list file, written through a buffer as the addresses come into a file that takes the
// list's name only when complete: a scan that fails leaves the list as it was.
class ListWriter {
 public:
  // Raises EFCreateError.
  explicit ListWriter(const std::string& path)
      : file_(path), buffer_(std::make_unique_for_overwrite<char[]>(kListBufferBytes)) {}

  void Add(std::string_view entry) {
    Put(entry);
    Put("\r\n");
  }

  // Writes what is buffered and puts the file in the list's place; raises EWriteError and
  // EFCreateError.
  void Finish() {
    Flush();
    file_.Commit();
  }

 private:
  void Put(std::string_view bytes) {
    if (bytes.empty()) return;  // an empty entry's view may have no data pointer at all
    if (bytes.size() > kListBufferBytes - used_) {
      Flush();
      if (bytes.size() >= kListBufferBytes) {
        Write(bytes.data(), bytes.size());
        return;
      }
    }
    std::memcpy(buffer_.get() + used_, bytes.data(), bytes.size());
    used_ += bytes.size();
  }

  void Flush() {
    Write(buffer_.get(), used_);
    used_ = 0;
  }

  void Write(const char* data, size_t size) { file_.Write(std::string_view(data, size)); }

  ReplacementFile file_;
  std::unique_ptr<char[]> buffer_;
  size_t used_ = 0;
};

}  // namespace

TStringList FindImageUrls(std::string_view text, int siteIndex) {
  TStringList addresses;
  WholeText whole(text);
  ScanImageUrls(whole, MarkerForSite(siteIndex),
                [&](std::string_view address) { addresses.Add(std::string(address)); });
  return addresses;
}

namespace detail {

int ExtractImageUrlsChunked(const std::string& pageFile, const std::string& listFile, int siteIndex,
                            size_t chunkBytes) {
  PageTextStream page(pageFile, chunkBytes);  // the page first: no list when it cannot be read
  ListWriter list(listFile);
  const size_t count = ScanImageUrls(page, MarkerForSite(siteIndex),
                                     [&](std::string_view address) { list.Add(address); });
  list.Finish();
  return static_cast<int>(count);
}

}  // namespace detail

int ExtractImageUrls(const std::string& pageFile, const std::string& listFile, int siteIndex) {
  return detail::ExtractImageUrlsChunked(pageFile, listFile, siteIndex, detail::kPageChunkBytes);
}

}  // namespace pixhaul
