// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The save folder of a run: its default, creating it when missing and the trailing-separator
// rule.
//
// Shared by the run controller and pixhaul-cli's list-only mode so both treat the folder text
// exactly alike. Pure functions of their arguments and the file system; any thread.
//
// Tests: tests/download/run_controller_test.cpp.
#pragma once

#include <optional>
#include <string>

namespace pixhaul {

// The folder, in the user's home folder, that runs save into unless told otherwise.
inline constexpr const char* kDefaultSaveFolderName = "images_download";

// The save folder used when none is stored or given: homeFolder + "/images_download".
std::string DefaultSaveFolder(const std::string& homeFolder);

// Appends "/" unless the text already ends in one; an empty text gets "/".
std::string WithTrailingSeparator(const std::string& folderText);

// Makes sure a directory of the text exists, creating one level when it does not, and returns
// the folder with its trailing separator; nothing when the directory cannot be created. The
// text is used as typed (no trimming).
std::optional<std::string> PrepareSaveFolder(const std::string& folderText);

}  // namespace pixhaul
