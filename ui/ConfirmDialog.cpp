#include "ui/ConfirmDialog.h"

namespace miravel {

ConfirmDialog::ConfirmDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Uyarı"));
  setFixedSize(360, 160);
}

}  // namespace miravel
