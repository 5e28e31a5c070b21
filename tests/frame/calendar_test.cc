#include "frame/calendar.h"

#include <gtest/gtest.h>

#include "frame/error.h"
#include "tests/support/error_of.h"

namespace korimba {
namespace {

Date At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return MakeDate({y, mo, d, h, mi, s, 0}).value();
}

using testing::ErrorOf;

TEST(CalendarTest, DatePartsAndArithmetic) {
  const Date d = At(2024, 3, 5, 9, 7);  // a Tuesday
  EXPECT_EQ(DayOf(d), 5);
  EXPECT_EQ(MonthOf(d), 3);
  EXPECT_EQ(YearOf(d), 2024);
  EXPECT_EQ(WeekdayOf(d), 3);
  EXPECT_EQ(WeekdayOf(d, FirstDay::kMonday), 2);
  EXPECT_EQ(WeekdayOf(At(2024, 3, 3)), 1);                     // Sunday
  EXPECT_EQ(WeekdayOf(At(2024, 3, 3), FirstDay::kMonday), 7);  // Sunday last
  EXPECT_EQ(WeekdayOf(At(1899, 12, 29, 18)), 6);               // negative serial: Friday

  EXPECT_EQ(AddDays(d, 30), At(2024, 4, 4, 9, 7));
  EXPECT_EQ(AddDays(At(1899, 12, 29, 6), 1), At(1899, 12, 30, 6));  // across the origin
  EXPECT_EQ(AddMonths(At(2024, 1, 31), 1), At(2024, 2, 29));
  EXPECT_EQ(AddMonths(At(2023, 1, 31), 1), At(2023, 2, 28));
  EXPECT_EQ(AddMonths(At(2024, 3, 31, 8), -1), At(2024, 2, 29, 8));
  EXPECT_EQ(AddMonths(At(2024, 11, 15), 14), At(2026, 1, 15));
  EXPECT_EQ(DateOnly(d), At(2024, 3, 5));
}

TEST(CalendarTest, ResultsOutsideTheDateRangeOverflow) {
  EXPECT_EQ(ErrorOf([] { AddMonths(At(9999, 12, 15), 1); }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { AddMonths(At(100, 1, 15), -1); }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { AddDays(At(9999, 12, 31), 1); }), kErrOverflow);
  EXPECT_EQ(ErrorOf([] { CheckedDate(2'958'466.0); }), kErrOverflow);
  EXPECT_EQ(AddDays(At(9999, 12, 30), 1), At(9999, 12, 31));
  EXPECT_EQ(CheckedDate(-657'434.0), At(100, 1, 1));
}

}  // namespace
}  // namespace korimba
