#include "frame/civil_days.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace korimba {
namespace {

std::string Text(const CivilDay& c) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", c.year, c.month, c.day);
  return buf;
}

TEST(CivilDaysTest, KnownDaysBothWays) {
  const struct {
    int year, month, day;
    int64_t days;
  } cases[] = {
      {1970, 1, 1, 0},         {1969, 12, 31, -1},    {1899, 12, 30, -25'569},
      {1900, 3, 1, -25'508},   {2000, 2, 29, 11'016}, {2000, 3, 1, 11'017},
      {1753, 1, 1, -79'257},   {1, 1, 1, -719'162},   {9999, 12, 31, 2'932'896},
      {1600, 2, 29, -135'081},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DaysFromCivil(c.year, c.month, c.day), c.days)
        << c.year << "-" << c.month << "-" << c.day;
    const CivilDay back = CivilFromDays(c.days);
    EXPECT_EQ(Text(back), Text({c.year, c.month, c.day})) << c.days;
  }
}

// Every day follows the one before it: the count never skips or repeats a
// day across month, leap day and century ends (spans at both ends of the
// range and around the 400-year eras of 1600 and 2000).
TEST(CivilDaysTest, EveryDayFollowsTheOneBefore) {
  for (const int first_year : {1, 1599, 1899, 9800}) {
    CivilDay expect{first_year, 1, 1};
    const int64_t from = DaysFromCivil(first_year, 1, 1);
    for (int64_t days = from; days < from + 200 * 366; ++days) {
      const CivilDay c = CivilFromDays(days);
      ASSERT_EQ(Text(c), Text(expect)) << days;
      ASSERT_EQ(DaysFromCivil(c.year, c.month, c.day), days);
      const bool leap = (c.year % 4 == 0 && c.year % 100 != 0) || c.year % 400 == 0;
      const int month_days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
      if (++expect.day > month_days[expect.month - 1]) {
        expect.day = 1;
        if (++expect.month > 12) {
          expect.month = 1;
          ++expect.year;
        }
      }
    }
  }
}

}  // namespace
}  // namespace korimba
