// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Sixteen bytes of a page looked at together: the scans find markers and line breaks a block at
// a time instead of a byte (or a library call) at a time. Built on the compiler's vector types,
// which become the processor's vector instructions where it has them and plain word operations
// where it has not. Pure functions; any thread.
//
// Tests: tests/harvest/marker_scan_test.cpp.
#pragma once

#include <cstdint>
#include <cstring>

namespace pixhaul {

inline constexpr size_t kBlockBytes = 16;

using ByteBlock = unsigned char __attribute__((vector_size(kBlockBytes)));

// The 16 bytes at `at`, which need no alignment.
inline ByteBlock LoadBlock(const char* at) {
  ByteBlock block;
  std::memcpy(&block, at, sizeof block);
  return block;
}

inline void StoreBlock(char* at, ByteBlock block) { std::memcpy(at, &block, sizeof block); }

// A block of 16 copies of `byte`.
inline ByteBlock BlockOf(char byte) { return ByteBlock{} + static_cast<unsigned char>(byte); }

// What comparing two blocks gives, byte for byte: 0xFF where the comparison holds, 0 elsewhere
// (block == other, combined with & and |).
using BlockMatches = signed char __attribute__((vector_size(kBlockBytes)));

// True when any byte of `matches` is set; cheaper than MatchBits.
inline bool AnyMatch(BlockMatches matches) {
  uint64_t words[2];
  std::memcpy(words, &matches, sizeof words);
  return (words[0] | words[1]) != 0;
}

// Bit i set where byte i of `matches` is set.
inline unsigned MatchBits(BlockMatches matches) {
  uint64_t words[2];
  std::memcpy(words, &matches, sizeof words);
  // One bit of each byte, gathered into the top byte by the multiplication.
  constexpr uint64_t kLowBits = 0x0101010101010101;
  constexpr uint64_t kGather = 0x0102040810204080;
  return static_cast<unsigned>(((words[0] & kLowBits) * kGather) >> 56) |
         static_cast<unsigned>(((words[1] & kLowBits) * kGather) >> 56) << 8;
}

}  // namespace pixhaul
