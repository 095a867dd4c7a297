#pragma once

#include "ui/TerminalDialog.h"

namespace miravel {

// The window that keeps the device list, chooses the record file and runs the per-terminal
// commands. Created once at start and shown modally when needed.
class SettingsWindow : public TerminalDialog {
  Q_OBJECT

 public:
  SettingsWindow(AppState& state, TerminalClient& terminal, UiServices& ui,
                 QWidget* parent = nullptr);
};

}  // namespace miravel
