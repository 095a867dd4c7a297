#include <gtest/gtest.h>

#include <string>

#include "core/AppError.h"
#include "core/Numbers.h"

namespace miravel {
namespace {

TEST(ParseInteger, AcceptsBlanksSignsAndTheWhole32BitRange) {
  EXPECT_EQ(ParseInteger("42"), 42);
  EXPECT_EQ(ParseInteger("  42\t"), 42);
  EXPECT_EQ(ParseInteger("+7"), 7);
  EXPECT_EQ(ParseInteger("-7"), -7);
  EXPECT_EQ(ParseInteger("-0"), 0);
  EXPECT_EQ(ParseInteger("00012"), 12);
  EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
  EXPECT_EQ(ParseInteger("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(ParseInteger("000000000000000000002147483647"), 2147483647);
}

TEST(ParseInteger, RefusesEverythingElseNamingTheTextAsGiven) {
  for (const std::string text :
       {"", " ", "+", "-", "x1", "1x", "1.5", "1 2", "- 5", "+-5", "0x10", "2147483648",
        "-2147483649", "99999999999999999999", "18446744073709551621", "١٢"}) {
    try {
      ParseInteger(text);
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const AppError& error) {
      EXPECT_EQ(std::string(error.what()), "'" + text + "' is not a valid integer value");
    }
  }
}

TEST(PadNumber, PadsOnTheLeftAndKeepsTheLastCharacters) {
  EXPECT_EQ(PadNumber(5, 7), "00007");
  EXPECT_EQ(PadNumber(5, 12345), "12345");
  EXPECT_EQ(PadNumber(5, 123456), "23456");
  EXPECT_EQ(PadNumber(5, 100001), "00001");
  EXPECT_EQ(PadNumber(5, -12), "00-12");
  EXPECT_EQ(PadNumber(2, -12), "12");
  EXPECT_EQ(PadNumber(4, 2026), "2026");
  EXPECT_EQ(PadNumber(0, 5), "");
}

TEST(ProgressPercent, RoundsHalvesToEvenAndStaysWithin0To100) {
  EXPECT_EQ(ProgressPercent(1, 8), 12);  // 12.5
  EXPECT_EQ(ProgressPercent(3, 8), 38);  // 37.5
  EXPECT_EQ(ProgressPercent(2, 3), 67);  // 66.67
  EXPECT_EQ(ProgressPercent(1, 3), 33);
  EXPECT_EQ(ProgressPercent(1, 200), 0);      // 0.5
  EXPECT_EQ(ProgressPercent(3, 200), 2);      // 1.5
  EXPECT_EQ(ProgressPercent(199, 200), 100);  // 99.5
  EXPECT_EQ(ProgressPercent(0, 10), 0);
  EXPECT_EQ(ProgressPercent(-3, 10), 0);
  EXPECT_EQ(ProgressPercent(10, 10), 100);
  EXPECT_EQ(ProgressPercent(11, 10), 100);
  EXPECT_EQ(ProgressPercent(5, 0), 100);
  EXPECT_EQ(ProgressPercent(5, -1), 100);
  EXPECT_EQ(ProgressPercent(2'000'000'001, 4'000'000'000), 50);
}

}  // namespace
}  // namespace miravel
