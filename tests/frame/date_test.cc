#include "frame/date.h"

#include <gtest/gtest.h>

#include <tuple>

namespace korimba {
namespace {

Date At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return MakeDate({y, mo, d, h, mi, s, 0}).value();
}

TEST(DateTest, SerialOriginAndNegativeDaysCountTimeForward) {
  EXPECT_EQ(At(1899, 12, 30).serial, 0);
  EXPECT_EQ(At(1900, 1, 1).serial, 2);
  EXPECT_EQ(At(2024, 3, 5).serial, 45356);
  // Before the origin the day is negative and the fraction still runs from
  // midnight: 1899-12-29 06:00 is -1.25, not -0.75.
  EXPECT_EQ(At(1899, 12, 29, 6).serial, -1.25);
  const CivilDateTime p = SplitDate(Date{-1.25});
  EXPECT_EQ(p.year * 10000 + p.month * 100 + p.day, 18991229);
  EXPECT_EQ(p.hour, 6);
}

TEST(DateTest, TimeLineOrdersMomentsOnBothSidesOfTheOrigin) {
  // Each moment is one hour after the one before it, across 1899-12-30.
  const Date moments[] = {At(1753, 1, 1, 9),   At(1753, 1, 1, 10),  At(1899, 12, 28, 23),
                          At(1899, 12, 29, 0), At(1899, 12, 29, 1), At(1899, 12, 29, 23),
                          At(1899, 12, 30, 0), At(1899, 12, 30, 1), At(1899, 12, 31, 0)};
  for (size_t i = 1; i < std::size(moments); ++i) {
    EXPECT_LT(TimeLineDays(moments[i - 1]), TimeLineDays(moments[i]))
        << FormatDate(moments[i - 1]) << " vs " << FormatDate(moments[i]);
  }
  EXPECT_EQ(TimeLineDays(At(1899, 12, 29, 6)), -0.75);
  EXPECT_EQ(TimeLineDays(At(1899, 12, 30, 12)), 0.5);
  EXPECT_EQ(TimeLineDays(Date{-0.5}), 0.5);  // day 0 whichever the sign
  for (const Date d : moments) {
    EXPECT_EQ(FromTimeLineDays(TimeLineDays(d)).serial, d.serial) << FormatDate(d);
  }
  EXPECT_EQ(FormatDate(FromTimeLineDays(TimeLineDays(At(1899, 12, 29, 23)) + 2.0 / 24)),
            "01:00:00");
}

TEST(DateTest, TheCalendarsFirstAndLastDaysKeepTheirTimes) {
  const CivilDateTime ends[] = {{9999, 12, 31, 23, 59, 59, 997},
                                {9999, 12, 31, 12, 0, 0, 0},
                                {100, 1, 1, 12, 0, 0, 0},
                                {100, 1, 1, 23, 59, 59, 997}};
  for (const CivilDateTime& p : ends) {
    const CivilDateTime back = SplitDate(MakeDate(p).value());
    EXPECT_EQ(std::tuple(back.year, back.month, back.day, back.hour, back.minute, back.second,
                         back.millisecond),
              std::tuple(p.year, p.month, p.day, p.hour, p.minute, p.second, p.millisecond));
  }
  EXPECT_EQ(FormatDate(MakeDate({9999, 12, 31, 23, 59, 59, 0}).value()), "9999-12-31 23:59:59");
  // Shown to the second, the last moment does not round into year 10000.
  EXPECT_EQ(FormatDate(MakeDate({9999, 12, 31, 23, 59, 59, 997}).value()), "9999-12-31 23:59:59");
  EXPECT_EQ(FormatDate(MakeDate({2024, 2, 29, 23, 59, 59, 997}).value()), "2024-03-01");
}

TEST(DateTest, SplitRoundsToTheMillisecondAcrossMidnight) {
  const Date almost{At(2024, 3, 5).serial + 1 - 1e-10};  // a hair before midnight
  const CivilDateTime p = SplitDate(almost);
  EXPECT_EQ(p.day, 6);
  EXPECT_EQ(p.hour, 0);
  const CivilDateTime q = SplitDate(MakeDate({2024, 2, 29, 23, 59, 59, 999}).value());
  EXPECT_EQ(q.month * 100 + q.day, 229);
  EXPECT_EQ(q.millisecond, 999);
}

TEST(DateTest, TextFormLeavesOutMidnightAndMissingDate) {
  EXPECT_EQ(FormatDate(At(2024, 3, 5, 9, 7)), "2024-03-05 09:07:00");
  EXPECT_EQ(FormatDate(At(2024, 3, 5)), "2024-03-05");
  EXPECT_EQ(FormatDate(Date{0.25}), "06:00:00");
  EXPECT_EQ(FormatDate(Date{0}), "00:00:00");
  EXPECT_EQ(FormatDate(At(1899, 12, 29, 6)), "1899-12-29 06:00:00");
  // Every place keeps its leading zeros, the first year of the calendar's
  // included.
  EXPECT_EQ(FormatDate(At(100, 1, 2, 3, 4, 5)), "0100-01-02 03:04:05");
  EXPECT_EQ(FormatDate(At(2024, 10, 31, 23, 59, 58)), "2024-10-31 23:59:58");
  // Shown to the nearest second, carrying into the next day.
  EXPECT_EQ(FormatDate(Date{At(2024, 3, 5).serial + 1 - 0.4 / 86400}), "2024-03-06");
}

TEST(DateTest, ParsesTheAcceptedForms) {
  const struct {
    const char* text;
    const char* formatted;
  } cases[] = {
      {"2024-03-05", "2024-03-05"},
      {"2024-3-1", "2024-03-01"},
      {"2024/3/1", "2024-03-01"},
      {"2024-3-1 9:05", "2024-03-01 09:05:00"},
      {"2024-3-1 9:05:07", "2024-03-01 09:05:07"},
      {"  2024-03-05 09:07:00  ", "2024-03-05 09:07:00"},
      {"09:07:00", "09:07:00"},
      {"9:05", "09:05:00"},
      {"2024-02-29", "2024-02-29"},  // leap day
  };
  for (const auto& c : cases) {
    const std::optional<Date> d = ParseDateText(c.text);
    ASSERT_TRUE(d) << c.text;
    EXPECT_EQ(FormatDate(*d), c.formatted) << c.text;
  }
}

TEST(DateTest, RejectsEverythingElse) {
  EXPECT_FALSE(MakeDate({2024, 4, 31}));
  EXPECT_FALSE(MakeDate({2024, 1, 1, 24, 0, 0, 0}));
  for (const char* text :
       {"", " ", "2023-02-29", "1900-02-29", "2024-13-01", "2024-04-31", "2024-3/1", "2024-3-1x",
        "2024-3-1 25:00", "24:00", "9:60", "2024-3-1 9", "2024-3-1 x", "20240-1-1", "24-3-1",
        "45356", "2024-03-05T09:07", "9:05 2024-3-1", "9:05:07:01"}) {
    EXPECT_FALSE(ParseDateText(text)) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace korimba
