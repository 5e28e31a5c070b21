// DayText writes a calendar day the way the calendar views splice their own
// date texts into statements: year, month and day in decimal without leading
// zeros ("2024-3-1", "2024-12-30"). The database reads it in year, month, day
// order. Free function; any thread.
#ifndef KORIMBA_PLAN_CALENDAR_TEXT_H_
#define KORIMBA_PLAN_CALENDAR_TEXT_H_

#include <string>

#include "frame/date.h"

namespace korimba {

std::string DayText(int year, int month, int day);
// The calendar day of `date` (its time of day is ignored).
std::string DayText(Date date);

}  // namespace korimba

#endif  // KORIMBA_PLAN_CALENDAR_TEXT_H_
