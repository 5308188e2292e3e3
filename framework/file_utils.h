// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// File-system tests and path helpers. Stateless; safe on any thread.
//
// Paths are 8-bit texts with "/" as the folder separator. None of these functions raises.
#pragma once

#include <string>

namespace pixhaul {

// True when an entry named `path` exists (symbolic links followed) and is not a directory.
bool FileExists(const std::string& path);
// True when an entry named `path` exists and is a directory.
bool DirectoryExists(const std::string& path);
// Creates one directory level; true on success, false on any failure (parent missing, entry
// already there, no permission). Never raises.
bool CreateDir(const std::string& path);
// The prefix of `path` up to and including its last "/"; empty when there is none.
std::string ExtractFilePath(const std::string& path);

}  // namespace pixhaul
