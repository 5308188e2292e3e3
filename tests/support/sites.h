// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The sites by name, for tests that speak of one site in particular.
#pragma once

#include "harvest/site_table.h"

namespace pixhaul::test {

inline SiteId Bing() { return *SiteNamed("bing"); }
inline SiteId Google() { return *SiteNamed("google"); }
inline SiteId Baidu() { return *SiteNamed("baidu"); }

}  // namespace pixhaul::test
