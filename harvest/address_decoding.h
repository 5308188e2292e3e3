// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// How an address captured from a page is turned back into the address it stands for: as the
// page wrote it, with HTML character references decoded, with JSON string escapes decoded, or,
// for Baidu's enciphered addresses, with JSON escapes decoded and then deciphered. Pure
// functions; safe on any thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pixhaul {

enum class AddressDecoding { kNone, kHtml, kJson, kBaidu };

// The decoding named `name` ("none", "html", "json" or "baidu", in any letter case), or nothing.
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

// Baidu's cipher of the addresses in its result data undone: a text that begins with "http://"
// or "https://" (any letter case) is already an address and stays as it is; in any other, the
// tokens "_z2C$q", "_z&e3B" and "AzdH3F" become ":", "." and "/", and then every other byte is
// mapped by Baidu's table of letters and digits (w->a, k->b, v->c, 1->d, ... a->0; bytes outside
// the table stay). So "ippr_z2C$qAzdH3FAzdH3F" gives "http://". Never lengthens the text.
std::string DecodeBaiduCipher(std::string_view text);

// Applies `decoding` to `text` (kBaidu: JSON string escapes, then the cipher); the second form
// replaces `out` with the result, reusing its storage.
std::string DecodeAddress(AddressDecoding decoding, std::string_view text);
void DecodeAddress(AddressDecoding decoding, std::string_view text, std::string& out);

}  // namespace pixhaul
