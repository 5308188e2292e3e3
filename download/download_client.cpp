// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/download_client.h"

#include <atomic>
#include <mutex>

namespace pixhaul {

namespace {

std::atomic<bool> gVerifyServerCertificates{false};
std::mutex gProxyMutex;
ProxyChoice gProxyChoice;  // guarded by gProxyMutex

}  // namespace

void DownloadClient::SetVerifyServerCertificates(bool verify) {
  gVerifyServerCertificates = verify;
}

bool DownloadClient::VerifyServerCertificates() { return gVerifyServerCertificates; }

void DownloadClient::SetProxyChoice(ProxyChoice choice) {
  std::lock_guard lock(gProxyMutex);
  gProxyChoice = std::move(choice);
}

ProxyChoice DownloadClient::CurrentProxyChoice() {
  std::lock_guard lock(gProxyMutex);
  return gProxyChoice;
}

DownloadClient::DownloadClient() {
  http_.Request.Referer = kDownloadReferer;
  http_.Request.UserAgent = kDownloadUserAgent;
  http_.HandleRedirects = true;
  http_.Proxies = CurrentProxyChoice();
  intercept_.SSLOptions().Method = sslvSSLv23;
  intercept_.SSLOptions().VerifyServer = VerifyServerCertificates();
  http_.SetIntercept(&intercept_);
}

}  // namespace pixhaul
