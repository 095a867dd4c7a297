#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace miravel {

// Lives for the length of one window command. While it lives, the windows keep
// painting (Pump) but every click, key press and close request is dropped, so
// no second command can start inside the running one and none is queued to
// start after it.
//
// A dialog the command opens itself (an error box, a question) is the one
// exception: it became the modal window after the command began, so its own
// input passes, or nobody could ever answer it.
class CommandGuard : public QObject {
  Q_OBJECT

 public:
  CommandGuard();
  ~CommandGuard() override;
  CommandGuard(const CommandGuard&) = delete;
  CommandGuard& operator=(const CommandGuard&) = delete;

  // Lets pending paints and timers run; user input is swallowed meanwhile.
  // A timer handler that must not run inside a command checks IsRunning().
  static void Pump();
  static bool IsRunning();

  // Input that still reaches its widget while a command runs: every click
  // and key of widget (a "Durdur" control), and the user's close of a window
  // that asks before it lets a command be stopped (CommandRunner's
  // AskToStopBeforeClose). The mouse wheel and the scroll bars always
  // answer, so that lists can be read during a command.
  static void LetThroughDuringCommands(QWidget* widget);
  static void LetCloseThroughDuringCommands(QWidget* window);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Whether the input is addressed to a dialog opened during the command.
  bool IsForDialogOfCommand(QObject* watched) const;
  // Whether the input may pass although a command runs.
  static bool IsLetThrough(QObject* watched, const QEvent& event);

  // The modal window the command was started from (none for the main window).
  QPointer<QWidget> modalAtStart_;
};

}  // namespace miravel
