// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/address_decoding.h"

#include <array>
#include <cstdint>
#include <utility>

#include "framework/ascii_text.h"
#include "framework/integer_text.h"

namespace pixhaul {

namespace {

constexpr uint32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool IsSurrogate(uint32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

bool IsAsciiLetterOrDigit(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

// Names are case-sensitive, as in HTML; the capitalised forms are the legacy ones browsers
// still accept.
constexpr std::array<std::pair<std::string_view, std::string_view>, 27> kNamedReferences{{
    {"amp", "&"},    {"AMP", "&"},    {"lt", "<"},     {"LT", "<"},     {"gt", ">"},
    {"GT", ">"},     {"quot", "\""},  {"QUOT", "\""},  {"apos", "'"},   {"nbsp", "\xC2\xA0"},
    {"sol", "/"},    {"colon", ":"},  {"equals", "="}, {"quest", "?"},  {"num", "#"},
    {"percnt", "%"}, {"period", "."}, {"comma", ","},  {"semi", ";"},   {"excl", "!"},
    {"lpar", "("},   {"rpar", ")"},   {"plus", "+"},   {"lowbar", "_"}, {"dollar", "$"},
    {"ast", "*"},    {"commat", "@"},
}};

// Decodes the reference that starts with the '&' at `text[at]`; returns the bytes it took, or 0
// when there is none there.
size_t DecodeHtmlReferenceAt(std::string_view text, size_t at, std::string& out) {
  size_t pos = at + 1;
  if (pos < text.size() && text[pos] == '#') {
    ++pos;
    const bool hex = pos < text.size() && (text[pos] == 'x' || text[pos] == 'X');
    if (hex) ++pos;
    const size_t digitsStart = pos;
    uint32_t value = 0;
    bool overflow = false;
    for (; pos < text.size(); ++pos) {
      const int digit = DigitValue(text[pos], hex ? 16 : 10);
      if (digit < 0) break;
      value = value * (hex ? 16 : 10) + static_cast<uint32_t>(digit);
      if (value > 0x10FFFF) overflow = true, value = 0x110000;  // stays out of range
    }
    if (pos == digitsStart || pos >= text.size() || text[pos] != ';') return 0;
    if (overflow || value == 0 || IsSurrogate(value)) value = kReplacement;
    AppendUtf8(out, value);
    return pos + 1 - at;
  }
  const size_t nameStart = pos;
  while (pos < text.size() && IsAsciiLetterOrDigit(text[pos]) && pos - nameStart < 8) ++pos;
  if (pos >= text.size() || text[pos] != ';') return 0;
  const std::string_view name = text.substr(nameStart, pos - nameStart);
  for (const auto& [known, replacement] : kNamedReferences) {
    if (name == known) {
      out += replacement;
      return pos + 1 - at;
    }
  }
  return 0;
}

// The four hex digits at `text[at]`, or -1.
int32_t FourHexDigits(std::string_view text, size_t at) {
  if (at + 4 > text.size()) return -1;
  int32_t value = 0;
  for (size_t i = at; i < at + 4; ++i) {
    const int digit = DigitValue(text[i], 16);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

// Decodes the escape that starts with the backslash at `text[at]`; returns the bytes it took, or
// 0 when it is malformed.
size_t DecodeJsonEscapeAt(std::string_view text, size_t at, std::string& out) {
  if (at + 1 >= text.size()) return 0;
  switch (text[at + 1]) {
    case '/':
    case '\\':
    case '"':
      out += text[at + 1];
      return 2;
    case 'b':
      out += '\b';
      return 2;
    case 'f':
      out += '\f';
      return 2;
    case 'n':
      out += '\n';
      return 2;
    case 'r':
      out += '\r';
      return 2;
    case 't':
      out += '\t';
      return 2;
    case 'u':
      break;
    default:
      return 0;
  }
  const int32_t first = FourHexDigits(text, at + 2);
  if (first < 0) return 0;
  const uint32_t high = static_cast<uint32_t>(first);
  if (high >= 0xD800 && high <= 0xDBFF && at + 12 <= text.size() && text[at + 6] == '\\' &&
      text[at + 7] == 'u') {
    const int32_t second = FourHexDigits(text, at + 8);
    if (second >= 0xDC00 && second <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((high - 0xD800) << 10) + (static_cast<uint32_t>(second) - 0xDC00));
      return 12;
    }
  }
  AppendUtf8(out, IsSurrogate(high) ? kReplacement : high);
  return 6;
}

// Baidu's cipher as pairs of the enciphered byte and the byte it stands for, a blank between
// pairs. Letters past w, capitals and punctuation are not enciphered.
constexpr std::string_view kBaiduPairs =
    "wa kb vc 1d je uf 2g ih ti 3j hk sl 4m gn 5o rp qq 6r fs pt 7u ev ow 81 d2 n3 94 c5 m6 07 "
    "b8 l9 a0";

constexpr std::array<char, 256> BaiduTable() {
  std::array<char, 256> table{};
  for (size_t byte = 0; byte < table.size(); ++byte) table[byte] = static_cast<char>(byte);
  for (size_t i = 0; i + 1 < kBaiduPairs.size(); i += 3) {
    table[static_cast<unsigned char>(kBaiduPairs[i])] = kBaiduPairs[i + 1];
  }
  return table;
}

constexpr std::array<char, 256> kBaiduTable = BaiduTable();

// The three punctuation marks an address needs are written as tokens. No token overlaps another
// or itself and none holds a mark, so replacing them in one pass from the left is the same as
// replacing each kind in turn.
constexpr std::array<std::pair<std::string_view, char>, 3> kBaiduTokens{{
    {"_z2C$q", ':'},
    {"_z&e3B", '.'},
    {"AzdH3F", '/'},
}};

// Deciphers `text` where it stands: a token is longer than what replaces it and every other byte
// gives one byte, so the bytes written never overtake those still to be read.
void DecipherBaiduInPlace(std::string& text) {
  if (StartsWithText(text, "http://") || StartsWithText(text, "https://")) return;
  size_t out = 0;
  for (size_t at = 0; at < text.size();) {
    const std::string_view rest = std::string_view(text).substr(at);
    char plain = kBaiduTable[static_cast<unsigned char>(text[at])];
    size_t taken = 1;
    if (text[at] == '_' || text[at] == 'A') {
      for (const auto& [token, mark] : kBaiduTokens) {
        if (rest.starts_with(token)) {
          plain = mark;
          taken = token.size();
          break;
        }
      }
    }
    text[out++] = plain;
    at += taken;
  }
  text.resize(out);
}

// Copies `text` into `out`, replacing each `introducer` sequence that `decodeAt` understands.
template <class DecodeAt>
void DecodeSequences(std::string_view text, char introducer, DecodeAt decodeAt, std::string& out) {
  out.clear();
  out.reserve(text.size());
  size_t at = 0;
  while (at < text.size()) {
    const size_t next = text.find(introducer, at);
    if (next == std::string_view::npos) {
      out.append(text.substr(at));
      break;
    }
    out.append(text.substr(at, next - at));
    const size_t taken = decodeAt(text, next, out);
    if (taken == 0) {
      out += introducer;
      at = next + 1;
    } else {
      at = next + taken;
    }
  }
}

}  // namespace

std::optional<AddressDecoding> ParseAddressDecoding(std::string_view name) {
  if (SameText(name, "none")) return AddressDecoding::kNone;
  if (SameText(name, "html")) return AddressDecoding::kHtml;
  if (SameText(name, "json")) return AddressDecoding::kJson;
  if (SameText(name, "baidu")) return AddressDecoding::kBaidu;
  return std::nullopt;
}

const char* AddressDecodingName(AddressDecoding decoding) {
  switch (decoding) {
    case AddressDecoding::kHtml:
      return "html";
    case AddressDecoding::kJson:
      return "json";
    case AddressDecoding::kBaidu:
      return "baidu";
    case AddressDecoding::kNone:
      break;
  }
  return "none";
}

std::string DecodeHtmlReferences(std::string_view text) {
  std::string out;
  DecodeSequences(text, '&', DecodeHtmlReferenceAt, out);
  return out;
}

std::string DecodeJsonEscapes(std::string_view text) {
  std::string out;
  DecodeSequences(text, '\\', DecodeJsonEscapeAt, out);
  return out;
}

std::string DecodeBaiduCipher(std::string_view text) {
  std::string out(text);
  DecipherBaiduInPlace(out);
  return out;
}

std::string DecodeAddress(AddressDecoding decoding, std::string_view text) {
  std::string out;
  DecodeAddress(decoding, text, out);
  return out;
}

void DecodeAddress(AddressDecoding decoding, std::string_view text, std::string& out) {
  switch (decoding) {
    case AddressDecoding::kHtml:
      DecodeSequences(text, '&', DecodeHtmlReferenceAt, out);
      return;
    case AddressDecoding::kJson:
      DecodeSequences(text, '\\', DecodeJsonEscapeAt, out);
      return;
    case AddressDecoding::kBaidu:
      DecodeSequences(text, '\\', DecodeJsonEscapeAt, out);
      DecipherBaiduInPlace(out);
      return;
    case AddressDecoding::kNone:
      break;
  }
  out.assign(text);
}

}  // namespace pixhaul
