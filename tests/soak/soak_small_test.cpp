// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The soak in a size that fits a ThreadSanitizer run: 300 addresses of every kind but the
// endless body, run and rerun.
// test-labels: soak threaded
#include <gtest/gtest.h>

#include "tests/soak/soak_rig.h"

namespace pixhaul::test {
namespace {

// Up to 51 workers with one body each (under 70 KB here), their receive areas and TLS state,
// and the page; no endless body on this page (see soak_test.cpp).
#if PIXHAUL_SOAK_SANITIZED
constexpr long kRssBoundKiB = 1024L * 1024;
#else
constexpr long kRssBoundKiB = 128L * 1024;
#endif

TEST(SoakSmallTest, MixedFaultPageRunAndRerun) {
  SoakSettings settings;
  settings.entries = 300;
  StandardFaultMix(settings.kinds, settings.weights);
  SoakRig rig(settings);
  const std::vector<Expectation> first = rig.FirstRunExpectations();
  const SoakRun run1 = rig.Run();
  rig.Report("small run 1", run1, first);
  ExpectCleanRun(rig, run1, first, {}, kRssBoundKiB);

  const std::vector<Expectation> second = RerunExpectations(first);
  const SoakRun run2 = rig.Run();
  rig.Report("small run 2", run2, second);
  ExpectCleanRun(rig, run2, second, {}, kRssBoundKiB);
}

}  // namespace
}  // namespace pixhaul::test
