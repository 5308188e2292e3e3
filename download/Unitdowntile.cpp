// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/Unitdowntile.h"

#include <memory>
#include <mutex>
#include <set>

#include "download/download_client.h"
#include "download/run_end.h"
#include "download/run_texts.h"
#include "download/temporary_file.h"
#include "framework/exception.h"
#include "framework/message_pump.h"
#include "framework/visible_text.h"

namespace pixhaul {

namespace {

// The addresses of the workers alive in the process, one entry per worker.
struct LiveWorkers {
  std::mutex mutex;
  std::multiset<std::string> addresses;  // guarded by mutex
};

LiveWorkers& Live() {
  static LiveWorkers live;
  return live;
}

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

}  // namespace

int ClassifyGetFailure(const std::string& message) {
  if (Contains(message, "302") || Contains(message, "403")) return kOutcomeRedirectOrDenied;
  if (Contains(message, "Socket Error")) return kOutcomeSocketError;
  if (Contains(message, "404") || Contains(message, "400")) return kOutcomeNotFound;
  return kOutcomeOtherFailure;
}

WorkerResult WorkerResultOf(int outcome) {
  switch (outcome) {
    case kOutcomeSaved:
      return WorkerResult::kSaved;
    case kOutcomeNotAnImage:
      return WorkerResult::kNotImage;
    case kOutcomeFiltered:
      return WorkerResult::kFiltered;
    case kOutcomeDuplicate:
      return WorkerResult::kDuplicate;
    default:
      return WorkerResult::kFailed;
  }
}

TDownTileThread::TDownTileThread(std::string url, std::string fileName, int index,
                                 std::string saveFolder, unsigned run, WorkerReports& reports,
                                 KeepChecks checks)
    : Index(index),
      Run(run),
      Url(std::move(url)),
      FileName(std::move(fileName)),
      SaveFolder(std::move(saveFolder)),
      reports_(reports),
      checks_(std::move(checks)) {
  SetFreeOnTerminate(true);
  LiveWorkers& live = Live();
  std::lock_guard lock(live.mutex);
  liveEntry_ = live.addresses.insert(Url);
}

TDownTileThread::~TDownTileThread() {
  LiveWorkers& live = Live();
  std::lock_guard lock(live.mutex);
  live.addresses.erase(liveEntry_);
}

std::vector<std::string> TDownTileThread::LiveAddresses() {
  LiveWorkers& live = Live();
  std::lock_guard lock(live.mutex);
  return std::vector<std::string>(live.addresses.begin(), live.addresses.end());
}

void TDownTileThread::Execute() {
  // A body larger than the process may write ends as a failed save (its write fails with
  // EFBIG), not as the end of the program.
  HoldBackFileSizeSignalOnThisThread();
  // Whatever happens below, the receiver must get its WorkerFinished: a worker that ends
  // without it would hold a live slot for the rest of the run.
  try {
    Fetch();
  } catch (...) {
  }
  HandOffWorkerFinished();
}

void TDownTileThread::Fetch() {
  // Declared so that the body file goes before the client that writes to it.
  std::unique_ptr<DownloadClient> client;
  std::unique_ptr<TemporaryFile> body;
  // A failure of the file the body goes to is a failed save, whichever step it stopped.
  bool fileRefused = false;
  auto saveFailed = [&] { return fileRefused || (body && body->Stream().WriteFailed()); };
  try {
    client = std::make_unique<DownloadClient>();
    // The body goes to disk as it arrives, through the stream's bounded buffer, so a worker
    // holds the same memory whatever the body's size.
    fileRefused = true;
    body = std::make_unique<TemporaryFile>(SaveFolder, FileName, Index);
    fileRefused = false;
    Outcome = kOutcomeNone;
    client->GetInto(Url, body->Stream());
  } catch (const Exception& e) {
    LogLine = ExceptionLine(Index, e.Message(), Url);
    Outcome = saveFailed() ? kOutcomeSaveFailed : ClassifyGetFailure(e.Message());
  } catch (...) {
    LogLine = FailedLine(Index, Url);
    Outcome = saveFailed() ? kOutcomeSaveFailed : kOutcomeNotAnException;
  }

  if (Outcome == kOutcomeNone) {
    try {
      Keep(*body, client->Http().Reply.ContentType);
    } catch (const Exception& e) {
      LogLine = ExceptionLine(Index, e.Message(), Url);
      Outcome = kOutcomeSaveFailed;
    } catch (...) {
      LogLine = FailedLine(Index, Url);
      Outcome = kOutcomeSaveFailed;
    }
  }

  HandOffLogLine();
  body.reset();  // an uncommitted temporary file is removed here
  client.reset();
}

void TDownTileThread::Keep(TemporaryFile& body, const std::string& contentType) {
  body.Finish();
  if (const std::optional<Refusal> refusal =
          CheckBody(contentType, body.Handle(), checks_.filters)) {
    LogLine = ExceptionLine(Index, refusal->reason, Url);
    Outcome = refusal->result == WorkerResult::kNotImage ? kOutcomeNotAnImage : kOutcomeFiltered;
    return;
  }
  if (checks_.duplicates) {
    if (const std::optional<std::string> same = checks_.duplicates->KeepUnlessDuplicate(
            body.Handle(), FileName, [&body] { body.Commit(); })) {
      LogLine = ExceptionLine(Index, SameImageReason(*same), Url);
      Outcome = kOutcomeDuplicate;
      return;
    }
  } else {
    body.Commit();
  }
  Outcome = kOutcomeSaved;
  LogLine = SavedLine(Index, FileName);
}

void TDownTileThread::HandOffLogLine() {
  try {
    TThread::Synchronize([this] { reports_.AppendWorkerLine(LogLine); });
  } catch (...) {
    // A failing pane must not keep the worker from handing in its decrement.
  }
}

void TDownTileThread::HandOffWorkerFinished() {
  WorkerReports* reports = &reports_;
  const unsigned run = Run;
  const WorkerResult result = WorkerResultOf(Outcome);
  bool ran = false;  // written on the main thread before Synchronize returns to us
  try {
    TThread::Synchronize([reports, run, result, &ran] {
      ran = true;
      reports->WorkerFinished(run, result);
    });
  } catch (...) {
    // The hand-off itself failed before the action ran: post the decrement instead, so the
    // slot is still given back.
    if (!ran) {
      try {
        CurrentMessagePump().Post([reports, run, result] { reports->WorkerFinished(run, result); });
      } catch (...) {
      }
    }
  }
}

void StartDownTileThread(const std::string& url, const std::string& fileName, int index,
                         const std::string& saveFolder, unsigned run, WorkerReports& reports,
                         const KeepChecks& checks) {
  TThread::Spawn<TDownTileThread>(false, url, fileName, index, saveFolder, run, reports, checks);
}

}  // namespace pixhaul
