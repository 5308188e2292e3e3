// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Fuzz target: loading a line list from a file. Lines split at CR, LF or CR LF and the text
// ends at the first NUL; saving and loading again must give the same lines.
#include <cstddef>
#include <cstdint>
#include <string>

#include "framework/string_list.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using pixhaul::TStringList;
  const std::string_view input = pixhaul::fuzz::AsText(data, size);
  const std::string path = pixhaul::fuzz::ScratchPath("lines.txt");
  pixhaul::fuzz::WriteScratchFile(path, input);

  TStringList loaded;
  loaded.LoadFromFile(path);
  TStringList fromText;
  fromText.SetText(input);
  FUZZ_CHECK(loaded.Lines() == fromText.Lines(), "file load differs from SetText");

  // The text up to the first NUL, with every line break written as CR LF.
  const std::string_view visible = input.substr(0, input.find('\0'));
  std::string expected;
  for (size_t i = 0; i < visible.size(); ++i) {
    const char c = visible[i];
    if (c == '\r' || c == '\n') {
      expected += "\r\n";
      if (c == '\r' && i + 1 < visible.size() && visible[i + 1] == '\n') ++i;
    } else {
      expected += c;
    }
  }
  if (!expected.empty() && !expected.ends_with("\r\n")) expected += "\r\n";
  FUZZ_CHECK(loaded.Text() == expected, "Text() is not the normalised input");

  for (const std::string& line : loaded.Lines())
    FUZZ_CHECK(line.find_first_of(std::string("\r\n\0", 3)) == std::string::npos,
               "a line holds a line break or NUL");

  loaded.SaveToFile(path);
  TStringList again;
  again.LoadFromFile(path);
  FUZZ_CHECK(again.Lines() == loaded.Lines(), "save and load do not round-trip");
  return 0;
}
