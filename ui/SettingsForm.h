#pragma once

#include <QDialog>

#include "core/AppState.h"

namespace miravel {

class TerminalClient;
class UiServices;

// The window that the device list editor, the record-file choice and the per-terminal commands.
// Created once at start and shown modally when needed.
class Tayarlarform : public QDialog {
  Q_OBJECT

 public:
  Tayarlarform(AppState& state, TerminalClient& terminal, UiServices& ui,
               QWidget* parent = nullptr);

 private:
  AppState& state_;
  TerminalClient& terminalClient_;
  UiServices& ui_;
};

}  // namespace miravel
