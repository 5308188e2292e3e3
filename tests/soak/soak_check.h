// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Verdicts of the soak tests: reading a run's log.txt back into per-address result records,
// and checking records, saved files and the save folder against what the fault server did.
//
// Pure functions over texts and folders; any thread. Each check returns the problems it found
// as readable sentences (empty when all is well), so a failing soak names every address that
// went wrong, not only the first.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/support/fault_catalogue.h"

namespace pixhaul::test {

// A run log split into the controller's opening lines, the workers' result records and the
// closing lines. A record is one worker line; a message holding CR LF continues it on the next
// log line(s), which are joined back with CR LF.
struct RunLog {
  int totalCount = -1;                              // from "Total url count:<n>"
  std::map<int, std::vector<std::string>> records;  // by worker index, in log order
  std::vector<std::string> problems;                // layout faults
};

// `logText` is log.txt as written: every line followed by CR LF.
RunLog ParseRunLog(const std::string& logText);

// What one address of the page must produce in a run.
struct Expectation {
  enum class Presence {
    kLine,     // exactly one record
    kSkipped,  // no record and no request: its file was already there
    kEither,   // one record or none (when a record, it must be the expected one)
  };
  FaultEntry entry;
  std::string address;
  std::string fileName;
  ExpectedOutcome outcome;
  Presence presence = Presence::kLine;
};

// The record text for `index` is the expected one (exact; for outcomes with any message, the
// "T<i>:" prefix, a message and the " <address>" suffix).
bool RecordMatches(int index, const Expectation& expectation, const std::string& record);

// Every address has the records its presence asks for, each as expected; no record names an
// index outside the list.
std::vector<std::string> CheckRecords(const RunLog& log, const std::vector<Expectation>& page);

// The save folder holds exactly: result_content.txt, url_list.txt, log.txt (when `withLog`),
// one file per saved outcome with exactly the expected bytes, and the names in
// `toleratedExtras`. No failed address has a file.
std::vector<std::string> CheckSaveFolder(const std::string& folder,
                                         const std::vector<Expectation>& page, bool withLog,
                                         const std::set<std::string>& toleratedExtras);

// After a run was killed: every file bearing an address's target name is that address's
// complete image (a later run would skip it). Returns the problems; `others` receives the
// names of files that bear no target name (temporaries the killed run left).
std::vector<std::string> CheckNoIncompleteTargets(const std::string& folder,
                                                  const std::vector<Expectation>& page,
                                                  std::set<std::string>& others);

}  // namespace pixhaul::test
