#include "ui/SettingsWindow.h"

namespace miravel {

SettingsWindow::SettingsWindow(AppState& state, TerminalClient& terminal, UiServices& ui,
                               QWidget* parent)
    : TerminalDialog(state, terminal, ui, QStringLiteral("Ayarlar"), QSize(745, 501), parent) {}

}  // namespace miravel
