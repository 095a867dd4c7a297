#include "ui/PersonnelWindow.h"

namespace miravel {

PersonnelWindow::PersonnelWindow(AppState& state, TerminalClient& terminal, UiServices& ui,
                                 QWidget* parent)
    : TerminalDialog(state, terminal, ui, QStringLiteral("Personel"), QSize(800, 560), parent) {}

}  // namespace miravel
