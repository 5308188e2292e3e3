// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Leftover temporary files: named temporary files of this program (see replacement_file.h)
// that a process left in a folder because it ended before it could remove them - killed, cut
// off at exit with downloads still running, or stopped by a power cut.
//
// Stateless; any thread.
//
// Tests: tests/download/run_controller_test.cpp (LeftoverTemporaryFilesOfGoneProcessesGo...).
#pragma once

#include <string>

namespace pixhaul {

// Removes from `folder` every regular file with a temporary name whose owning process no
// longer exists. A file whose process id is in use is kept, whoever holds the id now: it may
// be a running download's. Other entries are never touched. Returns how many files were
// removed; a folder that cannot be read gives 0. Never raises.
int RemoveLeftoverTemporaryFiles(const std::string& folder);
// The same in the open folder `folder`.
int RemoveLeftoverTemporaryFilesIn(int folder);

}  // namespace pixhaul
