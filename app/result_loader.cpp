// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "app/result_loader.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <exception>
#include <stdexcept>

#include "download/page_address_count.h"

namespace pixhaul {

namespace {

// The scroll and the press: to the end of the page, then the site's "more results" control
// when the page shows it (displayed and enabled). Answers the page's size afterwards, or the
// error the page raised (an invalid selector, say).
constexpr const char* kScrollScript = R"js(
(function (selector) {
  try {
    if (!document.body) return null;
    var page = document.scrollingElement || document.documentElement;
    window.scrollTo(0, page.scrollHeight);
    var pressed = false;
    if (selector) {
      var control = document.querySelector(selector);
      if (control && control.offsetParent !== null && !control.disabled) {
        control.click();
        pressed = true;
      }
    }
    return {size: document.getElementsByTagName('*').length + ':' + page.scrollHeight,
            pressed: pressed};
  } catch (e) {
    return {error: String(e)};
  }
})(%1)
)js";

// The page's size: how many elements it has and how high it is. Read only.
constexpr const char* kSizeScript = R"js(
(function () {
  if (!document.body) return null;
  var page = document.scrollingElement || document.documentElement;
  return {size: document.getElementsByTagName('*').length + ':' + page.scrollHeight};
})()
)js";

// "35 → 180": the count the loading started from and the count now.
std::string Counts(int first, int now) {
  return std::to_string(first) + " \xe2\x86\x92 " + std::to_string(now);
}

// `text` as a JavaScript string literal, quotes and escapes included.
QString ScriptString(const std::string& text) {
  const QByteArray array =
      QJsonDocument(QJsonArray{QString::fromStdString(text)}).toJson(QJsonDocument::Compact);
  return QString::fromUtf8(array.mid(1, array.size() - 2));
}

std::string Span(int milliseconds) {
  if (milliseconds % 60000 == 0) return std::to_string(milliseconds / 60000) + " minutes";
  return std::to_string(milliseconds / 1000) + " seconds";
}

}  // namespace

std::string LoadingText(int first, int now) {
  return "Loading more results: " + Counts(first, now);
}

bool IsLoadFailure(LoadEnd end) {
  return end == LoadEnd::kNeverGrew || end == LoadEnd::kNoPage || end == LoadEnd::kNoAnswer ||
         end == LoadEnd::kFailed;
}

std::string LoadEndText(const LoadOutcome& outcome, const ResultLoaderTimings& timings) {
  const std::string counts = Counts(outcome.first, outcome.now);
  const std::string held = " (" + std::to_string(outcome.now) + " results)";
  const std::string failed = "Could not load more results: ";
  switch (outcome.end) {
    case LoadEnd::kStoppedGrowing:
      return "Loaded more results: " + counts + " (the page stopped growing)";
    case LoadEnd::kTargetReached:
      return "Loaded more results: " + counts + " (" + std::to_string(outcome.target) + " wanted)";
    case LoadEnd::kStoppedByUser:
      return "Loaded more results: " + counts + " (stopped)";
    case LoadEnd::kRoundLimit:
      return "Loaded more results: " + counts + " (the limit of " +
             std::to_string(timings.maxRounds) + " rounds is reached)";
    case LoadEnd::kTimeLimit:
      return "Loaded more results: " + counts + " (the time limit of " + Span(timings.maxTotalMs) +
             " is reached)";
    case LoadEnd::kNeverGrew:
      return failed + "the page did not grow" + held;
    case LoadEnd::kNoPage:
      return failed + "no page is shown";
    case LoadEnd::kNoAnswer:
      return failed + "the page does not answer" + held;
    case LoadEnd::kFailed:
      return failed + outcome.detail + held;
  }
  return failed + outcome.detail;
}

ResultLoader::ResultLoader(WebViewAdapter& web, std::function<std::optional<SiteId>()> site,
                           RulesFileSource rulesFile, ResultLoaderTimings timings, QObject* parent)
    : QObject(parent),
      web_(web),
      site_(std::move(site)),
      rulesFile_(std::move(rulesFile)),
      timings_(timings) {
  qRegisterMetaType<LoadOutcome>();
}

ResultLoader::~ResultLoader() = default;

std::optional<int> ResultLoader::CountResults() {
  std::optional<std::string> markup = web_.CapturePageMarkup();
  if (!markup) return std::nullopt;
  if (!workFolder_) {
    workFolder_.emplace(QDir::tempPath() + "/pixhaul-count-XXXXXX");
    if (!workFolder_->isValid()) {
      workFolder_.reset();
      throw std::runtime_error("cannot make a folder for the count in " +
                               QDir::tempPath().toStdString());
    }
  }
  // Faults of the rules file are the run's to report; the count uses what the run will use.
  (void)rules_.Refresh(rulesFile_ ? rulesFile_() : RulesFileLocation{});
  return CountPageAddresses(std::move(*markup), site_(), rules_,
                            workFolder_->path().toStdString() + "/");
}

void ResultLoader::Start(int target, const std::string& moreSelector) {
  if (running_) return;
  running_ = true;
  ++generation_;
  clock_.start();
  outcome_ = LoadOutcome{};
  outcome_.target = target;
  roundsWithoutGrowth_ = 0;
  moreSelector_ = ScriptString(moreSelector);
  const std::optional<int> count = CountForLoading();
  if (!count) return;
  outcome_.first = outcome_.now = *count;
  emit Progress(outcome_.first, outcome_.now);
  if (outcome_.now >= target) return Finish(LoadEnd::kTargetReached);
  Round();
}

void ResultLoader::Stop() {
  if (running_) Finish(LoadEnd::kStoppedByUser);
}

bool ResultLoader::TimeIsUp() const { return clock_.elapsed() >= timings_.maxTotalMs; }

void ResultLoader::Finish(LoadEnd end, const std::string& detail) {
  running_ = false;
  ++generation_;
  outcome_.end = end;
  outcome_.detail = detail;
  emit Finished(outcome_);
}

void ResultLoader::Ask(const QString& script, void (ResultLoader::*then)(const QVariant&)) {
  QWebEngineView* view = web_.View();
  if (!view || view->url().isEmpty()) return Finish(LoadEnd::kNoPage);
  const unsigned asked = generation_;
  // Answered or not, each question gets a new generation, so that an answer that comes after
  // the time limit or after the loading ended is dropped.
  QPointer<ResultLoader> self(this);
  QTimer::singleShot(kCaptureTimeLimit, this, [this, asked] {
    if (running_ && generation_ == asked) Finish(LoadEnd::kNoAnswer);
  });
  view->page()->runJavaScript(script, QWebEngineScript::ApplicationWorld,
                              [self, asked, then](const QVariant& answer) {
                                if (!self || !self->running_ || self->generation_ != asked) return;
                                const unsigned next = ++self->generation_;
                                // Taken from the event loop, not inside the view's answer: a
                                // capture waits for an answer of its own, which the view does
                                // not deliver while this one is being handled.
                                QMetaObject::invokeMethod(
                                    self.data(),
                                    [self, next, then, answer] {
                                      if (self && self->running_ && self->generation_ == next) {
                                        (self.data()->*then)(answer);
                                      }
                                    },
                                    Qt::QueuedConnection);
                              });
}

void ResultLoader::Round() {
  if (TimeIsUp()) return Finish(LoadEnd::kTimeLimit);
  if (outcome_.rounds >= timings_.maxRounds) return Finish(LoadEnd::kRoundLimit);
  ++outcome_.rounds;
  Ask(QString::fromLatin1(kScrollScript).arg(moreSelector_), &ResultLoader::Scrolled);
}

void ResultLoader::Scrolled(const QVariant& answer) {
  const QVariantMap reply = answer.toMap();
  if (reply.contains("error"))
    return Finish(LoadEnd::kFailed, reply["error"].toString().toStdString());
  if (!reply.contains("size")) return Finish(LoadEnd::kNoPage);
  sizeLastSeen_ = reply["size"].toString();
  roundStartMs_ = clock_.elapsed();
  lastChangeMs_ = -1;
  PollLater();
}

void ResultLoader::PollLater() {
  const unsigned waiting = generation_;
  QTimer::singleShot(timings_.pollMs, this, [this, waiting] {
    if (running_ && generation_ == waiting) Poll();
  });
}

void ResultLoader::Poll() {
  if (TimeIsUp()) return Finish(LoadEnd::kTimeLimit);
  Ask(QString::fromLatin1(kSizeScript), &ResultLoader::Measured);
}

void ResultLoader::Measured(const QVariant& answer) {
  const QVariantMap reply = answer.toMap();
  if (!reply.contains("size")) return Finish(LoadEnd::kNoPage);
  const QString size = reply["size"].toString();
  const qint64 now = clock_.elapsed();
  if (size != sizeLastSeen_) {
    sizeLastSeen_ = size;
    lastChangeMs_ = now;
  }
  const qint64 inRound = now - roundStartMs_;
  if (lastChangeMs_ < 0 && inRound >= timings_.growthWaitMs) {
    // Not grown: the count cannot have changed, so the page need not be captured.
    roundsWithoutGrowth_ += 1;
    return AfterCount(outcome_.now, false);
  }
  // A page that never settles is counted once a round has lasted twice its wait.
  if (lastChangeMs_ >= 0 &&
      (now - lastChangeMs_ >= timings_.settleMs || inRound >= 2 * timings_.growthWaitMs)) {
    return CountRound();
  }
  PollLater();
}

std::optional<int> ResultLoader::CountForLoading() {
  const unsigned counting = generation_;
  std::optional<int> count;
  try {
    count = CountResults();
  } catch (const std::exception& error) {
    if (generation_ == counting) Finish(LoadEnd::kFailed, error.what());
    return std::nullopt;
  }
  if (!running_ || generation_ != counting) return std::nullopt;  // stopped during the capture
  if (!count) Finish(LoadEnd::kNoPage);
  return count;
}

void ResultLoader::CountRound() {
  const std::optional<int> count = CountForLoading();
  if (!count) return;
  roundsWithoutGrowth_ = *count > outcome_.now ? 0 : roundsWithoutGrowth_ + 1;
  AfterCount(*count, true);
}

void ResultLoader::AfterCount(int count, bool counted) {
  outcome_.now = count;
  if (counted) emit Progress(outcome_.first, outcome_.now);
  if (outcome_.now >= outcome_.target) return Finish(LoadEnd::kTargetReached);
  if (roundsWithoutGrowth_ >= timings_.roundsWithoutGrowth) {
    return Finish(outcome_.now > outcome_.first ? LoadEnd::kStoppedGrowing : LoadEnd::kNeverGrew);
  }
  Round();
}

}  // namespace pixhaul
