// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// The steps of a run before its downloads, shared by the start path of the run controller and
// pixhaul-cli's list-only mode so that both make the same folder and files: the save folder is
// created when missing (or its failure shown), temporary files that processes now gone left
// there are removed, the window's page markup is written to the page file and the address list
// is made from it with the site's marker or its current-layout rules.
//
// The window gives the folder text, the page and the site, and shows the messages: "Create
// directory ... Failed.", "Error: can not get document." and the rules' faults, all of them in
// one message box, and "Another run is saving into ..." when another run holds the folder's
// lock. Main thread only; framework errors (file creation) propagate.
//
// Tests: tests/download/run_controller_test.cpp.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "download/run_folder.h"
#include "download/run_window.h"
#include "framework/folder_lock.h"
#include "harvest/rule_book.h"

namespace pixhaul {

// The run's files in the save folder.
inline constexpr const char* kPageFileName = "result_content.txt";
inline constexpr const char* kListFileName = "url_list.txt";
inline constexpr const char* kLogFileName = "log.txt";

// What a run has once its address list is made.
struct PreparedRun {
  RunFolder folder;      // the save folder, open; its path ends in "/"
  std::string listFile;  // folder.Path() + kListFileName
  int addressCount = 0;  // the entries written to the list
  // Held from before the first file of the run is touched until this object goes: no other
  // run, in this process or another, prepares a run in the same folder meanwhile.
  FolderLock folderLock;
};

// Whether the steps write their lines to the window's log pane (a run) or leave it alone (a
// list alone).
enum class StepLines { kLogged, kSilent };

// Asked for where the rules file is just before the list is made; an empty function means none.
using RulesFileSource = std::function<RulesFileLocation()>;

// Performs the steps; nothing when the folder cannot be created, another run holds it (nothing
// is written then, not even the log pane) or the window has no page, once the message saying so
// is shown. The page is scanned from the very file the steps wrote, never from whatever may
// have taken its name since. `rules` keeps the rules read from the file between runs.
// `keptLocks` (may be null) are locks the caller still holds for earlier runs whose downloads
// go on; one that covers the folder is taken out of it for this run instead of being refused.
std::optional<PreparedRun> PrepareRun(RunWindow& window, RuleBook& rules,
                                      const RulesFileSource& rulesFile, StepLines lines,
                                      std::vector<FolderLock>* keptLocks = nullptr);

}  // namespace pixhaul
