// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Standard Base64 encoding (RFC 4648 alphabet, "=" padding), used for Basic authorization
// lines. Pure function, safe from any thread.
//
// Tests: tests/http/header_info_test.cpp.
#pragma once

#include <string>
#include <string_view>

namespace pixhaul {

std::string EncodeBase64(std::string_view bytes);

}  // namespace pixhaul
