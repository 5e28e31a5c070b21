#include "db/sql_values.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "db/sql_lexer.h"
#include "db/translator.h"
#include "frame/clock.h"
#include "frame/error.h"
#include "frame/names.h"
#include "frame/value_ops.h"
#include "frame/zero_padded.h"

namespace korimba::sql {
namespace {

constexpr int kMinYear = 1753;

struct Cursor {
  std::string_view s;
  size_t pos = 0;

  bool AtEnd() const { return pos >= s.size(); }
  char Peek() const { return pos < s.size() ? s[pos] : '\0'; }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++pos;
    return true;
  }
  // Between min and max digits; returns the count read (0 on failure, pos unchanged).
  int Digits(int min, int max, int& value) {
    int n = 0;
    int v = 0;
    while (n < max && pos + n < s.size() && s[pos + n] >= '0' && s[pos + n] <= '9') {
      v = v * 10 + (s[pos + n] - '0');
      ++n;
    }
    if (n < min) return 0;
    pos += n;
    value = v;
    return n;
  }
  int CountDigitsAhead() const {
    size_t n = 0;
    while (pos + n < s.size() && s[pos + n] >= '0' && s[pos + n] <= '9') ++n;
    return static_cast<int>(n);
  }
  void SkipBlanks() {
    while (Peek() == ' ') ++pos;
  }
};

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// `below_ms` null: at most three digits of a second (datetime); else up to
// seven, the fourth to seventh given there in 100 ns units.
bool ReadTime(Cursor& c, CivilDateTime& out, int* below_ms) {
  int h = 0, m = 0, sec = 0, ms = 0;
  if (!c.Digits(1, 2, h)) return false;
  // An hour alone needs AM or PM after it: "4am", "4 PM".
  const bool hour_only = !c.Take(':');
  if (!hour_only && !c.Digits(1, 2, m)) return false;
  if (!hour_only && c.Take(':')) {
    if (!c.Digits(1, 2, sec)) return false;
    if (c.Take('.')) {
      int digits = c.CountDigitsAhead();
      if (digits < 1 || digits > (below_ms ? 7 : 3)) return false;
      c.Digits(1, 3, ms);
      for (int i = digits; i < 3; ++i) ms *= 10;
      if (digits > 3) {
        int rest = 0;
        c.Digits(1, 4, rest);
        for (int i = digits; i < 7; ++i) rest *= 10;
        *below_ms = rest;
      }
    } else if (c.Take(':')) {
      if (!c.Digits(1, 3, ms) || c.CountDigitsAhead() > 0) return false;
    }
  }
  c.SkipBlanks();
  std::string_view rest = c.s.substr(c.pos);
  if (rest.size() >= 2 && (rest[1] == 'M' || rest[1] == 'm') &&
      (rest[0] == 'A' || rest[0] == 'a' || rest[0] == 'P' || rest[0] == 'p')) {
    if (h > 12) return false;
    bool pm = rest[0] == 'P' || rest[0] == 'p';
    if (h == 12) h = 0;
    if (pm) h += 12;
    c.pos += 2;
  } else if (hour_only) {
    return false;
  }
  if (h > 23 || m > 59 || sec > 59) return false;
  out.hour = h;
  out.minute = m;
  out.second = sec;
  out.millisecond = ms;
  return true;
}

[[noreturn]] void DateConversionFailed() {
  ThrowDatabase("Conversion failed when converting date and/or time from character string.");
}

const char* TypeWord(bool unicode) { return unicode ? "nvarchar" : "varchar"; }

}  // namespace

DateParse ParseSqlServerDateTime(std::string_view text, CivilDateTime& out, int style,
                                 int* below_ms) {
  if (below_ms) *below_ms = 0;
  text = TrimBlanks(text);
  out = CivilDateTime{1900, 1, 1, 0, 0, 0, 0};
  if (text.empty()) return DateParse::kOk;
  Cursor c{text};
  bool has_date = false;
  int y = 0, mo = 0, d = 0;
  const int lead = c.CountDigitsAhead();
  const int order = style % 100;
  const bool mdy = order == 1 || order == 10 || order == 22;
  const bool dmy = order == 3 || order == 4 || order == 5;
  if ((mdy || dmy) && (lead == 1 || lead == 2)) {
    // m/d/y or d/m/y, as the style writes it, with a year of 2 or 4 digits.
    int a = 0, b = 0;
    c.Digits(1, 2, a);
    const char sep = c.Peek();
    if (sep != '-' && sep != '/' && sep != '.') return DateParse::kBadFormat;
    ++c.pos;
    if (!c.Digits(1, 2, b) || !c.Take(sep)) return DateParse::kBadFormat;
    const int year_digits = c.CountDigitsAhead();
    if ((year_digits != 2 && year_digits != 4) || !c.Digits(year_digits, year_digits, y)) {
      return DateParse::kBadFormat;
    }
    if (year_digits == 2) y += y <= 49 ? 2000 : 1900;
    mo = mdy ? a : b;
    d = mdy ? b : a;
    has_date = true;
  } else if (lead == 8) {  // yyyymmdd
    c.Digits(4, 4, y);
    c.Digits(2, 2, mo);
    c.Digits(2, 2, d);
    has_date = true;
  } else if (lead == 6) {  // yymmdd, the two-digit year cut off at 2049
    c.Digits(2, 2, y);
    c.Digits(2, 2, mo);
    c.Digits(2, 2, d);
    y += y <= 49 ? 2000 : 1900;
    has_date = true;
  } else if (lead == 4 && c.pos + 4 == text.size()) {  // yyyy: January 1st
    c.Digits(4, 4, y);
    mo = 1;
    d = 1;
    has_date = true;
  } else if (lead == 4) {  // yyyy-m-d, yyyy/m/d, yyyy.m.d
    c.Digits(4, 4, y);
    char sep = c.Peek();
    if (sep != '-' && sep != '/' && sep != '.') return DateParse::kBadFormat;
    ++c.pos;
    if (!c.Digits(1, 2, mo) || !c.Take(sep) || !c.Digits(1, 2, d)) return DateParse::kBadFormat;
    has_date = true;
  }
  if (has_date) {
    if (!c.AtEnd()) {
      if (c.Take('T')) {
        if (!ReadTime(c, out, below_ms)) return DateParse::kBadFormat;
      } else {
        size_t before = c.pos;
        c.SkipBlanks();
        if (c.pos == before || !ReadTime(c, out, below_ms)) return DateParse::kBadFormat;
      }
    }
  } else if (!ReadTime(c, out, below_ms)) {
    return DateParse::kBadFormat;
  }
  if (!c.AtEnd()) return DateParse::kBadFormat;
  if (has_date) {
    if (y < kMinYear || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo)) {
      return DateParse::kOutOfRange;
    }
    out.year = y;
    out.month = mo;
    out.day = d;
  }
  return DateParse::kOk;
}

std::string CanonicalText(const CivilDateTime& p) {
  std::string out;
  out.reserve(23);
  AppendZeroPadded(out, p.year, 4);
  out += '-';
  AppendZeroPadded(out, p.month, 2);
  out += '-';
  AppendZeroPadded(out, p.day, 2);
  out += ' ';
  AppendZeroPadded(out, p.hour, 2);
  out += ':';
  AppendZeroPadded(out, p.minute, 2);
  out += ':';
  AppendZeroPadded(out, p.second, 2);
  out += '.';
  AppendZeroPadded(out, p.millisecond, 3);
  return out;
}

bool RoundToTick(CivilDateTime& p) {
  // Thousandths to the nearest 1/300 s (.998 reads .997, .999 the next
  // second); a whole second is a whole number of ticks, so only the
  // thousandths move, and a carry runs up through the calendar.
  const int ticks = (p.millisecond * 3 + 5) / 10;
  p.millisecond = (ticks * 10 + 1) / 3;
  if (p.millisecond < 1000) return true;
  p.millisecond = 0;
  if (++p.second < 60) return true;
  p.second = 0;
  if (++p.minute < 60) return true;
  p.minute = 0;
  if (++p.hour < 24) return true;
  p.hour = 0;
  if (++p.day <= DaysInMonth(p.year, p.month)) return true;
  p.day = 1;
  if (++p.month <= 12) return true;
  p.month = 1;
  return ++p.year <= 9999;
}

std::string TextToDateTime(std::string_view text, bool unicode, int style, bool datetime2) {
  CivilDateTime parts;
  int below_ms = 0;
  switch (ParseSqlServerDateTime(text, parts, style, datetime2 ? &below_ms : nullptr)) {
    case DateParse::kOk:
      if (datetime2) {
        std::string out = CanonicalText(parts);
        if (below_ms > 0) {
          char digits[12];
          std::snprintf(digits, sizeof digits, "%04d", below_ms);
          out += digits;
        }
        return out;
      }
      if (RoundToTick(parts)) return CanonicalText(parts);
      [[fallthrough]];
    case DateParse::kOutOfRange:
      ThrowDatabase(std::string("The conversion of a ") + TypeWord(unicode) +
                    " data type to a datetime data type resulted in an out-of-range value.");
    case DateParse::kBadFormat:
      break;
  }
  DateConversionFailed();
}

bool ParseSqlServerTime(std::string_view text, int64_t& units) {
  CivilDateTime parts;
  int below_ms = 0;
  // A date that is out of range still fails: SQL Server reads the whole
  // text before it drops the date.
  if (ParseSqlServerDateTime(text, parts, 0, &below_ms) != DateParse::kOk) return false;
  units = ((parts.hour * 60LL + parts.minute) * 60 + parts.second) * 10000000LL +
          parts.millisecond * 10000LL + below_ms;
  return true;
}

int64_t RoundTimeUnits(int64_t units, int scale) {
  int64_t step = 1;
  for (int i = scale; i < 7; ++i) step *= 10;
  units = (units + step / 2) / step * step;
  return units >= kTimeUnitsPerDay ? units - kTimeUnitsPerDay : units;
}

std::string CanonicalTimeText(int64_t u) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "1900-01-01 %02d:%02d:%02d.%07d",
                static_cast<int>(u / 36000000000LL), static_cast<int>(u / 600000000LL % 60),
                static_cast<int>(u / 10000000LL % 60), static_cast<int>(u % 10000000LL));
  return buf;
}

bool TimeUnitsFromCanonical(std::string_view s, int64_t& units) {
  if (s.size() != 27 && s.size() != 23) return false;
  auto num = [&](size_t at, size_t len, int64_t& v) {
    v = 0;
    for (size_t i = at; i < at + len; ++i) {
      if (s[i] < '0' || s[i] > '9') return false;
      v = v * 10 + (s[i] - '0');
    }
    return true;
  };
  int64_t h = 0, m = 0, sec = 0, fraction = 0;
  if (s[10] != ' ' || s[13] != ':' || s[16] != ':' || s[19] != '.' || !num(11, 2, h) ||
      !num(14, 2, m) || !num(17, 2, sec) || !num(20, s.size() - 20, fraction) || h > 23 || m > 59 ||
      sec > 59) {
    return false;
  }
  const int64_t whole = ((h * 60 + m) * 60 + sec) * 10000000LL;
  if (s.size() == 27) {
    units = whole + fraction;
  } else {
    // A datetime's thousandths stand for its 1/300 s tick: .123 is 37
    // ticks, 0.1233333 s (the datetime page's conversion to time).
    const int64_t ticks = (fraction * 3 + 5) / 10;
    units = whole + (ticks * 100000 + 1) / 3;
  }
  return true;
}

std::string TextToTime(std::string_view text, int scale) {
  int64_t units = 0;
  if (!ParseSqlServerTime(text, units)) DateConversionFailed();
  return CanonicalTimeText(RoundTimeUnits(units, scale));
}

std::string TimeDisplayText(std::string_view canonical, int scale) {
  if (canonical.size() != 27) return std::string(canonical);
  return std::string(canonical.substr(11, scale == 0 ? 8 : 9 + scale));
}

int64_t TextToInteger(std::string_view text, bool unicode, int bits) {
  const char* type_name = bits == 32 ? "int" : bits == 16 ? "smallint" : "bit";
  std::string_view t = TrimBlanks(text);
  auto fail = [&]() -> int64_t {
    ThrowDatabase("Conversion failed when converting the " + std::string(TypeWord(unicode)) +
                  " value '" + std::string(text) + "' to data type " + type_name + ".");
  };
  if (bits == 1) {
    if (SameName(t, "true")) return 1;
    if (SameName(t, "false")) return 0;
  }
  size_t i = 0;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
    negative = t[i] == '-';
    ++i;
  }
  int64_t v = 0;
  bool overflow = false;
  for (; i < t.size(); ++i) {
    if (t[i] < '0' || t[i] > '9') return fail();
    if (v > (std::numeric_limits<int64_t>::max() - 9) / 10) {
      overflow = true;
    } else {
      v = v * 10 + (t[i] - '0');
    }
  }
  if (negative) v = -v;
  if (bits == 1) return v != 0 ? 1 : 0;
  const int64_t max = bits == 32 ? std::numeric_limits<int32_t>::max() : 32767;
  const int64_t min = bits == 32 ? std::numeric_limits<int32_t>::min() : -32768;
  if (overflow || v > max || v < min) {
    ThrowDatabase("The conversion of the " + std::string(TypeWord(unicode)) + " value '" +
                  std::string(text) + "' overflowed " + (bits == 32 ? "an int" : "a smallint") +
                  " column.");
  }
  return v;
}

double TextToFloat(std::string_view text, bool unicode, bool decimal) {
  std::string_view t = TrimBlanks(text);
  if (t.empty() && !decimal) return 0;
  std::optional<double> v = ParseNumber(t);
  if (!v || t.empty()) {
    ThrowDatabase(std::string("Error converting data type ") + TypeWord(unicode) + " to " +
                  (decimal ? "numeric." : "float."));
  }
  return *v;
}

int CountChars(std::string_view utf8) {
  int n = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) ++n;
    if (c >= 0xF0) ++n;  // outside the BMP: a surrogate pair
  }
  return n;
}

// ---- translator.h: binding and results ----

namespace {

// The value of an integer literal: its digits as written, fewer than 19 so
// that it fits. Every bound number goes through here, so no library parse.
int64_t IntegerDigits(std::string_view digits) {
  int64_t v = 0;
  for (char c : digits) v = v * 10 + (c - '0');
  return v;
}

int64_t NumberLiteralToInteger(const Literal& lit, int bits, bool negate) {
  const char* type_name = bits == 32 ? "int" : bits == 16 ? "smallint" : "bit";
  double v = 0;
  if (lit.kind == Literal::Kind::kInteger && lit.text.size() < 19) {
    v = static_cast<double>(IntegerDigits(lit.text));
  } else {
    v = std::trunc(std::strtod(lit.text.c_str(), nullptr));
  }
  if (negate) v = -v;
  if (bits == 1) return v != 0 ? 1 : 0;
  const double max = bits == 32 ? 2147483647.0 : 32767.0;
  const double min = bits == 32 ? -2147483648.0 : -32768.0;
  if (v > max || v < min) {
    ThrowDatabase(std::string("Arithmetic overflow error converting expression to data type ") +
                  type_name + ".");
  }
  return static_cast<int64_t>(v);
}

// The end of the character class that opens at pattern[i] ('['): the
// index of its ']', or npos when it does not close.
size_t ClassEnd(const std::string& pattern, size_t i) {
  size_t j = i + 1;
  if (j < pattern.size() && pattern[j] == '^') ++j;
  if (j < pattern.size() && pattern[j] == ']') ++j;  // a first ']' is itself
  return pattern.find(']', j);
}

bool HasCharacterClass(const std::string& pattern) {
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '[') continue;
    if (i + 2 < pattern.size() && pattern[i + 2] == ']' &&
        (pattern[i + 1] == '%' || pattern[i + 1] == '_' || pattern[i + 1] == '[')) {
      i += 2;
      continue;
    }
    return true;
  }
  return false;
}

// SQL Server's LIKE reads [...] as a character class. A class of one
// wildcard, [%], [_] or [[], is SQL Server's way of matching that
// character itself; SQLite's LIKE runs with a backslash as its escape (see
// the writer), so those become a backslash and the character, and a
// backslash of the pattern, plain text to SQL Server, is doubled. Any
// other class is refused, or with `coarse` bound as "_" for korimba_like
// to decide.
std::string LikePatternForSqlite(const std::string& pattern, bool coarse) {
  std::string out;
  out.reserve(pattern.size());
  for (size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '\\') {
      out += "\\\\";
    } else if (c != '[') {
      out += c;
    } else if (i + 2 < pattern.size() && pattern[i + 2] == ']' &&
               (pattern[i + 1] == '%' || pattern[i + 1] == '_' || pattern[i + 1] == '[')) {
      out += '\\';
      out += pattern[i + 1];
      i += 2;
    } else if (const size_t end = ClassEnd(pattern, i); coarse && end != std::string::npos) {
      out += '_';
      i = end;
    } else {
      ThrowDatabase(
          "LIKE patterns with [ ] character classes are not supported by the embedded database.");
    }
  }
  return out;
}

}  // namespace

BoundValue BindValue(const ParamSpec& param, const ShapedStatement& shape, const BindState& state) {
  switch (param.source) {
    case ParamSource::kNow:
      return CanonicalDateText(Now());
    case ParamSource::kLastIdentity:
      if (state.last_identity) return *state.last_identity;
      return std::monostate{};
    case ParamSource::kScopeIdentity:
      if (state.scope_identity) return *state.scope_identity;
      return std::monostate{};
    case ParamSource::kLiteral:
      break;
  }
  const Literal& lit = shape.literals.at(param.literal_index);
  const bool is_string = lit.kind == Literal::Kind::kString || lit.kind == Literal::Kind::kNString;
  const bool unicode = lit.kind == Literal::Kind::kNString;
  switch (param.target) {
    case SqlType::kDateTime:
      if (!is_string) {
        ThrowDatabase("A number cannot be used as a datetime on the embedded database.");
      }
      return TextToDateTime(lit.text, unicode, param.date_style, param.datetime2);
    case SqlType::kDate: {
      if (!is_string) {
        ThrowDatabase("A number cannot be used as a date on the embedded database.");
      }
      // A date keeps the day the text names, whatever its time of day.
      CivilDateTime parts;
      int below_ms = 0;
      switch (ParseSqlServerDateTime(lit.text, parts, param.date_style, &below_ms)) {
        case DateParse::kOk:
          parts.hour = parts.minute = parts.second = parts.millisecond = 0;
          return CanonicalText(parts);
        case DateParse::kOutOfRange:
          return TextToDateTime(lit.text, unicode, param.date_style);  // throws its message
        case DateParse::kBadFormat:
          break;
      }
      ThrowDatabase("Conversion failed when converting date and/or time from character string.");
    }
    case SqlType::kTime:
      if (!is_string) {
        ThrowDatabase("Explicit conversion from data type int to time is not allowed.");
      }
      return TextToTime(lit.text, param.time_scale);
    case SqlType::kInt:
    case SqlType::kSmallInt:
    case SqlType::kBit: {
      const int bits = param.target == SqlType::kInt        ? 32
                       : param.target == SqlType::kSmallInt ? 16
                                                            : 1;
      return is_string ? TextToInteger(lit.text, unicode, bits)
                       : NumberLiteralToInteger(lit, bits, param.negate);
    }
    case SqlType::kFloat:
    case SqlType::kReal:
    case SqlType::kDecimal:
      if (is_string) return TextToFloat(lit.text, unicode, param.target == SqlType::kDecimal);
      return (param.negate ? -1 : 1) * std::strtod(lit.text.c_str(), nullptr);
    case SqlType::kText: {
      if (param.like_check) {
        if (!HasCharacterClass(lit.text)) return std::monostate{};
        return lit.text;
      }
      if (param.like_pattern) return LikePatternForSqlite(lit.text, param.like_coarse);
      std::string text = is_string ? lit.text : (param.negate ? "-" : "") + lit.text;
      if (param.rtrim) {
        while (!text.empty() && text.back() == ' ') text.pop_back();
      }
      if (param.max_length > 0) {
        // Trailing blanks beyond the length are dropped silently, as SQL Server does.
        int excess = CountChars(text) - param.max_length;
        while (excess > 0 && !text.empty() && text.back() == ' ') {
          text.pop_back();
          --excess;
        }
        if (excess > 0) ThrowDatabase("String or binary data would be truncated.");
      }
      return text;
    }
    case SqlType::kUnknown:
    case SqlType::kNull:
      break;
  }
  if (is_string) return lit.text;
  if (lit.kind == Literal::Kind::kInteger && lit.text.size() < 19) {
    const int64_t v = IntegerDigits(lit.text);
    return param.negate ? -v : v;
  }
  return (param.negate ? -1 : 1) * std::strtod(lit.text.c_str(), nullptr);
}

std::string CanonicalDateText(Date date) { return CanonicalText(SplitDate(date)); }

std::optional<Date> DateFromCanonical(std::string_view s) {
  // yyyy-mm-dd hh:mm:ss.fff, also without the milliseconds or the time.
  // Every stored time comes back through here, so the fixed places are read
  // directly.
  if (s.size() != 23 && s.size() != 19 && s.size() != 10) return std::nullopt;
  bool ok = true;
  auto num = [&](size_t at, size_t len) {
    int v = 0;
    for (size_t i = at; i < at + len; ++i) {
      const unsigned digit = static_cast<unsigned char>(s[i]) - unsigned{'0'};
      ok = ok && digit < 10;
      v = v * 10 + static_cast<int>(digit);
    }
    return v;
  };
  const int year = num(0, 4), month = num(5, 2), day = num(8, 2);
  if (!ok || s[4] != '-' || s[7] != '-') return std::nullopt;
  int64_t ms = 0;
  if (s.size() > 10) {
    const int hour = num(11, 2), minute = num(14, 2), second = num(17, 2);
    const int milli = s.size() == 23 ? num(20, 3) : 0;
    if (!ok || s[10] != ' ' || s[13] != ':' || s[16] != ':' || (s.size() == 23 && s[19] != '.') ||
        hour > 23 || minute > 59 || second > 59) {
      return std::nullopt;
    }
    ms = ((hour * 60LL + minute) * 60 + second) * 1000 + milli;
  }
  // The times of one row mostly fall on one day: the last day's serial is
  // kept so that its text is worked out once.
  thread_local char last_text[10] = {};
  thread_local int64_t last_serial = 0;
  int64_t serial;
  if (last_text[0] != 0 && std::memcmp(last_text, s.data(), 10) == 0) {
    serial = last_serial;
  } else {
    const std::optional<int64_t> d = SerialDay(year, month, day);
    if (!d) return std::nullopt;
    serial = *d;
    std::memcpy(last_text, s.data(), 10);
    last_serial = serial;
  }
  return JoinSerial(serial, ms);
}

Variant ResultValueFromInt(SqlType type, int64_t v) {
  const bool fits32 =
      v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
  switch (type) {
    case SqlType::kSmallInt:
      if (v >= -32768 && v <= 32767) return Variant::I2(static_cast<int16_t>(v));
      break;
    case SqlType::kBit:
      return Variant::Bool(v != 0);
    case SqlType::kFloat:
    case SqlType::kDecimal:
      return Variant::R8(static_cast<double>(v));
    case SqlType::kReal:
      return Variant::R4(static_cast<float>(v));
    case SqlType::kText:
      return Variant::Text(std::to_string(v));
    default:
      break;
  }
  if (fits32) return Variant::I4(static_cast<int32_t>(v));
  return Variant::R8(static_cast<double>(v));
}

Variant ResultValueFromDouble(SqlType type, double v) {
  switch (type) {
    case SqlType::kReal:
      return Variant::R4(static_cast<float>(v));
    case SqlType::kInt:
    case SqlType::kSmallInt:
    case SqlType::kBit:
      if (v == std::trunc(v) && std::fabs(v) < 9.2e18) {
        return ResultValueFromInt(type, static_cast<int64_t>(v));
      }
      return Variant::R8(v);
    case SqlType::kText:
      return Variant::Text(TextForm(Variant::R8(v)));
    default:
      return Variant::R8(v);
  }
}

Variant ResultValueFromText(SqlType type, std::string_view text, int time_scale) {
  switch (type) {
    case SqlType::kTime:
      return Variant::Text(TimeDisplayText(text, time_scale));
    case SqlType::kDateTime:
    case SqlType::kDate: {
      if (std::optional<Date> d = DateFromCanonical(text)) return Variant::FromDate(*d);
      CivilDateTime parts;
      if (ParseSqlServerDateTime(text, parts) == DateParse::kOk) {
        if (std::optional<Date> d = MakeDate(parts)) return Variant::FromDate(*d);
      }
      break;
    }
    case SqlType::kInt:
    case SqlType::kSmallInt:
    case SqlType::kBit:
    case SqlType::kFloat:
    case SqlType::kReal:
    case SqlType::kDecimal: {
      std::optional<double> v = ParseNumber(text);
      if (v) return ResultValueFromDouble(type, *v);
      break;
    }
    default:
      break;
  }
  return Variant::Text(std::string(text));
}

}  // namespace korimba::sql
