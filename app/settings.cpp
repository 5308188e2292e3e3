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
  settings.verifyCertificates = ini.ReadInteger(kSettingsSection, kVerifyCertificatesKey,
                                                defaults.verifyCertificates ? 1 : 0) != 0;
  return settings;
}

void WriteSettings(const std::string& settingsPath, const Settings& settings) {
  TIniFile ini(settingsPath);
  ini.WriteString(kSettingsSection, kDefaultPathKey, settings.defaultPath);
  ini.WriteInteger(kSettingsSection, kDefaultSiteKey, settings.defaultSite);
  if (settings.verifyCertificates ||
      !ini.ReadString(kSettingsSection, kVerifyCertificatesKey, "").empty()) {
    ini.WriteInteger(kSettingsSection, kVerifyCertificatesKey, settings.verifyCertificates ? 1 : 0);
  }
}

}  // namespace pixhaul
