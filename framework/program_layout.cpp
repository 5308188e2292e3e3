// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/program_layout.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "framework/build_info.h"
#include "framework/file_utils.h"

namespace pixhaul {

namespace {

constexpr const char* kBesideSettingsFolder = "ini/";
constexpr const char* kBesideManual = "help/help.chm";
constexpr const char* kInstalledManual = "help/help.html";
constexpr const char* kUserSettingsFolder = "pixhaul/";

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace

bool IsInstalledProgramFolder(const std::string& programFolder) {
  return !programFolder.empty() && DirectoryExists(programFolder + kInstalledDataFolder);
}

bool KeepsFilesBesideProgram(const std::string& programFolder) {
  // An installed program never writes beside itself, even when it could (run by root, the
  // prefix is writable): its settings belong to the user, not to the installation.
  if (IsInstalledProgramFolder(programFolder)) return false;
  return !programFolder.empty() && ::access(programFolder.c_str(), W_OK) == 0;
}

std::string SettingsFolder(const std::string& programFolder) {
  if (KeepsFilesBesideProgram(programFolder)) return programFolder + kBesideSettingsFolder;
  return UserConfigFolder() + kUserSettingsFolder;
}

std::string ManualPath(const std::string& programFolder) {
  if (IsInstalledProgramFolder(programFolder)) {
    return programFolder + kInstalledDataFolder + kInstalledManual;
  }
  return programFolder + kBesideManual;
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir) {
    return entry->pw_dir;
  }
  return "";
}

std::string UserConfigFolder() {
  // A relative value is to be ignored: it would make the folder depend on where the program
  // was started.
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/') {
    return WithSlash(config);
  }
  return WithSlash(HomeFolder()) + ".config/";
}

bool PrepareSettingsFolder(const std::string& programFolder) {
  const std::string folder = SettingsFolder(programFolder);
  if (KeepsFilesBesideProgram(programFolder)) return DirectoryExists(folder);
  // Create each missing level from the top; one that another process makes meanwhile is fine.
  for (size_t slash = folder.find('/', 1); slash != std::string::npos;
       slash = folder.find('/', slash + 1)) {
    const std::string level = folder.substr(0, slash);
    if (::mkdir(level.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return DirectoryExists(folder);
}

}  // namespace pixhaul
