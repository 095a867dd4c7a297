#include "ui/CommandRunner.h"

namespace miravel {

bool CommandRunner::DeferClose(std::function<void()> close) {
  if (!IsRunning()) return false;
  deferredClose_ = std::move(close);
  return true;
}

void CommandRunner::RunDeferredClose() {
  // Taken first: the close may start a command of its own.
  std::function<void()> close = std::move(deferredClose_);
  deferredClose_ = nullptr;
  if (close) close();
}

}  // namespace miravel
