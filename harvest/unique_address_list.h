// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// UniqueAddressList: the list file written by the current-layout rules - each address followed
// by CR LF, in the order given, an address already in the list left out. It is an
// AddressListFile: a list that is not finished leaves the list file as it was.
//
// The addresses themselves are not kept in memory: an index of their hashes (keyed at random
// per list, so a page cannot pick addresses that collide) and their places in the file tells a
// repeat, and an address whose hash is already there is compared with the written bytes. So
// memory is 16 bytes or so per distinct address plus a 64 KiB write buffer. One thread at a
// time.
//
// Tests: tests/harvest/rules_scan_test.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/file_target.h"
#include "harvest/address_list_file.h"

namespace pixhaul {

class UniqueAddressList {
 public:
  // Longest address the list takes.
  static constexpr size_t kMaxAddressBytes = (size_t{1} << 24) - 1;

  // Starts the list that Finish puts in place of `path`. Raises EFCreateError "Cannot create
  // file %s".
  explicit UniqueAddressList(const FileTarget& path);

  // Appends `address` unless the list holds it already; true when it was appended. `address`
  // is not empty and at most kMaxAddressBytes long (std::length_error otherwise). Raises
  // EWriteError "Stream write error" when the file cannot be written or read back.
  bool Add(std::string_view address);

  // The addresses appended so far.
  size_t Count() const { return count_; }

  // Writes what is buffered and puts the list in place of the file. Raises EWriteError and
  // EFCreateError "Cannot create file %s" when it cannot take the name.
  void Finish();

 private:
  struct Slot {
    uint64_t hash = 0;
    uint64_t place = 0;  // offset in the file << 24 | length; 0 for an empty slot
  };

  bool SameAt(uint64_t place, std::string_view address);
  void Grow();

  AddressListFile list_;
  uint64_t key0_;
  uint64_t key1_;
  std::vector<Slot> slots_;
  size_t count_ = 0;
};

}  // namespace pixhaul
