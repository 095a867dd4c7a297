#pragma once

#include <QStringList>
#include <QUrl>

#include "ui/UiServices.h"

namespace miravel::test {

// Answers every dialog of a window under test and remembers what was shown.
class FakeUiServices : public UiServices {
 public:
  void ShowMessage(QWidget*, const QString& text) override { messages << text; }
  void ShowError(QWidget*, const QString& text) override { errors << text; }
  QString ChooseOpenFile(QWidget*, const QString& startFile) override {
    chooseStartFiles << startFile;
    return nextChosenFile;
  }
  void OpenUrl(const QUrl& address) override { openedUrls << address; }
  bool AskYesNo(QWidget*, const QString& text) override {
    questions << text;
    return answerYes;
  }

  QStringList messages;
  QStringList errors;
  QStringList chooseStartFiles;
  QString nextChosenFile;
  QList<QUrl> openedUrls;
  QStringList questions;
  bool answerYes = true;
};

}  // namespace miravel::test
