#include "cli/console_window.h"

namespace pixhaul::cli {

ConsoleRunWindow::ConsoleRunWindow(std::string folderText, int site, Capture capture,
                                   std::FILE* out, std::FILE* err)
    : folderText_(std::move(folderText)),
      site_(site),
      capture_(std::move(capture)),
      out_(out),
      err_(err) {}

void ConsoleRunWindow::AppendLogLine(const std::string& text) {
  for (const std::string& line : pane_.Append(text)) {
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fputc('\n', out_);
  }
  // Each line shows at once, also when standard output is a pipe or a file.
  std::fflush(out_);
}

void ConsoleRunWindow::ShowListSource(const std::string& note) {
  if (note.empty()) return;
  std::fprintf(err_, "pixhaul-cli: %s\n", note.c_str());
  std::fflush(err_);
}

void ConsoleRunWindow::ShowMessage(const std::string& text) {
  messageShown_ = true;
  std::fwrite(text.data(), 1, text.size(), err_);
  std::fputc('\n', err_);
  std::fflush(err_);
}

}  // namespace pixhaul::cli
