// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// test-labels: threaded
// The download worker against loopback http and https servers: what it saves, the line it
// hands to the log, its outcome, and that it always hands in exactly one WorkerFinished.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "download/Unitdowntile.h"
#include "download/run_controller.h"
#include "framework/stop_signal.h"
#include "http/socket/tcp_connection.h"
#include "loopback/loopback_server.h"
#include "tests/download/fake_run_window.h"
#include "tests/download/fake_workers.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/image_bytes.h"
#include "tests/support/scripted_server.h"
#include "tests/support/temp_dir.h"

namespace pixhaul::test {
namespace {

using loopback::HttpReply;
using loopback::HttpRequest;
using loopback::LoopbackHttpServer;

constexpr ThrottleTimings kFast{1, 50, 50, 50, 50};
constexpr size_t kHeaderLines = 13;  // pane lines before the first worker line of a run

struct WorkerResult {
  std::string logLine;
  int outcome = -1;
  std::vector<std::string> paneLines;  // what the run's pane got from the worker
  int liveCountChange = 0;
};

// Runs one worker while a run is in progress (inside the grace period of a run over an empty
// list) and waits for its two hand-offs. `whileRunning` runs on the main thread right after
// the worker started.
class WorkerHarness {
 public:
  WorkerHarness() {
    window.folderText = runDir.Path() + "/run";
    window.markup = "<html></html>";
  }

  WorkerResult Run(const std::string& url, const std::string& fileName, int index,
                   const std::string& saveFolder,
                   const std::function<void(TRunController&)>& whileRunning = {},
                   const WorkerOptions& checks = {}) {
    WorkerResult result;
    TRunController controller(window, kFast);
    CurrentMessagePump().Post([&] {
      const int before = controller.LiveWorkerCount();
      TDownTileThread* worker = TThread::Spawn<TDownTileThread>(
          true, url, fileName, index, saveFolder, controller.RunNumber(), controller, checks);
      worker->SetFreeOnTerminate(false);
      std::unique_ptr<TDownTileThread> owned(worker);
      worker->Start();
      if (whileRunning) whileRunning(controller);
      EXPECT_TRUE(PumpUntil([&] { return controller.LiveWorkerCount() < before; }, 20000));
      worker->WaitFor();
      // Anything further it handed in would show now.
      PumpUntil([] { return false; }, 50);
      result.logLine = worker->LogLine;
      result.outcome = worker->Outcome;
      result.liveCountChange = controller.LiveWorkerCount() - before;
      // The run counts the worker by what it handed in: saved only when the image was saved.
      const bool saved = worker->Outcome == kOutcomeSaved;
      EXPECT_EQ(controller.Progress().saved, saved ? 1 : 0) << worker->LogLine;
      EXPECT_EQ(controller.Progress().NotSaved(), saved ? 0 : 1) << worker->LogLine;
    });
    controller.ButtonStartClick();
    const std::vector<std::string> lines = window.pane.Lines();
    const size_t tail = lines.size() - 2;  // the two closing lines
    result.paneLines.assign(lines.begin() + kHeaderLines, lines.begin() + tail);
    return result;
  }

  TempDir runDir;
  FakeRunWindow window;
};

// A server whose replies the test states per path; it records every request it gets.
class ImageServer {
 public:
  ImageServer()
      : server_([this](const HttpRequest& r) {
          {
            std::lock_guard lock(mutex_);
            requests_.push_back(r);
          }
          if (hold) {
            for (int i = 0; i < 10000 && hold; ++i)
              std::this_thread::sleep_for(std::chrono::milliseconds(1));
          }
          return reply(r);
        }) {}

  std::vector<HttpRequest> Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  std::string Http(const std::string& path) const { return server_.HttpBase() + path; }
  std::string Https(const std::string& path) const { return server_.HttpsBase() + path; }

  std::function<HttpReply(const HttpRequest&)> reply = [](const HttpRequest&) {
    return HttpReply{};
  };
  std::atomic<bool> hold{false};

 private:
  std::mutex mutex_;
  std::vector<HttpRequest> requests_;
  LoopbackHttpServer server_;  // last: stops before the members its handler uses go
};

class DownTileThreadTest : public ::testing::Test {
 protected:
  std::string Folder() const { return saveDir.Path() + "/"; }

  TempDir saveDir;
  ImageServer server;
  WorkerHarness harness;
};

TEST_F(DownTileThreadTest, SavesTheBodyAndLogsOk) {
  const std::string body = std::string("\x89PNG\r\n\x1a\n\0binary\0", 16) + std::string(70000, 'x');
  server.reply = [&](const HttpRequest&) { return HttpReply{200, "OK", {}, body, false}; };

  const WorkerResult r = harness.Run(server.Http("/pics/a.jpg"), "a.jpg", 7, Folder());

  EXPECT_EQ(r.logLine, "T7 a.jpg: OK");
  EXPECT_EQ(r.paneLines, std::vector<std::string>{"T7 a.jpg: OK"});
  EXPECT_EQ(r.outcome, kOutcomeSaved);
  EXPECT_EQ(r.liveCountChange, -1);
  EXPECT_EQ(ReadFileBytes(Folder() + "a.jpg"), body);
  EXPECT_EQ(FolderEntries(saveDir.Path()), std::vector<std::string>{"a.jpg"});
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].target, "/pics/a.jpg");
  EXPECT_EQ(requests[0].Header("Referer"), "http://www.bing.com/images/");
  EXPECT_EQ(requests[0].Header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)");
}

TEST_F(DownTileThreadTest, EmptyBodyGivesAnEmptyFile) {
  const WorkerResult r = harness.Run(server.Http("/empty.png"), "e.png", 0, Folder());

  EXPECT_EQ(r.logLine, "T0 e.png: OK");
  EXPECT_EQ(r.outcome, kOutcomeSaved);
  ASSERT_TRUE(std::filesystem::exists(Folder() + "e.png"));
  EXPECT_EQ(std::filesystem::file_size(Folder() + "e.png"), 0u);
}

TEST_F(DownTileThreadTest, ExistingFileIsReplacedWhole) {
  WriteFileBytes(Folder() + "r.png", std::string(5000, 'o'));
  server.reply = [](const HttpRequest&) { return HttpReply{200, "OK", {}, "new", false}; };

  const WorkerResult r = harness.Run(server.Http("/r.png"), "r.png", 1, Folder());

  EXPECT_EQ(r.outcome, kOutcomeSaved);
  EXPECT_EQ(ReadFileBytes(Folder() + "r.png"), "new");
}

TEST_F(DownTileThreadTest, StatusErrorsAreLoggedAndClassified) {
  struct Row {
    int status;
    const char* reason;
    int outcome;
    const char* shownReason = nullptr;  // when the log must show the reason differently
  } rows[] = {{404, "Not Found", kOutcomeNotFound},
              {400, "Bad Request", kOutcomeNotFound},
              {403, "Forbidden", kOutcomeRedirectOrDenied},
              {500, "Internal Server Error", kOutcomeOtherFailure},
              // A server's CR must not forge a line of its own, nor its ESC reach a terminal.
              {404, "x\rT999 forged.jpg: OK", kOutcomeNotFound, "x\\rT999 forged.jpg: OK"},
              {500, "\x1b[2J\x1b]0;owned\x07", kOutcomeOtherFailure, "\\x1b[2J\\x1b]0;owned\\x07"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.status);
    server.reply = [&](const HttpRequest&) {
      return HttpReply{row.status, row.reason, {}, "error page", false};
    };
    const std::string url = server.Http("/missing.png");

    const WorkerResult r = harness.Run(url, "m.png", 3, Folder());

    const std::string expected = "T3:" + std::to_string(row.status) + " " +
                                 (row.shownReason ? row.shownReason : row.reason) + " " + url;
    EXPECT_EQ(r.logLine, expected);
    EXPECT_EQ(r.paneLines, std::vector<std::string>{expected});
    EXPECT_EQ(r.outcome, row.outcome);
    EXPECT_EQ(r.liveCountChange, -1);
    EXPECT_TRUE(FolderEntries(saveDir.Path()).empty());
  }
}

// A body that is not kept (a document; with the size filter, a small image) leaves no file and
// says why in the failure form; what may be an image is saved as it came.
TEST_F(DownTileThreadTest, BodiesNotKeptLeaveNoFileAndSayWhy) {
  struct Row {
    const char* name;
    std::string contentType;
    std::string body;
    const char* reason;  // nullptr: saved
    int outcome;
  } rows[] = {
      {"html page", "text/html; charset=utf-8", "<p>sign in</p>", "Not an image (text/html).",
       kOutcomeNotAnImage},
      {"xml error, no type", "", "<?xml version=\"1.0\"?><Error/>", "Not an image (a document).",
       kOutcomeNotAnImage},
      {"small icon", "image/png", PngBytes(16, 16), "Smaller than 32x32 (16x16).",
       kOutcomeFiltered},
      {"wide but low", "image/gif", GifBytes(500, 20), "Smaller than 32x32 (500x20).",
       kOutcomeFiltered},
      {"large enough", "image/png", PngBytes(32, 32), nullptr, kOutcomeSaved},
      {"svg as text/xml", "text/xml", "<svg width=\"40\" height=\"40\"/>", nullptr, kOutcomeSaved},
      {"size unreadable", "image/tiff", std::string("II*\0\x08\0\0\0", 8), nullptr, kOutcomeSaved},
      {"empty under text/html", "text/html", "", nullptr, kOutcomeSaved},
  };
  WorkerOptions checks;
  checks.filters.minWidth = 32;
  checks.filters.minHeight = 32;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    server.reply = [&](const HttpRequest&) {
      HttpReply reply{200, "OK", {}, row.body, false};
      if (!row.contentType.empty()) reply.headers.push_back({"Content-Type", row.contentType});
      return reply;
    };
    const std::string url = server.Https("/pic.jpg");
    std::filesystem::remove(Folder() + "p.jpg");

    const WorkerResult r = harness.Run(url, "p.jpg", 4, Folder(), {}, checks);

    EXPECT_EQ(r.outcome, row.outcome);
    EXPECT_EQ(r.logLine, row.reason ? "T4:" + std::string(row.reason) + " " + url : "T4 p.jpg: OK");
    EXPECT_EQ(r.liveCountChange, -1);
    EXPECT_EQ(FolderEntries(saveDir.Path()),
              row.reason ? std::vector<std::string>{} : std::vector<std::string>{"p.jpg"});
  }
}

TEST_F(DownTileThreadTest, RefusedConnectionIsASocketError) {
  loopback::RefusingPort refusing;
  const std::string url = "http://127.0.0.1:" + std::to_string(refusing.Port()) + "/x.png";

  const WorkerResult r = harness.Run(url, "x.png", 2, Folder());

  EXPECT_EQ(r.outcome, kOutcomeSocketError);
  EXPECT_EQ(r.logLine, "T2:Socket Error # 10061\r\nConnection refused. " + url);
  // The pane shows the message's line break as two lines.
  EXPECT_EQ(r.paneLines,
            (std::vector<std::string>{"T2:Socket Error # 10061", "Connection refused. " + url}));
  EXPECT_TRUE(FolderEntries(saveDir.Path()).empty());
}

TEST_F(DownTileThreadTest, HttpsAddressIsFetchedThroughTls) {
  server.reply = [](const HttpRequest& r) {
    return HttpReply{200, "OK", {}, r.tls ? "over tls" : "plain", false};
  };

  const WorkerResult r = harness.Run(server.Https("/s.png"), "s.png", 4, Folder());

  EXPECT_EQ(r.logLine, "T4 s.png: OK");
  EXPECT_EQ(ReadFileBytes(Folder() + "s.png"), "over tls");
}

TEST_F(DownTileThreadTest, HttpRedirectToHttpsIsFollowed) {
  server.reply = [&](const HttpRequest& r) {
    if (!r.tls)
      return HttpReply{302, "Found", {{"Location", server.Https("/final.png")}}, "", false};
    return HttpReply{200, "OK", {}, "final body", false};
  };

  const WorkerResult r = harness.Run(server.Http("/start.png"), "start.png", 5, Folder());

  EXPECT_EQ(r.logLine, "T5 start.png: OK");
  EXPECT_EQ(ReadFileBytes(Folder() + "start.png"), "final body");
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_FALSE(requests[0].tls);
  EXPECT_TRUE(requests[1].tls);
  EXPECT_EQ(requests[1].target, "/final.png");
}

TEST_F(DownTileThreadTest, RefusedSaveLeavesNoFileAndStillFinishesOnce) {
  server.reply = [](const HttpRequest&) { return HttpReply{200, "OK", {}, "body", false}; };
  // The target name is taken by a folder: the body is written, but cannot take that name.
  std::filesystem::create_directories(Folder() + "taken.png/inner");
  const std::string url = server.Http("/taken.png");

  const WorkerResult r = harness.Run(url, "taken.png", 9, Folder());

  EXPECT_EQ(r.logLine, "T9:Cannot create file " + Folder() + "taken.png " + url);
  EXPECT_EQ(r.paneLines, std::vector<std::string>{r.logLine});
  EXPECT_EQ(r.outcome, kOutcomeSaveFailed);
  EXPECT_EQ(r.liveCountChange, -1);
  EXPECT_EQ(FolderEntries(saveDir.Path()), std::vector<std::string>{"taken.png"})
      << "no temporary file may be left behind";
}

TEST_F(DownTileThreadTest, MissingSaveFolderIsLoggedAndFinishesOnce) {
  server.reply = [](const HttpRequest&) { return HttpReply{200, "OK", {}, "body", false}; };
  const std::string folder = saveDir.Path() + "/gone/";
  const std::string url = server.Http("/g.png");

  const WorkerResult r = harness.Run(url, "g.png", 6, folder);

  EXPECT_EQ(r.logLine, "T6:Cannot create file " + folder + "g.png " + url);
  EXPECT_EQ(r.outcome, kOutcomeSaveFailed);
  EXPECT_EQ(r.liveCountChange, -1);
}

TEST_F(DownTileThreadTest, WorkerEndingAfterAStopSavesButLogsNothing) {
  server.reply = [](const HttpRequest&) { return HttpReply{200, "OK", {}, "late body", false}; };
  server.hold = true;

  const WorkerResult r =
      harness.Run(server.Http("/late.png"), "late.png", 0, Folder(), [&](TRunController& c) {
        c.ButtonStartClick();  // the stop press, while the reply is held
        ASSERT_TRUE(c.StopRequested());
        server.hold = false;
      });

  EXPECT_EQ(r.logLine, "T0 late.png: OK");
  EXPECT_TRUE(r.paneLines.size() == 3 && r.paneLines[1].rfind("Task will be terminated", 0) == 0)
      << "only the stop lines, no worker line";
  EXPECT_EQ(r.liveCountChange, -1);
  EXPECT_EQ(ReadFileBytes(Folder() + "late.png"), "late body");
}

// A reply that a scripted server sends byte for byte, plain or over TLS, and the address that
// reaches it.
class ScriptedReply {
 public:
  ScriptedReply(Script script, bool tls) : tls_(tls), server_({std::move(script)}, Options(tls)) {}
  std::string Url(const std::string& path) const {
    return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(server_.Port()) +
           path;
  }
  size_t AcceptedCount() const { return server_.AcceptedCount(); }

 private:
  static ScriptedServer::Options Options(bool tls) {
    ScriptedServer::Options options;
    if (tls) options.tls = true;
    return options;
  }
  bool tls_;
  ScriptedServer server_;
};

// Bytes of every value, line breaks and NULs included, in no repeating pattern.
std::string BinaryBody(size_t size) {
  std::string body(size, '\0');
  uint32_t state = 12345;
  for (char& c : body) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  return body;
}

std::string Chunked(const std::string& body, const std::string& trailer) {
  std::string out;
  const size_t sizes[] = {1, 70000, 300000, 2, 1000000};
  size_t at = 0;
  for (size_t i = 0; at < body.size(); ++i) {
    const size_t n = std::min(sizes[i % std::size(sizes)], body.size() - at);
    char line[32];
    std::snprintf(line, sizeof line, "%zx\r\n", n);
    out += line + body.substr(at, n) + "\r\n";
    at += n;
  }
  return out + "0\r\n" + trailer + "\r\n";
}

const std::string kRequestEnd = "\r\n\r\n";

// An HTTP date `seconds` from now, as Retry-After may give it.
std::string HttpDateIn(int seconds) {
  const std::time_t when = std::time(nullptr) + seconds;
  std::tm utc{};
  gmtime_r(&when, &utc);
  char text[64];
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &utc);
  return text;
}

// With retries asked for, a failure that passes by itself is tried again on a new connection,
// after its wait, and only the final outcome is logged; any other failure is tried once.
TEST_F(DownTileThreadTest, TransientFailuresAreTriedAgainAndOthersOnce) {
  TIdTCPConnection::SetDefaultTimeouts(5000, 400);
  const std::string ok = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nimage";
  const auto reply = [](const std::string& head) {
    return Script().ReceiveUntil(kRequestEnd).Send(head + "Content-Length: 0\r\n\r\n").Close();
  };
  struct Row {
    const char* name;
    Script first;
    int retries;
    size_t requests;   // what the server sees
    double minWaitS;   // the wait before the second try, at least
    const char* line;  // nullptr: saved
  } rows[] = {
      {"503 with Retry-After: 1", reply("HTTP/1.1 503 Service Unavailable\r\nRetry-After: 1\r\n"),
       1, 2, 0.9, nullptr},
      {"429 with an HTTP date",
       reply("HTTP/1.1 429 Too Many Requests\r\nRetry-After: " + HttpDateIn(4) + "\r\n"), 1, 2, 0.5,
       nullptr},
      {"reset", Script().ReceiveUntil(kRequestEnd).Reset(), 1, 2, 0.9, nullptr},
      {"closed early",
       Script()
           .ReceiveUntil(kRequestEnd)
           .Send("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nima")
           .Close(),
       1, 2, 0.9, nullptr},
      {"read time-out", Script().ReceiveUntil(kRequestEnd).Pause(1500), 1, 2, 0.9, nullptr},
      {"500 without retries", reply("HTTP/1.1 500 Internal Server Error\r\n"), 0, 1, 0,
       "500 Internal Server Error"},
      {"404 is not retried", reply("HTTP/1.1 404 Not Found\r\n"), 3, 1, 0, "404 Not Found"},
      {"403 is not retried", reply("HTTP/1.1 403 Forbidden\r\n"), 3, 1, 0, "403 Forbidden"},
  };
  for (Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::filesystem::remove(Folder() + "r.png");
    ScriptedServer server({row.first, Script().ReceiveUntil(kRequestEnd).Send(ok).Close()});
    WorkerOptions options;
    options.retries = row.retries;
    const auto start = std::chrono::steady_clock::now();

    const WorkerResult r = harness.Run(server.Url("/r.png"), "r.png", 2, Folder(), {}, options);

    const double took =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(server.AcceptedCount(), row.requests);
    EXPECT_GE(took, row.minWaitS);
    EXPECT_EQ(r.paneLines.size(), 1u);
    if (row.line) {
      EXPECT_EQ(r.logLine, "T2:" + std::string(row.line) + " " + server.Url("/r.png"));
    } else {
      EXPECT_EQ(r.logLine, "T2 r.png: OK");
      EXPECT_EQ(ReadFileBytes(Folder() + "r.png"), "image");
    }
  }

  // Names that do not resolve and refused connections are tried once.
  loopback::RefusingPort refusing;
  for (const std::string& url :
       {std::string("http://no-such-host.pixhaul.invalid/r.png"),
        "http://127.0.0.1:" + std::to_string(refusing.Port()) + "/r.png"}) {
    SCOPED_TRACE(url);
    WorkerOptions options;
    options.retries = 3;
    const auto start = std::chrono::steady_clock::now();
    const WorkerResult r = harness.Run(url, "n.png", 3, Folder(), {}, options);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
    EXPECT_EQ(r.logLine.find(" tries)"), std::string::npos) << r.logLine;
    EXPECT_EQ(r.outcome, kOutcomeSocketError);
  }

  // Every try failing: the last failure, with the number of tries.
  ScriptedServer busy({reply("HTTP/1.1 503 Service Unavailable\r\nRetry-After: 0\r\n")},
                      ScriptedServer::Options{true});
  WorkerOptions options;
  options.retries = 2;
  const WorkerResult r = harness.Run(busy.Url("/b.png"), "b.png", 5, Folder(), {}, options);
  EXPECT_EQ(busy.AcceptedCount(), 3u);
  EXPECT_EQ(r.logLine, "T5:503 Service Unavailable " + busy.Url("/b.png") + " (after 3 tries)");
  EXPECT_EQ(r.outcome, kOutcomeOtherFailure);
  TIdTCPConnection::SetDefaultTimeouts(kDefaultConnectTimeoutMs, kDefaultReadTimeoutMs);
}

// A stop ends a wait before the next try at once: the worker hands in its end.
TEST_F(DownTileThreadTest, StopEndsTheWaitBeforeAnotherTry) {
  ScriptedServer busy({Script()
                           .ReceiveUntil(kRequestEnd)
                           .Send("HTTP/1.1 503 Service Unavailable\r\nRetry-After: 30\r\n"
                                 "Content-Length: 0\r\n\r\n")
                           .Close()},
                      ScriptedServer::Options{true});
  WorkerOptions options;
  options.retries = 3;
  options.stop = std::make_shared<StopSignal>();
  std::thread stopper;
  const auto start = std::chrono::steady_clock::now();
  const WorkerResult r = harness.Run(
      busy.Url("/s.png"), "s.png", 1, Folder(),
      [&](TRunController&) {
        stopper = std::thread([&] {
          std::this_thread::sleep_for(std::chrono::milliseconds(300));
          options.stop->Raise();
        });
      },
      options);
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(busy.AcceptedCount(), 1u);
  EXPECT_EQ(r.logLine, "T1:503 Service Unavailable " + busy.Url("/s.png"));
  EXPECT_EQ(r.liveCountChange, -1);
}

// Bodies several times the worker's file buffer, in each of the three framings, over http
// and https: the file holds exactly the body and nothing else is left in the folder.
TEST_F(DownTileThreadTest, LargeBodiesAreSavedByteForByte) {
  const std::string body = BinaryBody(3 * 1024 * 1024 + 4321);
  const std::string counted =
      "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  const std::string chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                              Chunked(body, "X-Checksum: 1\r\nX-More: 2\r\n");
  const std::string untilClose = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body;
  struct Row {
    const char* framing;
    const std::string& reply;
  } rows[] = {
      {"counted", counted}, {"chunked with trailers", chunked}, {"until close", untilClose}};
  int index = 0;
  for (const bool tls : {false, true}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.framing) + (tls ? " over https" : " over http"));
      ScriptedReply server(Script().ReceiveUntil(kRequestEnd).Send(row.reply).Close(), tls);
      const std::string name = "big" + std::to_string(index) + ".bin";

      const WorkerResult r = harness.Run(server.Url("/big.bin"), name, index, Folder());

      EXPECT_EQ(r.logLine, "T" + std::to_string(index) + " " + name + ": OK");
      EXPECT_EQ(r.outcome, kOutcomeSaved);
      EXPECT_TRUE(ReadFileBytes(Folder() + name) == body);
      EXPECT_EQ(FolderEntries(saveDir.Path()), std::vector<std::string>{name});
      std::filesystem::remove(Folder() + name);
      ++index;
    }
  }
}

// While the body arrives nothing shows in the folder, neither under the image's name nor under
// any other: a run killed at this moment would leave nothing behind.
TEST_F(DownTileThreadTest, NothingShowsInTheFolderUntilTheBodyIsComplete) {
  const std::string body = BinaryBody(2 * 1024 * 1024);
  std::atomic<bool> halfSent{false};
  std::atomic<bool> release{false};
  ScriptedReply server(
      Script()
          .ReceiveUntil(kRequestEnd)
          .Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
                body.substr(0, body.size() / 2))
          .Call([&](ScriptedConnection&) {
            halfSent = true;
            for (int i = 0; i < 10000 && !release; ++i)
              std::this_thread::sleep_for(std::chrono::milliseconds(1));
          })
          .Send(body.substr(body.size() / 2)),
      false);
  std::vector<std::string> midway = {"<not looked at>"};

  const WorkerResult r =
      harness.Run(server.Url("/slow.png"), "slow.png", 2, Folder(), [&](TRunController&) {
        for (int i = 0; i < 10000 && !halfSent; ++i)
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        // The worker made its file before it sent the request that half the body answers.
        midway = FolderEntries(saveDir.Path());
        release = true;
      });

  EXPECT_EQ(midway, std::vector<std::string>{});
  EXPECT_EQ(r.logLine, "T2 slow.png: OK");
  EXPECT_TRUE(ReadFileBytes(Folder() + "slow.png") == body);
  EXPECT_EQ(FolderEntries(saveDir.Path()), std::vector<std::string>{"slow.png"});
}

// The redirect's body goes into the same file first; only the final, shorter body may stay.
TEST_F(DownTileThreadTest, RedirectBodyIsReplacedByTheFinalBody) {
  for (const bool tls : {false, true}) {
    SCOPED_TRACE(tls ? "https" : "http");
    const std::string redirectBody = BinaryBody(1024 * 1024 + 7);
    const std::string finalBody = "final image";
    // The connection stays open for the second hop; the relative Location keeps it.
    ScriptedReply server(
        Script()
            .ReceiveUntil(kRequestEnd)
            .Send("HTTP/1.1 302 Found\r\nLocation: /final.png\r\nContent-Length: " +
                  std::to_string(redirectBody.size()) + "\r\n\r\n" + redirectBody)
            .ReceiveUntil(kRequestEnd)
            .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + Chunked(finalBody, "")),
        tls);

    const WorkerResult r = harness.Run(server.Url("/first.png"), "r.png", 1, Folder());

    EXPECT_EQ(r.logLine, "T1 r.png: OK");
    EXPECT_EQ(ReadFileBytes(Folder() + "r.png"), finalBody);
    EXPECT_EQ(FolderEntries(saveDir.Path()), std::vector<std::string>{"r.png"});
  }
}

// However a body fails, the worker logs the failure, hands in one WorkerFinished and leaves
// neither the file nor its temporary file behind, also when much of the body was written.
TEST_F(DownTileThreadTest, FailedBodiesLeaveNoFile) {
  const std::string part = BinaryBody(2 * 1024 * 1024);
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 4194304\r\n\r\n";
  // Far above the trickle rate for 6 s, past the call's time (2 s with a read limit of 100 ms).
  Script steady = Script().ReceiveUntil(kRequestEnd).Send(head);
  for (int i = 0; i < 120; ++i) steady.Send(part.substr(0, 2048)).Pause(50);
  struct Row {
    const char* what;
    Script script;
    std::string message;
    int outcome;
    int readLimitMs = kDefaultReadTimeoutMs;
    std::string scheme = "http";  // of the address the worker is given
  } rows[] = {
      {"cut short by a close", Script().ReceiveUntil(kRequestEnd).Send(head + part).Close(),
       "Connection Closed Gracefully.", kOutcomeOtherFailure},
      {"reset mid-body", Script().ReceiveUntil(kRequestEnd).Send(head + part).Reset(),
       "Socket Error # 10054\r\nConnection reset by peer.", kOutcomeSocketError},
      {"declared over the bound",
       Script()
           .ReceiveUntil(kRequestEnd)
           .Send("HTTP/1.1 200 OK\r\nContent-Length: 536870913\r\n\r\n" + part)
           .Close(),
       "Reply body too large.", kOutcomeOtherFailure},
      {"chunk over the bound",
       Script()
           .ReceiveUntil(kRequestEnd)
           .Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1000\r\n" +
                 part.substr(0, 4096) + "\r\n20000000\r\n" + part)
           .Close(),
       "Reply body too large.", kOutcomeOtherFailure},
      {"error reply with a large body",
       Script()
           .ReceiveUntil(kRequestEnd)
           .Send("HTTP/1.1 404 Not Found\r\nContent-Length: " + std::to_string(part.size()) +
                 "\r\n\r\n" + part),
       "404 Not Found", kOutcomeNotFound},
      {"partial reply",
       Script()
           .ReceiveUntil(kRequestEnd)
           .Send("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 0-2097151/4194304\r\n"
                 "Content-Length: " +
                 std::to_string(part.size()) + "\r\n\r\n" + part),
       "206 Partial Content", kOutcomeOtherFailure},
      {"steady body beyond the call's time", std::move(steady), "Read timed out.",
       kOutcomeOtherFailure, 100},
      {"address of another scheme", Script().ReceiveUntil(kRequestEnd).Send(head + part),
       "Protocol not supported.", kOutcomeOtherFailure, kDefaultReadTimeoutMs, "ftp"},
  };
  int index = 10;
  for (Row& row : rows) {
    SCOPED_TRACE(row.what);
    ScriptedReply server(std::move(row.script), false);
    const std::string url = row.scheme + server.Url("/broken.png").substr(4);

    TIdTCPConnection::SetDefaultTimeouts(kDefaultConnectTimeoutMs, row.readLimitMs);
    const WorkerResult r = harness.Run(url, "broken.png", index, Folder());
    TIdTCPConnection::SetDefaultTimeouts(kDefaultConnectTimeoutMs, kDefaultReadTimeoutMs);
    if (row.scheme != "http") {
      EXPECT_EQ(server.AcceptedCount(), 0u) << "no connection for another scheme";
    }

    const std::string expected = "T" + std::to_string(index) + ":" + row.message + " " + url;
    EXPECT_EQ(r.logLine, expected);
    EXPECT_EQ(r.outcome, row.outcome);
    EXPECT_EQ(r.liveCountChange, -1);
    EXPECT_EQ(FolderEntries(saveDir.Path()), std::vector<std::string>{});
    ++index;
  }
}

TEST_F(DownTileThreadTest, WriteFailingMidBodyIsAFailedSave) {
  const std::string body = BinaryBody(3 * 1024 * 1024);
  ScriptedReply server(Script()
                           .ReceiveUntil(kRequestEnd)
                           .Send("HTTP/1.1 200 OK\r\nContent-Length: " +
                                 std::to_string(body.size()) + "\r\n\r\n" + body),
                       false);
  const std::string url = server.Url("/huge.png");

  WorkerResult r;
  {
    const FileSizeLimit limit(1024 * 1024, FileSizeLimit::kKeepSignalDefault);
    r = harness.Run(url, "huge.png", 4, Folder());
  }

  EXPECT_EQ(r.logLine, "T4:Stream write error (" + Folder() + "huge.png) " + url);
  EXPECT_EQ(r.paneLines, std::vector<std::string>{r.logLine});
  EXPECT_EQ(r.outcome, kOutcomeSaveFailed);
  EXPECT_EQ(r.liveCountChange, -1);
  EXPECT_EQ(FolderEntries(saveDir.Path()), std::vector<std::string>{});
}

TEST(ClassifyGetFailureTest, FirstMatchingTextDecides) {
  struct Row {
    const char* message;
    int outcome;
  } rows[] = {
      {"302 Found", 2},
      {"403 Forbidden", 2},
      {"404 Not Found", 5},
      {"400 Bad Request", 5},
      {"500 Internal Server Error", 4},
      {"Read timed out.", 4},
      {"Socket Error # 10061\r\nConnection refused.", 3},
      {"Socket Error # 10060\r\nConnection timed out. 404", 3},
      {"403 and 404", 2},
      {"Socket Error # 10054 302", 2},
      {"socket error # 1", 4},
      {"40 4", 4},
      {"", 4},
      {"HTTP 4040", 5},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ClassifyGetFailure(row.message), row.outcome) << "message: " << row.message;
  }
}

}  // namespace
}  // namespace pixhaul::test
