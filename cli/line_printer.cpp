// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

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
  // Split into lines and joined again with LF, the text changes in its CRs alone: a CR LF or a
  // lone CR becomes LF, a lone LF stays, and a last line without an ending gets one. So runs
  // without CR go out as they are.
  bool afterCr = false;  // the last byte taken was a CR, whose LF may start the next piece
  char last = '\n';      // the last byte written; LF also when nothing was
  for (;;) {
    const ssize_t n = ::read(file.Get(), in.get(), kReadBytes);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EFOpenError(CannotOpenFileMessage(path));
    if (n == 0) break;
    const char* pos = in.get();
    const void* nul = std::memchr(pos, '\0', static_cast<size_t>(n));
    const char* end = nul != nullptr ? static_cast<const char*>(nul) : pos + n;
    if (afterCr && pos < end && *pos == '\n') ++pos;
    afterCr = false;
    while (pos < end) {
      const void* cr = std::memchr(pos, '\r', static_cast<size_t>(end - pos));
      const char* stop = cr != nullptr ? static_cast<const char*>(cr) : end;
      if (stop > pos) {
        std::fwrite(pos, 1, static_cast<size_t>(stop - pos), out);
        last = stop[-1];
      }
      if (stop == end) break;
      std::fputc('\n', out);
      last = '\n';
      pos = stop + 1;
      if (pos == end) {
        afterCr = true;
      } else if (*pos == '\n') {
        ++pos;
      }
    }
    if (nul != nullptr) break;
    // A reader that went away takes nothing more: the rest of the file is not read for it.
    if (std::ferror(out)) return;
  }
  if (last != '\n') std::fputc('\n', out);
}

}  // namespace pixhaul::cli
