#include "ui/CommandGuard.h"

#include <QApplication>
#include <QEvent>
#include <QWindow>

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

// The widget behind a top-level window: mouse and key events reach the
// application's filters addressed to the window first, then to its widgets.
QWidget* WidgetOf(QObject* watched) {
  if (auto* widget = qobject_cast<QWidget*>(watched)) return widget;
  if (auto* window = qobject_cast<QWindow*>(watched)) {
    for (QWidget* topLevel : QApplication::topLevelWidgets()) {
      if (topLevel->windowHandle() == window) return topLevel;
    }
  }
  return nullptr;
}

// Whether widget is dialog or lies within it, drop-down lists of its
// controls included (they are windows of their own, parented to the control).
bool BelongsTo(const QWidget* widget, const QWidget* dialog) {
  for (; widget != nullptr; widget = widget->parentWidget()) {
    if (widget == dialog) return true;
  }
  return false;
}

}  // namespace

CommandGuard::CommandGuard() : modalAtStart_(QApplication::activeModalWidget()) {
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

bool CommandGuard::IsForDialogOfCommand(QObject* watched) const {
  const QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr || modal == modalAtStart_) return false;
  return BelongsTo(WidgetOf(watched), modal);
}

bool CommandGuard::eventFilter(QObject* watched, QEvent* event) {
  // A close the program asks for itself is not the user's.
  const bool fromUser = event->type() != QEvent::Close || event->spontaneous();
  if (IsUserInput(event->type()) && fromUser && !IsForDialogOfCommand(watched)) {
    event->ignore();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace miravel
