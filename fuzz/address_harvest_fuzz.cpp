// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Fuzz target: extracting image addresses from a result page. The marker scan is checked
// against a literal rendering of it (cut the working text after the marker, take up to the
// next double quote, search again from the front). On a page where the marker cuts no entry
// that begins with a scheme, the list must be what the site's built-in current-layout rules
// give over the whole text at once when they give anything, and the marker's list otherwise,
// whatever the size of the pieces the page is streamed in. The HTML and JSON decoders get the
// page too: they never lengthen a text, leave one without their escape character as it is, and
// keep valid UTF-8 valid; so does Baidu's cipher, checked against a literal rendering of it
// (each token replaced throughout in turn, then every byte mapped).
//
// Input: the first byte picks the site index (its value modulo 5, less 1: -1 to 3) and the
// size of the streamed pieces (its top five bits, plus 1), the rest is the page file.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "framework/ascii_text.h"
#include "framework/string_list.h"
#include "fuzz/fuzz_support.h"
#include "harvest/address_decoding.h"
#include "harvest/address_harvest.h"
#include "harvest/marker_scan.h"
#include "harvest/rule_book.h"
#include "harvest/rules_scan.h"
#include "harvest/site_table.h"

namespace {

using pixhaul::RegexPattern;

std::string NormalisedText(const std::string& page) {
  pixhaul::TStringList lines;
  lines.SetText(page);
  return lines.Text();
}

std::vector<std::string> LiteralScan(const std::string& page, int site) {
  std::string text = NormalisedText(page);
  std::string marker;
  size_t offset = 0;
  if (site == 0) marker = "imgurl:", offset = 7;
  if (site == 1) marker = "\"ou\":\"http", offset = 5;
  if (site == 2) marker = "\"objURL\":\"http", offset = 9;
  std::vector<std::string> found;
  if (marker.empty()) return found;
  for (size_t at = text.find(marker); at != std::string::npos; at = text.find(marker)) {
    const size_t start = at + offset + 1;
    text = start > text.size() ? std::string() : text.substr(start);
    const size_t quote = text.find('"');
    found.push_back(quote == std::string::npos ? std::string() : text.substr(0, quote));
  }
  return found;
}

// The site's built-in rules over the whole text: one search after another from the end of the
// last match, the first rule that keeps an address giving the list. False when a rule stopped
// at the engine's limits (the streamed scan reports that instead of a list).
bool RulesOverWholeText(const std::string& page, int site, std::vector<std::string>& found) {
  const std::string text = NormalisedText(page);
  // Compiled once: the target runs many thousand times a second.
  static std::vector<pixhaul::SiteRules> builtIn = [] {
    std::vector<pixhaul::SiteRules> all;
    for (int s = 0; s < pixhaul::kSiteCount; ++s)
      all.push_back(pixhaul::BuiltInRules(*pixhaul::SiteOfRow(s)));
    return all;
  }();
  for (pixhaul::AddressRule& rule : builtIn[static_cast<size_t>(site)].rules) {
    std::set<std::string> seen;
    for (size_t pos = 0; pos <= text.size();) {
      const RegexPattern::Result r = rule.expression.Search(text, pos, false, true);
      if (r.outcome == RegexPattern::Outcome::kFailed) return false;
      if (r.outcome != RegexPattern::Outcome::kMatch) break;
      if (r.end - r.start > pixhaul::kMaxMatchBytes) {
        pos = r.start + 1;
        continue;
      }
      if (r.groupEnd > r.groupStart) {
        const pixhaul::CaptureVerdict v = pixhaul::JudgeCapture(
            rule, std::string_view(text).substr(r.groupStart, r.groupEnd - r.groupStart));
        if (v.kind == pixhaul::CaptureVerdict::Kind::kFailed) return false;
        if (v.kind == pixhaul::CaptureVerdict::Kind::kKeep && seen.insert(v.address).second) {
          found.push_back(v.address);
        }
      }
      pos = std::max(pos + 1, r.end);
    }
    if (!found.empty()) return true;
  }
  return true;
}

// Baidu's cipher as its description reads: an address stays; otherwise every "_z2C$q" becomes
// ":", then every "_z&e3B" ".", then every "AzdH3F" "/", and then each byte is mapped.
std::string LiteralBaiduCipher(const std::string& text) {
  if (pixhaul::StartsWithText(text, "http://") || pixhaul::StartsWithText(text, "https://")) {
    return text;
  }
  std::string out = text;
  for (const auto& [token, mark] :
       {std::pair<std::string, std::string>{"_z2C$q", ":"}, {"_z&e3B", "."}, {"AzdH3F", "/"}}) {
    for (size_t at = out.find(token); at != std::string::npos; at = out.find(token, at + 1)) {
      out.replace(at, token.size(), mark);
    }
  }
  const std::string from = "wkv1ju2it3hs4g5rq6fp7eo8dn9cm0bla";
  const std::string to = "abcdefghijklmnopqrstuvw1234567890";
  for (char& c : out) {
    const size_t at = from.find(c);
    if (at != std::string::npos) c = to[at];
  }
  return out;
}

bool ValidUtf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (length == 0 || i + length > text.size()) return false;
    uint32_t value = length == 1 ? c : c & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next >> 6) != 2) return false;
      value = (value << 6) | (next & 0x3F);
    }
    const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < least[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
      return false;
    }
    i += length;
  }
  return true;
}

void CheckDecoders(const std::string& page) {
  const std::string html = pixhaul::DecodeHtmlReferences(page);
  const std::string json = pixhaul::DecodeJsonEscapes(page);
  FUZZ_CHECK(html.size() <= page.size(), "html decoding lengthened the text");
  FUZZ_CHECK(json.size() <= page.size(), "json decoding lengthened the text");
  if (page.find('&') == std::string::npos) FUZZ_CHECK(html == page, "html changed a plain text");
  if (page.find('\\') == std::string::npos) FUZZ_CHECK(json == page, "json changed a plain text");
  if (ValidUtf8(page)) {
    FUZZ_CHECK(ValidUtf8(html), "html decoding broke UTF-8");
    FUZZ_CHECK(ValidUtf8(json), "json decoding broke UTF-8");
  }
  const std::string baidu = pixhaul::DecodeBaiduCipher(page);
  FUZZ_CHECK(baidu.size() <= page.size(), "baidu decoding lengthened the text");
  FUZZ_CHECK(baidu == LiteralBaiduCipher(page), "baidu decoding differs from the literal one");
  FUZZ_CHECK(pixhaul::DecodeAddress(pixhaul::AddressDecoding::kBaidu, page) ==
                 pixhaul::DecodeBaiduCipher(json),
             "the baidu decoding is not json then the cipher");
}

std::string Joined(const std::vector<std::string>& entries) {
  std::string file;
  for (const std::string& entry : entries) file += entry + "\r\n";
  return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int site = data[0] % 5 - 1;
  const size_t chunk = (data[0] >> 3) + 1;
  const std::string page(pixhaul::fuzz::AsText(data + 1, size - 1));
  const std::string pageFile = pixhaul::fuzz::ScratchPath("result_content.txt");
  const std::string listFile = pixhaul::fuzz::ScratchPath("url_list.txt");
  pixhaul::fuzz::WriteScratchFile(pageFile, page);

  const int count = pixhaul::ExtractImageUrls(pageFile, listFile, pixhaul::SiteOfRow(site));
  const std::vector<std::string> expected = LiteralScan(page, site);
  FUZZ_CHECK(count == static_cast<int>(expected.size()),
             "count " + std::to_string(count) + " expected " + std::to_string(expected.size()));
  FUZZ_CHECK(pixhaul::fuzz::ReadScratchFile(listFile) == Joined(expected), "list file differs");

  CheckDecoders(page);

  // The whole extraction of a run: the marker's list when it cut an address, else the rules'
  // when they find any, else the marker's after all.
  bool cutAnAddress = false;
  for (const std::string& entry : expected) {
    cutAnAddress = cutAnAddress || pixhaul::StartsWithText(entry, "http://") ||
                   pixhaul::StartsWithText(entry, "https://");
  }
  std::vector<std::string> byRules;
  if (!cutAnAddress && pixhaul::SiteOfRow(site) && !RulesOverWholeText(page, site, byRules)) {
    return 0;
  }
  const std::vector<std::string>& list = byRules.empty() ? expected : byRules;
  static pixhaul::RuleBook book;  // built-in rules only, which no page can change
  for (const size_t pieces : {chunk, pixhaul::detail::kPageChunkBytes}) {
    const pixhaul::HarvestResult harvest = pixhaul::detail::HarvestImageUrlsChunked(
        pageFile, listFile, pixhaul::SiteOfRow(site), book, pieces);
    FUZZ_CHECK(harvest.problems.empty(), "a built-in rule stopped at the engine's limits");
    FUZZ_CHECK(harvest.count == static_cast<int>(list.size()),
               "harvest count " + std::to_string(harvest.count) + " expected " +
                   std::to_string(list.size()) + ", pieces of " + std::to_string(pieces));
    FUZZ_CHECK(harvest.byRules == !byRules.empty(), "list source");
    FUZZ_CHECK(pixhaul::fuzz::ReadScratchFile(listFile) == Joined(list),
               "harvested list differs, pieces of " + std::to_string(pieces));
  }
  return 0;
}
