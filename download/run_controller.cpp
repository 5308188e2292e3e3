// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/run_controller.h"

#include <fcntl.h>

#include <chrono>
#include <string>
#include <thread>

#include "download/Unitdowntile.h"
#include "download/file_naming.h"
#include "download/run_outcome.h"
#include "download/run_preparation.h"
#include "download/run_texts.h"
#include "framework/exception.h"
#include "framework/line_file_reader.h"
#include "framework/message_pump.h"
#include "framework/replacement_file.h"
#include "framework/string_list.h"
#include "framework/worker_drain.h"

namespace pixhaul {

uint32_t TickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

TRunController::TRunController(RunWindow& window, ThrottleTimings timings)
    : window_(window), timings_(timings) {
  starter_ = [this](const std::string& url, const std::string& fileName, int index,
                    const std::string& saveFolder) {
    StartDownTileThread(url, fileName, index, saveFolder, runNumber_, *this, options_);
  };
}

TRunController::~TRunController() {
  // A worker's hand-offs call into this object, so it cannot go while one can still come: the
  // wait has no limit here. Workers end by themselves (every network wait has a time limit),
  // and the front ends bound their own waits before this one, ending the process instead when
  // workers outlive them.
  // A worker waiting to try again stops waiting.
  if (options_.stop) options_.stop->Raise();
  WaitForWorkersToDrain([this] { return outstandingWorkers_ <= 0; }, kDrainWithoutLimit);
}

void TRunController::ButtonStartClick() {
  if (window_.ButtonCaption() == kStartDownloadCaption) {
    // A stopped run still closing keeps its button disabled; a press that reaches us anyway
    // must not start a run nested inside it and reset the count under its live workers.
    if (runActive_) return;
    StartPath();
  } else {
    StopPath();
  }
}

void TRunController::StartPath() {
  std::optional<PreparedRun> prepared =
      PrepareRun(window_, rules_, rulesFile_, StepLines::kLogged, &folderLocks_);
  if (!prepared) return;
  folderLocks_.push_back(std::move(prepared->folderLock));
  const RunFolder& folder = prepared->folder;
  Log(kGotListLine);
  Log("");
  Log(TotalUrlCountLine(prepared->addressCount));
  Log("");
  Log(kStartingDownloadsLine);
  Log("");

  ShowStopCaption(true);
  stopRequested_ = false;
  runFinished_ = false;
  liveWorkerCount_ = 0;
  runActive_ = true;

  // A framework error ends the press where it happens. The caption and flags stay as they
  // are, but the run is no longer on the stack: a later stop press must not disable the
  // button waiting for closing steps that will never come, and a disabled one comes back.
  struct ActiveRunGuard {
    TRunController& self;
    ~ActiveRunGuard() {
      self.runActive_ = false;
      if (self.progress_.active) {
        self.progress_.active = false;
        self.ReportProgress();
      }
      if (self.buttonDisabled_) {
        self.buttonDisabled_ = false;
        self.window_.SetButtonEnabled(true);
      }
      self.ReleaseFoldersWhenDone();
    }
  } guard{*this};

  // The list is walked from its file, read as a line list loads it, so a run holds one
  // address at a time however many the page names: once to count them, once to start them.
  const FileDescriptor listFile(
      OpenTarget(folder.File(kListFileName), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (listFile.Get() < 0) throw EFOpenError(CannotOpenFileMessage(prepared->listFile));
  int addressCount = 0;
  {
    LineFileReader counting(listFile.Get(), prepared->listFile);
    for (std::string_view line; counting.Next(line);) ++addressCount;
  }
  LineFileReader urls(listFile.Get(), prepared->listFile);
  options_ = WorkerOptions{runOptions_.filters, nullptr, runOptions_.retries,
                           std::make_shared<StopSignal>(), folder};
  if (runOptions_.filters.skipDuplicates)
    options_.duplicates = std::make_shared<DuplicateIndex>(folder);
  ++runNumber_;
  progress_ = RunProgress{};
  progress_.addresses = addressCount;
  progress_.active = true;
  notSaved_.clear();
  listFile_ = prepared->listFile;
  ReportProgress();
  MessagePump& pump = CurrentMessagePump();
  for (int i = 0; i < addressCount; ++i) {
    pump.ProcessMessages();
    if (stopRequested_) break;
    if (runOptions_.maxImages > 0 && !WaitForRoomUnderLimit(runOptions_.maxImages)) {
      if (!stopRequested_) {
        progress_.limit = runOptions_.maxImages;
        progress_.notStarted = addressCount - i;
        ReportProgress();
      }
      break;
    }
    std::string_view line;
    if (!urls.Next(line)) break;
    const std::string url(line);
    const std::string fileName = FileNameFromUrl(url);
    // A temporary file of a download in progress (or of one cut off) is no image.
    if (folder.Holds(fileName) && !TemporaryFileOwner(fileName)) {
      ++progress_.skipped;
      ReportProgress();
      continue;
    }
    starter_(url, fileName, i, folder.Path());
    ++outstandingWorkers_;
    ++liveWorkerCount_;
    ++progress_.started;
    ReportProgress();
    // Deliberately not pumping: this spaces the starts, and hand-offs wait until the next pump.
    std::this_thread::sleep_for(std::chrono::milliseconds(timings_.startPauseMs));
    // A stop ends the throttle after the period it came in: no later worker may start, so
    // waiting for slots would only hold the stopped run.
    while (liveWorkerCount_ > timings_.liveWorkerLimit && !stopRequested_) {
      WaitWithMessages(timings_.throttlePauseMs);
      // Only a hand-off lowers the count, and only a posted press stops the run, both of which
      // wake the pump: a period of 0 waits for the next message rather than spinning.
      if (timings_.throttlePauseMs == 0 && liveWorkerCount_ > timings_.liveWorkerLimit &&
          !stopRequested_) {
        pump.WaitForMessages(MessagePump::Clock::time_point::max());
      }
    }
  }

  WaitWithMessages(timings_.graceMs);
  Log("");
  Log(kRunFinishedLine);
  {
    // Saved as a line list saves, through a file that takes the log's name only when complete.
    TStringList log;
    for (const std::string& line : window_.LogLines()) log.Add(line);
    ReplacementFile file(folder.File(kLogFileName));
    file.Write(log.Text());
    file.Commit();
  }

  runFinished_ = true;
  ShowStopCaption(false);
  // The guard ends the active run and re-enables a button that a stop disabled.
}

bool TRunController::WaitForRoomUnderLimit(int limit) {
  MessagePump& pump = CurrentMessagePump();
  const auto kept = [this] { return progress_.saved + progress_.skipped; };
  while (kept() + StillRunning(progress_) >= limit && kept() < limit && !stopRequested_) {
    // Only a hand-off (a download ending) or a stop press changes the sum.
    pump.WaitForMessages(MessagePump::Clock::now() + std::chrono::seconds(1));
    pump.ProcessMessages();
  }
  return kept() < limit && !stopRequested_;
}

void TRunController::StopPath() {
  // A download waiting to be tried again gives up at once.
  if (options_.stop) options_.stop->Raise();
  // The press is taken: a second one during the wait would only stop again.
  const bool reportStop = runActive_ && progress_.active && !progress_.stopped;
  window_.SetButtonEnabled(false);
  if (reportStop) {
    progress_.stopping = true;
    ReportProgress();
  }
  Log("");
  Log(kStoppingLine);
  Log("");
  WaitWithMessages(timings_.stopWaitMs);
  ShowStopCaption(false);
  stopRequested_ = true;
  if (reportStop) {
    progress_.stopping = false;
    progress_.stopped = true;
    ReportProgress();
  }
  // A stopped run still closing keeps the button disabled until its closing steps end.
  if (runActive_) {
    buttonDisabled_ = true;
  } else {
    window_.SetButtonEnabled(true);
  }
}

void TRunController::ShowStopCaption(bool stop) {
  // Recorded first: a window that sees the caption change may ask for the state.
  showsStop_ = stop;
  window_.SetButtonCaption(stop ? kStopCaption : kStartDownloadCaption);
}

void TRunController::AppendWorkerLine(const std::string& line) {
  if (runFinished_) {
    window_.ShowLateWorkerLine(line);
    return;
  }
  if (stopRequested_) return;
  Log(line);
}

void TRunController::ReleaseFoldersWhenDone() {
  if (!runActive_ && outstandingWorkers_ <= 0) folderLocks_.clear();
}

void TRunController::WorkerFinished(unsigned run, const WorkerEnd& end) {
  --liveWorkerCount_;
  --outstandingWorkers_;
  ReleaseFoldersWhenDone();
  // Counted in its own run, also when it ends after that run's closing steps (the run's
  // outcome is then told again); a worker of an earlier run has no run left to count in.
  if (run == runNumber_ && run != 0) {
    if (end.result != WorkerResult::kSaved) notSaved_.push_back(end);
    switch (end.result) {
      case WorkerResult::kSaved:
        ++progress_.saved;
        break;
      case WorkerResult::kFailed:
        ++progress_.failed;
        break;
      case WorkerResult::kNotImage:
        ++progress_.notImages;
        break;
      case WorkerResult::kFiltered:
        ++progress_.filtered;
        break;
      case WorkerResult::kDuplicate:
        ++progress_.duplicates;
        break;
    }
    ReportProgress();
  }
}

void TRunController::WaitWithMessages(unsigned milliseconds) {
  MessagePump& pump = CurrentMessagePump();
  const uint32_t start = TickCount();
  // Every wait pumps at least once, a wait of 0 included: the hand-offs and a stop press that
  // are pending must run, or a loop of such waits would never see them.
  pump.ProcessMessages();
  for (;;) {
    const uint32_t elapsed = TickElapsed(start, TickCount());
    if (elapsed >= milliseconds) return;
    // Sleep until something is pending or the wait is over, instead of spinning.
    pump.WaitForMessages(MessagePump::Clock::now() +
                         std::chrono::milliseconds(milliseconds - elapsed));
    pump.ProcessMessages();
  }
}

}  // namespace pixhaul
