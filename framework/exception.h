// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The framework's base exception and the few framework errors other layers raise.
//
// Every failure of the program's own services is an `Exception` (or a class derived from it)
// carrying a fixed English message; callers such as the download worker classify failures by
// that text, so each message is built in exactly one place.
//
// Tests: tests/support/raised.h, which every suite compares raised errors with.
#pragma once

#include <stdexcept>
#include <string>

namespace pixhaul {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

// Every exception class of the program is declared with one of these two, so that each class
// is one line and each message lives in one constant or one message function beside it. Only
// a class that carries a value besides its message is written out, and says so.
//
// A class of failures whose raiser gives the message (made by the message function named in
// the comment above the class, or one of several constants):
#define PIXHAUL_EXCEPTION(Name, Base) \
  class Name : public Base {          \
   public:                            \
    using Base::Base;                 \
  }
// A failure with one fixed message: constructing it without arguments gives `kMessage`.
#define PIXHAUL_FIXED_EXCEPTION(Name, Base, kMessage) \
  class Name : public Base {                          \
   public:                                            \
    Name() : Base(kMessage) {}                        \
  }

// A text that should have been a number: InvalidIntegerMessage.
PIXHAUL_EXCEPTION(EConvertError, Exception);
// File and stream errors of the line list, the memory buffer and the INI accessor:
// CannotOpenFileMessage, CannotCreateFileMessage, UnableToWriteMessage, kStreamWriteError.
PIXHAUL_EXCEPTION(EFOpenError, Exception);
PIXHAUL_EXCEPTION(EFCreateError, Exception);
PIXHAUL_EXCEPTION(EIniFileException, Exception);
PIXHAUL_EXCEPTION(EWriteError, Exception);
// A line-list index outside the list: ListIndexOutOfBoundsMessage.
PIXHAUL_EXCEPTION(EListError, Exception);
// ThreadCreationErrorMessage, kWaitForItselfMessage, NotMainThreadMessage.
PIXHAUL_EXCEPTION(EThread, Exception);

// The framework's message texts, each with its argument in place of "%s", "%d" or "%x".
std::string InvalidIntegerMessage(const std::string& text);  // "'%s' is not a valid integer value"
std::string CannotOpenFileMessage(const std::string& path);  // "Cannot open file %s"
std::string CannotCreateFileMessage(const std::string& path);    // "Cannot create file %s"
std::string UnableToWriteMessage(const std::string& path);       // "Unable to write to %s"
std::string ThreadCreationErrorMessage(const std::string& why);  // "Thread creation error: %s"
std::string ListIndexOutOfBoundsMessage(int index);              // "List index out of bounds (%d)"
std::string NotMainThreadMessage(unsigned long threadId);  // "CheckSynchronize called from ..."
inline constexpr const char* kStreamWriteError = "Stream write error";
inline constexpr const char* kWaitForItselfMessage = "Cannot call WaitFor on the thread itself";

}  // namespace pixhaul
