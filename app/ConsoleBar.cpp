#include "app/ConsoleBar.h"

#include <algorithm>

namespace miravel {

void ConsoleBar::Draw(const std::string& label, int percent) {
  if (!enabled_) return;
  constexpr int kWidth = 30;
  const int filled = std::clamp(percent, 0, 100) * kWidth / 100;
  out_ << "\r" << label << " [" << std::string(filled, '#') << std::string(kWidth - filled, '.')
       << "] " << percent << "%" << std::flush;
  shown_ = true;
}

void ConsoleBar::Clear() {
  if (shown_) out_ << "\r\033[K" << std::flush;
  shown_ = false;
}

}  // namespace miravel
