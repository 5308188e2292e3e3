// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/run_preparation.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "download/run_texts.h"
#include "download/save_folder.h"
#include "download/wrong_site.h"
#include "framework/leftover_files.h"
#include "harvest/address_harvest.h"
#include "harvest/site_table.h"

namespace pixhaul {

std::optional<PreparedRun> PrepareRun(RunWindow& window, RuleBook& rules,
                                      const RulesFileSource& rulesFile, StepLines lines,
                                      std::vector<FolderLock>* keptLocks) {
  auto log = [&](const std::string& text) {
    if (lines == StepLines::kLogged) window.AppendLogLine(text);
  };

  const std::string folderText = window.SaveFolderText();
  // Opened once: every file of the run is named in this folder, whatever its path names later.
  std::optional<RunFolder> folder;
  if (const std::optional<std::string> path = PrepareSaveFolder(folderText)) {
    folder = RunFolder::Open(*path);
  }
  if (!folder) {
    window.ShowMessage(CreateDirectoryFailedMessage(folderText));
    return std::nullopt;
  }
  // Two runs in one folder would replace each other's page, list and log, and one would scan
  // the other's page. A folder that cannot be locked at all is used as before.
  FolderLock folderLock;
  const auto kept =
      keptLocks == nullptr
          ? std::vector<FolderLock>::iterator()
          : std::find_if(keptLocks->begin(), keptLocks->end(), [&](const FolderLock& lock) {
              return lock.CoversOpenFolder(folder->Descriptor());
            });
  // A kept lock goes back to the caller when the steps end without a run.
  struct KeepBack {
    std::vector<FolderLock>* keptLocks;
    FolderLock& lock;
    ~KeepBack() {
      if (keptLocks != nullptr && lock.GetState() == FolderLock::State::kHeld) {
        keptLocks->push_back(std::move(lock));
      }
    }
  };
  std::optional<KeepBack> keepBack;
  if (keptLocks != nullptr && kept != keptLocks->end()) {
    // The caller's own earlier run still saves here: the same window may start again.
    folderLock = std::move(*kept);
    keptLocks->erase(kept);
    keepBack.emplace(KeepBack{keptLocks, folderLock});
  } else {
    folderLock = FolderLock::TryLockOpenFolder(folder->Descriptor());
  }
  if (folderLock.Busy()) {
    window.ShowMessage(AnotherRunMessage(folderText));
    return std::nullopt;
  }
  // Temporary files that processes cut off before they could clean up left in the folder.
  RemoveLeftoverTemporaryFilesIn(folder->Descriptor());

  if (lines == StepLines::kLogged) window.ClearLog();
  window.ShowListSource("");
  log(kLogHeadLine);
  log(kGettingPageLine);
  log("");

  std::optional<PageMarkup> markup = window.CapturePageMarkup();
  if (!markup) {
    window.ShowMessage(kNoDocumentMessage);
    return std::nullopt;
  }
  log(kGotPageLine);
  log("");

  PreparedRun run{*folder, folder->Path() + kListFileName, 0, std::move(folderLock)};
  const FileTarget pageFile = folder->File(kPageFileName);
  const FileTarget listFile = folder->File(kListFileName);
  // Written as the single entry of a line list is saved, without another copy of the page;
  // the run needs only the file from here on, read through the descriptor it was written by.
  const FileDescriptor written = markup->SaveToFile(pageFile);
  markup.reset();
  log(kGettingListLine);
  log("");

  // The site's marker scan, or its current-layout rules when the marker finds nothing. Faults
  // of the rules file (when it has changed) and rules that stopped at the engine's limits are
  // shown together in one message box; the list stands either way.
  std::vector<std::string> problems = rules.Refresh(rulesFile ? rulesFile() : RulesFileLocation{});
  const std::optional<SiteId> site = window.CurrentSite();
  HarvestResult harvest =
      HarvestImageUrls(PageFile(pageFile.path, written.Get()), listFile, site, rules);
  problems.insert(problems.end(), harvest.problems.begin(), harvest.problems.end());
  if (!problems.empty()) {
    std::string text;
    for (const std::string& problem : problems) text += (text.empty() ? "" : "\n") + problem;
    window.ShowMessage(text);
  }
  if (harvest.byRules) window.ShowListSource(RulesListNote(*site));
  if (harvest.listCut) window.ShowListSource(ListCutNote(harvest.count));
  if (!harvest.foundAddresses) {
    // Only a hint: a page that cannot be scanned again just goes without it.
    try {
      const std::optional<SiteId> other =
          OtherSiteOfPage(window.PageAddress(), site, PageFile(pageFile.path, written.Get()), rules,
                          folder->File(std::string(kListFileName) + ".other-site"));
      if (other) window.ShowWrongSite(*other);
    } catch (const std::exception&) {
    }
  }
  run.addressCount = harvest.count;
  return run;
}

}  // namespace pixhaul
