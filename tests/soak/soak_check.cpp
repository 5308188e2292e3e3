// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "tests/soak/soak_check.h"

#include <cctype>
#include <regex>

#include "tests/support/temp_dir.h"

namespace pixhaul::test {

namespace {

const std::vector<std::string> kOpening = {
    "Log:", "Start to get the search result... please wait...",
    "",     "Successful to get the search result.",
    "",     "Now to get the url list...",
    "",     "Got the url list successfully.",
    "",     "Total url count:",
    "",     "Now start to download these images.",
    ""};
const std::vector<std::string> kClosing = {"", "All images downloaded, task finished."};

// "T<digits>" followed by a blank or a colon starts a worker record; returns the index or -1.
int RecordIndex(const std::string& line) {
  if (line.size() < 3 || line[0] != 'T') return -1;
  size_t i = 1;
  while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i]))) ++i;
  if (i == 1 || i == line.size() || (line[i] != ' ' && line[i] != ':') || i > 10) return -1;
  return std::stoi(line.substr(1, i - 1));
}

std::string Shorten(const std::string& text) {
  std::string shown = text.size() > 300 ? text.substr(0, 300) + "..." : text;
  for (size_t at = shown.find("\r\n"); at != std::string::npos; at = shown.find("\r\n"))
    shown.replace(at, 2, "\\r\\n");
  return shown;
}

}  // namespace

RunLog ParseRunLog(const std::string& logText) {
  RunLog log;
  if (logText.empty() || !logText.ends_with("\r\n")) {
    log.problems.push_back("log.txt is empty or does not end with CR LF");
    return log;
  }
  std::vector<std::string> lines;
  for (size_t start = 0; start < logText.size();) {
    const size_t end = logText.find("\r\n", start);
    lines.push_back(logText.substr(start, end - start));
    start = end + 2;
  }
  if (lines.size() < kOpening.size() + kClosing.size()) {
    log.problems.push_back("log.txt has only " + std::to_string(lines.size()) + " lines");
    return log;
  }
  for (size_t i = 0; i < kOpening.size(); ++i) {
    const bool countLine = kOpening[i] == "Total url count:";
    if (countLine && lines[i].starts_with(kOpening[i]) &&
        std::regex_match(lines[i].substr(kOpening[i].size()), std::regex("[0-9]+"))) {
      log.totalCount = std::stoi(lines[i].substr(kOpening[i].size()));
    } else if (countLine || lines[i] != kOpening[i]) {
      log.problems.push_back("opening line " + std::to_string(i + 1) + " is '" + lines[i] + "'");
    }
  }
  const size_t closingAt = lines.size() - kClosing.size();
  for (size_t i = 0; i < kClosing.size(); ++i) {
    if (lines[closingAt + i] != kClosing[i])
      log.problems.push_back("closing line is '" + lines[closingAt + i] + "'");
  }
  int current = -1;
  std::string record;
  auto flush = [&] {
    if (current >= 0) log.records[current].push_back(record);
  };
  for (size_t i = kOpening.size(); i < closingAt; ++i) {
    const int index = RecordIndex(lines[i]);
    if (index >= 0) {
      flush();
      current = index;
      record = lines[i];
    } else if (current >= 0 && !lines[i].empty()) {
      record += "\r\n" + lines[i];  // a message that holds CR LF
    } else {
      log.problems.push_back("unexpected log line " + std::to_string(i + 1) + ": '" +
                             Shorten(lines[i]) + "'");
    }
  }
  flush();
  return log;
}

bool RecordMatches(int index, const Expectation& expectation, const std::string& record) {
  if (!expectation.outcome.anyMessage)
    return record ==
           ExpectedLogLine(index, expectation.outcome, expectation.fileName, expectation.address);
  const std::string prefix = "T" + std::to_string(index) + ":";
  const std::string suffix = " " + expectation.address;
  return record.size() > prefix.size() + suffix.size() && record.starts_with(prefix) &&
         record.ends_with(suffix);
}

std::vector<std::string> CheckRecords(const RunLog& log, const std::vector<Expectation>& page) {
  std::vector<std::string> problems = log.problems;
  if (log.totalCount != static_cast<int>(page.size()))
    problems.push_back("Total url count is " + std::to_string(log.totalCount) + ", page has " +
                       std::to_string(page.size()));
  for (const auto& [index, records] : log.records) {
    if (index >= static_cast<int>(page.size()))
      problems.push_back("record for index " + std::to_string(index) + " outside the list");
  }
  for (size_t i = 0; i < page.size(); ++i) {
    const Expectation& expectation = page[i];
    const int index = static_cast<int>(i);
    const auto found = log.records.find(index);
    const size_t count = found == log.records.end() ? 0 : found->second.size();
    const std::string kind(FaultToken(expectation.entry.kind));
    using Presence = Expectation::Presence;
    if (count > 1) {
      problems.push_back("T" + std::to_string(i) + " (" + kind + ") has " + std::to_string(count) +
                         " records");
    } else if (count == 0 && expectation.presence == Presence::kLine) {
      problems.push_back("T" + std::to_string(i) + " (" + kind + ") has no record");
    } else if (count == 1 && expectation.presence == Presence::kSkipped) {
      problems.push_back("T" + std::to_string(i) + " (" + kind + ") should have been skipped: '" +
                         Shorten(found->second[0]) + "'");
    } else if (count == 1 && !RecordMatches(index, expectation, found->second[0])) {
      problems.push_back("T" + std::to_string(i) + " (" + kind +
                         (expectation.entry.tls ? ", TLS" : "") + ") is '" +
                         Shorten(found->second[0]) + "', expected '" +
                         Shorten(expectation.outcome.anyMessage
                                     ? "T" + std::to_string(i) + ":<message> " + expectation.address
                                     : ExpectedLogLine(index, expectation.outcome,
                                                       expectation.fileName, expectation.address)) +
                         "'");
    }
  }
  return problems;
}

std::vector<std::string> CheckSaveFolder(const std::string& folder,
                                         const std::vector<Expectation>& page, bool withLog,
                                         const std::set<std::string>& toleratedExtras) {
  std::vector<std::string> problems;
  const std::vector<std::string> entries = FolderEntries(folder);
  const std::set<std::string> names(entries.begin(), entries.end());
  std::set<std::string> allowed = {"result_content.txt", "url_list.txt"};
  if (withLog) allowed.insert("log.txt");
  for (const std::string& name : allowed) {
    if (!names.contains(name)) problems.push_back(name + " is missing");
  }
  for (const Expectation& expectation : page) {
    const std::string& name = expectation.fileName;
    if (!expectation.outcome.saved) {
      if (names.contains(name)) problems.push_back("failed address has a file: " + name);
      continue;
    }
    allowed.insert(name);
    if (!names.contains(name)) {
      problems.push_back("saved image missing: " + name);
      continue;
    }
    const std::string bytes = ReadFileBytes(folder + "/" + name);
    if (bytes != expectation.outcome.bytes)
      problems.push_back("saved image differs: " + name + " has " + std::to_string(bytes.size()) +
                         " bytes, expected " + std::to_string(expectation.outcome.bytes.size()));
  }
  allowed.insert(toleratedExtras.begin(), toleratedExtras.end());
  for (const std::string& name : names) {
    if (!allowed.contains(name)) problems.push_back("unexpected file in the save folder: " + name);
  }
  return problems;
}

std::vector<std::string> CheckNoIncompleteTargets(const std::string& folder,
                                                  const std::vector<Expectation>& page,
                                                  std::set<std::string>& others) {
  std::vector<std::string> problems;
  std::map<std::string, const Expectation*> byName;
  for (const Expectation& expectation : page) byName[expectation.fileName] = &expectation;
  for (const std::string& name : FolderEntries(folder)) {
    if (name == "result_content.txt" || name == "url_list.txt" || name == "log.txt") continue;
    const auto found = byName.find(name);
    if (found == byName.end()) {
      others.insert(name);
      continue;
    }
    const Expectation& expectation = *found->second;
    if (!expectation.outcome.saved) {
      problems.push_back("failed address has a file after the kill: " + name);
    } else if (ReadFileBytes(folder + "/" + name) != expectation.outcome.bytes) {
      problems.push_back("incomplete or wrong image under its target name after the kill: " + name);
    }
  }
  return problems;
}

}  // namespace pixhaul::test
