#include "download/Unitdowntile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <random>

#include "download/run_controller.h"
#include "framework/exception.h"
#include "framework/memory_stream.h"
#include "framework/message_pump.h"
#include "framework/posix_file.h"
#include "http/id_http.h"
#include "http/ssl_intercept.h"

namespace pixhaul {

namespace {

// Removes the temporary file unless the save completed and renamed it.
class TemporaryPath {
 public:
  explicit TemporaryPath(std::string path) : path_(std::move(path)) {}
  ~TemporaryPath() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryPath(const TemporaryPath&) = delete;
  TemporaryPath& operator=(const TemporaryPath&) = delete;
  const std::string& Get() const { return path_; }
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

std::string TemporaryName(int index) {
  thread_local std::mt19937 random{std::random_device{}()};
  char buffer[80];
  std::snprintf(buffer, sizeof buffer, ".pixhaul-%ld-%d-%08x.part", static_cast<long>(::getpid()),
                index, static_cast<unsigned>(random()));
  return buffer;
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

TDownTileThread::TDownTileThread(std::string url, std::string fileName, int index,
                                 std::string saveFolder, TRunController& controller)
    : Index(index),
      Run(controller.RunNumber()),
      Url(std::move(url)),
      FileName(std::move(fileName)),
      SaveFolder(std::move(saveFolder)),
      controller_(controller) {
  SetFreeOnTerminate(true);
}

void TDownTileThread::Execute() {
  // Whatever happens below, the controller must get its WorkerFinished: a worker that ends
  // without it would hold a live slot for the rest of the run.
  try {
    Fetch();
  } catch (...) {
  }
  HandOffWorkerFinished();
}

void TDownTileThread::Fetch() {
  // Declared so that they go in the order buffer, client, intercept: the client refers to the
  // intercept until it is gone.
  std::unique_ptr<TIdConnectionInterceptOpenSSL> intercept;
  std::unique_ptr<TIdHTTP> http;
  std::unique_ptr<TMemoryStream> buffer;
  try {
    http = std::make_unique<TIdHTTP>();
    http->Request.Referer = kDownloadReferer;
    http->Request.UserAgent = kDownloadUserAgent;
    http->HandleRedirects = true;
    intercept = std::make_unique<TIdConnectionInterceptOpenSSL>();
    intercept->SSLOptions().Method = sslvSSLv23;
    http->SetIntercept(intercept.get());
    buffer = std::make_unique<TMemoryStream>();
    Outcome = kOutcomeNone;
    http->GetInto(Url, *buffer);
  } catch (const Exception& e) {
    LogLine = "T" + std::to_string(Index) + ":" + e.Message() + " " + Url;
    Outcome = ClassifyGetFailure(e.Message());
  } catch (...) {
    LogLine = "T" + std::to_string(Index) + " failed: " + Url;
    Outcome = kOutcomeNotAnException;
  }

  if (Outcome == kOutcomeNone) {
    try {
      SaveBody(*buffer);
      Outcome = kOutcomeSaved;
      LogLine = "T" + std::to_string(Index) + " " + FileName + ": OK";
    } catch (const Exception& e) {
      LogLine = "T" + std::to_string(Index) + ":" + e.Message() + " " + Url;
      Outcome = kOutcomeSaveFailed;
    } catch (...) {
      LogLine = "T" + std::to_string(Index) + " failed: " + Url;
      Outcome = kOutcomeSaveFailed;
    }
  }

  HandOffLogLine();
  buffer.reset();
  http.reset();
  intercept.reset();
}

void TDownTileThread::SaveBody(const TMemoryStream& body) {
  const std::string target = SaveFolder + FileName;
  // Write beside the target under a name no other worker or process uses, then rename: the
  // image's own name appears only once the whole body is on disk.
  int fd = -1;
  std::string temporary;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temporary = SaveFolder + TemporaryName(Index);
    fd = OpenRetrying(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) throw EFCreateError(CannotCreateFileMessage(target));
  FileDescriptor file(fd);
  TemporaryPath cleanup(temporary);

  if (!WriteAll(file.Get(), body.Memory(), static_cast<size_t>(body.Size())) || !file.Close()) {
    throw EWriteError(kStreamWriteError);
  }
  if (::rename(temporary.c_str(), target.c_str()) != 0) {
    throw EFCreateError(CannotCreateFileMessage(target));
  }
  cleanup.Release();
}

void TDownTileThread::HandOffLogLine() {
  try {
    TThread::Synchronize([this] { controller_.AppendWorkerLine(LogLine); });
  } catch (...) {
    // A failing pane must not keep the worker from handing in its decrement.
  }
}

void TDownTileThread::HandOffWorkerFinished() {
  TRunController* controller = &controller_;
  const unsigned run = Run;
  const bool saved = Outcome == kOutcomeSaved;
  bool ran = false;  // written on the main thread before Synchronize returns to us
  try {
    TThread::Synchronize([controller, run, saved, &ran] {
      ran = true;
      controller->WorkerFinished(run, saved);
    });
  } catch (...) {
    // The hand-off itself failed before the action ran: post the decrement instead, so the
    // slot is still given back.
    if (!ran) {
      try {
        CurrentMessagePump().Post(
            [controller, run, saved] { controller->WorkerFinished(run, saved); });
      } catch (...) {
      }
    }
  }
}

void StartDownTileThread(const std::string& url, const std::string& fileName, int index,
                         const std::string& saveFolder, TRunController& controller) {
  TThread::Spawn<TDownTileThread>(false, url, fileName, index, saveFolder, controller);
}

}  // namespace pixhaul
