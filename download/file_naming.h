// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The name under which an image is saved in the save folder, made from its address.
//
// A pure function of the address text, so an image fetched by an earlier run is recognised by
// its name alone. Safe on any thread; it keeps no state.
#pragma once

#include <cstddef>
#include <string>

namespace pixhaul {

// The longest file name, in bytes, that the file systems the save folder may sit on accept.
inline constexpr size_t kMaxFileNameBytes = 255;

// Flattens the whole address into one name: every "/" becomes "_", then every ":" is dropped.
// Nothing else changes (no trimming, no escaping). A name longer than kMaxFileNameBytes could
// never be created, so it is shortened the same way every time: a prefix of the flattened name,
// "~", sixteen hexadecimal digits of a hash of the whole address, and the extension of the
// address's last path segment (when it has a short alphanumeric one). Never raises.
std::string FileNameFromUrl(const std::string& address);

}  // namespace pixhaul
