// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Fuzz target: the checks a downloaded body passes before it is kept — the document check and
// the image header readers (stb_image's, libwebp's and the SVG reader). The first input line is
// the reply's Content-Type, the rest the body. Besides not crashing or reading out of bounds, a
// body that begins with an image signature is never a document, and a size read is never
// negative.
#include <cstddef>
#include <cstdint>
#include <string>

#include "download/image_signature.h"
#include "download/image_size.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(pixhaul::fuzz::AsText(data, size));
  const size_t newline = input.find('\n');
  const std::string contentType = newline == std::string::npos ? "" : input.substr(0, newline);
  // The body in a buffer of its own size, so a read past its end is seen.
  const std::string body = newline == std::string::npos ? input : input.substr(newline + 1);

  const bool document = pixhaul::IsDocument(contentType, body);
  if (pixhaul::ImageSignatureOf(body) != pixhaul::ImageFormat::kNone) FUZZ_CHECK(!document, input);
  if (const auto imageSize = pixhaul::ImageSizeOf(body))
    FUZZ_CHECK(imageSize->width >= 0 && imageSize->height >= 0, input);
  return 0;
}
