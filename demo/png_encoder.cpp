// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "demo/png_encoder.h"

#include <array>
#include <cmath>
#include <stdexcept>

namespace pixhaul::demo {

namespace {

const std::array<uint32_t, 256>& CrcTable() {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  return table;
}

void PutBigEndian(std::string& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>(value >> shift));
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutBigEndian(out, static_cast<uint32_t>(data.size()));
  std::string body = std::string(type, 4) + data;
  out += body;
  PutBigEndian(out, Crc32(reinterpret_cast<const uint8_t*>(body.data()), body.size()));
}

// A zlib stream of stored (uncompressed) deflate blocks.
std::string StoredZlib(const std::string& raw) {
  std::string out;
  out.push_back(0x78);
  out.push_back(0x01);
  size_t offset = 0;
  do {
    const size_t n = std::min<size_t>(65535, raw.size() - offset);
    const bool last = offset + n == raw.size();
    out.push_back(last ? 1 : 0);
    out.push_back(static_cast<char>(n & 0xFF));
    out.push_back(static_cast<char>(n >> 8));
    out.push_back(static_cast<char>(~n & 0xFF));
    out.push_back(static_cast<char>((~n >> 8) & 0xFF));
    out.append(raw, offset, n);
    offset += n;
  } while (offset < raw.size());
  PutBigEndian(out, Adler32(reinterpret_cast<const uint8_t*>(raw.data()), raw.size()));
  return out;
}

}  // namespace

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = CrcTable()[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

uint32_t Adler32(const uint8_t* data, size_t size) {
  uint32_t a = 1, b = 0;
  for (size_t i = 0; i < size; ++i) {
    a = (a + data[i]) % 65521;
    b = (b + a) % 65521;
  }
  return (b << 16) | a;
}

std::string EncodePng(int width, int height, const std::vector<uint8_t>& rgb) {
  if (width <= 0 || height <= 0 ||
      rgb.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 3) {
    throw std::invalid_argument("pixel buffer does not match the image size");
  }
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string header;
  PutBigEndian(header, static_cast<uint32_t>(width));
  PutBigEndian(header, static_cast<uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8-bit RGB, deflate, no filter, no interlace
  PutChunk(png, "IHDR", header);

  std::string raw;
  raw.reserve(static_cast<size_t>(height) * (1 + static_cast<size_t>(width) * 3));
  for (int y = 0; y < height; ++y) {
    raw.push_back(0);  // filter type None
    raw.append(reinterpret_cast<const char*>(rgb.data()) + static_cast<size_t>(y) * width * 3,
               static_cast<size_t>(width) * 3);
  }
  PutChunk(png, "IDAT", StoredZlib(raw));
  PutChunk(png, "IEND", "");
  return png;
}

std::string PatternPng(int seed, int width, int height) {
  std::vector<uint8_t> rgb(static_cast<size_t>(width) * height * 3);
  const double cx = width * (0.3 + 0.4 * ((seed * 37) % 11) / 10.0);
  const double cy = height * (0.3 + 0.4 * ((seed * 53) % 7) / 6.0);
  const int stripe = 4 + seed % 9;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double ring = std::sqrt((x - cx) * (x - cx) + (y - cy) * (y - cy));
      uint8_t* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
      p[0] = static_cast<uint8_t>((x * 255 / width + seed * 40) & 0xFF);
      p[1] = static_cast<uint8_t>(((static_cast<int>(ring) / stripe) % 2) ? 220 - seed * 13 % 120
                                                                          : 40);
      p[2] =
          static_cast<uint8_t>((((x + y) / stripe) % 2) ? 255 - y * 255 / height : seed * 29 % 256);
    }
  }
  return EncodePng(width, height, rgb);
}

}  // namespace pixhaul::demo
