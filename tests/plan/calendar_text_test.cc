#include "plan/calendar_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/date.h"

namespace korimba {
namespace {

// The day a moment falls on, written without leading zeros, whatever its
// time of day: late evening must not round into the next day, and a moment
// before the serial origin (negative serial, fraction counted forward) must
// not land on the day after.
TEST(CalendarTextTest, DayOfAMomentWithoutLeadingZeros) {
  struct Case {
    CivilDateTime moment;
    std::string text;
  };
  const std::vector<Case> cases = {
      {{2024, 3, 1, 0, 0, 0, 0}, "2024-3-1"},
      {{2024, 12, 30, 23, 59, 59, 999}, "2024-12-30"},
      {{2024, 2, 29, 12, 0, 0, 0}, "2024-2-29"},
      {{1899, 12, 29, 23, 0, 0, 0}, "1899-12-29"},
      {{1899, 12, 30, 6, 0, 0, 0}, "1899-12-30"},
      {{100, 1, 1, 0, 0, 0, 0}, "100-1-1"},
      {{9999, 12, 31, 23, 59, 59, 0}, "9999-12-31"},
  };
  for (const Case& c : cases) EXPECT_EQ(DayText(*MakeDate(c.moment)), c.text) << c.text;
  EXPECT_EQ(DayText(2025, 1, 5), "2025-1-5");
}

}  // namespace
}  // namespace korimba
