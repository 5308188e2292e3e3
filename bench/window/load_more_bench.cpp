// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// load_more_bench PAGE [SITE]: opens the main window (offscreen), loads PAGE into its web view
// and presses "Load more results", with the window's own timings, until the loading ends. It
// prints the time from the press to the end, the outcome, and the peak resident memory (VmHWM)
// of this process and of the web engine's processes before the press and after the end.
// bench/load_more_bench.sh runs it against pixhaul-demo-server, whose pages grow.
#include <dirent.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>
#include <QWebEngineView>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "app/Unit1.h"
#include "app/qt_message_pump.h"
#include "app/result_loader.h"
#include "harvest/site_table.h"

namespace {

// The status file's field `key` (in kB) of process `pid`, and its parent; -1 when unreadable.
long StatusField(const std::string& pid, const std::string& key) {
  std::ifstream status("/proc/" + pid + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
  }
  return -1;
}

// VmHWM of this process, and the largest of its descendants' (the web engine's processes).
std::pair<long, long> PeakMemory() {
  std::map<std::string, std::string> parents;
  if (DIR* proc = opendir("/proc")) {
    while (dirent* entry = readdir(proc)) {
      const std::string pid = entry->d_name;
      if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
      parents[pid] = std::to_string(StatusField(pid, "PPid"));
    }
    closedir(proc);
  }
  const std::string self = std::to_string(getpid());
  long children = 0;
  for (const auto& [pid, parent] : parents) {
    std::string up = parent;
    for (int depth = 0; depth < 8 && up != self && parents.count(up); ++depth) up = parents[up];
    if (up == self && pid != self) children = std::max(children, StatusField(pid, "VmHWM"));
  }
  return {StatusField(self, "VmHWM"), children};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: load_more_bench PAGE [SITE]\n");
    return 2;
  }
  // Nothing but the page asked for is loaded: the start pages point at a closed local port.
  for (int site = 0; site < pixhaul::kSiteCount; ++site) {
    pixhaul::SetSiteStartPageForTesting(*pixhaul::SiteOfRow(site), "http://127.0.0.1:9/");
  }
  QApplication app(argc, argv);
  pixhaul::QtMessagePump pump;
  pixhaul::InstallMessagePump(&pump);
  QTemporaryDir programFolder;
  pixhaul::TForm1Options options;
  options.programFolder = programFolder.path().toStdString() + "/";
  pixhaul::TForm1 form(options);
  form.resize(1280, 800);
  form.show();
  pixhaul::CurrentSite = argc > 2 ? std::atoi(argv[2]) : 0;

  QEventLoop wait;
  QObject::connect(form.web().View(), &QWebEngineView::loadFinished, &wait, &QEventLoop::quit);
  form.web().Navigate(argv[1]);
  QTimer::singleShot(30000, &wait, &QEventLoop::quit);
  wait.exec();
  QTimer::singleShot(500, &wait, &QEventLoop::quit);  // let the page settle and paint
  wait.exec();

  const auto [windowBefore, engineBefore] = PeakMemory();
  pixhaul::LoadOutcome outcome;
  QObject::connect(&form.Loader(), &pixhaul::ResultLoader::Finished, &wait,
                   [&](const pixhaul::LoadOutcome& ended) {
                     outcome = ended;
                     wait.quit();
                   });
  QElapsedTimer clock;
  clock.start();
  form.LoadMoreResults1->trigger();
  if (form.Loader().Running()) wait.exec();
  const qint64 elapsed = clock.elapsed();
  const auto [windowAfter, engineAfter] = PeakMemory();

  std::printf("outcome: %s\n", pixhaul::LoadEndText(outcome, form.Loader().Timings()).c_str());
  std::printf("rounds: %d\nfirst: %d\nfinal: %d\ntime_ms: %lld\n", outcome.rounds, outcome.first,
              outcome.now, static_cast<long long>(elapsed));
  std::printf("window_vmhwm_kb_before: %ld\nwindow_vmhwm_kb_after: %ld\n", windowBefore,
              windowAfter);
  std::printf("engine_vmhwm_kb_before: %ld\nengine_vmhwm_kb_after: %ld\n", engineBefore,
              engineAfter);
  return outcome.now > 0 ? 0 : 1;
}
