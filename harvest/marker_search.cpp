// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/marker_search.h"

#include <string.h>  // memmem

#include <algorithm>

namespace pixhaul {

namespace {

// The first window is small because markers on a result page are close together; the largest
// keeps a page without markers to a few hundred calls.
constexpr size_t kFirstWindow = 256;
constexpr size_t kLargestWindow = 1 << 20;

}  // namespace

size_t FindMarker(std::string_view text, size_t from, std::string_view marker) {
  size_t window = kFirstWindow;
  while (from < text.size() && text.size() - from >= marker.size()) {
    const size_t length = std::min(window, text.size() - from);
    const void* hit = memmem(text.data() + from, length, marker.data(), marker.size());
    if (hit != nullptr) return static_cast<size_t>(static_cast<const char*>(hit) - text.data());
    if (length == text.size() - from) break;
    from += length - (marker.size() - 1);
    window = std::min(window * 2, kLargestWindow);
  }
  return std::string_view::npos;
}

}  // namespace pixhaul
