// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// A minimal PNG encoder for the demo site and the tests: 8-bit RGB, no compression (zlib stored
// blocks), so the images are made on the spot and nothing binary needs to be kept around.
// Pure functions; any thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pixhaul::demo {

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0);
uint32_t Adler32(const uint8_t* data, size_t size);

// The PNG file of a width x height image whose pixels are `rgb` (3 bytes a pixel, rows top to
// bottom). Raises std::invalid_argument when the sizes do not match.
std::string EncodePng(int width, int height, const std::vector<uint8_t>& rgb);

// A colourful test pattern (stripes, rings and a gradient) chosen by `seed`.
std::string PatternPng(int seed, int width, int height);

}  // namespace pixhaul::demo
