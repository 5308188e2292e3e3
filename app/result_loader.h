// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// ResultLoader: "Load more results" - lets the page in the web view load more results the way
// it does for a user who scrolls, so that a run afterwards captures them.
//
// A round scrolls the page to its end and presses the site's own "more results" control when
// one is shown, then watches the page's size until it has grown and settled (or a round's wait
// is over), and counts the results: the addresses a run would list from the page as it stands
// (download/page_address_count.h). It stops when the count has not grown for a few rounds in a
// row, when it reaches the target, after at most a fixed number of rounds or a fixed time, or
// when asked to (Stop, at once). No script of its own runs in the page but the scroll with the
// press, the look at the page's size and the capture that the count reads; they run in the
// program's own script world and send nothing anywhere.
//
// Everything happens in the GUI thread's event loop (timers and the web view's answers), so the
// window stays usable and the loader returns from Start at once; only the capture for a count
// waits, as a run's capture does. GUI thread only.
//
// Tests: tests/app/load_more_test.cpp.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTemporaryDir>
#include <QVariant>
#include <functional>
#include <optional>
#include <string>

#include "download/run_preparation.h"
#include "harvest/qt/web_view_adapter.h"
#include "harvest/rule_book.h"

namespace pixhaul {

inline constexpr const char* kLoadMoreCaption = "Load more results";
inline constexpr const char* kStopLoadingCaption = "Stop loading";
inline constexpr int kDefaultResultTarget = 500;

struct ResultLoaderTimings {
  int pollMs = 100;                // between looks at the page's size
  int growthWaitMs = 2000;         // a round without a change of size for this long did not grow
  int settleMs = 400;              // grown: counted once its size has held for this long
  int roundsWithoutGrowth = 3;     // rounds in a row without more results that end the loading
  int maxRounds = 200;             // rounds at most
  int maxTotalMs = 5 * 60 * 1000;  // time at most
};

// How a loading ended.
enum class LoadEnd {
  kStoppedGrowing,  // no more results for roundsWithoutGrowth rounds, after some had come
  kTargetReached,
  kStoppedByUser,
  kRoundLimit,
  kTimeLimit,
  kNeverGrew,  // no result came at all (a failure)
  kNoPage,     // no document shown, at the start or later (a failure)
  kNoAnswer,   // the page did not answer a script of the loader's (a failure)
  kFailed,     // a script error in the page, or the count could not be made (a failure)
};

struct LoadOutcome {
  LoadEnd end = LoadEnd::kStoppedGrowing;
  int first = 0;  // results when the loading started
  int now = 0;    // results when it ended
  int rounds = 0;
  int target = 0;
  std::string detail;  // the error of kFailed
};

// "Loading more results: 35 → 180".
std::string LoadingText(int first, int now);
// The status-bar text of an ended loading, with its final count, for instance "Loaded more
// results: 35 → 180 (the page stopped growing)" or "Could not load more results: the page did
// not grow (35 results)".
std::string LoadEndText(const LoadOutcome& outcome, const ResultLoaderTimings& timings);
// True for the ends that are failures.
bool IsLoadFailure(LoadEnd end);

class ResultLoader : public QObject {
  Q_OBJECT

 public:
  // `site` gives the selected site when a count is made (the run's marker and rules);
  // `rulesFile` where the rules file is, as a run asks for it.
  ResultLoader(WebViewAdapter& web, std::function<std::optional<SiteId>()> site,
               RulesFileSource rulesFile, ResultLoaderTimings timings = {},
               QObject* parent = nullptr);
  ~ResultLoader() override;

  // Starts loading until `target` results, pressing the control that `moreSelector` (a CSS
  // selector, empty for none) finds. Counts once before returning; a loading that ends at
  // once (no page, the target already reached) has emitted Finished by then. Ignored while
  // running.
  void Start(int target, const std::string& moreSelector);
  // Ends a running loading at once, as kStoppedByUser; nothing when none runs.
  void Stop();
  bool Running() const { return running_; }
  const ResultLoaderTimings& Timings() const { return timings_; }

  // The addresses a run would list from the page shown now; nothing when no document is shown.
  // Raises what writing the count's files and the harvest raise.
  std::optional<int> CountResults();

 signals:
  // The count changed, or the loading started (first == now then).
  void Progress(int first, int now);
  void Finished(const pixhaul::LoadOutcome& outcome);

 private:
  void Round();
  void Scrolled(const QVariant& answer);
  void Poll();
  void PollLater();  // a look at the page's size after the poll interval
  // The count for the loading under way; nothing when the loading has ended (the count failed,
  // no document is shown, or it was stopped while the page was captured).
  std::optional<int> CountForLoading();
  void Measured(const QVariant& answer);
  void CountRound();
  // Takes the round's count (made anew when `counted`) and ends the loading or goes on.
  void AfterCount(int count, bool counted);
  void Finish(LoadEnd end, const std::string& detail = {});
  // Runs `script` in the page; `then` gets the answer unless the loading ended meanwhile. No
  // answer within the capture's limit ends the loading as kNoAnswer; a view without a page
  // ends it as kNoPage.
  void Ask(const QString& script, void (ResultLoader::*then)(const QVariant&));
  bool TimeIsUp() const;

  WebViewAdapter& web_;
  std::function<std::optional<SiteId>()> site_;
  RulesFileSource rulesFile_;
  ResultLoaderTimings timings_;
  RuleBook rules_;
  std::optional<QTemporaryDir> workFolder_;  // made at the first count

  bool running_ = false;
  unsigned generation_ = 0;  // a new one for every start and end: late answers are dropped
  QString moreSelector_;     // as a JavaScript string literal
  QElapsedTimer clock_;
  LoadOutcome outcome_;
  int roundsWithoutGrowth_ = 0;
  QString sizeLastSeen_;  // the page's size at the latest look (or this round's scroll)
  qint64 roundStartMs_ = 0;
  qint64 lastChangeMs_ = -1;  // when the size last changed this round; -1 before it has
};

}  // namespace pixhaul

Q_DECLARE_METATYPE(pixhaul::LoadOutcome)
