// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/exception.h"

#include <cstdio>

namespace pixhaul {

std::string InvalidIntegerMessage(const std::string& text) {
  return "'" + text + "' is not a valid integer value";
}

std::string CannotOpenFileMessage(const std::string& path) { return "Cannot open file " + path; }

std::string CannotCreateFileMessage(const std::string& path) {
  return "Cannot create file " + path;
}

std::string UnableToWriteMessage(const std::string& path) { return "Unable to write to " + path; }

std::string ThreadCreationErrorMessage(const std::string& why) {
  return "Thread creation error: " + why;
}

std::string ListIndexOutOfBoundsMessage(int index) {
  return "List index out of bounds (" + std::to_string(index) + ")";
}

std::string NotMainThreadMessage(unsigned long threadId) {
  char buffer[96];
  std::snprintf(buffer, sizeof buffer,
                "CheckSynchronize called from thread $%lx, which is NOT the main thread", threadId);
  return buffer;
}

}  // namespace pixhaul
