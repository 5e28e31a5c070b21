#include "frame/value_ops.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>

#include "frame/error.h"

namespace korimba {
namespace {

// Shortest text of `v` with at most `digits` significant digits: fixed
// notation for decimal exponents -5..digits-1, exponent form ("1E+20",
// "1.5E-07") outside, no trailing zeros, '.' as decimal point.
std::string FloatText(double v, int digits) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v < 0 ? "-Infinity" : "Infinity";
  if (v == 0) return "0";
  char buf[64];
  // Rounds to `digits` significant digits first, which fixes the exponent.
  std::snprintf(buf, sizeof buf, "%.*e", digits - 1, v);
  std::string_view s(buf);
  const size_t e_pos = s.find('e');
  const int exponent = std::atoi(buf + e_pos + 1);
  std::string mantissa;  // significant digits without the point
  const bool negative = s[0] == '-';
  for (char c : s.substr(0, e_pos)) {
    if (c >= '0' && c <= '9') mantissa += c;
  }
  while (mantissa.size() > 1 && mantissa.back() == '0') mantissa.pop_back();

  std::string out = negative ? "-" : "";
  if (exponent >= digits || exponent < -4) {
    out += mantissa[0];
    if (mantissa.size() > 1) out += "." + mantissa.substr(1);
    std::snprintf(buf, sizeof buf, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    return out + buf;
  }
  if (exponent < 0) {
    return out + "0." + std::string(static_cast<size_t>(-exponent - 1), '0') + mantissa;
  }
  const auto int_digits = static_cast<size_t>(exponent + 1);
  if (mantissa.size() <= int_digits) {
    return out + mantissa + std::string(int_digits - mantissa.size(), '0');
  }
  return out + mantissa.substr(0, int_digits) + "." + mantissa.substr(int_digits);
}

// The kinds that take part in arithmetic and comparison as numbers.
bool IsNumeric(const Variant& v) {
  switch (v.kind()) {
    case VarKind::kI2:
    case VarKind::kI4:
    case VarKind::kR4:
    case VarKind::kR8:
    case VarKind::kDate:
    case VarKind::kBool:
      return true;
    default:
      return false;
  }
}

// The value of a numeric kind (see IsNumeric); Booleans are -1 and 0.
double NumericValue(const Variant& v) {
  switch (v.kind()) {
    case VarKind::kI2:
      return *v.i2();
    case VarKind::kI4:
      return *v.i4();
    case VarKind::kR4:
      return std::get<float>(v.storage());
    case VarKind::kR8:
      return std::get<double>(v.storage());
    case VarKind::kDate:
      return v.date()->serial;
    case VarKind::kBool:
      return *v.boolean() ? -1 : 0;
    default:
      return 0;
  }
}

bool IsIntegral(const Variant& v) {
  return v.kind() == VarKind::kI2 || v.kind() == VarKind::kI4 || v.kind() == VarKind::kBool;
}

[[noreturn]] void KindMismatch(const Variant& v, const char* what) {
  ThrowTypeMismatch(std::string(what) + " " + v.DebugString());
}

bool IsPlainValue(const Variant& v) {
  return v.kind() != VarKind::kObject && v.kind() != VarKind::kArray &&
         v.kind() != VarKind::kBytes && v.kind() != VarKind::kMissing;
}

// Rounds half to even and checks the range [lo, hi].
int64_t RoundToRange(double d, int64_t lo, int64_t hi, const char* type_name) {
  if (std::isnan(d)) ThrowOverflow(std::string("NaN as ") + type_name);
  const double r = std::nearbyint(d);  // default rounding mode: halves to even
  if (r < static_cast<double>(lo) || r > static_cast<double>(hi)) {
    ThrowOverflow(FloatText(d, 15) + " does not fit a " + type_name);
  }
  return static_cast<int64_t>(r);
}

int64_t ToInteger(const Variant& v, int64_t lo, int64_t hi, const char* type_name) {
  switch (v.kind()) {
    case VarKind::kEmpty:
      return 0;
    case VarKind::kNull:
      ThrowInvalidNull(std::string("conversion of Null to a ") + type_name);
    case VarKind::kI2:
    case VarKind::kI4:
    case VarKind::kBool: {
      const auto n = static_cast<int64_t>(NumericValue(v));
      if (n < lo || n > hi) ThrowOverflow(std::to_string(n) + " does not fit a " + type_name);
      return n;
    }
    case VarKind::kR4:
    case VarKind::kR8:
    case VarKind::kDate:
      return RoundToRange(NumericValue(v), lo, hi, type_name);
    case VarKind::kText: {
      const std::optional<double> d = ParseNumber(*v.text());
      if (!d) KindMismatch(v, (std::string("not a number for a ") + type_name + ":").c_str());
      return RoundToRange(*d, lo, hi, type_name);
    }
    default:
      KindMismatch(v, (std::string("no ") + type_name + " from").c_str());
  }
}

// Sum of two numeric values with the result kind the automation rules give:
// a date stays a date, integers stay integers while they fit, singles stay
// singles with 16-bit integers.
Variant AddNumbers(const Variant& a, const Variant& b) {
  const bool a_date = a.kind() == VarKind::kDate;
  const bool b_date = b.kind() == VarKind::kDate;
  if (a_date != b_date) {
    // A number of days moves a date along the time line, across the origin
    // too, where the serial's fraction changes direction.
    const Date date = a_date ? *a.date() : *b.date();
    const double days = NumericValue(a_date ? b : a);
    return Variant::FromDate(CheckedDate(FromTimeLineDays(TimeLineDays(date) + days).serial));
  }
  const double sum = NumericValue(a) + NumericValue(b);
  if (a_date) return Variant::FromDate(CheckedDate(sum));
  if (IsIntegral(a) && IsIntegral(b)) {
    const auto n = static_cast<int64_t>(sum);
    const bool narrow = a.kind() != VarKind::kI4 && b.kind() != VarKind::kI4;
    if (narrow && n >= std::numeric_limits<int16_t>::min() &&
        n <= std::numeric_limits<int16_t>::max()) {
      return Variant::I2(static_cast<int16_t>(n));
    }
    if (n >= std::numeric_limits<int32_t>::min() && n <= std::numeric_limits<int32_t>::max()) {
      return Variant::I4(static_cast<int32_t>(n));
    }
    return Variant::R8(sum);
  }
  auto single_friendly = [](const Variant& v) {
    return v.kind() == VarKind::kR4 || v.kind() == VarKind::kI2 || v.kind() == VarKind::kBool;
  };
  if (single_friendly(a) && single_friendly(b)) return Variant::R4(static_cast<float>(sum));
  return Variant::R8(sum);
}

Ordering CompareDoubles(double x, double y) {
  if (x < y) return Ordering::kLess;
  if (x > y) return Ordering::kGreater;
  return Ordering::kEqual;
}

// Where a date takes part, both sides are placed on the time line (a number
// read as a serial), so that dates before the origin order by their moment.
Ordering CompareNumeric(double x, double y, bool as_dates) {
  if (as_dates) return CompareDoubles(TimeLineDays(Date{x}), TimeLineDays(Date{y}));
  return CompareDoubles(x, y);
}

bool IsDate(const Variant& v) { return v.kind() == VarKind::kDate; }

Ordering CompareTexts(std::string_view x, std::string_view y) {
  const int c = x.compare(y);  // byte-wise, which is code point order on UTF-8
  return c < 0 ? Ordering::kLess : c > 0 ? Ordering::kGreater : Ordering::kEqual;
}

}  // namespace

std::string TextForm(const Variant& v) {
  switch (v.kind()) {
    case VarKind::kEmpty:
    case VarKind::kNull:
      return "";
    case VarKind::kI2:
      return std::to_string(*v.i2());
    case VarKind::kI4:
      return std::to_string(*v.i4());
    case VarKind::kR4:
      return FloatText(std::get<float>(v.storage()), 7);
    case VarKind::kR8:
      return FloatText(std::get<double>(v.storage()), 15);
    case VarKind::kDate:
      return FormatDate(*v.date());
    case VarKind::kText:
      return *v.text();
    case VarKind::kBool:
      return *v.boolean() ? "True" : "False";
    case VarKind::kObject:
      if (!*v.object()) ThrowObjectNotSet("no text form of Nothing");
      KindMismatch(v, "no text form of");
    default:
      KindMismatch(v, "no text form of");
  }
}

std::string ToText(const Variant& v) {
  if (v.is_null()) ThrowInvalidNull("conversion of Null to text");
  return TextForm(v);
}

Variant Concat(const Variant& a, const Variant& b) {
  if (a.is_null() && b.is_null()) return Variant::Null();
  return Variant::Text(TextForm(a) + TextForm(b));
}

Variant Add(const Variant& a, const Variant& b) {
  if (!IsPlainValue(a)) KindMismatch(a, "cannot add");
  if (!IsPlainValue(b)) KindMismatch(b, "cannot add");
  if (a.is_null() || b.is_null()) return Variant::Null();
  if (a.is_empty()) return b;
  if (b.is_empty()) return a;
  if (a.is_text() && b.is_text()) return Variant::Text(*a.text() + *b.text());
  if (IsNumeric(a) && IsNumeric(b)) return AddNumbers(a, b);
  // One number, one text: the text must read as a number.
  const Variant& text = a.is_text() ? a : b;
  const Variant& number = a.is_text() ? b : a;
  const std::optional<double> d = ParseNumber(*text.text());
  if (!d) KindMismatch(text, "not a number to add:");
  return AddNumbers(number, Variant::R8(*d));
}

Ordering Compare(const Variant& a, const Variant& b) {
  if (!IsPlainValue(a)) KindMismatch(a, "cannot compare");
  if (!IsPlainValue(b)) KindMismatch(b, "cannot compare");
  if (a.is_null() || b.is_null()) return Ordering::kNull;
  if (a.is_empty() && b.is_empty()) return Ordering::kEqual;
  if (a.is_text() && b.is_text()) return CompareTexts(*a.text(), *b.text());
  if (a.is_empty())
    return b.is_text() ? CompareTexts("", *b.text())
                       : CompareNumeric(0, NumericValue(b), IsDate(b));
  if (b.is_empty())
    return a.is_text() ? CompareTexts(*a.text(), "")
                       : CompareNumeric(NumericValue(a), 0, IsDate(a));
  // A number ranks below any text, whatever the text says.
  if (a.is_text()) return Ordering::kGreater;
  if (b.is_text()) return Ordering::kLess;
  return CompareNumeric(NumericValue(a), NumericValue(b), IsDate(a) || IsDate(b));
}

bool IsEqual(const Variant& a, const Variant& b) { return Compare(a, b) == Ordering::kEqual; }
bool IsLess(const Variant& a, const Variant& b) { return Compare(a, b) == Ordering::kLess; }
bool IsGreater(const Variant& a, const Variant& b) { return Compare(a, b) == Ordering::kGreater; }

bool EqualsLiteralText(const Variant& v, std::string_view literal) {
  if (v.is_null()) return false;
  return TextForm(v) == literal;
}

Ordering CompareWithLiteralNumber(const Variant& v, double literal) {
  if (v.is_null()) return Ordering::kNull;
  if (v.is_empty()) return CompareDoubles(0, literal);
  if (v.is_text()) {
    const std::optional<double> d = ParseNumber(*v.text());
    if (!d) KindMismatch(v, "not a number to compare:");
    return CompareDoubles(*d, literal);
  }
  if (!IsNumeric(v)) KindMismatch(v, "cannot compare");
  return CompareNumeric(NumericValue(v), literal, IsDate(v));
}

Variant Trim(const Variant& v) {
  if (v.is_null()) return v;
  const std::string s = TextForm(v);
  const size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return Variant::Text("");
  const size_t last = s.find_last_not_of(' ');
  return Variant::Text(s.substr(first, last - first + 1));
}

bool IsNull(const Variant& v) { return v.is_null(); }

std::string ReplaceAll(std::string_view text, std::string_view search,
                       std::string_view replacement) {
  if (search.empty()) return std::string(text);
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (true) {
    const size_t hit = text.find(search, pos);
    if (hit == std::string_view::npos) break;
    out.append(text, pos, hit - pos);
    out.append(replacement);
    pos = hit + search.size();
  }
  out.append(text, pos);
  return out;
}

std::optional<std::string_view> NumberText(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  const size_t last = text.find_last_not_of(" \t");
  const std::string_view s = text.substr(first, last - first + 1);
  size_t i = 0;
  auto digits = [&] {
    const size_t start = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    return i - start;
  };
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t mantissa_digits = digits();
  if (i < s.size() && s[i] == '.') {
    ++i;
    mantissa_digits += digits();
  }
  if (mantissa_digits == 0) return std::nullopt;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (digits() == 0) return std::nullopt;
  }
  if (i != s.size()) return std::nullopt;
  return s;
}

std::optional<double> ParseNumber(std::string_view text) {
  std::optional<std::string_view> s = NumberText(text);
  if (!s) return std::nullopt;
  std::string_view body = *s;
  if (body.front() == '+') body.remove_prefix(1);
  double value = 0;
  const auto [end, ec] = std::from_chars(body.data(), body.data() + body.size(), value);
  if (ec == std::errc::result_out_of_range) {
    // Too large reads as infinity (conversions then overflow); too small as 0.
    const size_t e = body.find_first_of("eE");
    const bool tiny = e != std::string_view::npos && body.find('-', e) != std::string_view::npos;
    const bool negative = body.front() == '-';
    if (tiny) return negative ? -0.0 : 0.0;
    return negative ? -std::numeric_limits<double>::infinity()
                    : std::numeric_limits<double>::infinity();
  }
  if (ec != std::errc() || end != body.data() + body.size()) return std::nullopt;
  return value;
}

int16_t ToI2(const Variant& v) {
  return static_cast<int16_t>(ToInteger(v, std::numeric_limits<int16_t>::min(),
                                        std::numeric_limits<int16_t>::max(), "16-bit integer"));
}

int32_t ToI4(const Variant& v) {
  return static_cast<int32_t>(ToInteger(v, std::numeric_limits<int32_t>::min(),
                                        std::numeric_limits<int32_t>::max(), "32-bit integer"));
}

double ToDouble(const Variant& v) {
  if (v.is_empty()) return 0;
  if (v.is_null()) ThrowInvalidNull("conversion of Null to a number");
  if (v.is_text()) {
    const std::optional<double> d = ParseNumber(*v.text());
    if (!d) KindMismatch(v, "not a number:");
    if (std::isinf(*d)) ThrowOverflow(*v.text() + " does not fit a double");
    return *d;
  }
  if (!IsNumeric(v)) KindMismatch(v, "no number from");
  return NumericValue(v);
}

Date ToDate(const Variant& v) {
  switch (v.kind()) {
    case VarKind::kDate:
      return *v.date();
    case VarKind::kNull:
      ThrowInvalidNull("conversion of Null to a date");
    case VarKind::kEmpty:
      return Date{0};
    case VarKind::kText: {
      const std::optional<Date> d = ParseDateText(*v.text());
      if (!d) KindMismatch(v, "not a date:");
      return *d;
    }
    default:
      if (!IsNumeric(v)) KindMismatch(v, "no date from");
      return CheckedDate(NumericValue(v));
  }
}

}  // namespace korimba
