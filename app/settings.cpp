// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/settings.h"

#include "framework/ini_file.h"

namespace pixhaul {

namespace {

int ReadSide(TIniFile& ini, const char* key, int fallback) {
  const int value = ini.ReadInteger(kSettingsSection, key, fallback);
  return value >= 0 && value <= kMaxMinimumSide ? value : 0;
}

// Written once it is not the default, or already in the file.
void WriteOptional(TIniFile& ini, const char* key, int value, int defaultValue) {
  if (value != defaultValue || !ini.ReadString(kSettingsSection, key, "").empty())
    ini.WriteInteger(kSettingsSection, key, value);
}

}  // namespace

Settings ReadSettings(const std::string& settingsPath, const Settings& defaults) {
  TIniFile ini(settingsPath);
  Settings settings;
  settings.defaultPath = ini.ReadString(kSettingsSection, kDefaultPathKey, defaults.defaultPath);
  settings.defaultSite = ini.ReadInteger(kSettingsSection, kDefaultSiteKey, defaults.defaultSite);
  settings.verifyCertificates = ini.ReadInteger(kSettingsSection, kVerifyCertificatesKey,
                                                defaults.verifyCertificates ? 1 : 0) != 0;
  settings.filters.minWidth = ReadSide(ini, kMinimumWidthKey, defaults.filters.minWidth);
  settings.filters.minHeight = ReadSide(ini, kMinimumHeightKey, defaults.filters.minHeight);
  settings.filters.skipDuplicates = ini.ReadInteger(kSettingsSection, kSkipDuplicatesKey,
                                                    defaults.filters.skipDuplicates ? 1 : 0) != 0;
  settings.proxy.mode = ProxyModeFromWord(
      ini.ReadString(kSettingsSection, kProxyKey, ProxyModeWord(defaults.proxy.mode)));
  settings.proxy.address =
      ini.ReadString(kSettingsSection, kProxyAddressKey, defaults.proxy.address);
  return settings;
}

void WriteSettings(const std::string& settingsPath, const Settings& settings) {
  TIniFile ini(settingsPath);
  ini.WriteString(kSettingsSection, kDefaultPathKey, settings.defaultPath);
  ini.WriteInteger(kSettingsSection, kDefaultSiteKey, settings.defaultSite);
  WriteOptional(ini, kVerifyCertificatesKey, settings.verifyCertificates ? 1 : 0, 0);
  WriteOptional(ini, kMinimumWidthKey, settings.filters.minWidth, 0);
  WriteOptional(ini, kMinimumHeightKey, settings.filters.minHeight, 0);
  WriteOptional(ini, kSkipDuplicatesKey, settings.filters.skipDuplicates ? 1 : 0, 0);
  if (settings.proxy != ProxySetting{} ||
      !ini.ReadString(kSettingsSection, kProxyKey, "").empty()) {
    ini.WriteString(kSettingsSection, kProxyKey, ProxyModeWord(settings.proxy.mode));
    ini.WriteString(kSettingsSection, kProxyAddressKey, settings.proxy.address);
  }
}

}  // namespace pixhaul
