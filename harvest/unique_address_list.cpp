// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/unique_address_list.h"

#include <bit>
#include <cstring>
#include <random>
#include <stdexcept>

namespace pixhaul {

namespace {

constexpr size_t kFirstSlots = 1024;  // a power of two
constexpr unsigned kLengthBits = 24;

uint64_t RotateLeft(uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

// SipHash-1-3 of `bytes` under the 128-bit key (k0, k1): keyed, so a page cannot forge
// collisions, and quick on texts as short as addresses.
uint64_t SipHash(uint64_t k0, uint64_t k1, std::string_view bytes) {
  uint64_t v0 = 0x736f6d6570736575ULL ^ k0;
  uint64_t v1 = 0x646f72616e646f6dULL ^ k1;
  uint64_t v2 = 0x6c7967656e657261ULL ^ k0;
  uint64_t v3 = 0x7465646279746573ULL ^ k1;
  const auto round = [&] {
    v0 += v1, v1 = RotateLeft(v1, 13), v1 ^= v0, v0 = RotateLeft(v0, 32);
    v2 += v3, v3 = RotateLeft(v3, 16), v3 ^= v2;
    v0 += v3, v3 = RotateLeft(v3, 21), v3 ^= v0;
    v2 += v1, v1 = RotateLeft(v1, 17), v1 ^= v2, v2 = RotateLeft(v2, 32);
  };
  const size_t whole = bytes.size() / 8 * 8;
  for (size_t i = 0; i < whole; i += 8) {
    uint64_t m;  // little-endian, as the algorithm reads its words
    std::memcpy(&m, bytes.data() + i, 8);
    if constexpr (std::endian::native == std::endian::big) m = __builtin_bswap64(m);
    v3 ^= m;
    round();
    v0 ^= m;
  }
  uint64_t last = static_cast<uint64_t>(bytes.size()) << 56;
  for (size_t i = whole; i < bytes.size(); ++i) {
    last |= static_cast<uint64_t>(static_cast<unsigned char>(bytes[i])) << (8 * (i - whole));
  }
  v3 ^= last;
  round();
  v0 ^= last;
  v2 ^= 0xff;
  round(), round(), round();
  return v0 ^ v1 ^ v2 ^ v3;
}

uint64_t RandomKey() {
  std::random_device device;
  return (static_cast<uint64_t>(device()) << 32) ^ device();
}

}  // namespace

UniqueAddressList::UniqueAddressList(const FileTarget& path)
    : list_(path), key0_(RandomKey()), key1_(RandomKey()), slots_(kFirstSlots) {}

bool UniqueAddressList::Add(std::string_view address) {
  if (address.empty() || address.size() > kMaxAddressBytes) {
    throw std::length_error("address length out of range");
  }
  const uint64_t hash = SipHash(key0_, key1_, address);
  const size_t mask = slots_.size() - 1;
  size_t at = static_cast<size_t>(hash) & mask;
  for (; slots_[at].place != 0; at = (at + 1) & mask) {
    if (slots_[at].hash == hash && SameAt(slots_[at].place, address)) return false;
  }
  slots_[at] = {hash, (list_.Size() << kLengthBits) | address.size()};
  list_.Add(address);
  ++count_;
  // Keep the table at most 70 % full, so a probe meets few other entries.
  if (count_ * 10 > slots_.size() * 7) Grow();
  return true;
}

bool UniqueAddressList::SameAt(uint64_t place, std::string_view address) {
  const uint64_t offset = place >> kLengthBits;
  const size_t length = static_cast<size_t>(place & ((uint64_t{1} << kLengthBits) - 1));
  if (length != address.size()) return false;
  return list_.EntryAtIs(offset, address);
}

void UniqueAddressList::Grow() {
  std::vector<Slot> larger(slots_.size() * 2);
  const size_t mask = larger.size() - 1;
  for (const Slot& slot : slots_) {
    if (slot.place == 0) continue;
    size_t at = static_cast<size_t>(slot.hash) & mask;
    while (larger[at].place != 0) at = (at + 1) & mask;
    larger[at] = slot;
  }
  slots_ = std::move(larger);
}

void UniqueAddressList::Finish() { list_.Finish(); }

}  // namespace pixhaul
