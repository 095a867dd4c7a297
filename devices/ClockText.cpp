#include "devices/ClockText.h"

#include "core/Numbers.h"

namespace miravel {

std::string FormatClockText(const LocalDateTime& time) {
  return PadNumber(2, time.day) + "/" + PadNumber(2, time.month) + "/" + PadNumber(4, time.year) +
         "  " + PadNumber(2, time.hour) + ":" + PadNumber(2, time.minute) + ":" +
         PadNumber(2, time.second);
}

}  // namespace miravel
