#include "cli/terminal_progress.h"

#include <unistd.h>

#include <algorithm>

namespace pixhaul::cli {

namespace {

constexpr int kBarCells = 20;
constexpr const char* kEraseLine = "\r\x1b[K";  // back to the line's start, clear to its end

bool IsTerminal(std::FILE* stream) { return stream != nullptr && ::isatty(::fileno(stream)) == 1; }

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
  std::fputs(kEraseLine, line_);
  std::fwrite(text_.data(), 1, text_.size(), line_);
  std::fflush(line_);
}

}  // namespace pixhaul::cli
