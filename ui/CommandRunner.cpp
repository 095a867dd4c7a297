#include "ui/CommandRunner.h"

#include <QAbstractButton>

namespace miravel {

bool CommandRunner::DeferClose(std::function<void()> close) {
  if (!IsRunning()) return false;
  deferredClose_ = std::move(close);
  return true;
}

void CommandRunner::SetStopControl(QAbstractButton* stop) {
  stopControl_ = stop;
  stop->setEnabled(beside_);
  CommandGuard::LetThroughDuringCommands(stop);
  QObject::connect(stop, &QAbstractButton::clicked, stop, [this] { stop_.Request(); });
}

bool CommandRunner::AskToStopBeforeClose(std::function<void()> close) {
  if (!IsRunning()) return false;
  if (beside_ && !stop_.Requested() &&
      ui_.AskYesNo(&window_, QStringLiteral("Süren işlem durdurulsun ve pencere kapatılsın mı?"))) {
    stop_.Request();
    deferredClose_ = std::move(close);
  }
  return true;
}

CommandRunner::BesideScope::BesideScope(CommandRunner& runner) : runner_(runner) {
  runner_.beside_ = true;
  if (runner_.stopControl_) runner_.stopControl_->setEnabled(true);
}

CommandRunner::BesideScope::~BesideScope() {
  runner_.beside_ = false;
  if (runner_.stopControl_) runner_.stopControl_->setEnabled(false);
}

void CommandRunner::RunDeferredClose() {
  // Taken first: the close may start a command of its own.
  std::function<void()> close = std::move(deferredClose_);
  deferredClose_ = nullptr;
  if (close) close();
}

}  // namespace miravel
