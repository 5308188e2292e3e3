// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// How result pages write an address inside their markup: as an HTML attribute value, as a
// JSON string in a script, and enciphered the way Baidu writes its originals. The demo site, the
// tests and the benchmarks build their pages of today's layouts with these, so every page escapes
// the way the sites do. Pure functions; any thread.
#pragma once

#include <string>

namespace pixhaul::demo {

// `text` as a double-quoted attribute value holds it: & as &amp;, " as &quot;.
std::string HtmlAttributeText(const std::string& text);

// `text` as a JSON string of today's pages holds it: / as \/, and with `escapeQueries` also
// = and & as \u003d and \u0026, the way Google writes them.
std::string JsonStringText(const std::string& text, bool escapeQueries = false);

// `address` as Baidu's "objURL" holds it enciphered: ":", "." and "/" as the tokens "_z2C$q",
// "_z&e3B" and "AzdH3F", the letters a to w and the digits through Baidu's table (a as w, b as
// k, ...), other bytes as they are. (Bytes that encipher to a token would read back as its
// mark; the pages built here have none.)
std::string BaiduCipherText(const std::string& address);

}  // namespace pixhaul::demo
