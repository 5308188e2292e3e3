// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

#include "harvest/qt/web_view_adapter.h"

#include <QEventLoop>
#include <QLabel>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QVariant>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>
#include <exception>
#include <utility>

#include "harvest/site_table.h"

namespace pixhaul {

namespace {

// Asked in the application's own script world, so that a page script replacing
// document.body's getters or outerHTML in the page's world cannot change what is captured.
// The DOM itself is shared between the worlds, so script-made content is seen.
constexpr const char* kBodyMarkupScript = "document.body ? document.body.outerHTML : null";

}  // namespace

namespace {

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit < 0xDC00; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit < 0xE000; }

// Hands `put` the UTF-8 bytes of `wide` one character at a time, exactly as QString::toUtf8
// makes them: a surrogate that is not the first half of a pair, or a first half without its
// second, becomes "?" (and the unit after a lone first half is read as a character of its own).
template <class Put>
void ForEachUtf8(QStringView wide, Put&& put) {
  const char16_t* unit = wide.utf16();
  const char16_t* const end = unit + wide.size();
  while (unit < end) {
    const char32_t u = *unit++;
    if (u < 0x80) {
      put(static_cast<char>(u));
    } else if (u < 0x800) {
      put(static_cast<char>(0xC0 | (u >> 6)), static_cast<char>(0x80 | (u & 0x3F)));
    } else if (!IsHighSurrogate(static_cast<char16_t>(u)) &&
               !IsLowSurrogate(static_cast<char16_t>(u))) {
      put(static_cast<char>(0xE0 | (u >> 12)), static_cast<char>(0x80 | ((u >> 6) & 0x3F)),
          static_cast<char>(0x80 | (u & 0x3F)));
    } else if (IsHighSurrogate(static_cast<char16_t>(u)) && unit < end && IsLowSurrogate(*unit)) {
      const char32_t c = 0x10000 + ((u - 0xD800) << 10) + (*unit++ - 0xDC00);
      put(static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
          static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      put('?');
    }
  }
}

}  // namespace

std::string WideTextToAnsi(const QString& wide) {
  const qsizetype nul = wide.indexOf(QChar(u'\0'));
  const QStringView text = nul < 0 ? QStringView(wide) : QStringView(wide).first(nul);
  // Measured first, so the result is made once at its exact size: a page is held once, with no
  // intermediate byte array and no copy of it.
  size_t length = 0;
  ForEachUtf8(text, [&](auto... bytes) { length += sizeof...(bytes); });
  std::string result;
  result.resize(length);
  char* out = result.data();
  ForEachUtf8(text, [&](auto... bytes) { ((*out++ = bytes), ...); });
  return result;
}

QWebEngineView* WebViewAdapter::MakeWebEngineView(QWidget* parent) {
  return new QWebEngineView(parent);
}

WebViewAdapter::WebViewAdapter(QWidget* panel, const ViewFactory& factory) {
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  try {
    view_ = factory(panel);
  } catch (const std::exception&) {
    view_ = nullptr;
  }
  if (view_) {
    view_->setObjectName("web");
    layout->addWidget(view_);
  } else {
    placeholder_ = new QLabel(QString::fromUtf8(kWebViewUnavailableText), panel);
    placeholder_->setObjectName("webUnavailable");
    placeholder_->setWordWrap(true);
    placeholder_->setAlignment(Qt::AlignCenter);
    layout->addWidget(placeholder_);
  }
}

WebViewAdapter::~WebViewAdapter() = default;

void WebViewAdapter::NavigateToSite(SiteId site) { Navigate(SiteStartPage(site)); }

void WebViewAdapter::Navigate(const std::string& address) {
  requested_.push_back(address);
  if (view_) view_->load(QUrl(QString::fromStdString(address)));
}

std::optional<std::string> WebViewAdapter::CapturePageMarkup(std::chrono::milliseconds limit) {
  if (!view_ || view_->url().isEmpty()) return std::nullopt;

  // The answer may come after the time limit, when this frame is gone: the callback only
  // touches state it shares ownership of.
  struct Answer {
    bool arrived = false;
    QVariant value;
  };
  auto answer = std::make_shared<Answer>();
  QEventLoop loop;
  QPointer<QEventLoop> waitingLoop(&loop);
  QTimer::singleShot(limit, &loop, &QEventLoop::quit);
  view_->page()->runJavaScript(QString::fromLatin1(kBodyMarkupScript),
                               QWebEngineScript::ApplicationWorld,
                               [answer, waitingLoop](const QVariant& value) {
                                 answer->arrived = true;
                                 answer->value = value;
                                 if (waitingLoop) waitingLoop->quit();
                               });
  if (!answer->arrived) loop.exec(QEventLoop::ExcludeUserInputEvents);

  if (!answer->arrived || answer->value.typeId() != QMetaType::QString) return std::nullopt;
  // The view's text goes as soon as its 8-bit form is made.
  const QString wide = std::exchange(answer->value, QVariant()).toString();
  return WideTextToAnsi(wide);
}

}  // namespace pixhaul
