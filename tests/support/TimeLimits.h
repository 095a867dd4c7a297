#pragma once

namespace miravel::test {

// The sanitized build (scripts/test-sanitized.sh) runs our code several times
// slower. A time limit that is there to catch work gone quadratic is
// stretched by this factor there, so that it still catches that without
// failing on the sanitizers' own cost.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr int kTimeLimitScale = 4;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr int kTimeLimitScale = 4;
#else
inline constexpr int kTimeLimitScale = 1;
#endif
#else
inline constexpr int kTimeLimitScale = 1;
#endif

// The sanitizers' shadow memory multiplies a process's peak size too; a memory
// bound that is there to catch growth without bound is stretched alike.
inline constexpr int kMemoryLimitScale = kTimeLimitScale;

}  // namespace miravel::test
