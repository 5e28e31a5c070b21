// Date is the automation date: a serial day number counted from 30 December
// 1899, with the time of day as the fraction of a day. Weekday and day
// arithmetic on it are exact. This header also holds the calendar helpers
// (civil date <-> serial) and the host locale's date text forms:
//   "2024-03-05 09:07:00" in general, "2024-03-05" at midnight and
//   "09:07:00" for a value with no date part (serial in [0, 1)).
// Text reads as a date in those forms and in "2024-3-1", "2024/3/1" and
// "2024-3-1 9:05[:07]". Plain value type; any thread.
#ifndef KORIMBA_FRAME_DATE_H_
#define KORIMBA_FRAME_DATE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace korimba {

struct Date {
  double serial = 0;
  friend bool operator==(const Date&, const Date&) = default;
};

struct CivilDateTime {
  int year = 1899;
  int month = 12;  // 1..12
  int day = 30;    // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// Builds a date from calendar parts; fails (nullopt) when a part is out of
// range (month 13, 31 April, hour 24 ...).
std::optional<Date> MakeDate(const CivilDateTime& parts);
// Calendar parts of a date, rounded to the millisecond.
CivilDateTime SplitDate(Date date);

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// "yyyy-mm-dd hh:mm:ss" / "yyyy-mm-dd" / "hh:mm:ss" as described above.
std::string FormatDate(Date date);
// Reads the accepted date text forms; nullopt when the text is no date.
std::optional<Date> ParseDateText(std::string_view text);

// The serial split into its day number and the time of day in milliseconds
// (rounded; 0 <= ms < 86400000). For a negative serial the fraction still
// counts forward from midnight: -1.25 is 1899-12-29 06:00.
struct DayAndTime {
  int64_t day = 0;
  int64_t ms = 0;
};
DayAndTime SplitSerial(Date date);
Date JoinSerial(int64_t day, int64_t ms);
// The date as days on a plain time line from the origin, so that an earlier
// moment is always the smaller number. A serial below 0 keeps its fraction
// forward from midnight (-1.25 is 06:00 of 1899-12-29, 0.75 days before the
// origin), so serials themselves cannot be compared or subtracted as plain
// numbers across or before the origin; these can.
double TimeLineDays(Date date);
// The inverse of TimeLineDays.
Date FromTimeLineDays(double days);
// The serial day number of a calendar date in years 100..9999, or nullopt.
std::optional<int64_t> SerialDay(int year, int month, int day);

}  // namespace korimba

#endif  // KORIMBA_FRAME_DATE_H_
