// Day counting on the proleptic Gregorian calendar: a calendar date as the
// number of days since 1970-01-01 and back, exact for every year the dates
// of the component and of the embedded database can hold (and far beyond).
// The automation date and the database's date functions both count on it.
// Pure functions; any thread.
#ifndef KORIMBA_FRAME_CIVIL_DAYS_H_
#define KORIMBA_FRAME_CIVIL_DAYS_H_

#include <cstdint>

namespace korimba {

struct CivilDay {
  int year = 1970;
  int month = 1;  // 1..12
  int day = 1;    // 1..31
};

// Days since 1970-01-01 of a date (months 1..12, days as the month has).
int64_t DaysFromCivil(int64_t year, int month, int day);
// The date that many days after (or before) 1970-01-01.
CivilDay CivilFromDays(int64_t days);

}  // namespace korimba

#endif  // KORIMBA_FRAME_CIVIL_DAYS_H_
