#include "ui/SettingsForm.h"

namespace miravel {

Tayarlarform::Tayarlarform(AppState& state, TerminalClient& terminal, UiServices& ui,
                           QWidget* parent)
    : TerminalDialog(state, terminal, ui, QStringLiteral("Ayarlar"), QSize(745, 501), parent) {}

}  // namespace miravel
