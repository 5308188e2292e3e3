// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "tests/support/image_bytes.h"

#include <cstdint>

namespace pixhaul::test {

namespace {

void Big16(std::string& out, unsigned value) {
  out += static_cast<char>((value >> 8) & 0xFF);
  out += static_cast<char>(value & 0xFF);
}

void Little(std::string& out, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string Riff(const std::string& chunks) {
  std::string out = "RIFF";
  Little(out, static_cast<uint32_t>(4 + chunks.size()), 4);
  return out + "WEBP" + chunks;
}

std::string Chunk(const char* tag, const std::string& payload) {
  std::string out = tag;
  Little(out, static_cast<uint32_t>(payload.size()), 4);
  out += payload;
  if (payload.size() % 2 == 1) out += '\0';
  return out;
}

}  // namespace

std::string JpegBytes(int width, int height, size_t exifBytes, bool progressive) {
  std::string out = "\xFF\xD8";
  bool first = true;
  while (exifBytes > 0) {
    const size_t part = exifBytes < 65533 ? exifBytes : 65533;
    out += "\xFF\xE1";
    Big16(out, static_cast<unsigned>(part + 2));
    std::string payload = first ? std::string("Exif\0\0", 6) : std::string();
    payload.resize(part, 'e');
    out += payload;
    exifBytes -= part;
    first = false;
  }
  out += progressive ? "\xFF\xC2" : "\xFF\xC0";
  Big16(out, 17);
  out += '\x08';
  Big16(out, static_cast<unsigned>(height));
  Big16(out, static_cast<unsigned>(width));
  out += '\x03';
  for (char id = 1; id <= 3; ++id) {
    out += id;
    out += '\x11';
    out += '\x00';
  }
  return out + std::string(32, '\0') + "\xFF\xD9";
}

std::string PngBytes(int width, int height) {
  std::string out("\x89PNG\r\n\x1A\n", 8);
  out += std::string("\0\0\0\x0D", 4) + "IHDR";
  for (int value : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
  }
  out += std::string("\x08\x02\0\0\0", 5);
  out += std::string(4, '\0');  // the CRC, which header readers do not check
  return out + std::string(16, '\0');
}

std::string GifBytes(int width, int height) {
  std::string out = "GIF89a";
  Little(out, static_cast<uint32_t>(width), 2);
  Little(out, static_cast<uint32_t>(height), 2);
  out += std::string("\0\0\0", 3);
  return out + ";";
}

std::string BmpBytes(int width, int height) {
  std::string out = "BM";
  Little(out, 54 + 16, 4);
  Little(out, 0, 4);
  Little(out, 54, 4);
  Little(out, 40, 4);
  Little(out, static_cast<uint32_t>(width), 4);
  Little(out, static_cast<uint32_t>(height), 4);
  Little(out, 1, 2);
  Little(out, 24, 2);
  for (int i = 0; i < 6; ++i) Little(out, 0, 4);
  return out + std::string(16, '\0');
}

std::string WebpLossyBytes(int width, int height) {
  // Frame tag: key frame, version 0, shown, first partition of 10 bytes.
  std::string frame;
  Little(frame, (10u << 5) | (1u << 4), 3);
  frame += "\x9D\x01\x2A";
  Little(frame, static_cast<uint32_t>(width), 2);
  Little(frame, static_cast<uint32_t>(height), 2);
  frame += std::string(20, '\0');
  return Riff(Chunk("VP8 ", frame));
}

std::string WebpLosslessBytes(int width, int height) {
  std::string frame = "\x2F";
  Little(frame, static_cast<uint32_t>(width - 1) | (static_cast<uint32_t>(height - 1) << 14), 4);
  frame += std::string(8, '\0');
  return Riff(Chunk("VP8L", frame));
}

std::string WebpExtendedBytes(int width, int height) {
  std::string header(4, '\0');
  Little(header, static_cast<uint32_t>(width - 1), 3);
  Little(header, static_cast<uint32_t>(height - 1), 3);
  return Riff(Chunk("VP8X", header) + Chunk("VP8L", WebpLosslessBytes(width, height).substr(20)));
}

}  // namespace pixhaul::test
