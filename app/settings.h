// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The settings the program keeps between runs, in section IniParas of ini/config.ini beside
// the executable: DefaultPath (the save folder text) and DefaultSite (the selected site index),
// and VerifyServerCertificates (1 to verify https servers' certificates; absent, as long as the
// user has never turned it on, meaning off). The download options are kept the same way, each
// absent until the user first sets it: MinimumWidth and MinimumHeight (images smaller than
// these are not kept; 0 keeps all), SkipDuplicates (1 to keep no second copy of an image),
// MaxImages (the images a run ends with; 0 for every address), Retries (tries after the first
// for a transient failure), and Proxy (system, none or this) with ProxyAddress (the proxy of
// "this").
//
// Every read and write goes straight to the file through TIniFile. GUI thread only.
//
// Tests: tests/app/main_window_test.cpp.
#pragma once

#include <optional>
#include <string>

#include "app/proxy_setting.h"
#include "download/run_options.h"

namespace pixhaul {

inline constexpr const char* kSettingsSection = "IniParas";
inline constexpr const char* kDefaultPathKey = "DefaultPath";
inline constexpr const char* kDefaultSiteKey = "DefaultSite";
inline constexpr const char* kVerifyCertificatesKey = "VerifyServerCertificates";
inline constexpr const char* kMinimumWidthKey = "MinimumWidth";
inline constexpr const char* kMinimumHeightKey = "MinimumHeight";
inline constexpr const char* kSkipDuplicatesKey = "SkipDuplicates";
inline constexpr const char* kMaxImagesKey = "MaxImages";
inline constexpr const char* kRetriesKey = "Retries";
inline constexpr const char* kWindowLeftKey = "WindowLeft";
inline constexpr const char* kWindowTopKey = "WindowTop";
inline constexpr const char* kWindowWidthKey = "WindowWidth";
inline constexpr const char* kWindowHeightKey = "WindowHeight";
inline constexpr const char* kProxyKey = "Proxy";
inline constexpr const char* kProxyAddressKey = "ProxyAddress";

// The main window's place on the desktop, in pixels.
struct WindowPlace {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const WindowPlace&) const = default;
};

struct Settings {
  std::string defaultPath;
  int defaultSite = 0;
  bool verifyCertificates = false;
  RunOptions run;
  ProxySetting proxy;
  // Where the window was when it was last closed (WindowLeft, WindowTop, WindowWidth,
  // WindowHeight); read only when all four keys hold numbers (a width and height above 0).
  std::optional<WindowPlace> window;
};

// Reads the keys; a missing file, section or key gives `defaults`' value. DefaultPath comes
// back cut to 2047 characters; the numbers are decimal or 0x/0X/$ hexadecimal, anything else
// counts as the default; any number but 0 turns a switch on; a number outside its range
// (0 to kMaxMinimumSide, kMaxImagesLimit, kMaxRetries) counts as 0; an unknown Proxy word is
// "system". Raises nothing for a missing
// file.
Settings ReadSettings(const std::string& settingsPath, const Settings& defaults);

// Writes DefaultPath and DefaultSite (the index in decimal), and each other key (in decimal, 1
// or 0 for a switch; Proxy and ProxyAddress together) once it differs from its default or is
// already in the file, so that the file of a user who never changes them holds the two keys alone.
// Raises EIniFileException "Unable to write to %s" when the file cannot be written.
void WriteSettings(const std::string& settingsPath, const Settings& settings);

}  // namespace pixhaul
