#include "frame/date.h"

#include <cmath>

#include "frame/civil_days.h"
#include "frame/zero_padded.h"

namespace korimba {
namespace {

constexpr int64_t kMsPerDay = 86'400'000;
// Days from 1970-01-01 to the serial origin 1899-12-30.
constexpr int64_t kOriginFromEpoch = -25'569;
constexpr int kMinYear = 100;
constexpr int kMaxYear = 9999;
// Serial day numbers of 0100-01-01 and 9999-12-31.
constexpr int64_t kFirstDay = -657'434;
constexpr int64_t kLastDay = 2'958'465;

// A cursor over date text; every reader leaves `pos` unchanged on failure.
struct Reader {
  std::string_view text;
  size_t pos = 0;

  bool AtEnd() const { return pos == text.size(); }
  bool Take(char c) {
    if (pos < text.size() && text[pos] == c) {
      ++pos;
      return true;
    }
    return false;
  }
  // 1..max_digits decimal digits.
  bool Digits(int min_digits, int max_digits, int& value) {
    size_t n = 0;
    int v = 0;
    while (pos + n < text.size() && n < static_cast<size_t>(max_digits) && text[pos + n] >= '0' &&
           text[pos + n] <= '9') {
      v = v * 10 + (text[pos + n] - '0');
      ++n;
    }
    if (n < static_cast<size_t>(min_digits)) return false;
    // More digits than allowed is no date ("20240-1-1").
    if (pos + n < text.size() && text[pos + n] >= '0' && text[pos + n] <= '9') return false;
    pos += n;
    value = v;
    return true;
  }
  void SkipBlanks() {
    while (pos < text.size() && text[pos] == ' ') ++pos;
  }
};

// "yyyy-m-d" or "yyyy/m/d" (the same separator twice).
bool ReadDatePart(Reader& r, CivilDateTime& parts) {
  const size_t start = r.pos;
  int y = 0, m = 0, d = 0;
  if (!r.Digits(4, 4, y)) return false;
  const char sep = r.pos < r.text.size() ? r.text[r.pos] : '\0';
  if ((sep != '-' && sep != '/') || !r.Take(sep) || !r.Digits(1, 2, m) || !r.Take(sep) ||
      !r.Digits(1, 2, d)) {
    r.pos = start;
    return false;
  }
  parts.year = y;
  parts.month = m;
  parts.day = d;
  return true;
}

// "h:mm" or "h:mm:ss" on a 24-hour clock.
bool ReadTimePart(Reader& r, CivilDateTime& parts) {
  const size_t start = r.pos;
  int h = 0, mi = 0, s = 0;
  if (!r.Digits(1, 2, h) || !r.Take(':') || !r.Digits(1, 2, mi)) {
    r.pos = start;
    return false;
  }
  if (r.Take(':') && !r.Digits(1, 2, s)) {
    r.pos = start;
    return false;
  }
  parts.hour = h;
  parts.minute = mi;
  parts.second = s;
  return true;
}

}  // namespace

DayAndTime SplitSerial(Date date) {
  // Serials outside the calendar (only arithmetic makes them) are held to its
  // first and last day so that the integer conversions below stay defined;
  // every time of those two days themselves is kept (9999-12-31 23:59:59.997
  // and 0100-01-01 12:00 read back as they are).
  double serial = date.serial;
  if (!(serial > kFirstDay - 1.0)) serial = static_cast<double>(kFirstDay);
  if (!(serial < kLastDay + 1.0)) serial = static_cast<double>(kLastDay);
  const double whole = std::trunc(serial);
  // The fraction counts forward from midnight whatever the sign of the day.
  int64_t ms = std::llround(std::fabs(serial - whole) * static_cast<double>(kMsPerDay));
  auto day = static_cast<int64_t>(whole);
  if (ms >= kMsPerDay) {
    ms -= kMsPerDay;
    ++day;
  }
  return {day, ms};
}

Date JoinSerial(int64_t day, int64_t ms) {
  const double fraction = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
  const auto d = static_cast<double>(day);
  return Date{day >= 0 ? d + fraction : d - fraction};
}

double TimeLineDays(Date date) {
  if (!(date.serial < 0)) return date.serial;
  const double whole = std::trunc(date.serial);
  return whole + (whole - date.serial);
}

Date FromTimeLineDays(double days) {
  if (!(days < 0)) return Date{days};
  const double day = std::floor(days);
  return Date{day - (days - day)};
}

std::optional<int64_t> SerialDay(int year, int month, int day) {
  if (year < kMinYear || year > kMaxYear || month < 1 || month > 12 || day < 1 ||
      day > DaysInMonth(year, month)) {
    return std::nullopt;
  }
  return DaysFromCivil(year, month, day) - kOriginFromEpoch;
}

std::optional<Date> MakeDate(const CivilDateTime& p) {
  const std::optional<int64_t> day = SerialDay(p.year, p.month, p.day);
  if (!day || p.hour < 0 || p.hour > 23 || p.minute < 0 || p.minute > 59 || p.second < 0 ||
      p.second > 59 || p.millisecond < 0 || p.millisecond > 999) {
    return std::nullopt;
  }
  const int64_t ms = ((p.hour * 60LL + p.minute) * 60 + p.second) * 1000 + p.millisecond;
  return JoinSerial(*day, ms);
}

CivilDateTime SplitDate(Date date) {
  const DayAndTime dt = SplitSerial(date);
  CivilDateTime parts;
  const CivilDay civil = CivilFromDays(dt.day + kOriginFromEpoch);
  parts.year = civil.year;
  parts.month = civil.month;
  parts.day = civil.day;
  parts.hour = static_cast<int>(dt.ms / 3'600'000);
  parts.minute = static_cast<int>(dt.ms / 60'000 % 60);
  parts.second = static_cast<int>(dt.ms / 1000 % 60);
  parts.millisecond = static_cast<int>(dt.ms % 1000);
  return parts;
}

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

std::string FormatDate(Date date) {
  // Shown to the second: round the time of day to whole seconds first.
  DayAndTime dt = SplitSerial(date);
  int64_t secs = (dt.ms + 500) / 1000;
  if (secs >= 86'400) {
    if (dt.day == kLastDay) {
      secs = 86'399;  // the calendar's last second: rounding up would leave it
    } else {
      secs -= 86'400;
      ++dt.day;
    }
  }
  std::string out;
  out.reserve(19);
  if (dt.day != 0) {
    const CivilDay c = CivilFromDays(dt.day + kOriginFromEpoch);
    AppendZeroPadded(out, c.year, 4);
    out += '-';
    AppendZeroPadded(out, c.month, 2);
    out += '-';
    AppendZeroPadded(out, c.day, 2);
    if (secs == 0) return out;
    out += ' ';
  }
  AppendZeroPadded(out, secs / 3600, 2);
  out += ':';
  AppendZeroPadded(out, secs / 60 % 60, 2);
  out += ':';
  AppendZeroPadded(out, secs % 60, 2);
  return out;
}

std::optional<Date> ParseDateText(std::string_view text) {
  Reader r{text};
  r.SkipBlanks();
  CivilDateTime parts;
  bool has_date = ReadDatePart(r, parts);
  bool has_time = false;
  if (has_date) {
    const size_t before_blank = r.pos;
    r.SkipBlanks();
    if (r.pos > before_blank) {
      has_time = ReadTimePart(r, parts);
    }
  } else {
    has_time = ReadTimePart(r, parts);
  }
  r.SkipBlanks();
  if ((!has_date && !has_time) || !r.AtEnd()) return std::nullopt;
  if (!has_date) {
    if (parts.hour > 23 || parts.minute > 59 || parts.second > 59) return std::nullopt;
    return JoinSerial(0, ((parts.hour * 60LL + parts.minute) * 60 + parts.second) * 1000);
  }
  return MakeDate(parts);
}

}  // namespace korimba
