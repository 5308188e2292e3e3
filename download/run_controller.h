// TRunController: the logic behind the start/stop button, free of any toolkit.
//
// It owns the run state (StopRequested, RunFinished, LiveWorkerCount) and performs a whole run
// inside ButtonStartClick on the main thread, pumping the installed MessagePump so that the
// stop press, other window events and the workers' hand-offs run nested inside it. Workers
// touch the state only through their hand-offs, which run on the main thread.
#pragma once

#include <string>

#include "download/run_window.h"

namespace pixhaul {

// The run's fixed waits and limits. Only tests pass other values.
struct ThrottleTimings {
  unsigned startPauseMs = 100;     // plain sleep after each worker start
  int liveWorkerLimit = 50;        // more live workers than this triggers the throttle pause
  unsigned throttlePauseMs = 3000; // one throttle period, pumping
  unsigned graceMs = 5000;         // closing grace period, pumping
  unsigned stopWaitMs = 3000;      // stop wait, pumping
};

class TRunController {
 public:
  explicit TRunController(RunWindow& window, ThrottleTimings timings = {});
  ~TRunController();
  TRunController(const TRunController&) = delete;
  TRunController& operator=(const TRunController&) = delete;

  // The button's click handler: the start path when the caption is exactly "Start download",
  // the stop path otherwise. Framework errors (file creation, thread creation) propagate.
  void ButtonStartClick();

  bool StopRequested() const { return stopRequested_; }
  bool RunFinished() const { return runFinished_; }
  int LiveWorkerCount() const { return liveWorkerCount_; }

  // The workers' two hand-offs; main thread only.
  void AppendWorkerLine(const std::string& line);
  void WorkerFinished();

  // Pumps messages for `milliseconds` without spinning.
  void WaitWithMessages(unsigned milliseconds);

 private:
  RunWindow& window_;
  ThrottleTimings timings_;
  bool stopRequested_ = true;
  bool runFinished_ = true;
  int liveWorkerCount_ = 0;
};

}  // namespace pixhaul
