#pragma once

#include <sys/resource.h>

namespace miravel::test {

// The peak resident size in kB of this process (RUSAGE_SELF) or of its
// largest child already waited for (RUSAGE_CHILDREN).
inline long PeakKilobytes(int who) {
  rusage usage{};
  ::getrusage(who, &usage);
  return usage.ru_maxrss;
}

}  // namespace miravel::test
