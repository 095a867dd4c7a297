#pragma once

#include "core/StopRequest.h"

namespace miravel {

// Ctrl+C (SIGINT) and a service stop (SIGTERM) request stop, so that a
// headless command ends at its next safe point instead of wherever the
// signal found it. The handler only sets the request (async-signal-safe) and
// gives each signal back its default action: a second one ends the program
// at once, which the files survive as they survive a kill (the next run
// settles it).
void StopOnSignals(StopRequest& stop);

}  // namespace miravel
