#pragma once

#include <QString>
#include <QWidget>
#include <stdexcept>

namespace miravel::test {

// A window's control by its object name, as tests and tools reach it. A name
// that is missing (a renamed control) fails the test instead of crashing it.
template <class T>
T& FindControl(const QWidget& window, const QString& name) {
  T* control = window.findChild<T*>(name);
  if (control == nullptr) {
    throw std::logic_error("no control named " + name.toStdString() + " of the asked kind");
  }
  return *control;
}

}  // namespace miravel::test
