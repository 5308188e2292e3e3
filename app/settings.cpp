// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/settings.h"

#include "framework/ini_file.h"

namespace pixhaul {

Settings ReadSettings(const std::string& settingsPath, const Settings& defaults) {
  TIniFile ini(settingsPath);
  Settings settings;
  settings.defaultPath = ini.ReadString(kSettingsSection, kDefaultPathKey, defaults.defaultPath);
  settings.defaultSite = ini.ReadInteger(kSettingsSection, kDefaultSiteKey, defaults.defaultSite);
  return settings;
}

void WriteSettings(const std::string& settingsPath, const Settings& settings) {
  TIniFile ini(settingsPath);
  ini.WriteString(kSettingsSection, kDefaultPathKey, settings.defaultPath);
  ini.WriteInteger(kSettingsSection, kDefaultSiteKey, settings.defaultSite);
}

}  // namespace pixhaul
