// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// How an address captured from a page is turned back into the address it stands for: as the
// page wrote it, with HTML character references decoded, or with JSON string escapes decoded.
// Pure functions; safe on any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pixhaul {

enum class AddressDecoding { kNone, kHtml, kJson };

// The decoding named `name` ("none", "html" or "json", in any letter case), or nothing.
std::optional<AddressDecoding> ParseAddressDecoding(std::string_view name);
// The lower-case name of `decoding`.
const char* AddressDecodingName(AddressDecoding decoding);

// HTML character references: "&amp;", "&quot;", "&#39;", "&#x2F;", every decimal and
// hexadecimal numeric reference, and the named ones common in addresses and attribute text
// (amp, lt, gt, quot, apos, nbsp, and punctuation such as sol, colon, equals, quest, num,
// percnt). Only references closed by ";" are decoded, once (so "&amp;lt;" gives "&lt;");
// anything else stays as written. A numeric reference to 0, a surrogate or a value beyond
// U+10FFFF gives U+FFFD; characters are written as UTF-8.
std::string DecodeHtmlReferences(std::string_view text);

// JSON string escapes: \/ \\ \" \b \f \n \r \t and \uXXXX (a surrogate pair gives one
// character; a lone surrogate gives U+FFFD), written as UTF-8. A malformed escape stays as
// written.
std::string DecodeJsonEscapes(std::string_view text);

// Applies `decoding` to `text`; the second form replaces `out` with the result, reusing its
// storage.
std::string DecodeAddress(AddressDecoding decoding, std::string_view text);
void DecodeAddress(AddressDecoding decoding, std::string_view text, std::string& out);

}  // namespace pixhaul
