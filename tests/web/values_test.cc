#include "web/values.h"

#include <gtest/gtest.h>

namespace korimba::web {
namespace {

Variant At(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
           int millisecond = 0) {
  return Variant::FromDate(*MakeDate({year, month, day, hour, minute, second, millisecond}));
}

TEST(ValuesTest, DatesShowTheirMinuteOrOnlyTheDayAtMidnight) {
  struct Case {
    Variant value;
    const char* shown;
  } cases[] = {
      {At(2024, 3, 5), "2024-03-05"},
      {At(2024, 3, 5, 9, 7), "2024-03-05 09:07"},
      {At(2024, 12, 31, 23, 59, 59, 997), "2024-12-31 23:59"},
      // Seconds alone still make it a time of day; they are not shown.
      {At(2024, 3, 5, 0, 0, 30), "2024-03-05 00:00"},
      // Years keep four digits at both ends of the range.
      {At(100, 1, 1, 12, 0), "0100-01-01 12:00"},
      {At(9999, 12, 31), "9999-12-31"},
      {Variant::I4(42), "42"},
      {Variant::Null(), ""},
      {Variant(), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(DisplayText(c.value), c.shown) << c.shown;
}

}  // namespace
}  // namespace korimba::web
