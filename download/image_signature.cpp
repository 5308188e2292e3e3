// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/image_signature.h"

#include <array>

#include "framework/ascii_text.h"

namespace pixhaul {

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

std::string_view SkipBlanks(std::string_view text) { return TrimLeftBlanks(text, IsBlank); }

std::string_view SkipByteOrderMarkAndBlanks(std::string_view text) {
  if (StartsWith(text, "\xEF\xBB\xBF")) text.remove_prefix(3);
  return SkipBlanks(text);
}

// Drops everything up to and including `end`; empty when `end` never comes.
std::string_view After(std::string_view text, std::string_view end) {
  const size_t at = text.find(end);
  return at == std::string_view::npos ? std::string_view{} : text.substr(at + end.size());
}

// The text from the root element's "<" on: the XML declaration, processing instructions,
// comments and a doctype (with its internal subset) skipped. Empty when the head ends first.
std::string_view RootElement(std::string_view text) {
  for (;;) {
    text = SkipBlanks(text);
    if (StartsWith(text, "<?")) {
      text = After(text, "?>");
    } else if (StartsWith(text, "<!--")) {
      text = After(text, "-->");
    } else if (StartsWithText(text, "<!doctype")) {
      const size_t subset = text.find('[');
      const size_t close = text.find('>');
      if (subset != std::string_view::npos && subset < close)
        text = After(text.substr(subset), "]");
      text = After(text, ">");
    } else {
      return text;
    }
    if (text.empty()) return text;
  }
}

bool IsSvgRoot(std::string_view text) {
  if (!StartsWith(text, "<svg") || text.size() < 5) return false;
  const char next = text[4];
  return IsBlank(next) || next == '>' || next == '/';
}

struct Signature {
  std::string_view bytes;
  ImageFormat format;
};

constexpr std::array kSignatures{
    Signature{"\xFF\xD8\xFF", ImageFormat::kJpeg},
    Signature{"\x89PNG\r\n\x1A\n", ImageFormat::kPng},
    Signature{"GIF87a", ImageFormat::kGif},
    Signature{"GIF89a", ImageFormat::kGif},
    Signature{"BM", ImageFormat::kBmp},
    Signature{std::string_view("II*\0", 4), ImageFormat::kTiff},
    Signature{std::string_view("MM\0*", 4), ImageFormat::kTiff},
    Signature{std::string_view("\0\0\1\0", 4), ImageFormat::kIco},
    Signature{"\xFF\x0A", ImageFormat::kJpegXl},
    Signature{std::string_view("\0\0\0\x0CJXL \r\n\x87\n", 12), ImageFormat::kJpegXl},
};

constexpr std::array<std::string_view, 5> kImageBrands{"avif", "avis", "heic", "heix", "mif1"};

constexpr std::array<std::string_view, 5> kDocumentTypes{
    "text/html", "application/xhtml+xml", "application/json", "text/xml", "application/xml"};

constexpr std::array<std::string_view, 4> kDocumentStarts{"<!doctype html", "<html", "<head",
                                                          "<body"};

}  // namespace

ImageFormat ImageSignatureOf(std::string_view head) {
  for (const Signature& signature : kSignatures) {
    if (StartsWith(head, signature.bytes)) return signature.format;
  }
  if (head.size() >= 12 && StartsWith(head, "RIFF") && head.substr(8, 4) == "WEBP")
    return ImageFormat::kWebp;
  if (head.size() >= 12 && head.substr(4, 4) == "ftyp") {
    for (std::string_view brand : kImageBrands) {
      if (head.substr(8, 4) == brand) return ImageFormat::kIsoMedia;
    }
  }
  if (IsSvgRoot(RootElement(SkipByteOrderMarkAndBlanks(head)))) return ImageFormat::kSvg;
  return ImageFormat::kNone;
}

std::string MediaTypeOf(std::string_view contentType) {
  return std::string(TrimBlanks(contentType.substr(0, contentType.find(';')), IsSpaceOrTab));
}

bool IsDocument(std::string_view contentType, std::string_view head) {
  if (head.empty()) return false;
  if (ImageSignatureOf(head) != ImageFormat::kNone) return false;
  const std::string type = MediaTypeOf(contentType);
  for (std::string_view documentType : kDocumentTypes) {
    if (SameText(type, documentType)) return true;
  }
  const std::string_view text = SkipByteOrderMarkAndBlanks(head);
  for (std::string_view start : kDocumentStarts) {
    if (StartsWithText(text, start)) return true;
  }
  // An XML declaration whose root is not <svg> (already ruled out above).
  return StartsWith(text, "<?xml");
}

}  // namespace pixhaul
