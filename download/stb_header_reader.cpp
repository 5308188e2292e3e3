// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// stb_image is written as one header holding its implementation; this file is where the
// implementation is compiled, limited to the formats the program reads and to memory input.
// Its own code is not held to this project's warning flags (see download/CMakeLists.txt).
#include "download/stb_header_reader.h"

#include <climits>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_JPEG
#define STBI_ONLY_PNG
#define STBI_ONLY_GIF
#define STBI_ONLY_BMP
#define STBI_NO_STDIO
#define STBI_NO_FAILURE_STRINGS
#define STBI_NO_LINEAR
#define STBI_NO_HDR
#include <stb/stb_image.h>

namespace pixhaul {

bool StbHeaderSize(const unsigned char* bytes, size_t size, int* width, int* height) {
  if (size == 0) return false;
  // The reader takes an int length; a header lies well within the first 2 GiB.
  const int length = size > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
  int components = 0;
  return stbi_info_from_memory(bytes, length, width, height, &components) == 1;
}

}  // namespace pixhaul
