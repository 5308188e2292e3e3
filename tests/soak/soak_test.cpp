// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Soak of the whole download road: pixhaul-cli over a result page of 2100 addresses that mixes
// every fault the image server can commit, then the same page again, then a run killed in the
// middle and restarted. Runs with lowered waits and I/O limits; bench/soak_bench.sh runs the
// same scenario with the program's real timings.
// test-labels: soak
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>

#include "tests/soak/soak_rig.h"

namespace pixhaul::test {
namespace {

// Peak resident memory allowed for a run. One address per page has an endless body, which the
// client holds whole up to its 512 MiB body limit before it gives up. Everything else stays
// far below 128 MiB: at most 51 workers, each holding one body (images here are under 64 KiB,
// redirect bodies 70 KB), a 32 KiB receive area and its TLS state, plus the page (under 1 MiB)
// and its address list; about 20 MiB are measured. Sanitizer runtimes add shadow memory and
// copy on every realloc, so their bounds are wider.
#if PIXHAUL_SOAK_SANITIZED
constexpr long kEndlessRunBoundKiB = 3L * 1024 * 1024;
constexpr long kPlainRunBoundKiB = 1024L * 1024;
#else
constexpr long kEndlessRunBoundKiB = (512L + 128) * 1024;
constexpr long kPlainRunBoundKiB = 128L * 1024;
#endif

TEST(SoakTest, MixedFaultPageEndsCleanAndRerunRetriesOnlyFailures) {
  SoakSettings settings;
  settings.entries = 2100;
  StandardFaultMix(settings.kinds, settings.weights);
  settings.endlessAt = {700};
  SoakRig rig(settings);
  const std::vector<Expectation> first = rig.FirstRunExpectations();

  const SoakRun run1 = rig.Run();
  rig.Report("run 1", run1, first);
  ExpectCleanRun(rig, run1, first, {}, kEndlessRunBoundKiB);
  EXPECT_EQ(rig.Server().UnknownRequests(), 0);

  // The same page again: every saved image is skipped without a request; every failure is
  // fetched and logged again, with the same outcome.
  rig.Server().ClearRequestLog();
  const std::vector<Expectation> second = RerunExpectations(first);
  const SoakRun run2 = rig.Run();
  rig.Report("run 2", run2, second);
  ExpectCleanRun(rig, run2, second, {}, kEndlessRunBoundKiB);
  for (const Expectation& expectation : second) {
    const int requests = rig.Server().RequestsForImage(expectation.entry.n);
    if (expectation.outcome.saved) {
      EXPECT_EQ(requests, 0) << "saved image fetched again: " << expectation.address;
    } else if (expectation.entry.kind == FaultKind::kOtherScheme) {
      EXPECT_EQ(requests, 0) << "address of another scheme fetched: " << expectation.address;
    } else if (expectation.entry.kind != FaultKind::kRefused &&
               expectation.entry.kind != FaultKind::kTlsHandshakeFails) {
      EXPECT_GE(requests, 1) << "failed image not retried: " << expectation.address;
    }
  }
}

TEST(SoakTest, KilledRunLeavesNoFileALaterRunWouldSkipAndRestartCompletesTheSet) {
  SoakSettings settings;
  settings.entries = 700;
  StandardFaultMix(settings.kinds, settings.weights);
  SoakRig rig(settings);
  const std::vector<Expectation> first = rig.FirstRunExpectations();

  // Killed without warning once a fair part of the list has been fetched.
  std::atomic<int> records{0};
  const SoakRun killed = rig.Run([&records](const std::string& line, SoakRig& self) {
    if (line.size() > 1 && line[0] == 'T' && std::isdigit(static_cast<unsigned char>(line[1])) &&
        ++records == 250)
      self.Kill(SIGKILL);
  });
  rig.Report("killed run", killed, first);
  ASSERT_FALSE(killed.process.exited) << "the run ended before it could be killed";
  EXPECT_EQ(killed.process.signal, SIGKILL);

  std::set<std::string> leftovers;
  for (const std::string& problem : CheckNoIncompleteTargets(rig.SaveFolder(), first, leftovers))
    ADD_FAILURE() << problem;
  const std::vector<std::string> entries = FolderEntries(rig.SaveFolder());
  EXPECT_FALSE(std::ranges::binary_search(entries, "log.txt"));

  // The restart skips exactly what the killed run completed and fetches the rest.
  std::vector<Expectation> restart = first;
  const std::set<std::string> present(entries.begin(), entries.end());
  int skipped = 0;
  for (Expectation& expectation : restart) {
    const bool done = present.contains(expectation.fileName);
    if (done) expectation.presence = Expectation::Presence::kSkipped;
    skipped += done;
  }
  EXPECT_GT(skipped, 0);
  const SoakRun resumed = rig.Run();
  rig.Report("restarted run", resumed, restart);
  std::printf("[soak] killed run left %zu temporary files; restart skipped %d images\n",
              leftovers.size(), skipped);
  ExpectCleanRun(rig, resumed, restart, leftovers, kPlainRunBoundKiB);
}

// A reply's declared length must not be reserved before its bytes arrive: with up to 512 MiB of
// address space held per worker for replies that never come, an 8 GiB address-space limit
// would turn most of these addresses into "Stream write error" instead of "Read timed out.".
TEST(SoakTest, DeclaredLengthsDoNotExhaustAddressSpace) {
  // Sanitizer runtimes reserve terabytes of shadow address space and cannot start under a limit.
  if (PIXHAUL_SOAK_SANITIZED)
    GTEST_SKIP() << "needs an address-space limit sanitizers cannot run under";
  SoakSettings settings;
  settings.entries = 120;
  settings.kinds = {FaultKind::kHugeLengthStall, FaultKind::kImage};
  settings.weights = {1, 1};
  settings.addressSpaceLimitKiB = 8L * 1024 * 1024;
  SoakRig rig(settings);
  const std::vector<Expectation> page = rig.FirstRunExpectations();
  const SoakRun run = rig.Run();
  rig.Report("declared lengths", run, page);
  ExpectCleanRun(rig, run, page, {}, kPlainRunBoundKiB);
}

}  // namespace
}  // namespace pixhaul::test
