#include "core/Numbers.h"

#include <algorithm>
#include <limits>

#include "core/AppError.h"
#include "core/Utf8.h"

namespace miravel {

namespace {

template <typename Int>
Int ParseWithin(std::string_view text) {
  const auto invalid = [&] {
    return AppError("'" + std::string(text) + "' is not a valid integer value");
  };
  std::string_view rest = TrimBlanks(text);
  bool negative = false;
  if (!rest.empty() && (rest.front() == '-' || rest.front() == '+')) {
    negative = rest.front() == '-';
    rest.remove_prefix(1);
  }
  if (rest.empty()) throw invalid();
  // Accumulated as a negative number, whose range reaches one further.
  Int value = 0;
  for (char c : rest) {
    if (c < '0' || c > '9') throw invalid();
    const int digit = c - '0';
    if (value < (std::numeric_limits<Int>::min() + digit) / 10) throw invalid();
    value = value * 10 - digit;
  }
  if (!negative) {
    if (value == std::numeric_limits<Int>::min()) throw invalid();
    value = -value;
  }
  return value;
}

}  // namespace

int ParseInteger(std::string_view text) {
  return ParseWithin<int>(text);
}

std::int64_t ParseInteger64(std::string_view text) {
  return ParseWithin<std::int64_t>(text);
}

std::string PadNumber(int width, std::int64_t value) {
  std::string digits = std::to_string(value);
  const auto size = static_cast<std::size_t>(std::max(width, 0));
  if (digits.size() < size) return std::string(size - digits.size(), '0') + digits;
  return digits.substr(digits.size() - size);
}

int ProgressPercent(std::int64_t done, std::int64_t total) {
  if (done <= 0) return 0;
  if (total <= 0 || done >= total) return 100;
  const std::int64_t scaled = done * 100;
  std::int64_t quotient = scaled / total;
  const std::int64_t twiceRemainder = (scaled % total) * 2;
  if (twiceRemainder > total || (twiceRemainder == total && quotient % 2 == 1)) ++quotient;
  return static_cast<int>(quotient);
}

}  // namespace miravel
