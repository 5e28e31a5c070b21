#include "frame/calendar.h"

#include <algorithm>

#include "frame/error.h"
#include "frame/value_ops.h"

namespace korimba {
namespace {

constexpr double kMinDateSerial = -657'434.0;   // 100-01-01
constexpr double kMaxDateSerial = 2'958'466.0;  // 10000-01-01, exclusive

}  // namespace

Date CheckedDate(double serial) {
  if (!(serial >= kMinDateSerial && serial < kMaxDateSerial)) {
    ThrowOverflow("day number " + TextForm(Variant::R8(serial)) + " outside the date range");
  }
  return Date{serial};
}

int DayOf(Date d) { return SplitDate(d).day; }
int MonthOf(Date d) { return SplitDate(d).month; }
int YearOf(Date d) { return SplitDate(d).year; }

int WeekdayOf(Date d, FirstDay first) {
  // Day 0 (1899-12-30) was a Saturday, weekday 7 counted from Sunday.
  const int64_t from_sunday = ((SplitSerial(d).day + 6) % 7 + 7) % 7;  // 0 = Sunday
  const int offset = static_cast<int>(first) - 1;                      // 0 Sunday, 1 Monday
  return static_cast<int>((from_sunday - offset + 7) % 7) + 1;
}

Date AddDays(Date d, int32_t days) {
  const DayAndTime dt = SplitSerial(d);
  const Date result = JoinSerial(dt.day + days, dt.ms);
  CheckedDate(result.serial);
  return result;
}

Date AddMonths(Date d, int32_t months) {
  const DayAndTime dt = SplitSerial(d);
  const CivilDateTime parts = SplitDate(d);
  const int64_t month_index = static_cast<int64_t>(parts.year) * 12 + (parts.month - 1) + months;
  const int64_t year = month_index >= 0 ? month_index / 12 : (month_index - 11) / 12;
  const int month = static_cast<int>(month_index - year * 12) + 1;
  if (year < 100 || year > 9999) ThrowOverflow("date outside the date range");
  const int y = static_cast<int>(year);
  const int day = std::min(parts.day, DaysInMonth(y, month));
  return JoinSerial(*SerialDay(y, month, day), dt.ms);
}

Date DateOnly(Date d) { return JoinSerial(SplitSerial(d).day, 0); }

}  // namespace korimba
