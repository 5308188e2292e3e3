// SPDX-License-Identifier: MIT
// Copyright (c) 2026 The Pixhaul developers

// TfrmAbout: the About dialog - the product's name and version, the author credit, the icon,
// the home page and support mail links, and beneath them the program's licence.
//
// Created hidden at start-up; shown modally by the main window's Help, About. What it shows comes
// from the AboutContent given to its constructor, asked again every time it is shown (and the
// links when clicked), so it always shows the current values; whatever the content reads must
// outlive the dialog. GUI thread only.
//
// Tests: tests/app/about_dialog_test.cpp.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

class QFrame;
class QLabel;
class QPushButton;

namespace pixhaul {

class TLinkLabel;

inline constexpr const char* kAuthorCredit = "Written by the Pixhaul authors";
inline constexpr const char* kLicenceLine = "Licensed under the MIT License";

// What the dialog shows besides its fixed texts.
struct AboutContent {
  std::function<QString()> caption;              // the product's name and version
  std::function<std::string()> homePageAddress;  // the home page link
  std::function<std::string()> supportMailLink;  // the mail link, "mailto:" included
};

class TfrmAbout : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmAbout(AboutContent content, QWidget* parent = nullptr);

  QFrame* Panel1 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label8 = nullptr;
  QLabel* Image1 = nullptr;
  QLabel* Label5 = nullptr;
  TLinkLabel* Label4 = nullptr;
  QLabel* Label6 = nullptr;
  TLinkLabel* Label7 = nullptr;
  QLabel* LabelLicence = nullptr;  // beneath the panel
  QPushButton* bLater = nullptr;

  void FormShow();
  void Label4Click();
  void Label7Click();
  void bLaterClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  AboutContent content_;
};

}  // namespace pixhaul
