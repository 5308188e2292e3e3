// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "demo/markup_escapes.h"

#include <string_view>

namespace pixhaul::demo {

std::string HtmlAttributeText(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&') {
      out += "&amp;";
    } else if (c == '"') {
      out += "&quot;";
    } else {
      out += c;
    }
  }
  return out;
}

std::string JsonStringText(const std::string& text, bool escapeQueries) {
  std::string out;
  for (char c : text) {
    if (c == '/') {
      out += "\\/";
    } else if (escapeQueries && c == '=') {
      out += "\\u003d";
    } else if (escapeQueries && c == '&') {
      out += "\\u0026";
    } else {
      out += c;
    }
  }
  return out;
}

std::string BaiduCipherText(const std::string& address) {
  // Each plain byte followed by the byte that stands for it, a blank between pairs.
  static constexpr std::string_view kPairs =
      "aw bk cv d1 ej fu g2 hi it j3 kh ls m4 ng o5 pr qq r6 sf tp u7 ve wo 18 2d 3n 49 5c 6m 70 "
      "8b 9l 0a";
  std::string out;
  for (const char c : address) {
    if (c == ':') {
      out += "_z2C$q";
    } else if (c == '.') {
      out += "_z&e3B";
    } else if (c == '/') {
      out += "AzdH3F";
    } else {
      size_t at = 0;
      while (at < kPairs.size() && kPairs[at] != c) at += 3;
      out += at < kPairs.size() ? kPairs[at + 1] : c;
    }
  }
  return out;
}

}  // namespace pixhaul::demo
