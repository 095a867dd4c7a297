#pragma once

#include <QDialog>

#include "core/AppState.h"

namespace miravel {

class TerminalClient;
class UiServices;

// The window that the users of one terminal beside the personnel store on this computer. Created
// once at start and shown modally when needed.
class Tpersonelform : public QDialog {
  Q_OBJECT

 public:
  Tpersonelform(AppState& state, TerminalClient& terminal, UiServices& ui,
                QWidget* parent = nullptr);

 private:
  AppState& state_;
  TerminalClient& terminalClient_;
  UiServices& ui_;
};

}  // namespace miravel
