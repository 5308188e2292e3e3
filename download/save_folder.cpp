// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/save_folder.h"

#include "framework/file_utils.h"

namespace pixhaul {

std::string DefaultSaveFolder(const std::string& homeFolder) {
  return homeFolder + "/" + kDefaultSaveFolderName;
}

std::string WithTrailingSeparator(const std::string& folderText) {
  if (!folderText.empty() && folderText.back() == '/') return folderText;
  return folderText + "/";
}

std::optional<std::string> PrepareSaveFolder(const std::string& folderText) {
  if (!DirectoryExists(folderText) && !CreateDir(folderText)) return std::nullopt;
  return WithTrailingSeparator(folderText);
}

}  // namespace pixhaul
