// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "demo/markup_escapes.h"

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

}  // namespace pixhaul::demo
