// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// Every text a run writes into its log and message boxes: the log's step and closing lines,
// the workers' result lines, the message boxes, the notes on the address list and the lines
// pixhaul-cli adds on standard error after the run. How the run is going and how it ended is
// told in words of run_outcome.h. Tests and users compare them byte for
// byte, so each is built here and nowhere else; a function's comment gives its form, with its
// argument in place of "%s" or "%d".
//
// Tests: tests/download/run_controller_test.cpp and tests/download/down_tile_thread_test.cpp.
#pragma once

#include <string>

#include "harvest/site_table.h"

namespace pixhaul {

// The log's step lines, in the order a run writes them; an empty line follows each but the
// head.
inline constexpr const char* kLogHeadLine = "Log:";
inline constexpr const char* kGettingPageLine = "Start to get the search result... please wait...";
inline constexpr const char* kGotPageLine = "Successful to get the search result.";
inline constexpr const char* kGettingListLine = "Now to get the url list...";
inline constexpr const char* kGotListLine = "Got the url list successfully.";
std::string TotalUrlCountLine(int count);  // "Total url count:%d"
inline constexpr const char* kStartingDownloadsLine = "Now start to download these images.";

// The closing line of a run, and the stop path's line before its wait.
inline constexpr const char* kRunFinishedLine = "All images downloaded, task finished.";
inline constexpr const char* kStoppingLine =
    "Task will be terminated by user. please wait some seconds...";

// A worker's one result line. Names, addresses and messages come from the page or quote the
// server, so their control bytes are shown as escapes; the program's own messages keep their
// CR LF line break.
std::string SavedLine(int index, const std::string& fileName);  // "T%d %s: OK"
std::string ExceptionLine(int index, const std::string& message,
                          const std::string& url);          // "T%d:%s %s"
std::string FailedLine(int index, const std::string& url);  // "T%d failed: %s"
// The reason a download of a FailedLine failed, for the list of what failed.
inline constexpr const char* kFailedReason = "failed";

// Why a complete body was not kept, as the message of a worker's ExceptionLine.
std::string NotAnImageReason(const std::string& mediaType);  // "Not an image (%s)." (the type
                                                             // as served, else "a document")
std::string SmallerThanReason(const std::string& minimum,
                              const std::string& actual);  // "Smaller than %s (%s)."
std::string SameImageReason(const std::string& fileName);  // "Same image as %s."

// Follows the last failure's line of a download that was tried more than once.
std::string AfterTriesSuffix(int tries);  // " (after %d tries)"

// Message boxes of the start path.
inline constexpr const char* kNoDocumentMessage = "Error: can not get document.";
std::string CreateDirectoryFailedMessage(
    const std::string& folderText);                            // "Create directory %s Failed."
std::string AnotherRunMessage(const std::string& folderText);  // "Another run is saving into %s."

// Status-bar notes: the list came from the site's current-layout rules, or was cut at its
// bound; the page belongs to another site.
std::string ListCutNote(int entries);     // "The address list was cut at 16 times the page's size,
                                          //  after %d entries: the page's addresses hold the
                                          //  site's marker again"
std::string RulesListNote(SiteId site);   // "Addresses found by the current-layout rules for %s"
std::string WrongSiteNote(SiteId site);   // "This page is from %s; the selected site found
                                          //  nothing on it"
std::string UseSiteCaption(SiteId site);  // "Use Bing for this page" (the site's name)

// pixhaul-cli's lines after the run: a worker's line that came after the closing lines, and a
// download cut off with the process.
inline constexpr const char* kLateLineSuffix = " (after the run's end)";
std::string AbandonedDownloadLine(const std::string& program,
                                  const std::string& address);  // "%s: download still running
                                                                //  after the wait for it,
                                                                //  abandoned: %s"

}  // namespace pixhaul
