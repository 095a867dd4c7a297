#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace miravel {

// Reads a whole number the way every numeric text of this program is read:
// optional blanks, an optional sign, decimal digits, within 32 bits. Anything
// else throws AppError "'<text>' is not a valid integer value".
int ParseInteger(std::string_view text);
// The same within 64 bits, for texts that are only checked to be numbers.
std::int64_t ParseInteger64(std::string_view text);

// Decimal text of value, zero-padded on the left to width characters; a longer
// text keeps only its last width characters. The minus sign counts as a
// character: -12 at width 5 is "00-12", 123456 at width 5 is "23456".
std::string PadNumber(int width, std::int64_t value);

// done / total * 100 rounded to the nearest whole number, halves to the even
// neighbour, computed exactly (12.5 gives 12, 66.67 gives 67). A total of 0 or
// less, or more done than announced, gives 100; it is never below 0.
int ProgressPercent(std::int64_t done, std::int64_t total);

}  // namespace miravel
