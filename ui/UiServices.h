#pragma once

#include <QString>
#include <QUrl>
#include <exception>

#include "core/AppError.h"

class QWidget;

namespace miravel {

// Everything a window asks of the desktop beyond its own controls: message
// boxes, the file-open dialog and the browser. Windows get it by reference,
// so tests answer the dialogs themselves.
class UiServices {
 public:
  virtual ~UiServices() = default;

  // An information box with an OK button.
  virtual void ShowMessage(QWidget* parent, const QString& text) = 0;
  // The program's general error display (caption "Hata").
  virtual void ShowError(QWidget* parent, const QString& text) = 0;
  // A file-open dialog starting at startFile; empty when the user cancels.
  virtual QString ChooseOpenFile(QWidget* parent, const QString& startFile) = 0;
  virtual void OpenUrl(const QUrl& address) = 0;
  // A yes/no question (caption "Miravel"); true for "Evet".
  virtual bool AskYesNo(QWidget* parent, const QString& text) = 0;
};

// Runs one command of a window. An error stops the command where it happened
// (what was done before stays done), is shown to the user through ShowError
// and leaves the program running. AppError's text is the finished message;
// other exceptions show their own text. Returns whether the command ran to
// its end.
template <class F>
bool RunCommand(UiServices& ui, QWidget* parent, F&& body) {
  try {
    body();
    return true;
  } catch (const std::exception& error) {  // AppError among them
    ui.ShowError(parent, QString::fromUtf8(error.what()));
  } catch (...) {
    // An exception must never leave a Qt event handler: the program would end.
    ui.ShowError(parent, QStringLiteral("Beklenmeyen bir hata oluştu."));
  }
  return false;
}

}  // namespace miravel
