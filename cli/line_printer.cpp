#include "cli/line_printer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "framework/exception.h"
#include "framework/posix_file.h"

namespace pixhaul::cli {

namespace {

constexpr size_t kReadBytes = 64 * 1024;

}  // namespace

void PrintFileLines(const std::string& path, std::FILE* out) {
  FileDescriptor file(OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.Get() < 0) throw EFOpenError(CannotOpenFileMessage(path));
  const auto in = std::make_unique_for_overwrite<char[]>(kReadBytes);
  // A CR at the end of one piece may be the first half of a CR LF that the next piece ends.
  bool afterCr = false;
  // Bytes of a line were written since the last line end.
  bool lineOpen = false;
  for (;;) {
    const ssize_t n = ::read(file.Get(), in.get(), kReadBytes);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EFOpenError(CannotOpenFileMessage(path));
    if (n == 0) break;
    const char* pos = in.get();
    const char* end = pos + n;
    const void* nul = std::memchr(pos, '\0', static_cast<size_t>(n));
    if (nul != nullptr) end = static_cast<const char*>(nul);
    while (pos < end) {
      if (afterCr && *pos == '\n') ++pos;
      afterCr = false;
      const char* stop = pos;
      while (stop < end && *stop != '\r' && *stop != '\n') ++stop;
      std::fwrite(pos, 1, static_cast<size_t>(stop - pos), out);
      lineOpen = lineOpen || stop > pos;
      if (stop == end) break;
      std::fputc('\n', out);
      lineOpen = false;
      afterCr = *stop == '\r';
      pos = stop + 1;
    }
    if (nul != nullptr) break;
  }
  if (lineOpen) std::fputc('\n', out);
}

}  // namespace pixhaul::cli
