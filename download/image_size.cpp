// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/image_size.h"

#include <webp/decode.h>

#include <charconv>
#include <climits>

#include "download/stb_header_reader.h"
#include "framework/ascii_text.h"

namespace pixhaul {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The value of attribute `name` in the start tag `tag` (from "<svg" to its ">"), or nothing.
std::optional<std::string_view> AttributeValue(std::string_view tag, std::string_view name) {
  size_t at = 0;
  while ((at = tag.find(name, at)) != std::string_view::npos) {
    const bool ownName = at > 0 && IsBlank(tag[at - 1]);
    size_t i = at + name.size();
    at = i;
    if (!ownName) continue;
    while (i < tag.size() && IsBlank(tag[i])) ++i;
    if (i >= tag.size() || tag[i] != '=') continue;
    ++i;
    while (i < tag.size() && IsBlank(tag[i])) ++i;
    if (i >= tag.size() || (tag[i] != '"' && tag[i] != '\'')) continue;
    const char quote = tag[i];
    const size_t end = tag.find(quote, i + 1);
    if (end == std::string_view::npos) return std::nullopt;
    return tag.substr(i + 1, end - i - 1);
  }
  return std::nullopt;
}

// A length in px or without a unit, rounded down to whole pixels.
std::optional<int> SvgLength(std::string_view value) {
  value = TrimBlanks(value, IsBlank);
  if (value.ends_with("px")) value.remove_suffix(2);
  double number = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (error != std::errc() || end != value.data() + value.size() || !(number >= 0) || number > 1e9)
    return std::nullopt;
  return static_cast<int>(number);
}

std::optional<ImageSize> SvgSize(std::string_view text) {
  const size_t start = text.find("<svg");
  if (start == std::string_view::npos) return std::nullopt;
  const size_t close = text.find('>', start);
  if (close == std::string_view::npos) return std::nullopt;
  const std::string_view tag = text.substr(start, close - start);
  const auto width = AttributeValue(tag, "width");
  const auto height = AttributeValue(tag, "height");
  if (!width || !height) return std::nullopt;
  const auto w = SvgLength(*width);
  const auto h = SvgLength(*height);
  if (!w || !h) return std::nullopt;
  return ImageSize{*w, *h};
}

}  // namespace

std::optional<ImageSize> ImageSizeOf(std::string_view bytes) {
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  ImageSize size;
  switch (ImageSignatureOf(bytes.substr(0, kSignatureHeadBytes))) {
    case ImageFormat::kJpeg:
    case ImageFormat::kPng:
    case ImageFormat::kGif:
    case ImageFormat::kBmp:
      if (!StbHeaderSize(data, bytes.size(), &size.width, &size.height)) return std::nullopt;
      // A top-down bitmap declares a negative height, which the header reader hands on.
      if (size.height < 0 && size.height != INT_MIN) size.height = -size.height;
      if (size.width <= 0 || size.height <= 0) return std::nullopt;
      return size;
    case ImageFormat::kWebp:
      if (!WebPGetInfo(data, bytes.size(), &size.width, &size.height)) return std::nullopt;
      return size;
    case ImageFormat::kSvg:
      return SvgSize(bytes.substr(0, kSignatureHeadBytes));
    default:
      return std::nullopt;
  }
}

std::string SizeText(ImageSize size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

}  // namespace pixhaul
