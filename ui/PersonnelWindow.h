#pragma once

#include "ui/TerminalDialog.h"

namespace miravel {

// The window that shows the users of one terminal beside the personnel store on this computer.
// Created once at start and shown modally when needed.
class PersonnelWindow : public TerminalDialog {
  Q_OBJECT

 public:
  PersonnelWindow(AppState& state, TerminalClient& terminal, UiServices& ui,
                  QWidget* parent = nullptr);
};

}  // namespace miravel
