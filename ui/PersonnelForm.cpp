#include "ui/PersonnelForm.h"

namespace miravel {

Tpersonelform::Tpersonelform(AppState& state, TerminalClient& terminal, UiServices& ui,
                             QWidget* parent)
    : QDialog(parent), state_(state), terminalClient_(terminal), ui_(ui) {
  setWindowTitle(QStringLiteral("Personel"));
  setFixedSize(800, 560);
}

}  // namespace miravel
