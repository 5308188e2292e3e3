// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/download_client.h"

namespace pixhaul {

DownloadClient::DownloadClient() {
  http_.Request.Referer = kDownloadReferer;
  http_.Request.UserAgent = kDownloadUserAgent;
  http_.HandleRedirects = true;
  intercept_.SSLOptions().Method = sslvSSLv23;
  http_.SetIntercept(&intercept_);
}

}  // namespace pixhaul
