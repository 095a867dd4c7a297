#include "transfer/ClockCheck.h"

#include <utility>
#include <vector>

namespace miravel {

std::optional<long long> ClockOffBeyondTolerance(const std::optional<LocalDateTime>& terminal,
                                                 const LocalDateTime& pc) {
  if (!terminal) return std::nullopt;
  const long long ahead = SecondsBetween(pc, *terminal);
  if (ahead <= kClockTolerance && -ahead <= kClockTolerance) return std::nullopt;
  return ahead;
}

bool StampedTooFarAhead(const LocalDateTime& stamp, const LocalDateTime& pc) {
  return SecondsBetween(pc, stamp) > kRecordsAheadLimit;
}

std::string DurationText(long long seconds) {
  if (seconds < 0) seconds = -seconds;
  const std::vector<std::pair<long long, const char*>> units = {
      {86400, "gün"}, {3600, "sa"}, {60, "dk"}, {1, "sn"}};
  std::string text;
  int shown = 0;
  for (const auto& [size, name] : units) {
    const long long count = seconds / size;
    seconds %= size;
    // Once a unit is shown, the next one is shown too, even when it is 0
    // ("2 dk 0 sn" is still exact to the second).
    if ((count == 0 && shown == 0 && size != 1) || shown == 2) continue;
    if (!text.empty()) text += " ";
    text += std::to_string(count) + " " + name;
    ++shown;
  }
  return text;
}

std::string ClockWarningNote(const ClockWarning& warning, const std::string& howToSet) {
  std::string note;
  if (warning.terminalAhead) {
    note = "cihazın saati bu bilgisayarınkinden " + DurationText(*warning.terminalAhead) +
           (*warning.terminalAhead > 0 ? " ileri" : " geri");
  }
  if (warning.recordsAhead > 0) {
    if (!note.empty()) note += "; ";
    note += std::to_string(warning.recordsAhead) +
            " kaydın tarihi bu bilgisayarın saatinden bir günden fazla ileride (kayıt dosyasına "
            "cihazın yazdığı gibi aktarıldı)";
  }
  if (warning.terminalAhead) note += "; ayarlamak için: " + howToSet;
  return note;
}

}  // namespace miravel
