// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The main window's log pane (Memo1): the lines as the run writes and saves them, failures
// standing out.
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCharFormat>
#include <QTextCursor>
#include <cctype>

#include "app/Unit1.h"
#include "app/qt_text.h"

namespace pixhaul {

void TForm1::ClearLog() {
  pane_.Clear();
  Memo1->clear();
}

namespace {

// A worker's failure line ("T4:404 Not Found http://...", "T4 failed: http://..."), as against
// its saved line ("T4 photo.jpg: OK").
bool IsFailureLine(const std::string& line) {
  if (line.size() < 2 || line[0] != 'T' || !std::isdigit(static_cast<unsigned char>(line[1])))
    return false;
  size_t i = 1;
  while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i]))) ++i;
  if (i < line.size() && line[i] == ':') return true;
  return line.compare(i, 9, " failed: ") == 0 && !line.ends_with(": OK");
}

// Failures stand out by weight as well as by colour.
QTextCharFormat FailureFormat() {
  QTextCharFormat format;
  format.setForeground(QColor(0xB0, 0x00, 0x20));
  format.setFontWeight(QFont::Bold);
  return format;
}

}  // namespace

void TForm1::AppendLogLine(const std::string& text) {
  // Follow the end of the log only when the user has not scrolled away from it.
  QScrollBar* scroll = Memo1->verticalScrollBar();
  const bool atEnd = scroll->value() == scroll->maximum();
  QTextCursor cursor(Memo1->document());
  cursor.movePosition(QTextCursor::End);
  const bool paneWasEmpty = pane_.Lines().empty();
  const std::vector<std::string> added = pane_.Append(text);
  for (size_t i = 0; i < added.size(); ++i) {
    // The document always holds one block; the pane's first line goes into it and every later
    // one into a block of its own, so that an empty first line is kept.
    if (i > 0 || !paneWasEmpty) cursor.insertBlock();
    cursor.insertText(Q(added[i]), IsFailureLine(added[i]) ? FailureFormat() : QTextCharFormat());
  }
  if (atEnd) scroll->setValue(scroll->maximum());
}

std::vector<std::string> TForm1::LogLines() { return pane_.Lines(); }

void TForm1::FollowLogEnd() {
  // A pane shown at its end stays there when it is resized, as rows above it come and go.
  QScrollBar* scroll = Memo1->verticalScrollBar();
  connect(scroll, &QScrollBar::valueChanged, this,
          [this, scroll](int value) { followLog_ = value == scroll->maximum(); });
  connect(scroll, &QScrollBar::rangeChanged, this, [this, scroll](int, int maximum) {
    if (followLog_) scroll->setValue(maximum);
  });
}

}  // namespace pixhaul
