// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdComponent: the base of every connection; status and work notifications, and registration
// as a user of the process's socket stack.
//
// Creating one counts a stack user, destroying it uncounts it (http/socket/socket_stack.h). Events
// are raised on the calling thread; a component is used by one thread at a time.
//
// Tests: tests/http/socket/socket_stack_test.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace pixhaul {

enum class TIdStatus {
  hsResolving = 0,      // "Resolving hostname %s."
  hsConnecting = 1,     // "Connecting to %s."
  hsConnected = 2,      // "Connected."
  hsDisconnecting = 3,  // "Disconnecting from %s."
  hsDisconnected = 4,   // "Not connected."
  hsText = 5,           // "%s"
};

enum class TWorkMode { wmRead = 0, wmWrite = 1 };

// The status text of a kind, with `argument` in place of "%s".
std::string StatusText(TIdStatus status, const std::string& argument);

class TIdComponent {
 public:
  using TIdStatusEvent =
      std::function<void(TIdComponent& sender, TIdStatus status, const std::string& text)>;
  using TWorkBeginEvent =
      std::function<void(TIdComponent& sender, TWorkMode mode, int64_t expected)>;
  using TWorkEvent = std::function<void(TIdComponent& sender, TWorkMode mode, int64_t count)>;
  using TWorkEndEvent = std::function<void(TIdComponent& sender, TWorkMode mode)>;

  TIdComponent();
  virtual ~TIdComponent();
  TIdComponent(const TIdComponent&) = delete;
  TIdComponent& operator=(const TIdComponent&) = delete;

  TIdStatusEvent OnStatus;
  TWorkBeginEvent OnWorkBegin;
  TWorkEvent OnWork;
  TWorkEndEvent OnWorkEnd;

  // Raises OnStatus with the kind's formatted text, only when it is assigned.
  void NotifyStatus(TIdStatus status, const std::string& argument = "");
  // Nested begin/end pairs: only the outermost raises OnWorkBegin / OnWorkEnd.
  void NotifyWorkBegin(TWorkMode mode, int64_t expected);
  // Ignored outside a begin/end pair; OnWork receives the running count.
  void NotifyWork(TWorkMode mode, int64_t count);
  void NotifyWorkEnd(TWorkMode mode);

  int64_t WorkCount(TWorkMode mode) const { return work_[Index(mode)].count; }
  int64_t WorkExpected(TWorkMode mode) const { return work_[Index(mode)].expected; }

 private:
  struct WorkState {
    int64_t count = 0;
    int64_t expected = 0;
    int nesting = 0;
  };
  static int Index(TWorkMode mode) { return mode == TWorkMode::wmRead ? 0 : 1; }

  WorkState work_[2];
};

}  // namespace pixhaul
