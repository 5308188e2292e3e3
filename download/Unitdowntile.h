// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TDownTileThread: fetches one image address on a thread of its own and saves the body.
//
// The run controller spawns one worker per address whose file is not yet in the save folder
// and keeps no handle to it: the worker deletes itself when Execute returns (FreeOnTerminate).
// The worker owns its HTTP client (a DownloadClient, with its TLS intercept) and body file. It
// touches the run state only through its two blocking hand-offs to the main thread
// (worker_reports.h), in this order: its result line and its WorkerFinished, with whether the image
// was saved. However the worker ends, exactly one WorkerFinished reaches the main thread, so the
// receiver must outlive it. Create it on the main thread.
//
// The body streams into a temporary file in the save folder as it arrives, through a bounded
// buffer, so a worker's memory does not grow with the body. The file is renamed onto the
// target only when the body is complete and written; on every failure (an error reply, a body
// cut short or over the bound, a write the disk refuses) it is removed, so a failed save never
// leaves a partial file under the image's name. A redirect's body is overwritten by the next
// hop's and so never reaches the target either.
//
// Tests: tests/download/down_tile_thread_test.cpp.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "download/worker_options.h"
#include "download/worker_reports.h"
#include "framework/thread.h"

namespace pixhaul {

class DownloadClient;
class TemporaryFile;

// Outcome codes of a worker.
enum DownTileOutcome : int {
  kOutcomeNone = 0,              // no failure so far
  kOutcomeSaved = 1,             // body saved to the file
  kOutcomeRedirectOrDenied = 2,  // the GET failed with "302" or "403" in the message
  kOutcomeSocketError = 3,       // ... with "Socket Error" (and neither "302" nor "403")
  kOutcomeOtherFailure = 4,      // ... with none of the texts of codes 2, 3 and 5
  kOutcomeNotFound = 5,          // ... with "404" or "400" (and none of the texts of 2 and 3)
  kOutcomeNotAnException = 6,    // the GET raised something that is not an Exception
  kOutcomeSaveFailed = 7,        // the body could not be written to its file or given its name
  kOutcomeNotAnImage = 8,        // the body was a document, not an image
  kOutcomeFiltered = 9,          // the image was smaller than the minimum size
  kOutcomeDuplicate = 10,        // the image was a second copy of one already kept
};

// How a worker with this outcome reports its end.
WorkerResult WorkerResultOf(int outcome);

// Classifies the message of a failed GET: the first of "302", "403" (2), "Socket Error" (3),
// "404", "400" (5) found as a case-sensitive substring decides; none gives 4.
int ClassifyGetFailure(const std::string& message);

class TDownTileThread : public TThread {
 public:
  // The thread starts when TThread::Spawn returns unless created suspended. `run` is the run
  // number it hands back with its WorkerFinished; `reports` receives the hand-offs and must
  // outlive the worker. `checks` say what a complete body must pass to be kept (documents are
  // never kept) and how often a transient failure is tried again.
  TDownTileThread(std::string url, std::string fileName, int index, std::string saveFolder,
                  unsigned run, WorkerReports& reports, WorkerOptions checks = {});
  ~TDownTileThread() override;

  // The addresses of the workers alive in the process (created and not yet deleted), in no
  // particular order: what a front end names when it gives up waiting for them. Any thread.
  static std::vector<std::string> LiveAddresses();

  std::string LogLine;  // the result line; empty until Execute sets it
  std::string Reason;   // why the image was not saved, as the line gives it; empty until then
  int Index;            // 0-based position of the address in the run's list
  unsigned Run;         // the run it was started for, handed back with its WorkerFinished
  int Outcome = kOutcomeNone;
  std::string Url;         // the address exactly as listed
  std::string FileName;    // the target file name
  std::string SaveFolder;  // ends in "/"

 protected:
  void Execute() override;

 private:
  void Fetch();
  // One try: a new client and body file, the GET. Sets LogLine and Outcome on a failure and
  // tells whether it may pass on another try.
  // A failed save's message naming the file it was for: "Stream write error (/d/a.jpg)".
  std::string SaveFailureText(const std::string& message) const;
  bool TryOnce(std::unique_ptr<DownloadClient>& client, std::unique_ptr<TemporaryFile>& body,
               std::optional<std::chrono::steady_clock::time_point>& deadline);
  void Keep(TemporaryFile& body, const std::string& contentType);
  // LogLine and Reason for a failure with this message, or for one without a message.
  void SetFailure(const std::optional<std::string>& message);
  void HandOffLogLine();
  void HandOffWorkerFinished();

  WorkerReports& reports_;
  WorkerOptions options_;
  // Its entry among the live workers' addresses (LiveAddresses).
  std::multiset<std::string>::iterator liveEntry_;
};

// Spawns a running, self-deleting worker: what the run controller does for each address.
// Raises EThread when the thread cannot be created.
void StartDownTileThread(const std::string& url, const std::string& fileName, int index,
                         const std::string& saveFolder, unsigned run, WorkerReports& reports,
                         const WorkerOptions& checks = {});

}  // namespace pixhaul
