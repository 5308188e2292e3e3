// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/rules_file_text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "framework/ascii_text.h"
#include "framework/ini_file.h"
#include "framework/line_breaks.h"
#include "framework/posix_file.h"

namespace pixhaul {

namespace {

std::string CannotBeRead(int error) {
  return std::string("the rules file cannot be read (") + std::strerror(error) + ")";
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// The number (from 1) of the line that holds the byte at `offset`.
size_t LineOf(std::string_view text, size_t offset) {
  LineScanner lines(text.substr(0, offset));
  size_t number = 1;
  for (std::string_view line; lines.Next(line);) ++number;
  // The bytes before `offset` may end inside a line rather than after a break.
  if (offset > 0 && text[offset - 1] != '\n' && text[offset - 1] != '\r') --number;
  return number;
}

const std::string kTooLarge =
    "the rules file is larger than " + std::to_string(kMaxRulesFileBytes >> 20) + " MiB";

}  // namespace

RulesFileText::RulesFileText(const std::string& path) {
  // Without O_NONBLOCK, opening a pipe that nobody writes would wait for a writer.
  const FileDescriptor file(
      OpenRetrying(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.Get() < 0) {
    missing_ = errno == ENOENT || errno == ENOTDIR;
    fault_ = CannotBeRead(errno);
    return;
  }
  struct stat info {};
  if (::fstat(file.Get(), &info) != 0) {
    fault_ = CannotBeRead(errno);
  } else if (S_ISDIR(info.st_mode)) {
    fault_ = CannotBeRead(EISDIR);
  } else if (!S_ISREG(info.st_mode)) {
    fault_ = "the rules file is not a regular file";
  } else if (static_cast<uint64_t>(info.st_size) > kMaxRulesFileBytes) {
    fault_ = kTooLarge;
  } else if (!ReadFrom(file.Get())) {
    text_.clear();
  }
}

// Reads to the end, one byte past the limit at most: a file that grew meanwhile is as much too
// large as one that was so from the start.
bool RulesFileText::ReadFrom(int fd) {
  text_.resize(kMaxRulesFileBytes + 1);
  size_t used = 0;
  while (used < text_.size()) {
    const ssize_t n = ::read(fd, text_.data() + used, text_.size() - used);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      fault_ = CannotBeRead(errno);
      return false;
    }
    if (n == 0) break;
    used += static_cast<size_t>(n);
  }
  if (used > kMaxRulesFileBytes) {
    fault_ = kTooLarge;
    return false;
  }
  text_.resize(used);
  // Editors on some systems start a UTF-8 file with a byte-order mark; it is no part of the
  // first section's name.
  if (text_.starts_with(kByteOrderMark)) text_.erase(0, kByteOrderMark.size());
  const size_t nul = TextBeforeNul(text_).size();
  if (nul < text_.size()) {
    fault_ = "line " + std::to_string(LineOf(text_, nul)) + ": the rules file holds a NUL byte";
    return false;
  }
  text_.shrink_to_fit();
  return true;
}

std::vector<RulesFileSection> RulesFileText::Sections() const {
  std::vector<RulesFileSection> sections;
  LineScanner lines(text_);
  size_t number = 0;
  for (std::string_view line; lines.Next(line);) {
    ++number;
    if (const std::optional<std::string_view> name = IniSectionName(line)) {
      sections.push_back({number, TrimBlanks(*name, IsSpaceOrTab)});
    }
  }
  return sections;
}

std::vector<RulesFileKey> RulesFileText::SectionKeys(std::string_view section) const {
  std::vector<RulesFileKey> keys;
  const std::string_view wanted = TrimBlanks(section, IsSpaceOrTab);
  bool inSection = false;
  LineScanner lines(text_);
  for (std::string_view line; lines.Next(line);) {
    if (const std::optional<std::string_view> name = IniSectionName(line)) {
      if (inSection) break;  // the first section of the name ends here
      inSection = SameText(*name, wanted);
      continue;
    }
    RulesFileKey key;
    if (inSection && SplitIniKeyLine(line, key.key, key.value)) keys.push_back(key);
  }
  return keys;
}

}  // namespace pixhaul
