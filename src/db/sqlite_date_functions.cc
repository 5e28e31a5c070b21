// DATEADD, DATEDIFF, DATEPART and DATENAME over the canonical datetime text
// ("yyyy-mm-dd hh:mm:ss.fff"), as SQL Server computes them with the
// language us_english and DATEFIRST 7 (weeks begin on Sunday); and the time
// type's conversions and DATEADD over its text ("1900-01-01
// hh:mm:ss.fffffff", see sql_values.h).
#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "db/sql_values.h"
#include "db/sqlite_functions.h"
#include "frame/civil_days.h"

namespace korimba::sql {
namespace {

struct Civil {
  int64_t y, m, d, ms_of_day;
  int64_t below_ms = 0;  // 100 ns units, from a text read as a datetime2
};

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int64_t MonthDays(int64_t y, int64_t m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && IsLeap(y) ? 29 : kDays[m - 1];
}

// The canonical text; also a date alone ("yyyy-mm-dd") and a time without
// seconds, which only a writer around the provider can have stored.
std::optional<Civil> Parse(std::string_view t) {
  if (t.size() == 10 || t.size() == 16) {
    std::string full(t);
    full += t.size() == 10 ? " 00:00:00" : ":00";
    if (t.size() == 10 || t[10] == ' ' || t[10] == 'T') full[10] = ' ';
    return t.size() == 16 && t[10] != ' ' && t[10] != 'T' ? std::nullopt : Parse(full);
  }
  if (t.size() < 19) return std::nullopt;
  auto num = [&](size_t at, size_t n) -> int64_t {
    int64_t v = 0;
    for (size_t i = at; i < at + n; ++i) {
      if (t[i] < '0' || t[i] > '9') return -1;
      v = v * 10 + (t[i] - '0');
    }
    return v;
  };
  const int64_t y = num(0, 4), mo = num(5, 2), d = num(8, 2), h = num(11, 2), mi = num(14, 2),
                s = num(17, 2), ms = t.size() >= 23 ? num(20, 3) : 0,
                below = t.size() == 27 ? num(23, 4) : 0;
  if (y < 0 || mo < 1 || mo > 12 || d < 1 || h < 0 || mi < 0 || s < 0 || ms < 0 || below < 0) {
    return std::nullopt;
  }
  return Civil{y, mo, d, ((h * 60 + mi) * 60 + s) * 1000 + ms, below};
}

// The datetime's 1/300 s ticks: milliseconds end in 0, 3 or 7.
int64_t RoundToTick(int64_t ms) {
  const int64_t ticks = (ms * 3 + 5) / 10;
  return (ticks * 10 + 1) / 3;
}

std::string Format(int64_t days, int64_t ms_of_day) {
  const CivilDay c = CivilFromDays(days);
  const int64_t y = c.year, m = c.month, d = c.day;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d", static_cast<int>(y),
                static_cast<int>(m), static_cast<int>(d), static_cast<int>(ms_of_day / 3600000),
                static_cast<int>(ms_of_day / 60000 % 60), static_cast<int>(ms_of_day / 1000 % 60),
                static_cast<int>(ms_of_day % 1000));
  return buf;
}

// Sunday = 0.
int64_t WeekdayOf(int64_t days) { return ((days % 7) + 7 + 4) % 7; }

int64_t FloorDiv(int64_t a, int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// ISO 8601: weeks begin on Monday and week 1 holds the year's first
// Thursday, so early January can be the last week of the year before and
// late December week 1 of the next.
int64_t IsoWeek(int64_t days, int64_t year) {
  auto week_one_monday = [](int64_t y) {
    const int64_t jan4 = DaysFromCivil(y, 1, 4);
    return jan4 - (WeekdayOf(jan4) + 6) % 7;
  };
  int64_t start = week_one_monday(year + 1);
  if (days < start) start = week_one_monday(year);
  if (days < start) start = week_one_monday(year - 1);
  return (days - start) / 7 + 1;
}

int64_t Part(std::string_view part, const Civil& c) {
  const int64_t days = DaysFromCivil(c.y, c.m, c.d);
  const int64_t doy = days - DaysFromCivil(c.y, 1, 1) + 1;
  if (part == "year") return c.y;
  if (part == "quarter") return (c.m - 1) / 3 + 1;
  if (part == "month") return c.m;
  if (part == "dayofyear") return doy;
  if (part == "day") return c.d;
  if (part == "week") return (doy - 1 + WeekdayOf(DaysFromCivil(c.y, 1, 1))) / 7 + 1;
  if (part == "weekday") return WeekdayOf(days) + 1;
  if (part == "hour") return c.ms_of_day / 3600000;
  if (part == "minute") return c.ms_of_day / 60000 % 60;
  if (part == "second") return c.ms_of_day / 1000 % 60;
  if (part == "microsecond") return c.ms_of_day % 1000 * 1000 + c.below_ms / 10;
  if (part == "nanosecond") return c.ms_of_day % 1000 * 1000000 + c.below_ms * 100;
  if (part == "iso_week") return IsoWeek(days, c.y);
  if (part == "tzoffset") return 0;  // a datetime has no offset
  return c.ms_of_day % 1000;         // millisecond
}

// The boundaries of `part` crossed from a to b (DATEDIFF). Weeks always
// begin on Sunday here, whatever DATEFIRST says.
int64_t Difference(std::string_view part, const Civil& a, const Civil& b) {
  const int64_t da = DaysFromCivil(a.y, a.m, a.d), db = DaysFromCivil(b.y, b.m, b.d);
  if (part == "year") return b.y - a.y;
  if (part == "quarter") return (b.y * 4 + (b.m - 1) / 3) - (a.y * 4 + (a.m - 1) / 3);
  if (part == "month") return (b.y * 12 + b.m) - (a.y * 12 + a.m);
  if (part == "day" || part == "dayofyear") return db - da;
  if (part == "week") return FloorDiv(db + 4, 7) - FloorDiv(da + 4, 7);
  const int64_t ta = da * 86400000 + a.ms_of_day, tb = db * 86400000 + b.ms_of_day;
  if (part == "hour") return FloorDiv(tb, 3600000) - FloorDiv(ta, 3600000);
  if (part == "minute") return FloorDiv(tb, 60000) - FloorDiv(ta, 60000);
  if (part == "second") return FloorDiv(tb, 1000) - FloorDiv(ta, 1000);
  if (part == "millisecond") return tb - ta;
  // Finer parts in 100 ns units (9999 years of them fit 64 bits; their
  // nanoseconds would not, so a count past int is returned unscaled).
  const int64_t ua = ta * 10000 + a.below_ms, ub = tb * 10000 + b.below_ms;
  if (part == "microsecond") return FloorDiv(ub, 10) - FloorDiv(ua, 10);
  const int64_t n = ub - ua;
  return n > INT32_MAX || n < INT32_MIN ? n : n * 100;
}

std::string_view Text(sqlite3_value* v) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return p ? std::string_view(p, static_cast<size_t>(sqlite3_value_bytes(v))) : std::string_view();
}

void DateAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL || sqlite3_value_type(argv[2]) == SQLITE_NULL) {
    return sqlite3_result_null(ctx);
  }
  const std::string_view part = Text(argv[0]);
  const int64_t n = sqlite3_value_int64(argv[1]);  // a fraction is cut, as SQL Server does
  const std::optional<Civil> c = Parse(Text(argv[2]));
  if (!c) return sqlite3_result_error(ctx, "DATEADD needs a datetime.", -1);
  int64_t days = DaysFromCivil(c->y, c->m, c->d);
  int64_t ms = c->ms_of_day;
  if (part == "year" || part == "quarter" || part == "month") {
    const int64_t months = part == "year" ? n * 12 : part == "quarter" ? n * 3 : n;
    const int64_t total = c->y * 12 + (c->m - 1) + months;
    const int64_t y = total >= 0 ? total / 12 : -1, m = total >= 0 ? total % 12 + 1 : 1;
    if (y < 1753 || y > 9999) {
      return sqlite3_result_error(ctx, "Adding a value to a 'datetime' column caused an overflow.",
                                  -1);
    }
    days = DaysFromCivil(y, m, std::min(c->d, MonthDays(y, m)));
  } else if (part == "week") {
    days += n * 7;
  } else if (part == "day" || part == "dayofyear" || part == "weekday") {
    days += n;
  } else {
    const int64_t unit = part == "hour"     ? 3600000
                         : part == "minute" ? 60000
                         : part == "second" ? 1000
                                            : 1;
    const int64_t total = ms + n * unit;
    days += total >= 0 ? total / 86400000 : (total - 86399999) / 86400000;
    ms = total - (total >= 0 ? total / 86400000 : (total - 86399999) / 86400000) * 86400000;
    if (unit == 1) {
      ms = RoundToTick(ms);
      if (ms >= 86400000) {
        ms -= 86400000;
        ++days;
      }
    }
  }
  if (days < DaysFromCivil(1753, 1, 1) || days > DaysFromCivil(9999, 12, 31)) {
    return sqlite3_result_error(ctx, "Adding a value to a 'datetime' column caused an overflow.",
                                -1);
  }
  const std::string out = Format(days, ms);
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

// A datetime plus (sign 1) or minus (-1) a number of days: the number is
// read as a datetime first (days from 1900-01-01, a fraction rounded to
// the 1/300 s tick), then added.
void DatePlus(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    return sqlite3_result_null(ctx);
  }
  const std::optional<Civil> c = Parse(Text(argv[0]));
  if (!c) return sqlite3_result_error(ctx, "Date arithmetic needs a datetime.", -1);
  const double days = sqlite3_value_double(argv[1]) * sqlite3_value_int(argv[2]);
  constexpr const char* kOverflow =
      "Arithmetic overflow error converting expression to data type datetime.";
  if (!(days > -3e6 && days < 3e6)) return sqlite3_result_error(ctx, kOverflow, -1);
  // Counted in ticks, so that two tick-grid times add up on the grid.
  constexpr int64_t kTicksPerDay = 86400 * 300;
  const int64_t total = DaysFromCivil(c->y, c->m, c->d) * kTicksPerDay +
                        (c->ms_of_day * 3 + 5) / 10 + std::llround(days * kTicksPerDay);
  const int64_t day = FloorDiv(total, kTicksPerDay);
  if (day < DaysFromCivil(1753, 1, 1) || day > DaysFromCivil(9999, 12, 31)) {
    return sqlite3_result_error(ctx, kOverflow, -1);
  }
  const std::string out = Format(day, ((total - day * kTicksPerDay) * 10 + 1) / 3);
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

// EOMONTH(d [, months]): the last day of d's month, months later.
void EndOfMonth(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  }
  const std::optional<Civil> c = Parse(Text(argv[0]));
  if (!c) return sqlite3_result_error(ctx, "EOMONTH needs a datetime.", -1);
  const int64_t total = c->y * 12 + (c->m - 1) + (argc > 1 ? sqlite3_value_int64(argv[1]) : 0);
  const int64_t y = FloorDiv(total, 12), m = total - y * 12 + 1;
  if (y < 1753 || y > 9999) {
    return sqlite3_result_error(ctx, "Adding a value to a 'date' column caused an overflow.", -1);
  }
  const std::string out = Format(DaysFromCivil(y, m, MonthDays(y, m)), 0);
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

// a - b for two datetimes: 1900-01-01 plus the span between them (before
// 1900 when b is the later), in ticks as SQL Server keeps them.
void DateSpan(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL) {
    return sqlite3_result_null(ctx);
  }
  const std::optional<Civil> a = Parse(Text(argv[0])), b = Parse(Text(argv[1]));
  if (!a || !b) return sqlite3_result_error(ctx, "Date arithmetic needs a datetime.", -1);
  constexpr int64_t kTicksPerDay = 86400 * 300;
  auto ticks = [](const Civil& c) {
    return DaysFromCivil(c.y, c.m, c.d) * kTicksPerDay + (c.ms_of_day * 3 + 5) / 10;
  };
  const int64_t total = DaysFromCivil(1900, 1, 1) * kTicksPerDay + ticks(*a) - ticks(*b);
  const int64_t day = FloorDiv(total, kTicksPerDay);
  if (day < DaysFromCivil(1753, 1, 1)) {
    return sqlite3_result_error(
        ctx, "Arithmetic overflow error converting expression to data type datetime.", -1);
  }
  const std::string out = Format(day, ((total - day * kTicksPerDay) * 10 + 1) / 3);
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

void DatePartFn(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const std::optional<Civil> c = Parse(Text(argv[1]));
  if (!c) return sqlite3_result_error(ctx, "DATEPART needs a datetime.", -1);
  sqlite3_result_int64(ctx, Part(Text(argv[0]), *c));
}

void DateDiff(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL || sqlite3_value_type(argv[2]) == SQLITE_NULL) {
    return sqlite3_result_null(ctx);
  }
  // A stored value that is no datetime gives Null, as SQLite's own date
  // functions do, so a row holding one is not found instead of failing
  // the whole statement.
  const std::optional<Civil> a = Parse(Text(argv[1])), b = Parse(Text(argv[2]));
  if (!a || !b) return sqlite3_result_null(ctx);
  const int64_t n = Difference(Text(argv[0]), *a, *b);
  if (n > INT32_MAX || n < INT32_MIN) {
    return sqlite3_result_error(
        ctx,
        "The datediff function resulted in an overflow. The number of dateparts separating two "
        "date/time instances is too large. Try to use datediff with a less precise datepart.",
        -1);
  }
  sqlite3_result_int64(ctx, n);
}

void DateName(sqlite3_context* ctx, int, sqlite3_value** argv) {
  static constexpr const char* kMonths[] = {"January",   "February", "March",    "April",
                                            "May",       "June",     "July",     "August",
                                            "September", "October",  "November", "December"};
  static constexpr const char* kDays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                          "Thursday", "Friday", "Saturday"};
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const std::optional<Civil> c = Parse(Text(argv[1]));
  if (!c) return sqlite3_result_error(ctx, "DATENAME needs a datetime.", -1);
  const std::string_view part = Text(argv[0]);
  const int64_t v = Part(part, *c);
  const std::string out = part == "month"     ? kMonths[v - 1]
                          : part == "weekday" ? kDays[v - 1]
                                              : std::to_string(v);
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

void ResultText(sqlite3_context* ctx, const std::string& text) {
  sqlite3_result_text(ctx, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// korimba_totime(x, scale, from): x as a time(scale). `from` 0: x is a text,
// read as SQL Server reads one; 1: x is a datetime's or a time's stored
// text (a datetime gives its tick exactly).
void ToTime(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const int scale = sqlite3_value_int(argv[1]);
  const std::string_view text = Text(argv[0]);
  int64_t units = 0;
  const bool read = sqlite3_value_int(argv[2]) == 0 ? ParseSqlServerTime(text, units)
                                                    : TimeUnitsFromCanonical(text, units);
  if (!read) {
    return sqlite3_result_error(
        ctx, "Conversion failed when converting date and/or time from character string.", -1);
  }
  ResultText(ctx, CanonicalTimeText(RoundTimeUnits(units, scale)));
}

// korimba_timedatetime(t): a time as a datetime, 1900-01-01 plus the time
// rounded to the 1/300 s tick (the last ticks of a day reach 1900-01-02).
void TimeToDateTime(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  int64_t units = 0;
  if (!TimeUnitsFromCanonical(Text(argv[0]), units)) {
    return sqlite3_result_error(ctx, "A time was expected.", -1);
  }
  constexpr int64_t kTicksPerDay = 86400 * 300;
  const int64_t ticks = (units * 3 + 50000) / 100000;
  const int64_t day = DaysFromCivil(1900, 1, 1) + ticks / kTicksPerDay;
  ResultText(ctx, Format(day, (ticks % kTicksPerDay * 10 + 1) / 3));
}

// korimba_timeadd(part, n, t, scale): DATEADD on a time, which runs round
// the clock past midnight (the DATEADD page's return type is the time's
// own). Nanoseconds go in the 100 ns units a time keeps, rounded half up
// (49 ns adds nothing, 50 ns one unit).
void TimeAdd(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL || sqlite3_value_type(argv[2]) == SQLITE_NULL) {
    return sqlite3_result_null(ctx);
  }
  const std::string_view part = Text(argv[0]);
  const int64_t n = sqlite3_value_int64(argv[1]);
  int64_t units = 0;
  if (!TimeUnitsFromCanonical(Text(argv[2]), units)) {
    return sqlite3_result_error(ctx, "DATEADD needs a time.", -1);
  }
  int64_t delta = 0;
  if (part == "nanosecond") {
    delta = FloorDiv(n + 50, 100);
  } else {
    const int64_t unit = part == "hour"          ? 36000000000
                         : part == "minute"      ? 600000000
                         : part == "second"      ? 10000000
                         : part == "millisecond" ? 10000
                                                 : 10;  // microsecond
    // Whole days drop out first, so that no product overflows.
    delta = n % (kTimeUnitsPerDay / unit) * unit;
  }
  units = (units + delta % kTimeUnitsPerDay + kTimeUnitsPerDay) % kTimeUnitsPerDay;
  ResultText(ctx, CanonicalTimeText(RoundTimeUnits(units, sqlite3_value_int(argv[3]))));
}

}  // namespace

int RegisterSqliteDateFunctions(sqlite3* db) {
  struct Def {
    const char* name;
    int args;
    void (*fn)(sqlite3_context*, int, sqlite3_value**);
  };
  static constexpr Def kDefs[] = {
      {"korimba_dateadd", 3, DateAdd},    {"korimba_datepart", 2, DatePartFn},
      {"korimba_datediff", 3, DateDiff},  {"korimba_dateplus", 3, DatePlus},
      {"korimba_datename", 2, DateName},  {"korimba_eomonth", 1, EndOfMonth},
      {"korimba_eomonth", 2, EndOfMonth}, {"korimba_datespan", 2, DateSpan},
      {"korimba_totime", 3, ToTime},      {"korimba_timedatetime", 1, TimeToDateTime},
      {"korimba_timeadd", 4, TimeAdd},
  };
  for (const Def& f : kDefs) {
    const int rc = sqlite3_create_function_v2(db, f.name, f.args,
                                              SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                              nullptr, f.fn, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  return SQLITE_OK;
}

}  // namespace korimba::sql
