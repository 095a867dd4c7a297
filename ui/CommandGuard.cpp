#include "ui/CommandGuard.h"

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QEvent>
#include <QScrollBar>
#include <QVariant>
#include <QWindow>

namespace miravel {
namespace {

int runningCommands = 0;

constexpr const char* kLiveProperty = "miravelLiveDuringCommand";
constexpr const char* kCloseProperty = "miravelClosableDuringCommand";

bool HasPropertyUp(const QWidget* widget, const char* property) {
  for (; widget != nullptr; widget = widget->parentWidget()) {
    if (widget->property(property).toBool()) return true;
  }
  return false;
}

bool WithinScrollBar(const QWidget* widget) {
  for (; widget != nullptr; widget = widget->parentWidget()) {
    if (qobject_cast<const QScrollBar*>(widget) != nullptr) return true;
  }
  return false;
}

// The wheel over a list scrolls it; over a drop-down or a number field it
// would change a value, which a running command may be working from.
bool WheelOnlyScrolls(const QWidget* widget) {
  bool inList = false;
  for (; widget != nullptr; widget = widget->parentWidget()) {
    if (qobject_cast<const QComboBox*>(widget) != nullptr ||
        qobject_cast<const QAbstractSpinBox*>(widget) != nullptr) {
      return false;
    }
    if (qobject_cast<const QAbstractScrollArea*>(widget) != nullptr) inList = true;
  }
  return inList;
}

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

void CommandGuard::LetThroughDuringCommands(QWidget* widget) {
  widget->setProperty(kLiveProperty, true);
}

void CommandGuard::LetCloseThroughDuringCommands(QWidget* window) {
  window->setProperty(kCloseProperty, true);
}

bool CommandGuard::IsLetThrough(QObject* watched, const QEvent& event) {
  const QWidget* widget = WidgetOf(watched);
  if (widget == nullptr) return false;
  if (event.type() == QEvent::Close) return widget->property(kCloseProperty).toBool();
  if (event.type() == QEvent::Wheel) return WheelOnlyScrolls(widget);
  if (WithinScrollBar(widget)) return true;
  return HasPropertyUp(widget, kLiveProperty);
}

bool CommandGuard::IsForDialogOfCommand(QObject* watched) const {
  const QWidget* modal = QApplication::activeModalWidget();
  if (modal == nullptr || modal == modalAtStart_) return false;
  return BelongsTo(WidgetOf(watched), modal);
}

bool CommandGuard::eventFilter(QObject* watched, QEvent* event) {
  // A close the program asks for itself is not the user's.
  const bool fromUser = event->type() != QEvent::Close || event->spontaneous();
  if (IsUserInput(event->type()) && fromUser && !IsForDialogOfCommand(watched) &&
      !IsLetThrough(watched, *event)) {
    event->ignore();
    return true;
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace miravel
