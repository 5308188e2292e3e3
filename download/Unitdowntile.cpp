// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "download/Unitdowntile.h"

#include <chrono>
#include <ctime>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "download/download_client.h"
#include "download/image_check.h"
#include "download/process_end.h"
#include "download/retry_policy.h"
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
                                 WorkerOptions checks)
    : Index(index),
      Run(run),
      Url(std::move(url)),
      FileName(std::move(fileName)),
      SaveFolder(std::move(saveFolder)),
      reports_(reports),
      options_(std::move(checks)) {
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
  // Every try of this download shares the one limit a download has.
  std::optional<std::chrono::steady_clock::time_point> deadline;
  int tries = 0;
  for (;;) {
    ++tries;
    body.reset();
    client.reset();
    const bool transient = TryOnce(client, body, deadline);
    if (Outcome != kOutcomeNone) {
      // Transient failures may be tried again, after a wait a stop cuts short.
      if (!transient || tries > options_.retries || !deadline) break;
      const std::string retryAfter =
          client ? client->Http().Reply.ExtraHeaders().ValueOf("Retry-After") : std::string();
      const auto wait = RetryWait(tries, retryAfter, std::time(nullptr));
      if (std::chrono::steady_clock::now() + wait >= *deadline) break;
      if (options_.stop ? options_.stop->WaitFor(wait) : (std::this_thread::sleep_for(wait), false))
        break;
      continue;
    }
    try {
      Keep(*body, client->Http().Reply.ContentType);
    } catch (const Exception& e) {
      SetFailure(SaveFailureText(e.Message()));
      Outcome = kOutcomeSaveFailed;
    } catch (...) {
      SetFailure(std::nullopt);
      Outcome = kOutcomeSaveFailed;
    }
    break;
  }
  if (tries > 1 && Outcome != kOutcomeSaved) {
    LogLine += AfterTriesSuffix(tries);
    Reason += AfterTriesSuffix(tries);
  }

  HandOffLogLine();
  body.reset();  // an uncommitted temporary file is removed here
  client.reset();
}

std::string TDownTileThread::SaveFailureText(const std::string& message) const {
  const std::string path = SaveFolder + FileName;
  // "Cannot create file <path>" names it already.
  if (message.find(path) != std::string::npos) return message;
  return message + " (" + path + ")";
}

bool TDownTileThread::TryOnce(std::unique_ptr<DownloadClient>& client,
                              std::unique_ptr<TemporaryFile>& body,
                              std::optional<std::chrono::steady_clock::time_point>& deadline) {
  // A failure of the file the body goes to is a failed save, whichever step it stopped.
  bool fileRefused = false;
  auto saveFailed = [&] { return fileRefused || (body && body->Stream().WriteFailed()); };
  try {
    client = std::make_unique<DownloadClient>();
    const int limitMs = client->Http().CallTimeLimitMs();
    if (!deadline && limitMs >= 0)
      deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    client->Http().CallDeadline = deadline;
    // The body goes to disk as it arrives, through the stream's bounded buffer, so a worker
    // holds the same memory whatever the body's size.
    fileRefused = true;
    body = std::make_unique<TemporaryFile>(
        FileTarget(options_.folder.Descriptor(), SaveFolder + FileName), Index);
    fileRefused = false;
    Outcome = kOutcomeNone;
    client->GetInto(Url, body->Stream());
    return false;
  } catch (const Exception& e) {
    // A full disk names the file it could not take, so the user knows which folder filled.
    SetFailure(saveFailed() ? SaveFailureText(e.Message()) : e.Message());
    Outcome = saveFailed() ? kOutcomeSaveFailed : ClassifyGetFailure(e.Message());
    return Outcome != kOutcomeSaveFailed && IsTransientFailure(e);
  } catch (...) {
    SetFailure(std::nullopt);
    Outcome = saveFailed() ? kOutcomeSaveFailed : kOutcomeNotAnException;
    return false;
  }
}

void TDownTileThread::Keep(TemporaryFile& body, const std::string& contentType) {
  body.Finish();
  if (const std::optional<Refusal> refusal =
          CheckBody(contentType, body.Handle(), options_.filters)) {
    SetFailure(refusal->reason);
    Outcome = refusal->result == WorkerResult::kNotImage ? kOutcomeNotAnImage : kOutcomeFiltered;
    return;
  }
  if (options_.duplicates) {
    if (const std::optional<std::string> same = options_.duplicates->KeepUnlessDuplicate(
            body.Handle(), FileName, [&body] { body.Commit(); })) {
      SetFailure(SameImageReason(*same));
      Outcome = kOutcomeDuplicate;
      return;
    }
  } else {
    body.Commit();
  }
  Outcome = kOutcomeSaved;
  LogLine = SavedLine(Index, FileName);
}

void TDownTileThread::SetFailure(const std::optional<std::string>& message) {
  if (message) {
    LogLine = ExceptionLine(Index, *message, Url);
    // One line for the list of what failed: a socket error's two lines joined by a blank.
    std::string oneLine = *message;
    for (size_t at; (at = oneLine.find("\r\n")) != std::string::npos;) oneLine.replace(at, 2, " ");
    Reason = VisibleText(oneLine);
  } else {
    LogLine = FailedLine(Index, Url);
    Reason = kFailedReason;
  }
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
  const WorkerEnd end{WorkerResultOf(Outcome), Url, Outcome == kOutcomeSaved ? "" : Reason};
  bool ran = false;  // written on the main thread before Synchronize returns to us
  try {
    TThread::Synchronize([reports, run, &end, &ran] {
      ran = true;
      reports->WorkerFinished(run, end);
    });
  } catch (...) {
    // The hand-off itself failed before the action ran: post the decrement instead, so the
    // slot is still given back.
    if (!ran) {
      try {
        CurrentMessagePump().Post([reports, run, end] { reports->WorkerFinished(run, end); });
      } catch (...) {
      }
    }
  }
}

void StartDownTileThread(const std::string& url, const std::string& fileName, int index,
                         const std::string& saveFolder, unsigned run, WorkerReports& reports,
                         const WorkerOptions& checks) {
  TThread::Spawn<TDownTileThread>(false, url, fileName, index, saveFolder, run, reports, checks);
}

}  // namespace pixhaul
