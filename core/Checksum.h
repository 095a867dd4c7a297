#pragma once

#include <cstdint>
#include <string_view>

namespace miravel {

// 64-bit FNV-1a: quick, and enough to tell a note cut short or changed
// from a whole one; no defence against a deliberate forgery.
constexpr std::uint64_t kChecksumStart = 14695981039346656037ull;

inline std::uint64_t Checksum(std::string_view text, std::uint64_t value = kChecksumStart) {
  for (const char c : text) {
    value ^= static_cast<unsigned char>(c);
    value *= 1099511628211ull;
  }
  return value;
}

}  // namespace miravel
