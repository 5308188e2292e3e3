// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Helpers shared by the fuzz targets: a check that stops the run with a message, and scratch
// files in a private folder of the process (removed when the process ends).
//
// Used from a fuzz target's single thread only, under libFuzzer and under the replay runner.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

// Stops the process when `condition` is false: libFuzzer records the input as a crash, and the
// replay runner fails the test.
#define FUZZ_CHECK(condition, what)                                                     \
  do {                                                                                  \
    if (!(condition)) {                                                                 \
      std::fprintf(stderr, "fuzz check failed at %s:%d: %s (%s)\n", __FILE__, __LINE__, \
                   #condition, std::string(what).c_str());                              \
      std::abort();                                                                     \
    }                                                                                   \
  } while (false)

namespace pixhaul::fuzz {

// A path inside the process's scratch folder; the folder is made on first use.
std::string ScratchPath(const std::string& name);
// Writes `bytes` to `path` whole (aborts when it cannot).
void WriteScratchFile(const std::string& path, std::string_view bytes);
// The whole content of `path`, or an empty text when it cannot be read.
std::string ReadScratchFile(const std::string& path);

// The input as text.
inline std::string_view AsText(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

}  // namespace pixhaul::fuzz
