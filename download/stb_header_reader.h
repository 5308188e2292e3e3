// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The one entry into stb_image this program uses: its header reader (stbi_info_from_memory),
// built for JPEG, PNG, GIF and BMP only, so that no other format's guesswork (a headerless TGA
// would accept almost anything) can answer for a file. Any thread.
//
// Tests: tests/download/image_check_test.cpp (ImageSizeOf).
#pragma once

#include <cstddef>

namespace pixhaul {

// True with the declared size when `bytes` holds a readable JPEG, PNG, GIF or BMP header.
bool StbHeaderSize(const unsigned char* bytes, size_t size, int* width, int* height);

}  // namespace pixhaul
