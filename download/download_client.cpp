// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/download_client.h"

#include <atomic>

namespace pixhaul {

namespace {

std::atomic<bool> gVerifyServerCertificates{false};

}  // namespace

void DownloadClient::SetVerifyServerCertificates(bool verify) {
  gVerifyServerCertificates = verify;
}

bool DownloadClient::VerifyServerCertificates() { return gVerifyServerCertificates; }

DownloadClient::DownloadClient() {
  http_.Request.Referer = kDownloadReferer;
  http_.Request.UserAgent = kDownloadUserAgent;
  http_.HandleRedirects = true;
  intercept_.SSLOptions().Method = sslvSSLv23;
  intercept_.SSLOptions().VerifyServer = VerifyServerCertificates();
  http_.SetIntercept(&intercept_);
}

}  // namespace pixhaul
