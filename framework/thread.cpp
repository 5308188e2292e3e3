// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/thread.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <system_error>

#include "framework/exception.h"

namespace pixhaul {

namespace {

// Taken during static initialisation, which runs on the process's main thread.
const std::thread::id kMainThreadId = std::this_thread::get_id();

std::atomic<void (*)()> gHandOffWakeUp{nullptr};

// One worker's action waiting for the main thread. `done` and `failure` are guarded by the
// shared mutex. An exception the action raised travels to the worker as the only reference to
// it, so the exception object is released on the worker's thread and never on both.
struct HandOff {
  const std::function<void()>* action;
  uint64_t sequence;
  bool done = false;
  std::exception_ptr failure;
};

// Everything threads share here lives under one lock: the hand-off queue, the count of live
// thread objects, and the signal the main thread waits on while it waits for threads.
struct SharedState {
  std::mutex mutex;
  std::condition_variable changed;  // a hand-off queued, a thread ended or was deleted
  std::deque<HandOff*> queue;       // guarded by mutex
  uint64_t nextSequence = 0;        // guarded by mutex
  int liveThreadObjects = 0;        // guarded by mutex
};

SharedState& Shared() {
  static SharedState state;
  return state;
}

// Waits on the main thread for `done`, running queued hand-offs meanwhile: a thread being
// waited for may itself be blocked in Synchronize.
template <class Predicate>
bool MainThreadWaitUntil(Predicate done, std::chrono::steady_clock::time_point deadline) {
  SharedState& shared = Shared();
  for (;;) {
    CheckSynchronize();
    std::unique_lock lock(shared.mutex);
    const bool ready =
        shared.changed.wait_until(lock, deadline, [&] { return done() || !shared.queue.empty(); });
    if (done()) return true;
    if (!ready) return false;
  }
}

}  // namespace

bool IsMainThread() { return std::this_thread::get_id() == kMainThreadId; }

TThread::TThread() {
  SharedState& shared = Shared();
  std::lock_guard lock(shared.mutex);
  ++shared.liveThreadObjects;
}

TThread::~TThread() {
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();  // self-deletion: the thread returns right after this destructor
    } else {
      Terminate();
      WaitFor();
    }
  }
  SharedState& shared = Shared();
  std::lock_guard lock(shared.mutex);
  --shared.liveThreadObjects;
  shared.changed.notify_all();
  // The count changes without a hand-off, so the main thread, which may be pumping until it
  // falls, is woken too. Under the lock: a main thread that sees the count cannot go on (and
  // take its pump away) before the wake-up has returned.
  if (const auto wakeUp = gHandOffWakeUp.load()) wakeUp();
}

void TThread::Start() {
  if (started_) return;
  try {
    thread_ = std::thread(&TThread::Run, this);
  } catch (const std::system_error& e) {
    throw EThread(ThreadCreationErrorMessage(e.code().message()));
  }
  started_ = true;
  startGate_.release();
}

void TThread::Run() {
  startGate_.acquire();
  try {
    if (!terminated_) Execute();
  } catch (...) {
    fatalException_ = std::current_exception();
  }
  try {
    DoTerminate();
  } catch (...) {
    if (!fatalException_) fatalException_ = std::current_exception();
  }
  const bool freeSelf = freeOnTerminate_;
  {
    SharedState& shared = Shared();
    std::lock_guard lock(shared.mutex);
    finished_ = true;
    shared.changed.notify_all();
  }
  if (freeSelf) delete this;
}

void TThread::WaitFor() {
  if (!started_) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    throw EThread(kWaitForItselfMessage);
  }
  if (IsMainThread()) {
    MainThreadWaitUntil([this] { return finished_.load(); },
                        std::chrono::steady_clock::time_point::max());
  }
  if (thread_.joinable()) thread_.join();
}

void TThread::Synchronize(const std::function<void()>& action) {
  if (IsMainThread()) {
    action();
    return;
  }
  HandOff entry{&action, 0, false, nullptr};
  SharedState& shared = Shared();
  {
    std::lock_guard lock(shared.mutex);
    entry.sequence = shared.nextSequence++;
    shared.queue.push_back(&entry);
    shared.changed.notify_all();
  }
  if (const auto wakeUp = gHandOffWakeUp.load()) wakeUp();
  std::exception_ptr failure;
  {
    std::unique_lock lock(shared.mutex);
    shared.changed.wait(lock, [&] { return entry.done; });
    failure = std::move(entry.failure);
  }
  if (failure) std::rethrow_exception(std::move(failure));  // the action's exception, here
}

int TThread::LiveThreadObjects() {
  SharedState& shared = Shared();
  std::lock_guard lock(shared.mutex);
  return shared.liveThreadObjects;
}

bool TThread::WaitForAllThreadObjects(unsigned timeoutMs) {
  SharedState& shared = Shared();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  // Reads under the lock only: the predicate runs inside wait_until, which holds it.
  auto noneLeft = [&shared] { return shared.liveThreadObjects == 0; };
  if (IsMainThread()) return MainThreadWaitUntil(noneLeft, deadline);
  std::unique_lock lock(shared.mutex);
  return shared.changed.wait_until(lock, deadline, noneLeft);
}

bool CheckSynchronize() {
  if (!IsMainThread()) {
    throw EThread(NotMainThreadMessage(static_cast<unsigned long>(::gettid())));
  }
  SharedState& shared = Shared();
  uint64_t limit;
  {
    std::lock_guard lock(shared.mutex);
    limit = shared.nextSequence;
  }
  // Entries are taken one at a time from the head so that an action which pumps (and so runs
  // this check again) keeps queue order; entries queued after this call started are left to
  // the next pump, so a busy set of workers cannot keep the main thread here for ever.
  bool ranAny = false;
  for (;;) {
    HandOff* entry;
    {
      std::lock_guard lock(shared.mutex);
      if (shared.queue.empty() || shared.queue.front()->sequence >= limit) break;
      entry = shared.queue.front();
      shared.queue.pop_front();
    }
    ranAny = true;
    std::exception_ptr failure;
    try {
      (*entry->action)();
    } catch (...) {
      failure = std::current_exception();
    }
    // The catch has ended, so `failure` is this thread's last hold on the exception; it moves
    // to the worker whole.
    {
      std::lock_guard lock(shared.mutex);
      entry->failure = std::move(failure);
      entry->done = true;
    }
    shared.changed.notify_all();
  }
  return ranAny;
}

void SetHandOffWakeUp(void (*wakeUp)()) { gHandOffWakeUp.store(wakeUp); }

size_t PendingHandOffs() {
  SharedState& shared = Shared();
  std::lock_guard lock(shared.mutex);
  return shared.queue.size();
}

}  // namespace pixhaul
