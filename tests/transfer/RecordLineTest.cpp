#include <gtest/gtest.h>

#include "core/AppError.h"
#include "transfer/RecordLine.h"

namespace miravel {
namespace {

std::string ErrorOf(const std::string& line) {
  try {
    NewLineTime(line);
  } catch (const AppError& error) {
    return error.what();
  }
  return "";
}

TEST(RecordLineTest, LayoutIsFixedWhateverTheValues) {
  EXPECT_EQ(FormatRecordLine(123, 1, 2026, 12, 7, 8, 30), "000,00123,1 2026/12/07 08:30:00");
  EXPECT_EQ(FormatRecordLine(7, 0, 2026, 1, 2, 3, 4), "000,00007,0 2026/01/02 03:04:00");
  EXPECT_EQ(FormatRecordLine(1234567, 0, 2026, 1, 2, 3, 4).substr(4, 5), "34567");
  // States that need two characters keep the time in its columns.
  for (int state : {10, 123, -1, -40}) {
    const std::string line = FormatRecordLine(5, state, 2026, 12, 7, 8, 30);
    EXPECT_EQ(line.size(), 31u) << state;
    EXPECT_EQ(line[10], kOutOfRangeInOutChar) << state;
    EXPECT_EQ(ExistingLineTime(line), ExistingLineTime("000,00005,1 2026/12/07 08:30:00"));
  }
}

TEST(RecordLineTest, InOutValueFollowsTheTerminalsMode) {
  EXPECT_EQ(InOutValue("Her Zaman Giriş", 5), 1);
  EXPECT_EQ(InOutValue("Her Zaman Çıkış", 0), 0);
  EXPECT_EQ(InOutValue("Her Zaman Çıkış", 4), 0);
  for (const char* mode : {"Standart", "", "her zaman giriş"}) {
    EXPECT_EQ(InOutValue(mode, 0), 1);
    EXPECT_EQ(InOutValue(mode, 4), 1);
    EXPECT_EQ(InOutValue(mode, 1), 0);
    EXPECT_EQ(InOutValue(mode, 5), 0);
    EXPECT_EQ(InOutValue(mode, 7), 7);
    EXPECT_EQ(InOutValue(mode, -2), -2);
  }
}

TEST(RecordLineTest, ExistingLinesWithBadPartsSortFirst) {
  const auto t = [](const char* line) { return ExistingLineTime(line); };
  EXPECT_LT(t("000,00001,1 2026/12/07 08:00:00"), t("000,00001,1 2026/12/07 08:01:00"));
  EXPECT_LT(t("000,00001,1 2025/12/31 23:59:00"), t("000,00001,1 2026/01/01 00:00:00"));
  // Leap days exist only in leap years.
  EXPECT_GT(t("000,00001,1 2024/02/29 10:00:00"), t("000,00001,1 2024/02/28 10:00:00"));
  EXPECT_EQ(t("000,00001,1 2023/02/29 10:00:00"), 10 * 60);
  // An impossible date keeps its clock time on day 0; an impossible time is 00:00.
  EXPECT_EQ(t("000,00001,1 2026/13/07 08:30:00"), 8 * 60 + 30);
  EXPECT_EQ(t("000,00001,1 2026/12/07 24:00:00"), t("000,00001,1 2026/12/07 00:00:00"));
  // Not the layout at all, or empty: time 0.
  EXPECT_EQ(t(""), 0);
  EXPECT_EQ(t("elle eklenmiş not"), 0);
  EXPECT_EQ(t("000,00001,1 2026/12/07 08:3"), 0);
  EXPECT_EQ(t("000,00001,10 2026/12/07 08:30:00"), 0);
  EXPECT_LT(t("000,00001,1 2026/12/07 08:30:00"), t("000,00001,1 2091/08/25 00:00:00"));
  EXPECT_LT(t("000,00001,1 2091/08/25 00:00:00"), t("000,00001,1 2091/08/25 00:01:00"));
}

TEST(RecordLineTest, StreamClockAgreesWithSingleLineTime) {
  // The remembered day must never leak into a line that differs from it.
  const std::vector<std::string> lines = {"000,00001,1 2026/12/07 08:00:00",
                                          "000,00001,1 2026/12/07 09:15:00",
                                          "000,00001,1 2026/12/07 xx:15:00",
                                          "000,00001,1 2026/12/07 25:15:00",
                                          "000,00001,1 2026/02/30 10:00:00",
                                          "000,00001,1 2026/02/30 10:01:00",
                                          "",
                                          "000,00001,1 2026/12/07 10:00:00",
                                          "000,00001,1 2026/12/0",
                                          "000,00001,1 2027/12/07 10:00:00",
                                          "000,00001,1 2027/1x/07 10:00:00",
                                          "000,00001,1 2027/12/07 10:00:00"};
  ExistingLineClock clock;
  for (const auto& line : lines) EXPECT_EQ(clock.TimeOf(line), ExistingLineTime(line)) << line;
}

TEST(RecordLineTest, ImpossibleNewRecordsNameTheirText) {
  EXPECT_EQ(ErrorOf(FormatRecordLine(1, 1, 2026, 2, 30, 8, 0)), "'2026/02/30' is not a valid date");
  EXPECT_EQ(ErrorOf(FormatRecordLine(1, 1, 0, 1, 1, 8, 0)), "'0000/01/01' is not a valid date");
  EXPECT_EQ(ErrorOf(FormatRecordLine(1, 1, -5, 1, 1, 8, 0)), "'00-5/01/01' is not a valid date");
  EXPECT_EQ(ErrorOf(FormatRecordLine(1, 1, 2026, 12, 7, 24, 0)), "'24:00:00' is not a valid time");
  EXPECT_EQ(ErrorOf(FormatRecordLine(1, 1, 2026, 12, 7, 8, 60)), "'08:60:00' is not a valid time");
  EXPECT_EQ(ErrorOf(FormatRecordLine(1, 1, 2026, 12, 7, -1, 0)), "'-1:00:00' is not a valid time");
  // A bad date is reported before a bad time.
  EXPECT_EQ(ErrorOf(FormatRecordLine(1, 1, 2026, 0, 7, 99, 0)), "'2026/00/07' is not a valid date");
  EXPECT_EQ(ErrorOf(FormatRecordLine(1, 1, 2026, 12, 7, 23, 59)), "");
}

}  // namespace
}  // namespace miravel
