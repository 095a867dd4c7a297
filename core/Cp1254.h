#pragma once

#include <string>
#include <string_view>

namespace miravel {

// Stored files are 8-bit Turkish Windows text; everything in memory is UTF-8.
// Every one of the 256 bytes has a character, so bytes read and written back
// unchanged stay unchanged (the seven unassigned bytes map to the C1 controls
// of the same number).
std::string Cp1254ToUtf8(std::string_view bytes);

// A character with no Windows-1254 byte is written as '?'. Malformed UTF-8
// bytes are written as '?' too.
std::string Utf8ToCp1254(std::string_view utf8);

}  // namespace miravel
