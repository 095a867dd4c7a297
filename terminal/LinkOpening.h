#pragma once

#include <chrono>
#include <string>

#include "core/StopRequest.h"

namespace miravel {

// Opening the two kinds of link to a terminal, shared by the program's client
// and by the conformance checker so that both reach a terminal the same way.

// A non-blocking TCP connect to a numeric address, bounded by timeout; the
// open socket (Nagle off), or -1 when it did not succeed. A stop (null: none)
// asked while it waits throws StoppedOnRequest.
int ConnectTcp(const std::string& ipAddress, int port, std::chrono::milliseconds timeout,
               const StopRequest* stop = nullptr);

// Opens a serial device in raw mode at baudRate and discards what was left on
// the line; the descriptor, or -1 for no device, no serial device or a rate
// the line cannot take.
int OpenSerialLine(const std::string& path, int baudRate);

}  // namespace miravel
