// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The settings the program keeps between runs, in section IniParas of ini/config.ini beside
// the executable: DefaultPath (the save folder text) and DefaultSite (the selected site index),
// and VerifyServerCertificates (1 to verify https servers' certificates; absent, as long as the
// user has never turned it on, meaning off).
//
// Every read and write goes straight to the file through TIniFile. GUI thread only.
#pragma once

#include <string>

namespace pixhaul {

inline constexpr const char* kSettingsSection = "IniParas";
inline constexpr const char* kDefaultPathKey = "DefaultPath";
inline constexpr const char* kDefaultSiteKey = "DefaultSite";
inline constexpr const char* kVerifyCertificatesKey = "VerifyServerCertificates";

struct Settings {
  std::string defaultPath;
  int defaultSite = 0;
  bool verifyCertificates = false;
};

// Reads the keys; a missing file, section or key gives `defaults`' value. DefaultPath comes
// back cut to 2047 characters; DefaultSite and VerifyServerCertificates are decimal or
// 0x/0X/$ hexadecimal, anything else counts as the default; any number but 0 turns
// verification on. Raises nothing for a missing file.
Settings ReadSettings(const std::string& settingsPath, const Settings& defaults);

// Writes DefaultPath and DefaultSite (the index in decimal), and VerifyServerCertificates (1
// or 0) once it is on or already in the file, so that the file of a user who never turns it on
// holds the two keys alone. Raises EIniFileException "Unable to write to %s" when the file
// cannot be written.
void WriteSettings(const std::string& settingsPath, const Settings& settings);

}  // namespace pixhaul
