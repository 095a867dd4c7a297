#pragma once

#include "terminal/DeviceConnection.h"
#include "ui/TerminalDialog.h"

namespace miravel {

// The window that shows the users of one terminal beside the personnel store on this computer.
// Created once at start and shown modally when needed.
class PersonnelWindow : public TerminalDialog {
  Q_OBJECT

 public:
  PersonnelWindow(AppState& state, TerminalClient& terminal, UiServices& ui,
                  QWidget* parent = nullptr);

  // The terminal to work on (PersonnelWindowTarget), handed over by the
  // settings window before it shows this window; connect it with
  // kPersonnelConnection.
  void SetTarget(const ConnectionTarget& target) { target_ = target; }
  const ConnectionTarget& Target() const { return target_; }

 private:
  ConnectionTarget target_;
};

}  // namespace miravel
