#include "ui/PacedProgressBar.h"

namespace miravel {

PacedProgressBar::PacedProgressBar(QWidget* parent) : QProgressBar(parent) {
  waiting_.setSingleShot(true);
  QObject::connect(&waiting_, &QTimer::timeout, this, [this] { ShowWaiting(); });
}

void PacedProgressBar::SetValuePaced(int value) {
  waitingValue_ = value;
  const bool edge = value <= minimum() || value >= maximum();
  if (edge || !sinceShown_.isValid() || sinceShown_.elapsed() >= kPaceMs) {
    ShowWaiting();
    return;
  }
  if (!waiting_.isActive()) waiting_.start(static_cast<int>(kPaceMs - sinceShown_.elapsed()));
}

void PacedProgressBar::ShowWaiting() {
  waiting_.stop();
  setValue(waitingValue_);
  sinceShown_.start();
}

}  // namespace miravel
