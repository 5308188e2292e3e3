// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Printing a text file's lines the way a line list loads them, for `pixhaul-cli --list-only`:
// each line followed by LF, its control bytes shown as escapes as the log shows them
// (framework/visible_text.h), without holding the file in memory.
//
// Any thread; the output stream is the caller's.
#pragma once

#include <cstdio>
#include <string>

#include "framework/file_target.h"

namespace pixhaul::cli {

// Writes to `out` every line of the file `file` - lines end at CR LF, a lone CR or a lone
// LF, nothing from the first NUL on is text, and a last line without an ending still counts -
// each shown as VisibleText shows it and followed by LF. The file is read in pieces through one
// small buffer. Raises EFOpenError "Cannot open file %s" when the file cannot be opened or read
// (lines before a failing read may have been written). Failures to write `out` are not reported, as
// with any console output; once `out` has failed, the rest of the file is not read.
void PrintFileLines(const FileTarget& file, std::FILE* out);

}  // namespace pixhaul::cli
