// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/socket/component.h"

#include "http/socket/socket_stack.h"

namespace pixhaul {

std::string StatusText(TIdStatus status, const std::string& argument) {
  switch (status) {
    case TIdStatus::hsResolving:
      return "Resolving hostname " + argument + ".";
    case TIdStatus::hsConnecting:
      return "Connecting to " + argument + ".";
    case TIdStatus::hsConnected:
      return "Connected.";
    case TIdStatus::hsDisconnecting:
      return "Disconnecting from " + argument + ".";
    case TIdStatus::hsDisconnected:
      return "Not connected.";
    case TIdStatus::hsText:
      return argument;
  }
  return argument;
}

TIdComponent::TIdComponent() { RegisterStackUser(); }

TIdComponent::~TIdComponent() { UnregisterStackUser(); }

void TIdComponent::NotifyStatus(TIdStatus status, const std::string& argument) {
  if (OnStatus) OnStatus(*this, status, StatusText(status, argument));
}

void TIdComponent::NotifyWorkBegin(TWorkMode mode, int64_t expected) {
  WorkState& state = work_[Index(mode)];
  if (++state.nesting == 1) {
    state.expected = expected;
    state.count = 0;
    if (OnWorkBegin) OnWorkBegin(*this, mode, expected);
  }
}

void TIdComponent::NotifyWork(TWorkMode mode, int64_t count) {
  WorkState& state = work_[Index(mode)];
  if (state.nesting <= 0) return;
  state.count += count;
  if (OnWork) OnWork(*this, mode, state.count);
}

void TIdComponent::NotifyWorkEnd(TWorkMode mode) {
  WorkState& state = work_[Index(mode)];
  if (state.nesting == 1 && OnWorkEnd) OnWorkEnd(*this, mode);
  --state.nesting;
}

}  // namespace pixhaul
