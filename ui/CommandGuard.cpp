#include "ui/CommandGuard.h"

#include <QApplication>
#include <QEvent>

namespace miravel {
namespace {

int runningCommands = 0;

bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::Close:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
      return true;
    default:
      return false;
  }
}

}  // namespace

CommandGuard::CommandGuard() {
  ++runningCommands;
  qApp->installEventFilter(this);
}

CommandGuard::~CommandGuard() {
  qApp->removeEventFilter(this);
  --runningCommands;
}

void CommandGuard::Pump() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

bool CommandGuard::IsRunning() {
  return runningCommands > 0;
}

bool CommandGuard::eventFilter(QObject* watched, QEvent* event) {
  // A close the program asks for itself is not the user's.
  const bool fromUser = event->type() != QEvent::Close || event->spontaneous();
  if (IsUserInput(event->type()) && fromUser) {
    event->ignore();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace miravel
