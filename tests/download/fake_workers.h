// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// FakeWorkers: stands in for the download worker in controller tests. Each start is recorded
// and runs a plain thread that, once released, hands its result line and its WorkerFinished to
// the main thread through the same blocking hand-off the real worker uses. A worker saves its
// image unless `saves` says otherwise; one that does not logs a 404 line.
//
// The object must be destroyed before its controller: it releases every worker, pumps until
// each has handed in its WorkerFinished (bounded) and joins the threads.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "download/run_controller.h"
#include "framework/message_pump.h"
#include "framework/thread.h"

namespace pixhaul::test {

using SteadyClock = std::chrono::steady_clock;

// Pumps the main thread's messages until `done` holds or `timeoutMs` passes.
inline bool PumpUntil(const std::function<bool()>& done, unsigned timeoutMs = 10000) {
  MessagePump& pump = CurrentMessagePump();
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (SteadyClock::now() > deadline) return false;
    pump.ProcessMessages();
    if (done()) break;
    pump.WaitForMessages(SteadyClock::now() + std::chrono::milliseconds(10));
  }
  return true;
}

struct WorkerStart {
  std::string url;
  std::string fileName;
  int index = 0;
  std::string saveFolder;
  int liveBefore = 0;  // LiveWorkerCount when the controller started this worker
  SteadyClock::time_point at;
};

class FakeWorkers {
 public:
  explicit FakeWorkers(TRunController& controller) : controller_(controller) {
    controller_.SetWorkerStarter(
        [this](const std::string& url, const std::string& fileName, int index,
               const std::string& saveFolder) { Start(url, fileName, index, saveFolder); });
  }
  ~FakeWorkers() {
    held = false;
    PumpUntil([this] { return controller_.OutstandingWorkers() <= 0; });
    for (std::thread& t : threads_) t.join();
  }
  FakeWorkers(const FakeWorkers&) = delete;
  FakeWorkers& operator=(const FakeWorkers&) = delete;

  std::atomic<bool> held{false};             // workers wait while this is set (at most 10 s)
  std::chrono::milliseconds finishAfter{0};  // extra time each worker takes once released
  std::function<bool(int index)> saves;      // whether a worker saves its image (default: all)
  std::function<void(int index)> onStart;    // runs on the main thread at each start
  std::vector<WorkerStart> starts;

 private:
  void Start(const std::string& url, const std::string& fileName, int index,
             const std::string& saveFolder) {
    starts.push_back(
        {url, fileName, index, saveFolder, controller_.LiveWorkerCount(), SteadyClock::now()});
    const bool saved = !saves || saves(index);
    const std::string line = saved ? "T" + std::to_string(index) + " " + fileName + ": OK"
                                   : "T" + std::to_string(index) + ":404 Not Found " + url;
    const unsigned run = controller_.RunNumber();
    const auto delay = finishAfter;
    threads_.emplace_back([this, line, delay, run, saved] {
      const auto limit = SteadyClock::now() + std::chrono::seconds(10);
      while (held && SteadyClock::now() < limit) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      std::this_thread::sleep_for(delay);
      TThread::Synchronize([this, &line] { controller_.AppendWorkerLine(line); });
      TThread::Synchronize([this, run, saved] {
        controller_.WorkerFinished(run, saved ? WorkerResult::kSaved : WorkerResult::kFailed);
      });
    });
    if (onStart) onStart(index);
  }

  TRunController& controller_;
  std::vector<std::thread> threads_;
};

}  // namespace pixhaul::test
