// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/run_outcome.h"

#include <gtest/gtest.h>

#include <string>

namespace pixhaul::test {
namespace {

// The summary a run ends with, in both front ends: its words follow how the run ended, and
// downloads still out when it closed are named as such.
TEST(RunOutcomeTest, SummaryNamesTheEndAndTheCounts) {
  struct Row {
    RunProgress progress;
    RunEnd end;
    const char* text;
  };
  const Row rows[] = {
      {{36, 36, 33, 3, 0, false, false},
       RunEnd::kFinished,
       "Finished: 33 saved, 3 failed, 0 skipped"},
      {{36, 15, 15, 0, 0, false, true}, RunEnd::kStopped, "Stopped: 15 of 36 saved"},
      {{36, 20, 15, 2, 4, false, true},
       RunEnd::kStopped,
       "Stopped: 15 of 36 saved, 2 failed, 4 skipped, 3 still running"},
      {{36, 0, 0, 0, 36, false, false},
       RunEnd::kNothingNew,
       "Nothing new: 36 already in the folder"},
      // A stop after every address was skipped is still a stop.
      {{2, 0, 0, 0, 2, false, true}, RunEnd::kStopped, "Stopped: 0 of 2 saved, 2 skipped"},
      {{0, 0, 0, 0, 0, false, false}, RunEnd::kFinished, "Finished: 0 saved, 0 failed, 0 skipped"},
      {{5, 5, 3, 0, 0, false, false},
       RunEnd::kFinished,
       "Finished: 3 saved, 0 failed, 0 skipped, 2 still running"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(RunEndOf(row.progress), row.end) << row.text;
    EXPECT_EQ(OutcomeText(row.progress), row.text);
    // The bar's word is the one the summary starts with.
    const std::string text = row.text;
    EXPECT_EQ(RunEndWord(row.progress), text.substr(0, text.find(':')));
  }
}

}  // namespace
}  // namespace pixhaul::test
