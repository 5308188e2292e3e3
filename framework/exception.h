// The framework's base exception and the few framework errors other layers raise.
//
// Every failure of the program's own services is an `Exception` (or a class derived from it)
// carrying a fixed English message; callers such as the download worker classify failures by
// that text, so each message is built in exactly one place.
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

// A text that should have been a number: "'%s' is not a valid integer value".
class EConvertError : public Exception {
 public:
  using Exception::Exception;
  static EConvertError InvalidInteger(const std::string& text);
};

// File and stream errors of the line list, the memory buffer and the INI accessor.
class EFOpenError : public Exception {
 public:
  using Exception::Exception;
};
class EFCreateError : public Exception {
 public:
  using Exception::Exception;
};
class EIniFileException : public Exception {
 public:
  using Exception::Exception;
};
class EWriteError : public Exception {
 public:
  using Exception::Exception;
};
// A line-list index outside the list: "List index out of bounds (%d)".
class EListError : public Exception {
 public:
  using Exception::Exception;
};
class EThread : public Exception {
 public:
  using Exception::Exception;
};

// The framework's message texts, each with its argument in place of "%s" or "%x".
std::string CannotOpenFileMessage(const std::string& path);      // "Cannot open file %s"
std::string CannotCreateFileMessage(const std::string& path);    // "Cannot create file %s"
std::string UnableToWriteMessage(const std::string& path);       // "Unable to write to %s"
std::string ThreadCreationErrorMessage(const std::string& why);  // "Thread creation error: %s"
std::string ListIndexOutOfBoundsMessage(int index);              // "List index out of bounds (%d)"
std::string NotMainThreadMessage(unsigned long threadId);  // "CheckSynchronize called from ..."
inline constexpr const char* kStreamWriteError = "Stream write error";

}  // namespace pixhaul
