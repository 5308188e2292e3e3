// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TThread: a worker that owns one operating-system thread, and the blocking hand-off of
// actions to the main (GUI) thread.
//
// Ownership: a thread with FreeOnTerminate deletes itself on its own thread once Execute and
// the termination hook have returned; nobody else may delete it. An exception escaping Execute
// is kept in the object (FatalException) and never shown.
//
// Construction never starts the body: a derived class is not fully built until its own
// constructor ends. Create threads with `TThread::Spawn<T>(createSuspended, args...)`, which
// constructs T and then starts it unless createSuspended is set.
//
// Synchronize(action) runs the action on the main thread and returns only after it ran; on the
// main thread itself it runs at once. From a worker it queues the action in the process-wide
// hand-off queue, calls the hand-off wake-up (which the message pump sets: it wakes the
// installed MessagePump) and waits, without a time limit, until the main thread runs
// CheckSynchronize. An exception the action raised is raised again in the worker.
//
// WaitFor, and WaitForAllThreadObjects on the main thread, run queued hand-offs while they
// wait, so a worker blocked in Synchronize can always finish. A thread object that does not
// free itself must outlive its Execute: delete it only after WaitFor (its destructor terminates
// and waits for a running thread, but a derived part is already gone by then).
#pragma once

#include <atomic>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <semaphore>
#include <thread>

namespace pixhaul {

class TThread {
 public:
  virtual ~TThread();
  TThread(const TThread&) = delete;
  TThread& operator=(const TThread&) = delete;

  template <class T, class... Args>
  static T* Spawn(bool createSuspended, Args&&... args);

  // Starts a thread created suspended. Raises EThread "Thread creation error: %s" when the
  // operating system refuses the thread.
  void Start();

  // Set before Start: a thread that frees itself may be gone as soon as it has started.
  bool FreeOnTerminate() const { return freeOnTerminate_; }
  void SetFreeOnTerminate(bool value) { freeOnTerminate_ = value; }
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  // Waits for a thread that does not free itself; returns once Execute and DoTerminate have
  // ended (at once for a thread never started). Must not be called on the thread itself.
  void WaitFor();
  bool Finished() const { return finished_; }
  // The exception that escaped Execute, if any; read it after WaitFor.
  std::exception_ptr FatalException() const { return fatalException_; }

  // Runs `action` on the main thread and waits for it (see above).
  static void Synchronize(const std::function<void()>& action);

  // Number of TThread objects alive in the process; a self-deleting thread counts until its
  // destructor has finished. Lets a program wait for every worker to be gone before exiting:
  // each destructor calls the hand-off wake-up once the count has fallen, so a pump waiting for
  // it wakes up.
  static int LiveThreadObjects();
  // Waits until LiveThreadObjects() is 0 or the timeout (ms) passes; true when it reached 0.
  static bool WaitForAllThreadObjects(unsigned timeoutMs);

 protected:
  TThread();
  virtual void Execute() = 0;
  // Runs on the thread after Execute, before a self-deleting thread deletes itself.
  virtual void DoTerminate() {}

 private:
  void Run();

  std::thread thread_;
  // Holds the new thread back until Start has stored its handle.
  std::binary_semaphore startGate_{0};
  std::atomic<bool> terminated_{false};
  std::atomic<bool> freeOnTerminate_{false};
  bool started_ = false;
  std::atomic<bool> finished_{false};
  std::exception_ptr fatalException_;
};

// Runs every queued hand-off, in queue order, on the main thread; an action's exception is
// stored for its waiting worker. Returns true when at least one action ran. Raises EThread
// "CheckSynchronize called from thread $%x, which is NOT the main thread" off the main thread.
bool CheckSynchronize();
// Number of hand-offs queued and waiting for CheckSynchronize; any thread.
size_t PendingHandOffs();
// True when the calling thread is the process's main thread (the one that ran static
// initialisation).
bool IsMainThread();
// Sets what Synchronize calls on the worker after queuing a hand-off, so that the main thread
// wakes up to run it (and what a thread object's destructor calls once it is no longer counted).
// The message pump sets it when it is first used (framework/message_pump.h) and wakes itself then
// for what was queued before; the thread layer knows no pump. Any thread.
void SetHandOffWakeUp(void (*wakeUp)());

template <class T, class... Args>
T* TThread::Spawn(bool createSuspended, Args&&... args) {
  std::unique_ptr<T> thread(new T(std::forward<Args>(args)...));
  T* raw = thread.get();
  if (!createSuspended) raw->Start();
  return thread.release();
}

}  // namespace pixhaul
