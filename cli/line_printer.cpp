// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "cli/line_printer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string_view>

#include "framework/exception.h"
#include "framework/posix_file.h"
#include "framework/visible_text.h"

namespace pixhaul::cli {

namespace {

constexpr size_t kReadBytes = 64 * 1024;

// The position of the first CR or LF in `text`, or npos. The list's lines end in CR LF, so the
// search for an LF stops at the first CR.
size_t FirstLineBreak(std::string_view text) {
  const void* cr = std::memchr(text.data(), '\r', text.size());
  const size_t crAt =
      cr ? static_cast<size_t>(static_cast<const char*>(cr) - text.data()) : std::string_view::npos;
  const void* lf = std::memchr(text.data(), '\n', cr ? crAt : text.size());
  return lf ? static_cast<size_t>(static_cast<const char*>(lf) - text.data()) : crAt;
}

}  // namespace

void PrintFileLines(const FileTarget& target, std::FILE* out) {
  const std::string& path = target.path;
  FileDescriptor file(OpenTarget(target, O_RDONLY | O_CLOEXEC));
  if (file.Get() < 0) throw EFOpenError(CannotOpenFileMessage(path));
  const auto in = std::make_unique_for_overwrite<char[]>(kReadBytes);
  bool afterCr = false;   // the last byte taken was a CR, whose LF may start the next piece
  bool lineOpen = false;  // bytes of a line were taken and its end was not
  // The lead byte of a two-byte character that a piece ended on: escaping needs both bytes.
  std::string carry;
  auto write = [&](std::string_view text, bool lineGoesOn) {
    std::string joined = carry;
    joined.append(text);
    carry.clear();
    if (lineGoesOn && !joined.empty() && static_cast<unsigned char>(joined.back()) == 0xC2) {
      carry = joined.back();
      joined.pop_back();
    }
    if (joined.empty()) return;
    lineOpen = true;
    const std::string shown = VisibleText(joined);
    std::fwrite(shown.data(), 1, shown.size(), out);
  };
  // The usual line, whole in its piece and with nothing to escape, goes out as it stands.
  auto writeLine = [&](std::string_view line) {
    if (carry.empty() && ShowsAsItIs(line)) {
      if (!line.empty()) std::fwrite(line.data(), 1, line.size(), out);
      return;
    }
    write(line, false);
  };
  for (;;) {
    const ssize_t n = ::read(file.Get(), in.get(), kReadBytes);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EFOpenError(CannotOpenFileMessage(path));
    if (n == 0) break;
    std::string_view piece(in.get(), static_cast<size_t>(n));
    const size_t nul = piece.find('\0');
    piece = piece.substr(0, nul);
    if (afterCr && !piece.empty() && piece.front() == '\n') piece.remove_prefix(1);
    afterCr = false;
    // A line ends at CR LF, a lone CR or a lone LF, and goes out with LF.
    while (!piece.empty()) {
      const size_t stop = FirstLineBreak(piece);
      if (stop == std::string_view::npos) {
        write(piece, true);
        break;
      }
      writeLine(piece.substr(0, stop));
      std::fputc('\n', out);
      lineOpen = false;
      const bool cr = piece[stop] == '\r';
      piece.remove_prefix(stop + 1);
      if (cr && piece.empty()) {
        afterCr = true;
      } else if (cr && piece.front() == '\n') {
        piece.remove_prefix(1);
      }
    }
    if (nul != std::string_view::npos) break;
    // A reader that went away takes nothing more: the rest of the file is not read for it.
    if (std::ferror(out)) return;
  }
  write({}, false);
  if (lineOpen) std::fputc('\n', out);
}

}  // namespace pixhaul::cli
