// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// WebViewAdapter: the embedded web view of the main window, seen as the three things the
// program needs of it - begin loading an address, tell whether a document is shown, and give
// the outer markup of that document's body as it stands now.
//
// The adapter owns the Qt WebEngine view (object name "web") and places it, filling, in the
// panel it is given; the panel (a child of the main window) owns the widgets in Qt's sense and
// must outlive the adapter. When the view cannot be created, a plain label explaining that
// takes its place: navigation then loads nothing and every capture reports no document.
//
// Every address the program asks the view to load is recorded in order, so that tests can see
// the navigations without letting the view reach any outside host. GUI thread only.
//
// Tests: tests/app/web_capture_test.cpp.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QString>
#include <QWebEngineView>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "harvest/site_table.h"

namespace pixhaul {

// How long a capture waits for the view's answer before counting it as no document.
inline constexpr std::chrono::milliseconds kCaptureTimeLimit{5000};

// Shown in place of the view when it could not be created.
inline constexpr const char* kWebViewUnavailableText =
    "The web browser component could not be started, so no page can be shown or captured.";

// Text of the web view (UTF-16) as 8-bit program text: UTF-8 of everything before the first
// NUL character, byte for byte as QString::toUtf8 gives it ("?" for a surrogate without its
// pair), made in one piece of its exact size.
std::string WideTextToAnsi(const QString& wide);

class WebViewAdapter {
 public:
  // Makes the view inside `parent`; may return null or throw when the view cannot be made.
  using ViewFactory = std::function<QWebEngineView*(QWidget* parent)>;
  static QWebEngineView* MakeWebEngineView(QWidget* parent);

  // Creates the view (through `factory`) inside `panel`, replacing it by the explanatory label
  // when the factory fails.
  explicit WebViewAdapter(QWidget* panel, const ViewFactory& factory = &MakeWebEngineView);
  ~WebViewAdapter();
  WebViewAdapter(const WebViewAdapter&) = delete;
  WebViewAdapter& operator=(const WebViewAdapter&) = delete;

  // The view, or null when it could not be created.
  QWebEngineView* View() const { return view_; }
  bool ViewAvailable() const { return view_ != nullptr; }

  // Begins loading the start page of `site` and returns at once.
  void NavigateToSite(SiteId site);
  // Begins loading `address` and returns at once. The address is recorded even when no view
  // exists.
  void Navigate(const std::string& address);
  const std::vector<std::string>& RequestedAddresses() const { return requested_; }

  // The body's outer markup of the document shown now, including what the page's scripts
  // added after loading, as 8-bit text. Nothing when no document is shown: no view, no address
  // loaded, a document without a body (an SVG or XML document), or no answer from the view
  // within `limit`. Waits in a local event loop that leaves out user input, so the window stays
  // painted while nothing the user does can run nested inside the capture.
  std::optional<std::string> CapturePageMarkup(std::chrono::milliseconds limit = kCaptureTimeLimit);

 private:
  QPointer<QWebEngineView> view_;
  QPointer<QLabel> placeholder_;
  std::vector<std::string> requested_;
};

}  // namespace pixhaul
