#include "http/header_text.h"

#include <limits>

namespace pixhaul {

namespace {

char UpperChar(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::string TrimLeftBlanks(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && IsBlankChar(text[start])) ++start;
  return std::string(text.substr(start));
}

std::string TrimRightBlanks(std::string_view text) {
  size_t end = text.size();
  while (end > 0 && IsBlankChar(text[end - 1])) --end;
  return std::string(text.substr(0, end));
}

std::string TrimBlanks(std::string_view text) { return TrimLeftBlanks(TrimRightBlanks(text)); }

std::string UpperCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) c = UpperChar(c);
  return result;
}

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (UpperChar(a[i]) != UpperChar(b[i])) return false;
  }
  return true;
}

bool ContainsText(std::string_view haystack, std::string_view needle) {
  return UpperCase(haystack).find(UpperCase(needle)) != std::string::npos;
}

std::string Fetch(std::string& text, char delimiter) {
  const size_t at = text.find(delimiter);
  std::string head;
  if (at == std::string::npos) {
    head.swap(text);
  } else {
    head = text.substr(0, at);
    text.erase(0, at + 1);
  }
  return head;
}

std::optional<int64_t> ParseDecimal(std::string_view text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return std::nullopt;
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    value = (value > (kMax - digit) / 10) ? kMax : value * 10 + digit;
  }
  return negative ? -value : value;
}

std::optional<int32_t> ParseInt32(std::string_view text) {
  const auto value = ParseDecimal(text);
  if (!value || *value < std::numeric_limits<int32_t>::min() ||
      *value > std::numeric_limits<int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<int32_t>(*value);
}

}  // namespace pixhaul
