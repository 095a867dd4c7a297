#pragma once

#include <QApplication>
#include <QObject>
#include <QTimer>

namespace miravel::test {

// Answers the next modal window of type Dialog once it is up, as a user would:
// it opens inside a command, after that command has pumped its own events.
template <class Dialog, class Answer>
void WhenModalOpens(Answer answer) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, [poll, answer] {
    if (auto* dialog = qobject_cast<Dialog*>(QApplication::activeModalWidget())) {
      poll->stop();
      poll->deleteLater();
      answer(*dialog);
    }
  });
  poll->start(10);
}

}  // namespace miravel::test
