// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// FindMarker: memmem over a long text at a cost that follows the distance to the hit.
//
// memmem (or a sanitizer's wrapper of it) may touch the whole range it is given, which makes a
// scan that asks for one marker after another quadratic. The search here hands it windows that
// start small and double, so one call costs about the distance to its hit; neighbouring
// windows overlap by the marker's length less one byte, so a marker across their border is
// still found.
#pragma once

#include <cstddef>
#include <string_view>

namespace pixhaul {

// Position of the first `marker` (not empty) at or after `from` in `text`, or
// std::string_view::npos.
size_t FindMarker(std::string_view text, size_t from, std::string_view marker);

}  // namespace pixhaul
