#pragma once

#include "ui/UiServices.h"

namespace miravel {

// The real dialogs: QMessageBox, QFileDialog and QDesktopServices.
class QtUiServices : public UiServices {
 public:
  void ShowMessage(QWidget* parent, const QString& text) override;
  void ShowError(QWidget* parent, const QString& text) override;
  QString ChooseOpenFile(QWidget* parent, const QString& startFile) override;
  void OpenUrl(const QUrl& address) override;
  bool AskYesNo(QWidget* parent, const QString& text) override;
};

}  // namespace miravel
