// SQL Server's conversions of literal text, as the embedded database applies
// them when it binds a literal to a typed place: a datetime text read the
// way SQL Server reads it (year first), a text assigned to an int column,
// and the canonical stored form of datetimes. The error texts are SQL
// Server's. Free functions; any thread.
#ifndef KORIMBA_DB_SQL_VALUES_H_
#define KORIMBA_DB_SQL_VALUES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "frame/date.h"

namespace korimba::sql {

enum class DateParse { kOk, kBadFormat, kOutOfRange };

// Reads a datetime text: "" (1900-01-01), "2024-3-1", "2024/3/1",
// "2024.3.1", "20240301", "240301" (years to 49 in 2000s), "2024" (January
// 1st), each optionally followed by a time after a blank (or "T"): "9:05",
// "09:05:07", "09:05:07.123", "09:05:07:123" (colon: milliseconds), with
// an optional AM/PM, or an hour with AM/PM ("4am", "4 PM"); or a time
// alone (on 1900-01-01). A CONVERT `style` that writes month or day first
// (1, 101, 10, 110, 22; 3, 103, 4, 104, 5, 105) reads "m/d/y" or "d/m/y"
// texts in that order.
// Years 1753 to 9999 as SQL Server's datetime. With `below_ms`, a second
// may have up to seven digits (datetime2), the fourth to seventh given
// there in 100 ns units; without, at most three.
DateParse ParseSqlServerDateTime(std::string_view text, CivilDateTime& out, int style = 0,
                                 int* below_ms = nullptr);

// Thousandths of a second to datetime's 1/300 s tick (.998 becomes .997,
// .999 the next second, carrying up); false past 9999-12-31.
bool RoundToTick(CivilDateTime& parts);

// "yyyy-mm-dd hh:mm:ss.fff"
std::string CanonicalText(const CivilDateTime& parts);

// The value of `text` converted to a datetime / int / smallint / bit, with
// SQL Server's messages on failure. `unicode` says whether the text was an
// N'...' literal (the messages then say nvarchar).
// A datetime is kept to its 1/300 s tick. `datetime2`: read as SQL Server
// reads a text given to DATEPART, DATEDIFF, DAY and the like, with up to
// seven digits of a second and no rounding (the canonical text then has
// up to seven).
std::string TextToDateTime(std::string_view text, bool unicode, int style = 0,
                           bool datetime2 = false);
int64_t TextToInteger(std::string_view text, bool unicode, int bits /*32, 16 or 1*/);
double TextToFloat(std::string_view text, bool unicode, bool decimal);

// The time type: a time of day in 100 ns units (0 to 863999999999),
// kept as the text "1900-01-01 hh:mm:ss.fffffff" (the day time converts to
// datetime on, sortable, and read by the date functions as a datetime2).
inline constexpr int64_t kTimeUnitsPerDay = 864000000000;
// A time text as SQL Server reads it: "9:05", "09:05:07", up to seven
// digits of a second, AM/PM, an hour with AM/PM ("4 PM"), or a datetime
// text whose date is read and dropped. False when it reads as none.
bool ParseSqlServerTime(std::string_view text, int64_t& units);
// Rounded half up to `scale` digits of a second (time(scale)); past the
// day's last unit it wraps to midnight, as SQL Server's time does.
int64_t RoundTimeUnits(int64_t units, int scale);
std::string CanonicalTimeText(int64_t units);
// The units of a canonical time text (or the time of a canonical
// datetime text: its 1/300 s tick exactly, as SQL Server converts a
// datetime to time); false for any other text.
bool TimeUnitsFromCanonical(std::string_view text, int64_t& units);
// `text` converted to time(scale), with SQL Server's message on failure.
std::string TextToTime(std::string_view text, int scale);
// The text of a time(scale) as CAST to a text writes it: "hh:mm:ss" and
// `scale` digits after a point.
std::string TimeDisplayText(std::string_view canonical, int scale);

// Characters of a UTF-8 text as SQL Server counts them for nvarchar(n):
// UTF-16 code units.
int CountChars(std::string_view utf8);

}  // namespace korimba::sql

#endif  // KORIMBA_DB_SQL_VALUES_H_
