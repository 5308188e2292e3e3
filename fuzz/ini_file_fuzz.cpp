// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Fuzz target: the settings file reader and writer. Any file content may be read without harm;
// a value written must read back unchanged and leave the other settings as they were; the
// integer rule must agree with a plain rendering of it.
//
// Input: the settings file content. The value written is taken from the input's last line.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "framework/exception.h"
#include "framework/ini_file.h"
#include "fuzz/fuzz_support.h"

namespace {

// The integer rule on the two plain forms: an optional sign and decimal digits, or "0x", "0X"
// or "$" and hexadecimal digits up to 0x7FFFFFFF. `checked` is false for every other text.
bool PlainInteger(const std::string& text, bool& checked, long long& value) {
  checked = false;
  size_t i = 0;
  int base = 10;
  if (text.starts_with("+") || text.starts_with("-")) {
    i = 1;
  } else if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16, i = 2;
  } else if (text.starts_with("$")) {
    base = 16, i = 1;
  }
  if (i == text.size() || text.size() - i > 12) return false;
  value = 0;
  for (size_t k = i; k < text.size(); ++k) {
    const char c = text[k];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return false;
    value = value * base + digit;
  }
  if (text.starts_with("-")) value = -value;
  if (base == 16 && value > std::numeric_limits<int>::max()) return false;
  checked = true;
  return value >= std::numeric_limits<int>::min() && value <= std::numeric_limits<int>::max();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input = pixhaul::fuzz::AsText(data, size);
  const std::string path = pixhaul::fuzz::ScratchPath("config.ini");
  pixhaul::fuzz::WriteScratchFile(path, input);
  pixhaul::TIniFile ini(path);

  const std::string path0 = ini.ReadString("IniParas", "DefaultPath", "none");
  FUZZ_CHECK(path0.size() <= pixhaul::TIniFile::kMaxValueLength, "value longer than the limit");
  const std::string site = ini.ReadString("IniParas", "DefaultSite", "none");
  ini.ReadInteger("iniparas", "defaultsite", -7);

  // The integer rule against the plain rendering, on the stored text.
  int parsed = 0;
  const bool accepted = pixhaul::ParseIniInteger(site, parsed);
  bool checked = false;
  long long plain = 0;
  const bool plainAccepted = PlainInteger(site, checked, plain);
  if (checked) {
    FUZZ_CHECK(accepted == plainAccepted, "integer rule on '" + site + "'");
    if (accepted) FUZZ_CHECK(parsed == plain, "integer value of '" + site + "'");
  }

  // Round trip: a clean value written under one key reads back, and the other key keeps its
  // value. Files holding NUL bytes are outside what a settings file holds, and quotes around a
  // value are left out because settings readers commonly strip them.
  if (input.find('\0') != std::string_view::npos) return 0;
  std::string value(
      input.substr(input.rfind('\n') == std::string_view::npos ? 0 : input.rfind('\n') + 1));
  std::erase_if(value, [](char c) { return c == '\r' || c == '\n'; });
  while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.erase(0, 1);
  while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.pop_back();
  if (value.size() > pixhaul::TIniFile::kMaxValueLength) return 0;
  if (value.find_first_of("\"'") != std::string::npos) return 0;
  try {
    ini.WriteString("IniParas", "DefaultPath", value);
  } catch (const pixhaul::Exception&) {
    FUZZ_CHECK(false, "writing a setting failed");
  }
  FUZZ_CHECK(ini.ReadString("IniParas", "DefaultPath", "none") == value,
             "written value '" + value + "' does not read back");
  FUZZ_CHECK(ini.ReadString("IniParas", "DefaultSite", "none") == site,
             "another key changed: '" + site + "'");
  return 0;
}
