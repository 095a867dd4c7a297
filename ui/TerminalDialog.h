#pragma once

#include <QDialog>
#include <QSize>
#include <QString>

#include "core/AppState.h"

namespace miravel {

class TerminalClient;
class UiServices;

// A modal window that works on the shared state through a terminal connection
// of its own: the settings window and the personnel window.
class TerminalDialog : public QDialog {
 protected:
  TerminalDialog(AppState& state, TerminalClient& terminal, UiServices& ui, const QString& caption,
                 QSize size, QWidget* parent)
      : QDialog(parent), state_(state), terminalClient_(terminal), ui_(ui) {
    setWindowTitle(caption);
    setFixedSize(size);
  }

  AppState& state_;
  TerminalClient& terminalClient_;
  UiServices& ui_;
};

}  // namespace miravel
