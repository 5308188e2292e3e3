// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "framework/ini_file.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string_view>

#include "framework/ascii_text.h"
#include "framework/exception.h"
#include "framework/integer_text.h"
#include "framework/posix_file.h"
#include "framework/replacement_file.h"
#include "framework/string_list.h"

namespace pixhaul {

namespace {

// Names and values are trimmed of blanks and TABs only.
std::string_view Trim(std::string_view text) { return TrimBlanks(text, IsSpaceOrTab); }

enum class ReadResult { kRead, kMissing, kFailed };

ReadResult ReadLines(const std::string& path, TStringList& lines) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    return errno == ENOENT || errno == ENOTDIR ? ReadResult::kMissing : ReadResult::kFailed;
  }
  if (S_ISDIR(info.st_mode)) return ReadResult::kFailed;
  try {
    lines.LoadFromFile(path);
  } catch (const EFOpenError&) {
    return ReadResult::kFailed;
  }
  return ReadResult::kRead;
}

struct Location {
  int section = -1;   // index of the section line, -1 when absent
  int key = -1;       // index of the key line, -1 when absent
  int insertAt = -1;  // where a new key of the section goes: after its last non-blank line
};

Location Find(const TStringList& lines, std::string_view section, std::string_view key) {
  Location found;
  for (int i = 0; i < lines.Count(); ++i) {
    const std::string& line = lines.Get(i);
    if (const auto name = IniSectionName(line)) {
      if (found.section >= 0) break;  // the first matching section ends here
      if (SameText(*name, section)) found.section = found.insertAt = i;
      continue;
    }
    if (found.section < 0) continue;
    if (!Trim(line).empty()) found.insertAt = i;
    std::string_view lineKey, value;
    if (found.key < 0 && SplitIniKeyLine(line, lineKey, value) && SameText(lineKey, key)) {
      found.key = i;
    }
  }
  return found;
}

// Writes `text` to a new file beside `path` and renames it onto `path`, synced first: the
// settings must survive a power cut right after they were written.
bool ReplaceFile(const std::string& path, const std::string& text) {
  ReplacementOptions options;
  options.syncBeforeRename = true;
  try {
    ReplacementFile file(path, options);
    file.Write(text);
    file.Commit();
  } catch (const Exception&) {
    return false;
  }
  return true;
}

}  // namespace

std::string TIniFile::ReadString(const std::string& section, const std::string& key,
                                 const std::string& defaultValue) const {
  std::string result = defaultValue;
  TStringList lines;
  if (ReadLines(path_, lines) == ReadResult::kRead) {
    const Location found = Find(lines, Trim(section), Trim(key));
    if (found.key >= 0) {
      std::string_view lineKey, value;
      SplitIniKeyLine(lines.Get(found.key), lineKey, value);
      result.assign(value);
    }
  }
  if (result.size() > kMaxValueLength) result.resize(kMaxValueLength);
  return result;
}

std::vector<std::string> TIniFile::ReadSectionKeys(const std::string& section) const {
  std::vector<std::string> keys;
  TStringList lines;
  if (ReadLines(path_, lines) != ReadResult::kRead) return keys;
  const std::string_view wanted = Trim(section);
  bool inSection = false;
  for (const std::string& line : lines.Lines()) {
    if (const auto name = IniSectionName(line)) {
      if (inSection) break;  // the first matching section ends here
      inSection = SameText(*name, wanted);
      continue;
    }
    std::string_view key, value;
    if (inSection && SplitIniKeyLine(line, key, value)) keys.emplace_back(key);
  }
  return keys;
}

void TIniFile::WriteString(const std::string& section, const std::string& key,
                           const std::string& value) {
  TStringList lines;
  if (ReadLines(path_, lines) == ReadResult::kFailed) {
    throw EIniFileException(UnableToWriteMessage(path_));
  }
  // A refused write must not be hidden by the rename: a read-only file stays as it is.
  if (::access(path_.c_str(), F_OK) == 0 && ::access(path_.c_str(), W_OK) != 0) {
    throw EIniFileException(UnableToWriteMessage(path_));
  }
  const std::string sectionName(Trim(section));
  const std::string keyName(Trim(key));
  std::string keyLine = keyName + "=" + value;
  const Location found = Find(lines, sectionName, keyName);
  if (found.key >= 0) {
    lines.Put(found.key, std::move(keyLine));
  } else if (found.section >= 0) {
    lines.Insert(found.insertAt + 1, std::move(keyLine));
  } else {
    lines.Add("[" + sectionName + "]");
    lines.Add(std::move(keyLine));
  }
  if (!ReplaceFile(path_, lines.Text())) throw EIniFileException(UnableToWriteMessage(path_));
}

std::optional<std::string_view> IniSectionName(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(1, close - 1));
}

bool SplitIniKeyLine(std::string_view line, std::string_view& key, std::string_view& value) {
  const std::string_view trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '[') return false;
  const size_t equals = trimmed.find('=');
  if (equals == std::string_view::npos) return false;
  key = Trim(trimmed.substr(0, equals));
  value = Trim(trimmed.substr(equals + 1));
  return true;
}

bool ParseIniInteger(const std::string& text, int& value) {
  const std::optional<int32_t> parsed = ParseInt32(text, IntegerDigits::kDecimalOrHex);
  if (parsed) value = *parsed;
  return parsed.has_value();
}

int TIniFile::ReadInteger(const std::string& section, const std::string& key,
                          int defaultValue) const {
  int value = defaultValue;
  if (!ParseIniInteger(ReadString(section, key, ""), value)) return defaultValue;
  return value;
}

void TIniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
  WriteString(section, key, std::to_string(value));
}

}  // namespace pixhaul
