#pragma once

#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>
#include <exception>
#include <functional>
#include <thread>
#include <utility>

#include "core/StopRequest.h"
#include "ui/CommandGuard.h"
#include "ui/UiServices.h"

class QAbstractButton;
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
    stop_.Clear();
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

  // Inside a command's body: runs work(stop) on a thread of its own while
  // this thread goes on serving the windows: they paint, their timers fire,
  // the stop control and the scroll bars answer; the rest of the user's
  // input stays held by the guard. What work throws is thrown here, on the
  // window's thread. Whatever work posted to the window's thread (queued)
  // has arrived when this returns. Widgets must not be touched by work.
  template <class Work>
  void RunBeside(Work&& work) {
    std::exception_ptr error;
    QEventLoop loop;
    BesideScope beside(*this);
    std::thread worker([&] {
      try {
        work(stop_);
      } catch (...) {
        error = std::current_exception();
      }
      // Queued after everything work posted, so it arrives last.
      QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    // The loop may have been left early (the program quitting): what work
    // posted is delivered all the same.
    CommandGuard::Pump();
    if (error) std::rethrow_exception(error);
  }

  // The command's stop request: set by the stop control and by a close the
  // user confirmed; cleared when a command starts.
  StopRequest& Stop() { return stop_; }

  // The control ("Durdur") that asks the running command to stop. It is
  // enabled only while work runs beside the window, and its click passes
  // the guard.
  void SetStopControl(QAbstractButton* stop);

  // For the window's close by the user (its close event): while a command
  // runs beside the window, asks whether to stop it; on "Evet" requests the
  // stop and calls close once the command has ended. Returns true when the
  // close must wait (the event is to be ignored); false when no command runs
  // and the window closes now. The window marks itself with
  // LetCloseThroughDuringCommands so that the user's close reaches it.
  bool AskToStopBeforeClose(std::function<void()> close);

 private:
  // Enables the stop control for the time work runs beside the window.
  class BesideScope {
   public:
    explicit BesideScope(CommandRunner& runner);
    ~BesideScope();
    BesideScope(const BesideScope&) = delete;
    BesideScope& operator=(const BesideScope&) = delete;

   private:
    CommandRunner& runner_;
  };

  void RunDeferredClose();

  UiServices& ui_;
  QWidget& window_;
  std::function<void()> deferredClose_;
  StopRequest stop_;
  QPointer<QAbstractButton> stopControl_;
  bool beside_ = false;
};

}  // namespace miravel
