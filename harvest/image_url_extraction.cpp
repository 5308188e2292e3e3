#include "harvest/image_url_extraction.h"

#include <string.h>  // memmem

#include <algorithm>
#include <string_view>

#include "framework/string_list.h"

namespace pixhaul {

namespace {

constexpr int kBing = 0;
constexpr int kGoogle = 1;
constexpr int kBaidu = 2;

// Bounds of the memmem windows: the first is small because markers on a result page are close
// together; the largest keeps a page without markers to a few hundred calls.
constexpr size_t kFirstWindow = 256;
constexpr size_t kLargestWindow = 1 << 20;

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

// The page as the scan sees it: every line followed by CR LF, read in one pass without a
// string per line.
std::string LoadWorkingText(const std::string& pageFile) { return LoadTextFromFile(pageFile); }

// Position of the first `marker` at or after `from`, or npos. An empty marker never matches.
// memmem is searched in windows that start small and double, so one call costs about the
// distance to its hit even where memmem (or a sanitizer's wrapper of it) touches the whole
// range it is given; neighbouring windows overlap by the marker's length less one byte, so a
// marker across their border is still found.
size_t FindMarker(std::string_view text, size_t from, std::string_view marker) {
  if (marker.empty()) return std::string_view::npos;
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

// Finds the first double quote at or after a position that never moves backwards. The answer
// is remembered, so a page whose quotes run out is not rescanned to its end once per marker:
// every byte is looked at once at most.
class QuoteFinder {
 public:
  explicit QuoteFinder(std::string_view text) : text_(text) {}

  size_t NextFrom(size_t from) {
    if (!known_ || (next_ != std::string_view::npos && next_ < from)) {
      next_ = text_.find('"', from);
      known_ = true;
    }
    return next_;
  }

 private:
  std::string_view text_;
  size_t next_ = std::string_view::npos;
  bool known_ = false;
};

}  // namespace

// Walks the text marker by marker. Instead of cutting the text after each hit, a start index
// stands for the cut: it moves to where the address begins (clamped to the end), and both the
// closing quote and the next marker are searched from there, so a marker inside an address is
// found again, exactly as if the text had been cut.
TStringList FindImageUrls(std::string_view text, int siteIndex) {
  const SiteMarker site = MarkerForSite(siteIndex);
  TStringList addresses;
  QuoteFinder quotes(text);
  size_t start = 0;
  for (size_t hit = FindMarker(text, start, site.marker); hit != std::string_view::npos;
       hit = FindMarker(text, start, site.marker)) {
    start = std::min(hit + site.skip, text.size());
    const size_t quote = quotes.NextFrom(start);
    // No closing quote anywhere later: the entry is empty but still counts.
    addresses.Add(quote == std::string_view::npos ? std::string()
                                                  : std::string(text.substr(start, quote - start)));
  }
  return addresses;
}

int ExtractImageUrls(const std::string& pageFile, const std::string& listFile, int siteIndex) {
  TStringList addresses;
  {
    const std::string text = LoadWorkingText(pageFile);
    addresses = FindImageUrls(text, siteIndex);
  }  // the page's text is freed before the list is written
  addresses.SaveToFile(listFile);
  return addresses.Count();
}

}  // namespace pixhaul
