// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Image files made in the tests, as small as their format allows: headers that declare a
// width and height, followed by a few bytes standing in for the picture. Enough for any reader
// that looks at headers only, which is all the program does with them.
#pragma once

#include <string>

namespace pixhaul::test {

// A baseline JPEG (SOF0) or a progressive one (SOF2), with `exifBytes` of APP1 (EXIF) data
// ahead of its frame header (0 for none; split into segments of at most 65 533 bytes).
std::string JpegBytes(int width, int height, size_t exifBytes = 0, bool progressive = false);
std::string PngBytes(int width, int height);
std::string GifBytes(int width, int height);
std::string BmpBytes(int width, int height);
// WebP in its three forms: lossy (VP8), lossless (VP8L) and extended (VP8X canvas).
std::string WebpLossyBytes(int width, int height);
std::string WebpLosslessBytes(int width, int height);
std::string WebpExtendedBytes(int width, int height);

}  // namespace pixhaul::test
