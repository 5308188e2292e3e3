// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/visible_text.h"

#include <cstdio>

namespace pixhaul {

namespace {

void AppendEscape(std::string& out, unsigned char byte) {
  switch (byte) {
    case '\r':
      out += "\\r";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\t':
      out += "\\t";
      return;
    default: {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02x", byte);
      out += escape;
    }
  }
}

}  // namespace

bool ShowsAsItIs(std::string_view text) {
  // Without a branch a byte, so that the compiler can take many bytes at once.
  bool escaped = false;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    escaped |= (byte < 0x20) | (byte == 0x7F) | (byte == 0xC2);
  }
  return !escaped;
}

std::string VisibleText(std::string_view text, bool keepLineBreaks) {
  if (ShowsAsItIs(text)) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (keepLineBreaks &&
        (byte == '\n' || (byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))) {
      out += static_cast<char>(byte);
    } else if (byte < 0x20 || byte == 0x7F) {
      AppendEscape(out, byte);
    } else if (byte == 0xC2 && i + 1 < text.size() &&
               (static_cast<unsigned char>(text[i + 1]) & 0xE0) == 0x80) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(text[++i]));
      out += escape;
    } else {
      out += static_cast<char>(byte);
    }
  }
  return out;
}

}  // namespace pixhaul
