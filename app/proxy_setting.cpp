// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/proxy_setting.h"

#include <QNetworkProxy>
#include <QNetworkProxyFactory>
#include <QNetworkProxyQuery>
#include <QUrl>

#include "framework/ascii_text.h"

namespace pixhaul {

namespace {

const char* NoEnvironment(const char*) { return nullptr; }

std::string SystemProxyFor(const std::string& url) {
  const QList<QNetworkProxy> proxies = QNetworkProxyFactory::systemProxyForQuery(
      QNetworkProxyQuery(QUrl(QString::fromStdString(url))));
  return proxies.isEmpty() ? std::string() : ProxyAddressOf(proxies.front());
}

}  // namespace

const char* ProxyModeWord(ProxyMode mode) {
  switch (mode) {
    case ProxyMode::kNone:
      return "none";
    case ProxyMode::kThisOne:
      return "this";
    case ProxyMode::kSystem:
      break;
  }
  return "system";
}

ProxyMode ProxyModeFromWord(const std::string& word) {
  if (SameText(word, "none")) return ProxyMode::kNone;
  if (SameText(word, "this")) return ProxyMode::kThisOne;
  return ProxyMode::kSystem;
}

ProxyChoice ProxyChoiceForSetting(const ProxySetting& setting) {
  switch (setting.mode) {
    case ProxyMode::kNone:
      return ProxyChoice::None();
    case ProxyMode::kThisOne:
      if (const std::optional<ProxyServer> proxy = ParseProxyAddress(setting.address)) {
        return ProxyChoice::Fixed(*proxy, NoEnvironment);
      }
      return ProxyChoice::None();
    case ProxyMode::kSystem:
      break;
  }
  return ProxyChoice::Asking(SystemProxyFor);
}

std::string ProxyAddressOf(const QNetworkProxy& proxy) {
  std::string scheme;
  switch (proxy.type()) {
    case QNetworkProxy::HttpProxy:
    case QNetworkProxy::HttpCachingProxy:
      scheme = "http";
      break;
    case QNetworkProxy::Socks5Proxy:
      // Qt's SOCKS5 proxies look host names up themselves, as the web view's do.
      scheme = "socks5h";
      break;
    default:
      return {};
  }
  if (proxy.hostName().isEmpty()) return {};
  std::string address = scheme + "://";
  if (!proxy.user().isEmpty()) {
    address += QUrl::toPercentEncoding(proxy.user()).toStdString();
    if (!proxy.password().isEmpty()) {
      address += ":" + QUrl::toPercentEncoding(proxy.password()).toStdString();
    }
    address += "@";
  }
  const std::string host = proxy.hostName().toStdString();
  address +=
      host.find(':') != std::string::npos && !host.starts_with('[') ? "[" + host + "]" : host;
  return address + ":" + std::to_string(proxy.port());
}

}  // namespace pixhaul
