// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// ShellOpen: asks the desktop to open a file, a web address or a mail link with the user's
// program for it, and tells whether the desktop took it.
//
// Tests replace the opener so that nothing leaves the process. GUI thread only.
//
// Tests: tests/app/about_dialog_test.cpp and tests/app/main_window_test.cpp.
#pragma once

#include <functional>
#include <string>

namespace pixhaul {

// Opens `target` (an absolute file path or an address with a scheme); false when no program
// took it. Callers that report nothing may ignore the result.
bool ShellOpen(const std::string& target);

// Replaces the opener for the rest of the process; an empty function restores the desktop's.
// The opener's result is ShellOpen's.
void SetShellOpenerForTesting(std::function<bool(const std::string&)> opener);

}  // namespace pixhaul
