// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// What a download's body is and how large its picture: the document check over reply shapes
// real hosts send, the sizes image headers declare, and the minimum-size option's text.
#include <gtest/gtest.h>

#include <string>

#include "download/download_filters.h"
#include "download/image_signature.h"
#include "download/image_size.h"
#include "tests/support/image_bytes.h"

namespace pixhaul::test {
namespace {

TEST(IsDocument, PagesServedForImagesAreDocumentsAndImagesNeverAre) {
  const std::string png = PngBytes(4, 4);
  const std::string svg =
      "<?xml version=\"1.0\"?>\n<!-- drawn by hand -->\n"
      "<!DOCTYPE svg PUBLIC \"-//W3C//DTD SVG 1.1//EN\" \"x\" [ <!ENTITY a \"b\"> ]>"
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"10\"></svg>";
  struct Row {
    const char* name;
    std::string contentType;
    std::string body;
    bool document;
  } rows[] = {
      // Image signatures are images under any type.
      {"jpeg as image/jpeg", "image/jpeg", JpegBytes(2, 2), false},
      {"png as text/plain", "text/plain", png, false},
      {"png as octet-stream", "application/octet-stream", png, false},
      {"png as text/html", "text/html; charset=utf-8", png, false},
      {"gif with no type", "", GifBytes(1, 1), false},
      {"webp as application/json", "application/json", WebpLossyBytes(3, 3), false},
      {"bmp", "image/bmp", BmpBytes(2, 2), false},
      {"tiff little-endian", "text/html", std::string("II*\0rest", 8), false},
      {"tiff big-endian", "", std::string("MM\0*rest", 8), false},
      {"ico", "text/html", std::string("\0\0\1\0\1\0", 6), false},
      {"avif", "text/html",
       std::string("\0\0\0\x1C"
                   "ftypavif",
                   12),
       false},
      {"heic", "application/xml",
       std::string("\0\0\0\x18"
                   "ftypheic",
                   12),
       false},
      {"jpeg xl codestream", "text/html", "\xFF\x0A\xFA", false},
      {"jpeg xl box", "text/html", std::string("\0\0\0\x0CJXL \r\n\x87\n", 12), false},
      {"svg as image/svg+xml", "image/svg+xml", svg, false},
      {"svg as text/xml", "text/xml", svg, false},
      {"svg without prolog", "text/html", "<svg width=\"1\" height=\"1\"/>", false},
      // Neither a document type nor a document's start: kept as it came.
      {"unknown binary", "application/octet-stream", std::string("\x01\x02\x03\0\x04", 5), false},
      {"plain text", "text/plain", "just some text", false},
      {"empty body as text/html", "text/html", "", false},
      {"iso media of a video brand", "",
       std::string("\0\0\0\x18"
                   "ftypisom",
                   12),
       false},
      // Documents by their type.
      {"html by type", "text/html", "hotlinking is not allowed", true},
      {"xhtml by type", "application/xhtml+xml", "<p>sign in</p>", true},
      {"json by type", "application/json", "{\"error\":\"forbidden\"}", true},
      {"xml by type", "application/xml", "<Error><Code>AccessDenied</Code></Error>", true},
      {"text/xml by type", "TEXT/XML", "<error/>", true},
      {"type with blanks and parameters", "  text/html ;charset=UTF-8", "x", true},
      // Documents by their start, whatever they were called.
      {"doctype under image/jpeg", "image/jpeg", "<!DOCTYPE html><html>", true},
      {"lower-case doctype", "", "<!doctype html>", true},
      {"bom and blanks", "image/png", "\xEF\xBB\xBF \r\n\t<html lang=en>", true},
      {"head first", "", "<HEAD><title>x</title>", true},
      {"body first", "image/gif", "<body>denied</body>", true},
      {"xml error with declaration", "image/jpeg",
       "<?xml version=\"1.0\"?><Error><Code>NoSuchKey</Code></Error>", true},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(IsDocument(row.contentType, row.body), row.document) << row.name;
  }
  EXPECT_EQ(MediaTypeOf("  Text/HTML ; charset=x"), "Text/HTML");
  EXPECT_EQ(MediaTypeOf(""), "");
}

TEST(ImageSizeOf, EachFormatsHeaderGivesItsSize) {
  struct Row {
    const char* name;
    std::string bytes;
    std::optional<ImageSize> size;
  } rows[] = {
      {"jpeg", JpegBytes(640, 480), ImageSize{640, 480}},
      {"jpeg behind 70 kB of exif", JpegBytes(16, 9, 70000), ImageSize{16, 9}},
      {"progressive jpeg", JpegBytes(1024, 768, 0, true), ImageSize{1024, 768}},
      {"png", PngBytes(300, 200), ImageSize{300, 200}},
      {"gif", GifBytes(16, 16), ImageSize{16, 16}},
      {"bmp", BmpBytes(120, 45), ImageSize{120, 45}},
      {"top-down bmp", BmpBytes(120, -45), ImageSize{120, 45}},
      {"webp lossy", WebpLossyBytes(400, 300), ImageSize{400, 300}},
      {"webp lossless", WebpLosslessBytes(17, 1000), ImageSize{17, 1000}},
      {"webp extended", WebpExtendedBytes(5000, 20), ImageSize{5000, 20}},
      {"svg unitless", "<svg width=\"48\" height=\"32\" viewBox=\"0 0 4 4\">", ImageSize{48, 32}},
      {"svg in px", "<?xml version='1.0'?>\n<svg height='16px' stroke-width=\"9\" width='24.5px'>",
       ImageSize{24, 16}},
      // Unreadable sizes: nothing, so the image is kept.
      {"svg in percent", "<svg width=\"100%\" height=\"100%\">", std::nullopt},
      {"svg in em", "<svg width=\"2em\" height=\"2em\">", std::nullopt},
      {"svg without a size", "<svg viewBox=\"0 0 10 10\">", std::nullopt},
      {"png cut in its header", PngBytes(300, 200).substr(0, 14), std::nullopt},
      {"jpeg cut before its frame", JpegBytes(16, 9, 70000).substr(0, 40000), std::nullopt},
      {"tiff", std::string("II*\0\x08\0\0\0", 8), std::nullopt},
      {"not an image", "hello", std::nullopt},
      {"empty", "", std::nullopt},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ImageSizeOf(row.bytes), row.size) << row.name;
  }
}

TEST(ParseMinimumSize, TwoDecimalNumbersJoinedByAnX) {
  EXPECT_EQ(ParseMinimumSize("200x200"), (std::pair{200, 200}));
  EXPECT_EQ(ParseMinimumSize("0x0"), (std::pair{0, 0}));
  EXPECT_EQ(ParseMinimumSize("640X1"), (std::pair{640, 1}));
  EXPECT_EQ(ParseMinimumSize("100000x100000"), (std::pair{100000, 100000}));
  for (const char* bad : {"", "200", "x200", "200x", "-1x5", "2 x2", "200x200x1", "100001x1",
                          "1e3x1", "+5x5", "0x10a"}) {
    EXPECT_FALSE(ParseMinimumSize(bad)) << bad;
  }
  EXPECT_EQ(FiltersLine({}), "");
  EXPECT_EQ(FiltersLine({200, 150, true}), "Filters: \u2265 200\u00d7150, no duplicates");
  EXPECT_EQ(FiltersLine({0, 0, true}), "Filters: no duplicates");
  EXPECT_EQ(FiltersLine({64, 0, false}), "Filters: \u2265 64\u00d70");
}

}  // namespace
}  // namespace pixhaul::test
