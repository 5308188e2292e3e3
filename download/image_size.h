// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The width and height an image file declares in its own header, read without decoding the
// picture: JPEG (its frame header, after any EXIF or other segments), PNG, GIF and BMP through
// stb_image's header reader, WebP (VP8, VP8L and VP8X) through libwebp, and SVG from its root
// element's width and height when they are given in px or without a unit. Pure functions; any
// thread.
//
// Tests: tests/download/image_check_test.cpp.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "download/image_signature.h"

namespace pixhaul {

struct ImageSize {
  int width = 0;
  int height = 0;
  bool operator==(const ImageSize&) const = default;
};

// The size `bytes` (a whole file, or at least its header) declares, or nothing when it is not
// one of the formats above or its header cannot be read (cut short, damaged, an SVG sized in
// other units or not at all).
std::optional<ImageSize> ImageSizeOf(std::string_view bytes);

// "200x200".
std::string SizeText(ImageSize size);

}  // namespace pixhaul
