// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "cli/console_window.h"

#include "download/run_texts.h"

namespace pixhaul::cli {

ConsoleRunWindow::ConsoleRunWindow(std::string folderText, SiteId site, Capture capture,
                                   std::FILE* out, std::FILE* err)
    : folderText_(std::move(folderText)),
      site_(site),
      capture_(std::move(capture)),
      out_(out),
      err_(err),
      progress_(err, out) {}

void ConsoleRunWindow::SetButtonCaption(const std::string& caption) {
  caption_ = caption;
  if (onCaption_) onCaption_(caption_);
}

void ConsoleRunWindow::AppendLogLine(const std::string& text) {
  const std::vector<std::string> lines = pane_.Append(text);
  if (outFailed_) return;
  progress_.Hide(out_);
  for (const std::string& line : lines) {
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fputc('\n', out_);
  }
  // Each line shows at once, also when standard output is a pipe or a file.
  std::fflush(out_);
  outFailed_ = std::ferror(out_) != 0;
  progress_.Restore();
}

void ConsoleRunWindow::ShowProgress(const RunProgress& progress) {
  if (runEnded_) return;
  runEnded_ = !progress.active;
  progress_.Show(progress);
}

void ConsoleRunWindow::ShowListSource(const std::string& note) {
  if (note.empty()) return;
  progress_.Hide(err_);
  std::fprintf(err_, "pixhaul-cli: %s\n", note.c_str());
  std::fflush(err_);
  progress_.Restore();
}

void ConsoleRunWindow::ShowMessage(const std::string& text) {
  messageShown_ = true;
  WriteErrorLine(text);
}

void ConsoleRunWindow::ShowLateWorkerLine(const std::string& line) {
  // Printed as the pane would have shown it: a CR LF inside a message breaks the line there.
  std::string text;
  const std::vector<std::string> parts = SplitPaneLines(line);
  for (size_t i = 0; i < parts.size(); ++i) text += (i > 0 ? "\n" : "") + parts[i];
  WriteErrorLine(text + kLateLineSuffix);
}

void ConsoleRunWindow::WriteErrorLine(const std::string& text) {
  progress_.Hide(err_);
  std::fwrite(text.data(), 1, text.size(), err_);
  std::fputc('\n', err_);
  std::fflush(err_);
  progress_.Restore();
}

}  // namespace pixhaul::cli
