// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TRunController: the logic behind the start/stop button, free of any toolkit.
//
// It owns the run state (StopRequested, RunFinished, LiveWorkerCount) and performs a whole run
// inside ButtonStartClick on the main thread, pumping the installed MessagePump so that the
// stop press, other window events and the workers' hand-offs run nested inside it. Workers
// touch the state only through their hand-offs, which run on the main thread. Every member
// function is for the main thread only.
//
// The run's files (result_content.txt, url_list.txt, log.txt) are each replaced whole through a
// file beside them (framework/replacement_file.h), never written through a link planted under
// their names. At the start of each run, temporary files that processes now gone left in the
// save folder are removed, and a temporary file never counts as an image already there.
//
// Workers hold a reference to the controller that started them, so the controller must
// outlive them: its destructor keeps pumping, without a time limit, until each worker it
// started has handed in its WorkerFinished.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "download/run_options.h"
#include "download/run_outcome.h"
#include "download/run_preparation.h"
#include "download/run_window.h"
#include "download/worker_options.h"
#include "download/worker_reports.h"
#include "harvest/rule_book.h"

namespace pixhaul {

// The run's fixed waits and limits. Only tests pass other values.
struct ThrottleTimings {
  unsigned startPauseMs = 100;      // plain sleep after each worker start
  int liveWorkerLimit = 50;         // more live workers than this triggers the throttle pause
  unsigned throttlePauseMs = 3000;  // one throttle period, pumping
  unsigned graceMs = 5000;          // closing grace period, pumping
  unsigned stopWaitMs = 3000;       // stop wait, pumping
};

// The system's millisecond tick counter (a steady clock) as an unsigned 32-bit value, and the
// time between two readings, correct across a wrap of the counter.
uint32_t TickCount();
inline uint32_t TickElapsed(uint32_t from, uint32_t now) { return now - from; }

class TRunController : public WorkerReports {
 public:
  // Starts one download worker for an address (it hands AppendWorkerLine and WorkerFinished
  // back to this controller when it ends). Raises what thread creation raises.
  using WorkerStarter = std::function<void(const std::string& url, const std::string& fileName,
                                           int index, const std::string& saveFolder)>;

  explicit TRunController(RunWindow& window, ThrottleTimings timings = {});
  ~TRunController() override;
  TRunController(const TRunController&) = delete;
  TRunController& operator=(const TRunController&) = delete;

  // The button's click handler: the start path when the caption is exactly "Start download",
  // the stop path otherwise. A start press while an earlier run is still in its closing steps
  // is ignored. Framework errors (file creation, thread creation) propagate.
  void ButtonStartClick();

  bool StopRequested() const { return stopRequested_; }
  bool RunFinished() const { return runFinished_; }
  int LiveWorkerCount() const { return liveWorkerCount_; }
  // True from the moment a run switches the button to "Stop" until its closing steps end (or
  // the press ends by an exception).
  bool RunActive() const { return runActive_; }
  // True while this controller has the button showing "Stop", so that a press takes the stop
  // path: from the moment a run's downloads start until the stop path or the closing steps
  // switch it back. A press that ends by an exception leaves it as it was. Already true when
  // the window sees the caption change.
  bool ShowsStop() const { return showsStop_; }
  // Workers this controller started that have not yet handed in WorkerFinished, over all runs.
  int OutstandingWorkers() const { return outstandingWorkers_; }
  // The counts of the latest run that got its address list (what ShowProgress last showed),
  // with whether it was stopped; results that come after its closing steps still count.
  const RunProgress& Progress() const { return progress_; }
  // Numbers the runs that walk an address list; a worker takes the number when it is created
  // and hands it back with its WorkerFinished, so that a late worker of an earlier run is not
  // counted in the current one.
  unsigned RunNumber() const { return runNumber_; }

  // The workers' two hand-offs; main thread only. `result` is how the worker ended; `run` is
  // the RunNumber() it was created under. A line is dropped after a stop; once
  // the run has finished it goes to the window's ShowLateWorkerLine instead of the pane.
  void AppendWorkerLine(const std::string& line) override;
  void WorkerFinished(unsigned run, const WorkerEnd& end) override;

  // Pumps messages for `milliseconds` without spinning; pumps once even for 0.
  void WaitWithMessages(unsigned milliseconds);

  // Replaces the default starter, which spawns a TDownTileThread (tests use fake workers).
  void SetWorkerStarter(WorkerStarter starter) { starter_ = std::move(starter); }

  // What the runs from now on ask beyond the described run: which images they keep
  // (documents never are; with skipDuplicates each run indexes its save folder's files by size
  // at its start), how many images they end with, how often a transient failure is tried.
  void SetRunOptions(const RunOptions& options) { runOptions_ = options; }
  const RunOptions& Options() const { return runOptions_; }
  const DownloadFilters& Filters() const { return runOptions_.filters; }

  // The downloads of the latest run that did not save their image (failed, or not kept), in
  // the order they ended, late ones included.
  const std::vector<WorkerEnd>& NotSaved() const { return notSaved_; }
  // The address list file of the latest run that got one; empty before.
  const std::string& ListFile() const { return listFile_; }

  // Where each run looks for the rules file, asked at every start; none by default. The file
  // is read again when it has changed, and its faults are shown in a message box once.
  void SetRulesFile(RulesFileSource source) { rulesFile_ = std::move(source); }

 private:
  void StartPath();
  // With a limit on the images, waits (pumping) while the images kept and the downloads
  // running fill it; false once the kept ones alone do, or a stop came.
  bool WaitForRoomUnderLimit(int limit);
  void StopPath();
  void ShowStopCaption(bool stop);
  void Log(const std::string& text) { window_.AppendLogLine(text); }
  void ReportProgress() { window_.ShowProgress(progress_); }
  // Lets the folders go once no run is active and no download is out.
  void ReleaseFoldersWhenDone();

  RunWindow& window_;
  ThrottleTimings timings_;
  WorkerStarter starter_;
  RulesFileSource rulesFile_;
  RuleBook rules_;
  RunOptions runOptions_;
  WorkerOptions options_;  // the current run's
  std::vector<WorkerEnd> notSaved_;
  std::string listFile_;
  // The save folders' locks of the runs whose files are still being written: held until the
  // last download of every run has ended, not only to the closing lines.
  std::vector<FolderLock> folderLocks_;
  bool stopRequested_ = true;
  bool runFinished_ = true;
  int liveWorkerCount_ = 0;
  bool runActive_ = false;
  bool showsStop_ = false;
  bool buttonDisabled_ = false;
  int outstandingWorkers_ = 0;
  unsigned runNumber_ = 0;
  RunProgress progress_;
};

}  // namespace pixhaul
