#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace miravel {

// Character-based helpers: widths and cuts in this program count characters
// ("Her Zaman Çıkış" is 15 characters), never bytes.

// Reads one code point at pos and advances pos past it. A malformed sequence
// yields U+FFFD and advances by one byte, so the caller always makes progress.
char32_t DecodeUtf8(std::string_view text, std::size_t& pos);
void AppendUtf8(std::string& out, char32_t codePoint);

std::size_t CharCount(std::string_view text);
// The first maxChars characters of text (all of it when shorter).
std::string CutToChars(std::string_view text, std::size_t maxChars);

// Removes leading and trailing spaces and tabs.
std::string_view TrimBlanks(std::string_view text);
// Removes leading and trailing spaces and control characters (bytes <= 0x20).
std::string_view TrimSpaceAndControls(std::string_view text);

}  // namespace miravel
