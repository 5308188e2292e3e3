// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "http/socket/socket_error.h"

#include <cstdio>

namespace pixhaul {

std::string SocketErrorDescription(int number) {
  for (const SocketErrorEntry& entry : kSocketErrors) {
    if (entry.number == number) return entry.text;
  }
  return {};
}

std::string SocketErrorText(int number) {
  char head[48];
  std::snprintf(head, sizeof head, "Socket Error # %d\r\n", number);
  return head + SocketErrorDescription(number);
}

void ThrowSocketError(int number) { throw EIdSocketError(number); }

std::string InvalidServiceNameMessage(const std::string& name) {
  return name + " is not a valid service.";
}

}  // namespace pixhaul
