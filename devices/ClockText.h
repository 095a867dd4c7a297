#pragma once

#include <string>

#include "core/Clock.h"

namespace miravel {

// A clock as the settings window shows it, the terminal's and the PC's alike:
// DD/MM/YYYY, two blanks, HH:MM:SS, each number zero-padded to its width (a
// longer number keeps its last digits): 05/03/2024  09:07:03.
std::string FormatClockText(const LocalDateTime& time);

}  // namespace miravel
