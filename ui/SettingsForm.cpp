#include "ui/SettingsForm.h"

namespace miravel {

Tayarlarform::Tayarlarform(AppState& state, TerminalClient& terminal, UiServices& ui,
                           QWidget* parent)
    : QDialog(parent), state_(state), terminalClient_(terminal), ui_(ui) {
  setWindowTitle(QStringLiteral("Ayarlar"));
  setFixedSize(745, 501);
}

}  // namespace miravel
