// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Replays fuzz inputs through a fuzz target's LLVMFuzzerTestOneInput without libFuzzer, so
// that every build (gcc included) runs the committed corpus as an ordinary test.
//
//   <target>_replay DIR_OR_FILE...
//
// Every regular file under the arguments (folders recursively, in name order) is one input.
// Exits 1 when no input was found, so an emptied corpus cannot pass unnoticed; a failing input
// aborts inside the target, after its name was printed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const fs::path root(argv[i]);
    if (fs::is_regular_file(root)) {
      inputs.push_back(root);
    } else if (fs::is_directory(root)) {
      for (const auto& entry : fs::recursive_directory_iterator(root))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    } else {
      std::fprintf(stderr, "no such input: %s\n", argv[i]);
      return 1;
    }
  }
  std::sort(inputs.begin(), inputs.end());
  if (inputs.empty()) {
    std::fprintf(stderr, "no inputs to replay\n");
    return 1;
  }
  for (const fs::path& path : inputs) {
    std::printf("replay %s\n", path.c_str());
    std::fflush(stdout);
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  std::printf("%zu inputs replayed\n", inputs.size());
  return 0;
}
