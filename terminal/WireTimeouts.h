#pragma once

#include <chrono>

namespace miravel {

// The program's waits on a terminal link. The conformance checker holds a
// terminal to the same ones.
struct WireTimeouts {
  // A TCP connect that has not completed by then is a refused connection.
  std::chrono::milliseconds connect{3000};
  // How long a freshly opened link may take to answer the hello; a silent
  // line (wrong COM port, wrong machine number) is then a refused connection.
  std::chrono::milliseconds hello{3000};
  // During a call: the longest silence allowed between two bytes.
  std::chrono::milliseconds quiet{10000};
  // During a call: the longest time without progress (a reply, or a chunk
  // that brings records, users or templates). A terminal that keeps the line
  // busy without delivering anything (empty chunks, a byte now and then)
  // would otherwise hold a command for ever.
  std::chrono::milliseconds progress{30000};
};

}  // namespace miravel
