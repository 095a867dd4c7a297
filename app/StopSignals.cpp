#include "app/StopSignals.h"

#include <signal.h>

namespace miravel {
namespace {

// Set once, before the handlers are installed.
StopRequest* stopOnSignal = nullptr;

extern "C" void RequestStop(int) {
  if (stopOnSignal != nullptr) stopOnSignal->Request();
}

}  // namespace

void StopOnSignals(StopRequest& stop) {
  stopOnSignal = &stop;
  struct sigaction action {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace miravel
