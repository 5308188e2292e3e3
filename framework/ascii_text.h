// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Blanks and letter case in 8-bit texts: trimming, ASCII case folding and case-blind compares.
//
// Texts are byte strings in whatever narrow encoding they came in; only the ASCII letters have a
// case, so bytes above 127 always compare as themselves. A "blank" is every character whose
// code is 32 or below (blank, TAB, CR, LF and the other control characters) unless a caller
// names a narrower set. The trims return views into their argument, which must outlive them.
// Pure functions, safe from any thread.
//
// Tests: tests/harvest/rules_file_test.cpp and tests/cli/cli_options_test.cpp, through the texts
//  they read.
#pragma once

#include <string>
#include <string_view>

namespace pixhaul {

// Every character whose code is 32 or below.
inline bool IsBlankChar(char c) { return static_cast<unsigned char>(c) <= 32; }
// The blank and the TAB only.
inline bool IsSpaceOrTab(char c) { return c == ' ' || c == '\t'; }

using BlankTest = bool (*)(char);

// `text` without the characters `isBlank` accepts at its start, its end, or both ends.
std::string_view TrimLeftBlanks(std::string_view text, BlankTest isBlank = IsBlankChar);
std::string_view TrimRightBlanks(std::string_view text, BlankTest isBlank = IsBlankChar);
std::string_view TrimBlanks(std::string_view text, BlankTest isBlank = IsBlankChar);

// `text` with its ASCII letters in upper case.
std::string UpperCase(std::string_view text);
// True when the texts are equal ignoring the case of ASCII letters.
bool SameText(std::string_view a, std::string_view b);
// True when `text` begins with `prefix` ignoring the case of ASCII letters.
bool StartsWithText(std::string_view text, std::string_view prefix);
// True when `needle` occurs in `haystack` ignoring the case of ASCII letters.
bool ContainsText(std::string_view haystack, std::string_view needle);

// Removes from `text` everything up to and including the first `delimiter` and returns what
// stood before it; without a delimiter returns the whole text and leaves `text` empty.
std::string Fetch(std::string& text, char delimiter);

}  // namespace pixhaul
