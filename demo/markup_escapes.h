// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// How result pages write an address inside their markup: as an HTML attribute value, and as a
// JSON string in a script. The demo site, the tests and the benchmarks build their pages of
// today's layouts with these, so every page escapes the way the sites do. Pure functions; any
// thread.
#pragma once

#include <string>

namespace pixhaul::demo {

// `text` as a double-quoted attribute value holds it: & as &amp;, " as &quot;.
std::string HtmlAttributeText(const std::string& text);

// `text` as a JSON string of today's pages holds it: / as \/, and with `escapeQueries` also
// = and & as \u003d and \u0026, the way Google writes them.
std::string JsonStringText(const std::string& text, bool escapeQueries = false);

}  // namespace pixhaul::demo
