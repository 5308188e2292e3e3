// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The result page that pixhaul-cli works on: a saved file, whose bytes are the markup as they
// stand, or an http(s) address fetched once with the program's own HTTP client, set up as a
// download is (Referer, User-Agent, redirects, TLS for https). A file is not read into memory:
// the run copies its bytes into its page file. A fetched page is held once, in the buffer the
// client wrote it to. Any thread.
//
// Tests: tests/cli/pixhaul_cli_page_test.cpp.
#pragma once

#include <cstdint>
#include <string>

#include "download/page_markup.h"

namespace pixhaul::cli {

// Returns the markup; a file's is held to `fileLimit` bytes (see PageMarkup::FromFile). Raises
// EFOpenError "Cannot open file %s" for a file that cannot be opened (or is a folder), or
// with PageTooLargeMessage for one larger than the limit, and whatever the HTTP client raises
// for an address.
PageMarkup ReadPage(const std::string& page, uint64_t fileLimit = kMaxPageFileBytes);

}  // namespace pixhaul::cli
