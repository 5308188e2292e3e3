// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The window's proxy setting, "Proxy: as the system / none / this one: URL", and its mapping
// onto the core's ProxyChoice at the window's edge.
//
// "As the system" asks Qt's system proxy query (QNetworkProxyFactory::systemProxyForQuery)
// for each download's address, so the downloads go where the web view goes; it is the default.
// Kept in config.ini as Proxy=system|none|this and ProxyAddress=URL. The mapping's lookup may
// run on any worker thread; everything else is for the GUI thread.
//
// Tests: tests/app/main_window_test.cpp (the proxy rows of the options).
#pragma once

#include <string>

#include "http/proxy/proxy_choice.h"

class QNetworkProxy;

namespace pixhaul {

enum class ProxyMode { kSystem, kNone, kThisOne };

struct ProxySetting {
  ProxyMode mode = ProxyMode::kSystem;
  std::string address;  // the proxy of "this one", kept when another mode is chosen

  bool operator==(const ProxySetting&) const = default;
};

// The key's word for each mode, and the mode a word names (an unknown one: as the system).
const char* ProxyModeWord(ProxyMode mode);
ProxyMode ProxyModeFromWord(const std::string& word);

// The choice the downloads follow. "This one" with an address that is no proxy address goes
// direct; the dialog accepts none such.
ProxyChoice ProxyChoiceForSetting(const ProxySetting& setting);

// A proxy Qt names, written as a proxy address ("http://u:p@h:3128", "socks5h://h:1080"); empty
// for none, and for kinds the downloads cannot speak.
std::string ProxyAddressOf(const QNetworkProxy& proxy);

}  // namespace pixhaul
