// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/string_list.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "framework/exception.h"
#include "framework/line_breaks.h"
#include "framework/posix_file.h"

namespace pixhaul {

namespace {

size_t CountByte(std::string_view text, char byte) {
  size_t count = 0;
  const char* begin = text.data();
  const char* end = begin + text.size();
  while (begin < end) {
    const void* hit = std::memchr(begin, byte, static_cast<size_t>(end - begin));
    if (hit == nullptr) break;
    ++count;
    begin = static_cast<const char*>(hit) + 1;
  }
  return count;
}

// Reads the whole file at `path`; raises EFOpenError "Cannot open file %s" when it cannot be
// opened or read.
std::string ReadWholeFile(const std::string& path) {
  FileDescriptor file(OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.Get() < 0) throw EFOpenError(CannotOpenFileMessage(path));

  struct stat info {};
  size_t expected = 0;
  if (::fstat(file.Get(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
    expected = static_cast<size_t>(info.st_size);
  }
  // One buffer of the file's size, read in as few calls as the kernel allows; a file that
  // grows meanwhile or reports no size is still read to its end.
  std::string bytes;
  bytes.resize(expected > 0 ? expected + 1 : 64 * 1024);
  size_t used = 0;
  for (;;) {
    if (used == bytes.size()) bytes.resize(bytes.size() * 2);
    const ssize_t n = ::read(file.Get(), bytes.data() + used, bytes.size() - used);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throw EFOpenError(CannotOpenFileMessage(path));
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  bytes.resize(used);
  return bytes;
}

}  // namespace

void TStringList::CheckIndex(int index, size_t limit) const {
  if (index < 0 || static_cast<size_t>(index) >= limit) {
    throw EListError(ListIndexOutOfBoundsMessage(index));
  }
}

int TStringList::Add(std::string text) {
  lines_.push_back(std::move(text));
  return Count() - 1;
}

const std::string& TStringList::Get(int index) const {
  CheckIndex(index, lines_.size());
  return lines_[static_cast<size_t>(index)];
}

void TStringList::Put(int index, std::string text) {
  CheckIndex(index, lines_.size());
  lines_[static_cast<size_t>(index)] = std::move(text);
}

void TStringList::Insert(int index, std::string text) {
  CheckIndex(index, lines_.size() + 1);
  lines_.insert(lines_.begin() + index, std::move(text));
}

void TStringList::Delete(int index) {
  CheckIndex(index, lines_.size());
  lines_.erase(lines_.begin() + index);
}

void TStringList::AddStrings(const TStringList& other) {
  if (&other == this) {
    const size_t n = lines_.size();
    lines_.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) lines_.push_back(lines_[i]);
    return;
  }
  lines_.insert(lines_.end(), other.lines_.begin(), other.lines_.end());
}

void TStringList::Assign(const TStringList& other) {
  if (&other != this) lines_ = other.lines_;
}

std::string TStringList::Text() const {
  size_t total = 0;
  for (const std::string& line : lines_) total += line.size() + 2;
  std::string text;
  text.resize(total);
  char* out = text.data();
  for (const std::string& line : lines_) {
    std::memcpy(out, line.data(), line.size());
    out += line.size();
    *out++ = '\r';
    *out++ = '\n';
  }
  return text;
}

void TStringList::SetText(std::string_view text) {
  text = TextBeforeNul(text);
  std::vector<std::string> lines;
  lines.reserve(std::max(CountByte(text, '\n'), CountByte(text, '\r')) + 1);
  LineScanner scanner(text);
  for (std::string_view line; scanner.Next(line);) lines.emplace_back(line);
  lines_ = std::move(lines);
}

void TStringList::LoadFromFile(const std::string& path) {
  const std::string bytes = ReadWholeFile(path);
  SetText(bytes);
}

std::string LoadTextFromFile(const std::string& path) {
  const std::string bytes = ReadWholeFile(path);
  const std::string_view content = TextBeforeNul(bytes);
  std::string text;
  // CR LF pages (the usual case) come out at their own length plus at most one final CR LF.
  text.reserve(content.size() + 2);
  LineScanner scanner(content);
  for (std::string_view line; scanner.Next(line);) {
    text.append(line);
    text.append("\r\n", 2);
  }
  return text;
}

void TStringList::SaveToFile(const std::string& path) const {
  FileDescriptor file(OpenRetrying(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
  if (file.Get() < 0) throw EFCreateError(CannotCreateFileMessage(path));
  const std::string text = Text();
  // One write for the whole text; WriteAll only continues a write the kernel cut short.
  if (!WriteAll(file.Get(), text.data(), text.size())) throw EWriteError(kStreamWriteError);
  if (!file.Close()) throw EWriteError(kStreamWriteError);
}

}  // namespace pixhaul
