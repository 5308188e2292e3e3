// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/host_name.h"

#include <idn2.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "framework/ascii_text.h"
#include "framework/integer_text.h"
#include "http/socket/socket_error.h"
#include "http/socket/socket_stack.h"

namespace pixhaul {

namespace {

std::vector<std::string> Parts(const std::string& host) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t dot; (dot = host.find('.', start)) != std::string::npos; start = dot + 1) {
    parts.push_back(host.substr(start, dot - start));
  }
  parts.push_back(host.substr(start));
  return parts;
}

bool AllOf(const std::string& text, size_t from, int base) {
  return std::all_of(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(),
                     [base](char c) { return DigitValue(c, base) >= 0; });
}

bool HasHexPrefix(const std::string& part) {
  return part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X');
}

// A part's value (0x: hexadecimal, a leading 0: octal, else decimal), or nothing; values past
// 2^32 are only told as too large.
std::optional<uint64_t> PartValue(const std::string& part) {
  if (part.empty()) return std::nullopt;
  int base = 10;
  size_t from = 0;
  if (HasHexPrefix(part)) {
    base = 16;
    from = 2;
  } else if (part.size() > 1 && part[0] == '0') {
    base = 8;
    from = 1;
  }
  if (!AllOf(part, from, base)) return std::nullopt;
  uint64_t value = 0;
  for (size_t i = from; i < part.size(); ++i) {
    value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(DigitValue(part[i], base));
    if (value > UINT32_MAX) return uint64_t{UINT32_MAX} + 1;
  }
  return value;
}

[[noreturn]] void UnknownHost() {
  TIdStack::SetLastError(kWsaHostNotFound);
  ThrowSocketError(kWsaHostNotFound);
}

}  // namespace

std::optional<std::string> UrlIPv4Address(const std::string& host, bool& invalid) {
  invalid = false;
  std::vector<std::string> parts = Parts(host);
  if (parts.size() > 1 && parts.back().empty()) parts.pop_back();
  const std::string& last = parts.back();
  const bool endsInNumber =
      (!last.empty() && AllOf(last, 0, 10)) || (HasHexPrefix(last) && AllOf(last, 2, 16));
  if (!endsInNumber) return std::nullopt;
  invalid = true;
  if (parts.size() > 4) return std::nullopt;
  uint64_t address = 0;
  for (size_t i = 0; i + 1 < parts.size(); ++i) {
    const std::optional<uint64_t> value = PartValue(parts[i]);
    if (!value || *value > 255) return std::nullopt;
    address = address << 8 | *value;
  }
  const std::optional<uint64_t> value = PartValue(last);
  const unsigned lastBits = 8 * static_cast<unsigned>(5 - parts.size());
  if (!value || *value >= (uint64_t{1} << lastBits)) return std::nullopt;
  address = address << lastBits | *value;
  invalid = false;
  return std::to_string(address >> 24 & 0xFF) + "." + std::to_string(address >> 16 & 0xFF) + "." +
         std::to_string(address >> 8 & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::string CanonicalHost(const std::string& host) {
  TIdStack::CheckHostText(host);
  if (host.empty() || host.front() == '[') return host;
  std::string ascii = host;
  if (std::any_of(host.begin(), host.end(), [](char c) { return (c & 0x80) != 0; })) {
    char* converted = nullptr;
    if (idn2_to_ascii_8z(host.c_str(), &converted, IDN2_NONTRANSITIONAL) != IDN2_OK) {
      UnknownHost();
    }
    const std::unique_ptr<char, decltype(&idn2_free)> owned(converted, &idn2_free);
    ascii = converted;
  }
  bool invalid = false;
  if (std::optional<std::string> address = UrlIPv4Address(ascii, invalid)) return *address;
  if (invalid) UnknownHost();
  return ascii;
}

}  // namespace pixhaul
