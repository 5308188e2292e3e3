// Fuzz target: extracting image addresses from a result page, checked against a literal
// rendering of the marker scan (cut the working text after the marker, take up to the next
// double quote, search again from the front).
//
// Input: the first byte picks the site index (-1 to 3), the rest is the page file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/string_list.h"
#include "fuzz/fuzz_support.h"
#include "harvest/image_url_extraction.h"

namespace {

std::vector<std::string> LiteralScan(const std::string& page, int site) {
  pixhaul::TStringList lines;
  lines.SetText(page);
  std::string text = lines.Text();
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const int site = data[0] % 5 - 1;
  const std::string page(pixhaul::fuzz::AsText(data + 1, size - 1));
  const std::string pageFile = pixhaul::fuzz::ScratchPath("result_content.txt");
  const std::string listFile = pixhaul::fuzz::ScratchPath("url_list.txt");
  pixhaul::fuzz::WriteScratchFile(pageFile, page);

  const int count = pixhaul::ExtractImageUrls(pageFile, listFile, site);
  const std::vector<std::string> expected = LiteralScan(page, site);
  FUZZ_CHECK(count == static_cast<int>(expected.size()),
             "count " + std::to_string(count) + " expected " + std::to_string(expected.size()));
  std::string expectedFile;
  for (const std::string& address : expected) expectedFile += address + "\r\n";
  FUZZ_CHECK(pixhaul::fuzz::ReadScratchFile(listFile) == expectedFile, "list file differs");
  return 0;
}
