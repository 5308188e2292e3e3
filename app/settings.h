// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The two settings the program keeps between runs, in section IniParas of ini/config.ini beside
// the executable: DefaultPath (the save folder text) and DefaultSite (the selected site index).
//
// Every read and write goes straight to the file through TIniFile. GUI thread only.
#pragma once

#include <string>

namespace pixhaul {

inline constexpr const char* kSettingsSection = "IniParas";
inline constexpr const char* kDefaultPathKey = "DefaultPath";
inline constexpr const char* kDefaultSiteKey = "DefaultSite";

struct Settings {
  std::string defaultPath;
  int defaultSite = 0;
};

// Reads both keys; a missing file, section or key gives `defaults`' value. DefaultPath comes
// back cut to 2047 characters; DefaultSite is decimal or 0x/0X/$ hexadecimal, anything else
// counts as the default. Raises nothing for a missing file.
Settings ReadSettings(const std::string& settingsPath, const Settings& defaults);

// Writes both keys (the index in decimal). Raises EIniFileException "Unable to write to %s"
// when the file cannot be written.
void WriteSettings(const std::string& settingsPath, const Settings& settings);

}  // namespace pixhaul
