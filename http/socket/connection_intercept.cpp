// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/socket/connection_intercept.h"

#include <algorithm>

#include "http/socket/tcp_connection.h"

namespace pixhaul {

TIdConnectionIntercept::TIdConnectionIntercept()
    : ownReadGuard_(TIdTCPConnection::DefaultReadTimeoutMs()) {}

TIdConnectionIntercept::~TIdConnectionIntercept() {
  // A user may unregister itself while being told, so work on a copy.
  std::vector<TIdInterceptUser*> users;
  users.swap(users_);
  for (TIdInterceptUser* user : users) user->InterceptDestroyed(this);
}

void TIdConnectionIntercept::AttachToSocket(TIdSocketHandle* socket) {
  attachedSocket_ = socket;
  if (OnConnect && socket != nullptr) OnConnect(*this, *socket);
}

void TIdConnectionIntercept::AfterReceive(const char*, int) {}

void TIdConnectionIntercept::AfterSend(const char*, int) {}

void TIdConnectionIntercept::DetachFromSocket() { attachedSocket_ = nullptr; }

int TIdConnectionIntercept::ReceiveThrough(char*, int) { return 0; }

int TIdConnectionIntercept::SendThrough(const char*, int) { return 0; }

void TIdConnectionIntercept::AddFreeNotification(TIdInterceptUser* user) {
  if (std::find(users_.begin(), users_.end(), user) == users_.end()) users_.push_back(user);
}

void TIdConnectionIntercept::RemoveFreeNotification(TIdInterceptUser* user) {
  users_.erase(std::remove(users_.begin(), users_.end(), user), users_.end());
}

}  // namespace pixhaul
