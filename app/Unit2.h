// TfrmAbout: the About dialog - the product's name and version, the author credit, the icon,
// and the home page and support mail links.
//
// Created hidden at start-up; shown modally by the main window's Help, About. It reads the main
// window's caption and link fields every time it is shown, so it always shows their current
// values. The main window must outlive the dialog. GUI thread only.
#pragma once

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;

namespace pixhaul {

class TForm1;
class TLinkLabel;

inline constexpr const char* kAuthorCredit = "Written by the Pixhaul authors";

class TfrmAbout : public QDialog {
  Q_OBJECT

 public:
  explicit TfrmAbout(TForm1& mainWindow, QWidget* parent = nullptr);

  QFrame* Panel1 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label8 = nullptr;
  QLabel* Image1 = nullptr;
  QLabel* Label5 = nullptr;
  TLinkLabel* Label4 = nullptr;
  QLabel* Label6 = nullptr;
  TLinkLabel* Label7 = nullptr;
  QPushButton* bLater = nullptr;

  void FormShow();
  void Label4Click();
  void Label7Click();
  void bLaterClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  TForm1& mainWindow_;
};

}  // namespace pixhaul
