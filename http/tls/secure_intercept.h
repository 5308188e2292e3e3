// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TIdSSLConnectionIntercept: the kind of intercept that carries a connection's bytes through a
// secure channel; it takes over receiving and sending. The HTTP layer accepts only intercepts
// of this kind for "https" requests. Used on its connection's thread only.
//
// Tests: tests/http/tls/openssl_intercept_test.cpp.
#pragma once

#include "http/socket/connection_intercept.h"

namespace pixhaul {

class TIdSSLConnectionIntercept : public TIdConnectionIntercept {
 public:
  TIdSSLConnectionIntercept() {
    SetHandlesReceive(true);
    SetHandlesSend(true);
  }
};

}  // namespace pixhaul
