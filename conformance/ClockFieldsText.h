#pragma once

#include <cstdio>
#include <string>

namespace miravel::conformance {

// A terminal's six clock fields as "YYYY/MM/DD HH:MM:SS", whatever their values.
inline std::string ClockFieldsText(const int (&f)[6]) {
  char text[80];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d", f[0], f[1], f[2], f[3], f[4],
                f[5]);
  return text;
}

}  // namespace miravel::conformance
