#include "ui/WarningForm.h"

namespace miravel {

Tuyariform::Tuyariform(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Uyarı"));
  setFixedSize(360, 160);
}

}  // namespace miravel
