#pragma once

#include <QDialog>

namespace miravel {

// The confirmation dialog asked before a command that erases data on a
// terminal. Created once at start and shown modally when needed.
class ConfirmDialog : public QDialog {
  Q_OBJECT

 public:
  explicit ConfirmDialog(QWidget* parent = nullptr);
};

}  // namespace miravel
