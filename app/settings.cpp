// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/settings.h"

#include <climits>

#include "download/retry_policy.h"
#include "framework/ini_file.h"

namespace pixhaul {

namespace {

int ReadCount(TIniFile& ini, const char* key, int fallback, int most) {
  const int value = ini.ReadInteger(kSettingsSection, key, fallback);
  return value >= 0 && value <= most ? value : 0;
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
  DownloadFilters& filters = settings.run.filters;
  filters.minWidth =
      ReadCount(ini, kMinimumWidthKey, defaults.run.filters.minWidth, kMaxMinimumSide);
  filters.minHeight =
      ReadCount(ini, kMinimumHeightKey, defaults.run.filters.minHeight, kMaxMinimumSide);
  filters.skipDuplicates = ini.ReadInteger(kSettingsSection, kSkipDuplicatesKey,
                                           defaults.run.filters.skipDuplicates ? 1 : 0) != 0;
  settings.run.maxImages = ReadCount(ini, kMaxImagesKey, defaults.run.maxImages, kMaxImagesLimit);
  settings.run.retries = ReadCount(ini, kRetriesKey, defaults.run.retries, kMaxRetries);
  settings.proxy.mode = ProxyModeFromWord(
      ini.ReadString(kSettingsSection, kProxyKey, ProxyModeWord(defaults.proxy.mode)));
  settings.proxy.address =
      ini.ReadString(kSettingsSection, kProxyAddressKey, defaults.proxy.address);
  WindowPlace place;
  int* const sides[] = {&place.left, &place.top, &place.width, &place.height};
  const char* const keys[] = {kWindowLeftKey, kWindowTopKey, kWindowWidthKey, kWindowHeightKey};
  bool complete = true;
  for (int i = 0; i < 4; ++i) {
    // A key missing or holding no number reads as INT_MIN, which no place on a screen is.
    *sides[i] = ini.ReadInteger(kSettingsSection, keys[i], INT_MIN);
    complete = complete && *sides[i] != INT_MIN;
  }
  if (complete && place.width > 0 && place.height > 0) settings.window = place;
  return settings;
}

void WriteSettings(const std::string& settingsPath, const Settings& settings) {
  TIniFile ini(settingsPath);
  ini.WriteString(kSettingsSection, kDefaultPathKey, settings.defaultPath);
  ini.WriteInteger(kSettingsSection, kDefaultSiteKey, settings.defaultSite);
  WriteOptional(ini, kVerifyCertificatesKey, settings.verifyCertificates ? 1 : 0, 0);
  WriteOptional(ini, kMinimumWidthKey, settings.run.filters.minWidth, 0);
  WriteOptional(ini, kMinimumHeightKey, settings.run.filters.minHeight, 0);
  WriteOptional(ini, kSkipDuplicatesKey, settings.run.filters.skipDuplicates ? 1 : 0, 0);
  WriteOptional(ini, kMaxImagesKey, settings.run.maxImages, 0);
  WriteOptional(ini, kRetriesKey, settings.run.retries, 0);
  if (settings.proxy != ProxySetting{} ||
      !ini.ReadString(kSettingsSection, kProxyKey, "").empty()) {
    ini.WriteString(kSettingsSection, kProxyKey, ProxyModeWord(settings.proxy.mode));
    ini.WriteString(kSettingsSection, kProxyAddressKey, settings.proxy.address);
  }
  if (settings.window) {
    ini.WriteInteger(kSettingsSection, kWindowLeftKey, settings.window->left);
    ini.WriteInteger(kSettingsSection, kWindowTopKey, settings.window->top);
    ini.WriteInteger(kSettingsSection, kWindowWidthKey, settings.window->width);
    ini.WriteInteger(kSettingsSection, kWindowHeightKey, settings.window->height);
  }
}

}  // namespace pixhaul
