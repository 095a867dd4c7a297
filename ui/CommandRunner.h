#pragma once

#include <functional>
#include <utility>

#include "ui/CommandGuard.h"
#include "ui/UiServices.h"

class QWidget;

namespace miravel {

// Runs a window's commands one at a time: while one runs, the windows keep
// painting but drop the user's input (CommandGuard), an error that stops a
// command is shown in a box over the window (RunCommand), and a close asked
// for meanwhile waits until the command has let go of what it holds.
class CommandRunner {
 public:
  CommandRunner(UiServices& ui, QWidget& window) : ui_(ui), window_(window) {}
  CommandRunner(const CommandRunner&) = delete;
  CommandRunner& operator=(const CommandRunner&) = delete;

  // Runs body unless a command is running already (of any window). Returns
  // whether body ran to its end.
  template <class Body>
  bool Run(Body&& body) {
    if (IsRunning()) return false;
    bool ran = false;
    {
      CommandGuard guard;
      ran = RunCommand(ui_, &window_, std::forward<Body>(body));
    }
    RunDeferredClose();
    return ran;
  }

  // While a command runs, keeps close to be called once it ends and returns
  // true; otherwise returns false, and the caller closes now. A later
  // request replaces an earlier one.
  bool DeferClose(std::function<void()> close);

  static bool IsRunning() { return CommandGuard::IsRunning(); }

 private:
  void RunDeferredClose();

  UiServices& ui_;
  QWidget& window_;
  std::function<void()> deferredClose_;
};

}  // namespace miravel
