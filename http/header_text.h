// Small text helpers shared by the header records and the HTTP exchange.
//
// Header texts are 8-bit strings. "Blanks" are every character whose code is 32 or below
// (blank, TAB, CR, LF and the other control characters); letter case is folded for ASCII
// letters only. Pure functions, safe from any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pixhaul {

inline bool IsBlankChar(char c) { return static_cast<unsigned char>(c) <= 32; }
// A blank or a TAB: the first character of a continuation line.
inline bool IsFoldChar(char c) { return c == ' ' || c == '\t'; }

std::string TrimBlanks(std::string_view text);
std::string TrimLeftBlanks(std::string_view text);
std::string TrimRightBlanks(std::string_view text);
std::string UpperCase(std::string_view text);
bool SameText(std::string_view a, std::string_view b);
// True when `needle` occurs in `haystack` ignoring letter case.
bool ContainsText(std::string_view haystack, std::string_view needle);

// Removes from `text` everything up to and including the first `delimiter` and returns what
// stood before it; without a delimiter returns the whole text and leaves `text` empty.
std::string Fetch(std::string& text, char delimiter);

// A decimal integer: an optional sign followed by one or more digits, nothing else. Values
// beyond the 64-bit range saturate. Empty when the text is not one.
std::optional<int64_t> ParseDecimal(std::string_view text);
// ParseDecimal limited to the signed 32-bit range.
std::optional<int32_t> ParseInt32(std::string_view text);

}  // namespace pixhaul
