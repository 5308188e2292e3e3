// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Integer texts: the one reading of a number written in text, in the forms the program meets
// (header values, status codes, ports, address parts, settings, test settings).
//
// A number is an optional '+' or '-' followed by one or more digits and nothing else: no blank
// before, between or after. Decimal digits always; where a caller allows it, hexadecimal digits
// after "0x", "0X" or "$" too. Pure functions, safe from any thread.
//
// Tests: tests/cli/cli_options_test.cpp and tests/framework/ini_file_test.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pixhaul {

enum class IntegerDigits {
  kDecimal,
  // Decimal, or hexadecimal after "0x", "0X" or "$". Hexadecimal text is a 32-bit pattern:
  // "$FFFFFFFF" is -1, and a sign before the prefix negates the pattern.
  kDecimalOrHex,
};

// The value of `c` as a digit in `base` (10 or 16; hexadecimal letters in either case), or -1
// when it is not one. Also for readers of numbers embedded in other syntax (chunk sizes,
// character references, escapes).
inline int DigitValue(char c, int base) {
  int value = -1;
  if (c >= '0' && c <= '9') {
    value = c - '0';
  } else if (c >= 'a' && c <= 'f') {
    value = c - 'a' + 10;
  } else if (c >= 'A' && c <= 'F') {
    value = c - 'A' + 10;
  }
  return value < base ? value : -1;
}

// The decimal number in `text`. A magnitude beyond the 64-bit range reads as the largest one
// (negated after a '-'), so an absurd length still reads as too large, never as a small one.
// Nothing when the text is not a number.
std::optional<int64_t> ParseDecimal(std::string_view text);

// ParseDecimal for a count: digits only, no sign; nothing otherwise.
std::optional<int64_t> ParseUnsignedDecimal(std::string_view text);

// The number in `text` when it is one of the allowed forms and fits the signed 32-bit range;
// nothing otherwise.
std::optional<int32_t> ParseInt32(std::string_view text,
                                  IntegerDigits digits = IntegerDigits::kDecimal);

// ParseInt32 for decimal text that must be a number: raises EConvertError "'%s' is not a valid
// integer value" with the text when it is not one.
int32_t StrToInt(std::string_view text);

}  // namespace pixhaul
