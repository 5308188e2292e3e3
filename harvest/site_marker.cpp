// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/site_marker.h"

namespace pixhaul {

SiteMarker MarkerForSite(int siteIndex) {
  switch (siteIndex) {
    case 0:
      return {"imgurl:", 8};
    case 1:
      return {"\"ou\":\"http", 6};
    case 2:
      return {"\"objURL\":\"http", 10};
    default:
      return {};
  }
}

}  // namespace pixhaul
