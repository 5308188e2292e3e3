// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "cli/terminal_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

namespace pixhaul::cli {

namespace {

constexpr int kBarCells = 20;
constexpr const char* kEraseLine = "\r\x1b[K";  // back to the line's start, clear to its end

bool IsTerminal(std::FILE* stream) { return stream != nullptr && ::isatty(::fileno(stream)) == 1; }

// The terminal's width in columns; 0 when it does not say.
int TerminalColumns(std::FILE* stream) {
  winsize size{};
  return ::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

// `text` cut to at most `columns` characters (UTF-8 sequences kept whole; every character of
// the line takes one column).
std::string FitToColumns(const std::string& text, int columns) {
  int characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool startsCharacter = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (startsCharacter && ++characters > columns) return text.substr(0, i);
  }
  return text;
}

}  // namespace

std::string ProgressLineText(const RunProgress& progress) {
  // An empty list is dealt with as soon as it is read.
  const int filled = progress.addresses <= 0
                         ? kBarCells
                         : std::min(kBarCells, progress.Done() * kBarCells / progress.addresses);
  return "[" + std::string(static_cast<size_t>(filled), '#') +
         std::string(static_cast<size_t>(kBarCells - filled), '.') + "] " + ProgressText(progress);
}

TerminalProgress::TerminalProgress(std::FILE* line, std::FILE* log)
    : line_(line), enabled_(IsTerminal(line)), sharesScreen_(enabled_ && IsTerminal(log)) {}

void TerminalProgress::Show(const RunProgress& progress) {
  if (!enabled_) return;
  text_ = ProgressLineText(progress);
  shown_ = true;
  hidden_ = false;
  Draw();
  if (!progress.active) {
    std::fputc('\n', line_);
    std::fflush(line_);
    shown_ = false;
  }
}

void TerminalProgress::Hide(std::FILE* stream) {
  if (!shown_ || hidden_ || (stream != line_ && !sharesScreen_)) return;
  std::fputs(kEraseLine, line_);
  std::fflush(line_);
  hidden_ = true;
}

void TerminalProgress::Restore() {
  if (!hidden_) return;
  hidden_ = false;
  Draw();
}

void TerminalProgress::Draw() {
  // A line wider than the terminal would wrap, and going back to the line's start would then
  // only reach its last row: every redraw would leave a row behind. The last column stays
  // free too, since some terminals wrap as soon as it is written.
  const int columns = TerminalColumns(line_);
  const std::string shown = columns > 1 ? FitToColumns(text_, columns - 1) : text_;
  std::fputs(kEraseLine, line_);
  std::fwrite(shown.data(), 1, shown.size(), line_);
  std::fflush(line_);
}

}  // namespace pixhaul::cli
