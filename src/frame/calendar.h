// Calendar arithmetic on automation dates, as the component's methods use it:
// the day, month, year and weekday of a date, adding days and months, and the
// midnight of a day. Results outside the automation date range (years 100 to
// 9999) overflow with an AutomationError rather than wrap or go silently
// wrong. Free functions over the plain Date value; any thread.
#ifndef KORIMBA_FRAME_CALENDAR_H_
#define KORIMBA_FRAME_CALENDAR_H_

#include <cstdint>

#include "frame/date.h"

namespace korimba {

enum class FirstDay { kSunday = 1, kMonday = 2 };
int DayOf(Date d);    // 1..31
int MonthOf(Date d);  // 1..12
int YearOf(Date d);
int WeekdayOf(Date d, FirstDay first = FirstDay::kSunday);  // 1..7
Date AddDays(Date d, int32_t days);
// Keeps the day of month, clipped to the last day of the resulting month.
Date AddMonths(Date d, int32_t months);
Date DateOnly(Date d);  // midnight of the same day

// The serial as a date when it lies in the date range (100-01-01 up to, not
// including, 10000-01-01); an overflow error naming the day number otherwise.
Date CheckedDate(double serial);

}  // namespace korimba

#endif  // KORIMBA_FRAME_CALENDAR_H_
