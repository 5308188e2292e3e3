// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/integer_text.h"

#include <limits>
#include <string>

#include "framework/exception.h"

namespace pixhaul {

namespace {

struct IntegerParts {
  bool negative = false;
  bool hex = false;
  uint64_t magnitude = 0;  // stops at kMaxMagnitude
};

constexpr uint64_t kMaxMagnitude = std::numeric_limits<int64_t>::max();

// The sign, the base and the magnitude of the number in `text`; nothing when it is not one.
std::optional<IntegerParts> SplitInteger(std::string_view text, IntegerDigits digits) {
  IntegerParts parts;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    parts.negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (digits == IntegerDigits::kDecimalOrHex) {
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
      parts.hex = true;
      text.remove_prefix(2);
    } else if (!text.empty() && text.front() == '$') {
      parts.hex = true;
      text.remove_prefix(1);
    }
  }
  if (text.empty()) return std::nullopt;
  const int base = parts.hex ? 16 : 10;
  for (char c : text) {
    const int digit = DigitValue(c, base);
    if (digit < 0) return std::nullopt;
    const auto d = static_cast<uint64_t>(digit);
    parts.magnitude = parts.magnitude > (kMaxMagnitude - d) / static_cast<uint64_t>(base)
                          ? kMaxMagnitude
                          : parts.magnitude * static_cast<uint64_t>(base) + d;
  }
  return parts;
}

}  // namespace

std::optional<int64_t> ParseDecimal(std::string_view text) {
  const auto parts = SplitInteger(text, IntegerDigits::kDecimal);
  if (!parts) return std::nullopt;
  const auto value = static_cast<int64_t>(parts->magnitude);
  return parts->negative ? -value : value;
}

std::optional<int32_t> ParseInt32(std::string_view text, IntegerDigits digits) {
  const auto parts = SplitInteger(text, digits);
  if (!parts) return std::nullopt;
  if (parts->hex) {
    if (parts->magnitude > std::numeric_limits<uint32_t>::max()) return std::nullopt;
    // Two's complement arithmetic on the 32-bit pattern: "-$80000000" stays the lowest value.
    const auto pattern = static_cast<uint32_t>(parts->magnitude);
    return static_cast<int32_t>(parts->negative ? 0u - pattern : pattern);
  }
  const auto value = static_cast<int64_t>(parts->magnitude);
  const int64_t signedValue = parts->negative ? -value : value;
  if (signedValue < std::numeric_limits<int32_t>::min() ||
      signedValue > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(signedValue);
}

int32_t StrToInt(std::string_view text) {
  const auto value = ParseInt32(text);
  if (!value) throw EConvertError(InvalidIntegerMessage(std::string(text)));
  return *value;
}

std::optional<int64_t> ParseUnsignedDecimal(std::string_view text) {
  if (text.empty() || DigitValue(text.front(), 10) < 0) return std::nullopt;
  return ParseDecimal(text);
}

}  // namespace pixhaul
