// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/run_outcome.h"

namespace pixhaul {

RunEnd RunEndOf(const RunProgress& progress) {
  if (progress.stopped) return RunEnd::kStopped;
  if (progress.addresses > 0 && progress.skipped == progress.addresses) return RunEnd::kNothingNew;
  return RunEnd::kFinished;
}

std::string ProgressText(const RunProgress& progress) {
  constexpr const char* kDot = " \u00b7 ";
  const int notKept = progress.NotSaved() - progress.failed;
  return std::to_string(progress.addresses) +
         (progress.addresses == 1 ? " address" : " addresses") + kDot +
         std::to_string(progress.started) + " started" + kDot + std::to_string(progress.saved) +
         " saved" + kDot + std::to_string(progress.failed) + " failed" + kDot +
         (notKept > 0 ? std::to_string(notKept) + " not kept" + kDot : std::string()) +
         std::to_string(progress.skipped) + " skipped";
}

std::string RunEndWord(const RunProgress& progress) {
  switch (RunEndOf(progress)) {
    case RunEnd::kStopped:
      return "Stopped";
    case RunEnd::kNothingNew:
      return "Nothing new";
    case RunEnd::kFinished:
      break;
  }
  return "Finished";
}

namespace {

// ", 5 not images, 4 filtered, 2 duplicates": the bodies not kept, each class when not zero.
std::string NotKeptCounts(const RunProgress& progress) {
  std::string text;
  if (progress.notImages > 0)
    text += ", " + std::to_string(progress.notImages) +
            (progress.notImages == 1 ? " not an image" : " not images");
  if (progress.filtered > 0) text += ", " + std::to_string(progress.filtered) + " filtered";
  if (progress.duplicates > 0)
    text += ", " + std::to_string(progress.duplicates) +
            (progress.duplicates == 1 ? " duplicate" : " duplicates");
  return text;
}

}  // namespace

std::string OutcomeText(const RunProgress& progress) {
  const auto count = [](int n) { return std::to_string(n); };
  std::string text;
  switch (RunEndOf(progress)) {
    case RunEnd::kNothingNew:
      return RunEndWord(progress) + ": " + count(progress.skipped) + " already in the folder";
    case RunEnd::kStopped:
      text = RunEndWord(progress) + ": " + count(progress.saved) + " of " +
             count(progress.addresses) + " saved";
      if (progress.failed > 0) text += ", " + count(progress.failed) + " failed";
      text += NotKeptCounts(progress);
      if (progress.skipped > 0) text += ", " + count(progress.skipped) + " skipped";
      break;
    case RunEnd::kFinished:
      text = RunEndWord(progress) + ": " + count(progress.saved) + " saved, " +
             count(progress.failed) + " failed" + NotKeptCounts(progress) + ", " +
             count(progress.skipped) + " skipped";
      break;
  }
  if (StillRunning(progress) > 0) text += ", " + count(StillRunning(progress)) + " still running";
  if (progress.limit > 0) {
    text += " (limit of " + count(progress.limit) + " reached, " + count(progress.notStarted) +
            " not started)";
  }
  return text;
}

}  // namespace pixhaul
