// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "tests/soak/soak_rig.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "download/file_naming.h"

#ifndef PIXHAUL_CLI_PATH
#error "PIXHAUL_CLI_PATH names the pixhaul-cli executable"
#endif
#ifndef PIXHAUL_SOAK_PROBE_PATH
#error "PIXHAUL_SOAK_PROBE_PATH names the resource probe library"
#endif

namespace pixhaul::test {

namespace {

ProbeFigures ReadProbe(const std::string& path) {
  ProbeFigures figures;
  std::ifstream in(path);
  in >> figures.startFds >> figures.startThreads >> figures.endFds >> figures.endThreads >>
      figures.settleMs >> figures.vmHwmKiB;
  return figures;
}

// With the real timings a worker that waits out the 30 s read limit may end after the 5000 ms
// grace period; its line is then dropped, as the window drops it. Such kinds may have no line.
void AllowLateLinesWithRealTimings(std::vector<Expectation>& page) {
  if (!RealTimings()) return;
  for (Expectation& expectation : page) {
    const FaultKind kind = expectation.entry.kind;
    const bool slow = kind == FaultKind::kStallBeforeStatus || kind == FaultKind::kStallMidBody ||
                      kind == FaultKind::kHugeLengthStall || kind == FaultKind::kEndlessBody;
    if (slow && expectation.presence == Expectation::Presence::kLine)
      expectation.presence = Expectation::Presence::kEither;
  }
}

std::string WithLf(std::string text) {
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
    text.erase(at, 1);
  return text;
}

}  // namespace

long PeakRssKiB(const SoakRun& run) {
  // The probe's VmHWM belongs to the program alone. wait4 also counts the memory of the test
  // process that the child shared until it started the program, so it is only a fallback.
  return run.probe.vmHwmKiB > 0 ? run.probe.vmHwmKiB : run.process.maxRssKiB;
}

bool RealTimings() {
  const char* value = std::getenv("PIXHAUL_SOAK_REAL_TIMINGS");
  return value != nullptr && std::string(value) == "1";
}

SoakRig::SoakRig(SoakSettings settings)
    : settings_(std::move(settings)), saveFolder_(root_.File("save")) {
  FaultServer::Options options;
  const bool real = RealTimings();
  options.lifetime = real ? std::chrono::minutes(60) : std::chrono::minutes(12);
  options.ioLimit = real ? std::chrono::seconds(120) : std::chrono::seconds(30);
  options.dripInterval = settings_.dripInterval;
  server_ = std::make_unique<FaultServer>(options);

  entries_ = MixedFaultEntries(settings_.entries, settings_.kinds, settings_.weights);
  for (int at : settings_.endlessAt) {
    if (at < static_cast<int>(entries_.size())) {
      entries_[at].kind = FaultKind::kEndlessBody;
      entries_[at].tls = false;
    }
  }
  if (real) {
    // With the real 5000 ms grace period, a worker that waits out the 30 s read limit near the
    // end of the list finishes after log.txt was written; keep the slow kinds out of the tail.
    const size_t tail = entries_.size() * 4 / 5;
    for (size_t i = tail; i < entries_.size(); ++i) {
      const FaultKind kind = entries_[i].kind;
      if (kind == FaultKind::kStallBeforeStatus || kind == FaultKind::kStallMidBody ||
          kind == FaultKind::kEndlessBody || kind == FaultKind::kSlowDrip)
        entries_[i].kind = FaultKind::kImage;
    }
  }
  page_ = FaultResultPage(entries_, server_->Ports());
  server_->SetPage(page_);
}

SoakRig::~SoakRig() { server_->Stop(); }

double SoakRig::GraceSeconds() const {
  if (RealTimings()) return 5.0;
  // The fourth of the five timings.
  std::string rest = settings_.timings;
  for (int i = 0; i < 3; ++i) rest.erase(0, rest.find(',') + 1);
  return std::stod(rest.substr(0, rest.find(','))) / 1000.0;
}

std::vector<Expectation> SoakRig::FirstRunExpectations() const {
  std::vector<Expectation> page;
  for (const FaultEntry& entry : entries_) {
    Expectation expectation;
    expectation.entry = entry;
    expectation.address = FaultAddress(entry, server_->Ports());
    expectation.fileName = FileNameFromUrl(expectation.address);
    expectation.outcome = FaultExpectation(entry);  // the client's own body limit
    expectation.presence = Expectation::Presence::kLine;
    page.push_back(std::move(expectation));
  }
  AllowLateLinesWithRealTimings(page);
  return page;
}

void SoakRig::Kill(int signal) {
  std::lock_guard lock(runningMutex_);
  if (running_ != nullptr) running_->Signal(signal);
}

SoakRun SoakRig::Run(const std::function<void(const std::string&, SoakRig&)>& onLine) {
  const std::string probeFile = root_.File("probe-" + std::to_string(++runs_) + ".txt");
  std::vector<std::string> environment = {
      "LD_PRELOAD=" PIXHAUL_SOAK_PROBE_PATH,
      "PIXHAUL_SOAK_PROBE_FILE=" + probeFile,
      "PIXHAUL_SOAK_PROBE_RUNTIME_THREADS=" + std::to_string(PIXHAUL_SOAK_RUNTIME_THREADS),
  };
  // A sanitized pixhaul-cli must accept the preloaded probe ahead of its runtime.
  const char* asan = std::getenv("ASAN_OPTIONS");
  environment.push_back(std::string("ASAN_OPTIONS=") + (asan != nullptr ? asan : "") +
                        (asan != nullptr && *asan != '\0' ? ":" : "") + "verify_asan_link_order=0");
  if (!RealTimings()) {
    environment.push_back("PIXHAUL_TEST_TIMINGS=" + settings_.timings);
    environment.push_back("PIXHAUL_TEST_IO_TIMEOUT_MS=" + std::to_string(settings_.ioTimeoutMs));
  }
  std::vector<std::string> argv = {PIXHAUL_CLI_PATH, "--site",    "bing",
                                   "--save-dir",     saveFolder_, server_->PageAddress()};
  if (settings_.addressSpaceLimitKiB > 0) {
    // The shell sets the limit and then becomes pixhaul-cli.
    argv.insert(argv.begin(), {"/bin/sh", "-c",
                               "ulimit -v " + std::to_string(settings_.addressSpaceLimitKiB) +
                                   " && exec \"$0\" \"$@\""});
  }
  CliProcess::Options options{.environment = std::move(environment)};
  if (onLine)
    options.onStdoutLine = [this, &onLine](const std::string& line) { onLine(line, *this); };
  // The line callback may kill the process from its reader thread as soon as it starts.
  std::unique_lock lock(runningMutex_);
  CliProcess process(argv, std::move(options));
  running_ = &process;
  lock.unlock();
  SoakRun run;
  process.Wait(RealTimings() ? std::chrono::seconds(1800) : settings_.runTimeout);
  run.process = process.Result();
  lock.lock();
  running_ = nullptr;
  lock.unlock();
  run.probe = ReadProbe(probeFile);
  // A killed run writes no log.txt.
  const std::string log = saveFolder_ + "/log.txt";
  run.logText = std::filesystem::exists(log) ? ReadFileBytes(log) : "";
  run.log = ParseRunLog(run.logText);
  return run;
}

void SoakRig::Report(const std::string& title, const SoakRun& run,
                     const std::vector<Expectation>& page) const {
  std::map<std::string, std::pair<int, int>> byKind;  // token -> (records, of which OK)
  int records = 0;
  for (size_t i = 0; i < page.size(); ++i) {
    const auto found = run.log.records.find(static_cast<int>(i));
    if (found == run.log.records.end()) continue;
    auto& tally = byKind[std::string(FaultToken(page[i].entry.kind))];
    for (const std::string& record : found->second) {
      ++records;
      ++tally.first;
      if (record.ends_with(": OK")) ++tally.second;
    }
  }
  std::printf(
      "[soak] %s: %zu addresses, %d result records, exit %d%s, wall %.1f s, peak RSS %.1f MiB\n",
      title.c_str(), page.size(), records, run.process.exitCode,
      run.process.timedOut ? " (timed out)" : "", run.process.wallSeconds,
      run.probe.vmHwmKiB > 0 ? run.probe.vmHwmKiB / 1024.0 : 0.0);
  std::printf("[soak] %s: fds %d -> %d, threads %d -> %d (settled after %d ms)\n", title.c_str(),
              run.probe.startFds, run.probe.endFds, run.probe.startThreads, run.probe.endThreads,
              run.probe.settleMs);
  std::string kinds;
  for (const auto& [token, tally] : byKind)
    kinds += " " + token + "=" + std::to_string(tally.first) + "/" + std::to_string(tally.second);
  std::printf("[soak] %s: records/OK by kind:%s\n", title.c_str(), kinds.c_str());
  std::fflush(stdout);
}

std::vector<Expectation> RerunExpectations(const std::vector<Expectation>& first) {
  std::vector<Expectation> page = first;
  for (Expectation& expectation : page) {
    expectation.presence =
        expectation.outcome.saved ? Expectation::Presence::kSkipped : Expectation::Presence::kLine;
  }
  AllowLateLinesWithRealTimings(page);
  return page;
}

void ExpectCleanRun(const SoakRig& rig, const SoakRun& run, const std::vector<Expectation>& page,
                    const std::set<std::string>& tolerated, long rssBoundKiB) {
  const ProcessResult& process = run.process;
  EXPECT_FALSE(process.timedOut);
  EXPECT_TRUE(process.exited) << "ended by signal " << process.signal;
  // Standard error holds a line for each download that ended after the closing lines, marked
  // as late, and then the run's summary; the exit code tells whether a download failed.
  int expectedFailed = 0;
  for (const Expectation& expectation : page) {
    if (!expectation.outcome.saved && expectation.presence != Expectation::Presence::kSkipped)
      ++expectedFailed;
  }
  std::vector<std::string> errLines;
  for (size_t start = 0, end; (end = process.err.find('\n', start)) != std::string::npos;
       start = end + 1) {
    errLines.push_back(process.err.substr(start, end - start));
  }
  ASSERT_FALSE(errLines.empty()) << "no summary on standard error";
  int saved = -1, failed = -1, skipped = -1;
  EXPECT_EQ(std::sscanf(errLines.back().c_str(), "Finished: %d saved, %d failed, %d skipped",
                        &saved, &failed, &skipped),
            3)
      << errLines.back();
  EXPECT_EQ(saved + failed + skipped, static_cast<int>(page.size())) << errLines.back();
  EXPECT_EQ(failed, expectedFailed) << errLines.back();
  EXPECT_EQ(process.exitCode, expectedFailed > 0 ? 3 : 0);
  // A late line whose message holds a line break goes on on the next line; each ends marked.
  const std::string late = " (after the run's end)";
  const auto endsLate = [&late](const std::string& line) {
    return line.size() > late.size() &&
           line.compare(line.size() - late.size(), late.size(), late) == 0;
  };
  const auto startsRecord = [](const std::string& line) {
    return line.size() > 1 && line[0] == 'T' && line[1] >= '0' && line[1] <= '9';
  };
  for (size_t i = 0; i + 1 < errLines.size(); ++i) {
    const bool next = i + 2 < errLines.size();
    if (endsLate(errLines[i])) continue;
    EXPECT_TRUE(next && !startsRecord(errLines[i + 1])) << "not a late result: " << errLines[i];
  }
  // The run cannot be over before its grace period; the end counts below show that no worker
  // outlived it.
  EXPECT_GE(process.wallSeconds, rig.GraceSeconds());

  for (const std::string& problem : CheckRecords(run.log, page)) ADD_FAILURE() << problem;
  // Standard output is the log pane line by line, and nothing else.
  EXPECT_TRUE(process.out == WithLf(run.logText)) << "stdout differs from log.txt";

  // The run's own files.
  EXPECT_EQ(ReadFileBytes(rig.SaveFolder() + "/result_content.txt"), rig.Page() + "\r\n");
  std::string list;
  for (const Expectation& expectation : page) list += expectation.address + "\r\n";
  EXPECT_TRUE(ReadFileBytes(rig.SaveFolder() + "/url_list.txt") == list) << "url_list.txt";
  for (const std::string& problem : CheckSaveFolder(rig.SaveFolder(), page, true, tolerated))
    ADD_FAILURE() << problem;

  // Nothing outlives the run: the program exits only when no worker is live, with no more
  // descriptors or threads than it started with.
  ASSERT_GE(run.probe.startFds, 0) << "the resource probe did not report";
  EXPECT_LE(run.probe.endFds, run.probe.startFds);
  EXPECT_LE(run.probe.endThreads, run.probe.startThreads + PIXHAUL_SOAK_RUNTIME_THREADS);
  EXPECT_LE(PeakRssKiB(run), rssBoundKiB);
}

}  // namespace pixhaul::test
