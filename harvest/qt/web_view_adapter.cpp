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

#include "harvest/site_table.h"

namespace pixhaul {

namespace {

// Asked in the application's own script world, so that a page script replacing
// document.body's getters or outerHTML in the page's world cannot change what is captured.
// The DOM itself is shared between the worlds, so script-made content is seen.
constexpr const char* kBodyMarkupScript = "document.body ? document.body.outerHTML : null";

}  // namespace

std::string WideTextToAnsi(const QString& wide) {
  const qsizetype nul = wide.indexOf(QChar(u'\0'));
  const QByteArray bytes = (nul < 0 ? wide : wide.left(nul)).toUtf8();
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
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

void WebViewAdapter::NavigateToSite(int index) {
  if (!IsSiteIndex(index)) return;
  Navigate(SiteStartPage(index));
}

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
  return WideTextToAnsi(answer->value.toString());
}

}  // namespace pixhaul
