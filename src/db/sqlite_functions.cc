#include "db/sqlite_functions.h"

#include <locale.h>
#include <sqlite3.h>
#include <wctype.h>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korimba::sql {
namespace {

constexpr const char* kIntOverflow =
    "Arithmetic overflow error converting expression to data type int.";
constexpr const char* kSmallIntOverflow =
    "Arithmetic overflow error converting expression to data type smallint.";
constexpr const char* kFloatOverflow =
    "Arithmetic overflow error converting expression to data type float.";
constexpr const char* kRealOverflow =
    "Arithmetic overflow error converting expression to data type real.";
constexpr const char* kNumericOverflow =
    "Arithmetic overflow error converting expression to data type numeric.";
constexpr const char* kDivideByZero = "Divide by zero error encountered.";

struct Number {
  bool is_int = true;
  int64_t i = 0;
  double d = 0;
  double AsDouble() const { return is_int ? static_cast<double>(i) : d; }
  bool IsZero() const { return is_int ? i == 0 : d == 0; }
};

// The operand as a number; nullopt for Null. Text reads as SQLite reads a
// number (the translator only passes texts it has typed as numbers).
std::optional<Number> Read(sqlite3_value* v) {
  switch (sqlite3_value_numeric_type(v)) {
    case SQLITE_NULL:
      return std::nullopt;
    case SQLITE_INTEGER:
      return Number{true, sqlite3_value_int64(v), 0};
    default:
      return Number{false, 0, sqlite3_value_double(v)};
  }
}

// One step of the chain; returns the error text, or null with `acc` set.
const char* Step(char op, char type, Number& acc, const Number& b) {
  if ((op == '/' || op == '%') && b.IsZero()) return kDivideByZero;
  if (acc.is_int && b.is_int) {
    int64_t r = 0;
    bool overflow = false;
    switch (op) {
      case '+':
        overflow = __builtin_add_overflow(acc.i, b.i, &r);
        break;
      case '-':
        overflow = __builtin_sub_overflow(acc.i, b.i, &r);
        break;
      case '*':
        overflow = __builtin_mul_overflow(acc.i, b.i, &r);
        break;
      case '/':
        overflow = acc.i == INT64_MIN && b.i == -1;
        if (!overflow) r = acc.i / b.i;
        break;
      default:
        r = b.i == -1 ? 0 : acc.i % b.i;
        break;
    }
    if (type == 'i' && (overflow || r < INT32_MIN || r > INT32_MAX)) return kIntOverflow;
    if (type == 's' && (overflow || r < INT16_MIN || r > INT16_MAX)) return kSmallIntOverflow;
    if (!overflow) {
      acc.i = r;
      return nullptr;
    }
  }
  const double x = acc.AsDouble(), y = b.AsDouble();
  double r = 0;
  switch (op) {
    case '+':
      r = x + y;
      break;
    case '-':
      r = x - y;
      break;
    case '*':
      r = x * y;
      break;
    case '/':
      r = x / y;
      break;
    default:
      r = std::fmod(x, y);
      break;
  }
  switch (type) {
    case 'i':
      if (!(r >= INT32_MIN && r <= INT32_MAX)) return kIntOverflow;
      break;
    case 's':
      if (!(r >= INT16_MIN && r <= INT16_MAX)) return kSmallIntOverflow;
      break;
    case 'r':
      if (!(std::fabs(r) <= FLT_MAX)) return kRealOverflow;
      break;
    case 'd':
      if (!std::isfinite(r)) return kNumericOverflow;
      break;
    default:
      if (!std::isfinite(r)) return kFloatOverflow;
      break;
  }
  acc = Number{false, 0, r};
  return nullptr;
}

void Arith(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const auto* ops = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const int op_bytes = sqlite3_value_bytes(argv[0]);
  if (!ops || argc < 2 || op_bytes != 2 * (argc - 2)) {
    sqlite3_result_error(ctx, "korimba_arith: operators and operands do not match", -1);
    return;
  }
  std::optional<Number> acc = Read(argv[1]);
  for (int k = 2; k < argc; ++k) {
    const std::optional<Number> b = Read(argv[k]);
    if (!acc || !b) {
      acc.reset();
      // Later steps could still divide by zero, but SQL Server gives Null
      // for any Null operand before it looks at the divisor.
      continue;
    }
    if (const char* error = Step(ops[2 * (k - 2)], ops[2 * (k - 2) + 1], *acc, *b)) {
      sqlite3_result_error(ctx, error, -1);
      return;
    }
  }
  if (!acc) {
    sqlite3_result_null(ctx);
  } else if (acc->is_int) {
    sqlite3_result_int64(ctx, acc->i);
  } else {
    sqlite3_result_double(ctx, acc->d);
  }
}

// The C library's Unicode character tables (C.UTF-8 has them all); null
// where the system lacks the locale, and then only ASCII letters fold.
locale_t UnicodeLocale() {
  static const locale_t loc = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  return loc;
}

// Simple case folding of one code point: upper case, then lower case, so
// that letters with several lower forms (final sigma) meet in one.
uint32_t Fold(uint32_t c) {
  if (c < 0x80) return c >= 'A' && c <= 'Z' ? c + 32 : c;
  // Kana, the CJK ideographs and Yi (U+3000 to U+A63F) and the Hangul
  // syllables have no case: the most common letters of the office's texts
  // need no table look-up.
  if ((c >= 0x3000 && c < 0xA640) || (c >= 0xAC00 && c < 0xD7B0)) return c;
  const locale_t loc = UnicodeLocale();
  if (!loc) return c;
  return static_cast<uint32_t>(towlower_l(towupper_l(static_cast<wint_t>(c), loc), loc));
}

// Reads one UTF-8 code point at p (< end); a byte that starts no valid
// sequence stands for itself.
uint32_t Decode(const unsigned char*& p, const unsigned char* end) {
  const unsigned char b = *p++;
  int more = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
  if (more == 0 || end - p < more) return b;
  uint32_t c = b & (0x3F >> more);
  for (int i = 0; i < more; ++i) {
    if ((p[i] & 0xC0) != 0x80) return b;
    c = (c << 6) | (p[i] & 0x3F);
  }
  p += more;
  return c;
}

// ASCII letters folded to lower case, every other byte unchanged: the fold
// of an ASCII character, without a call per byte.
constexpr std::array<unsigned char, 128> kAsciiFold = [] {
  std::array<unsigned char, 128> table{};
  for (int c = 0; c < 128; ++c) {
    table[static_cast<size_t>(c)] = static_cast<unsigned char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  }
  return table;
}();

int CompareCi(void*, int na, const void* va, int nb, const void* vb) {
  const auto* a = static_cast<const unsigned char*>(va);
  const auto* b = static_cast<const unsigned char*>(vb);
  while (na > 0 && a[na - 1] == ' ') --na;
  while (nb > 0 && b[nb - 1] == ' ') --nb;
  const unsigned char *ea = a + na, *eb = b + nb;
  // Byte by byte while the bytes are equal or both ASCII. An ASCII byte is
  // never part of a longer sequence (Decode refuses one as a continuation),
  // so right after it both texts stand at the start of a character; the
  // general loop below takes over from the last such place when it meets
  // differing bytes of which one is not ASCII, or equal bytes of a sequence
  // at the end of the shorter text.
  const size_t common = static_cast<size_t>(std::min(na, nb));
  size_t i = 0, start = 0;
  for (; i < common; ++i) {
    const unsigned char x = a[i], y = b[i];
    if ((x | y) < 0x80) {
      const unsigned char fx = kAsciiFold[x], fy = kAsciiFold[y];
      if (fx != fy) return fx < fy ? -1 : 1;
      start = i + 1;
    } else if (x != y) {
      break;
    }
  }
  // Every byte matched: texts of one length hold the same characters, and
  // where only ASCII was read the shorter one is a prefix of the longer.
  if (i == common && (na == nb || start == common)) return na > nb ? 1 : na < nb ? -1 : 0;
  a += start;
  b += start;
  while (a < ea && b < eb) {
    uint32_t x = Decode(a, ea), y = Decode(b, eb);
    if (x == y) continue;
    x = Fold(x);
    y = Fold(y);
    if (x != y) return x < y ? -1 : 1;
  }
  return a < ea ? 1 : b < eb ? -1 : 0;
}

// ---- text functions, by characters (code points), not bytes ----

using Chars = std::vector<uint32_t>;

Chars Decoded(sqlite3_value* v) {
  const auto* p = sqlite3_value_text(v);
  const unsigned char* end = p + sqlite3_value_bytes(v);
  Chars out;
  while (p && p < end) out.push_back(Decode(p, end));
  return out;
}

void Encode(uint32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void ResultChars(sqlite3_context* ctx, const Chars& chars, size_t from, size_t count) {
  std::string out;
  out.reserve(count);
  for (size_t i = from; i < from + count && i < chars.size(); ++i) Encode(chars[i], out);
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

bool AnyNull(int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return true;
  }
  return false;
}

// SUBSTRING(s, start, length): the characters from `start` to
// start + length - 1 that exist (start may be 0 or negative).
void Substring(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const int64_t start = sqlite3_value_int64(argv[1]), length = sqlite3_value_int64(argv[2]);
  if (length < 0) {
    return sqlite3_result_error(ctx, "Invalid length parameter passed to the substring function.",
                                -1);
  }
  const Chars chars = Decoded(argv[0]);
  const int64_t n = static_cast<int64_t>(chars.size());
  const int64_t first = std::max<int64_t>(start, 1);
  const int64_t last = start > INT64_MAX - length ? n : std::min(n, start + length - 1);
  if (last < first) return sqlite3_result_text(ctx, "", 0, SQLITE_STATIC);
  ResultChars(ctx, chars, static_cast<size_t>(first - 1), static_cast<size_t>(last - first + 1));
}

// RIGHT(s, n): the last n characters.
void Right(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0) {
    return sqlite3_result_error(ctx, "Invalid length parameter passed to the right function.", -1);
  }
  const Chars chars = Decoded(argv[0]);
  const size_t take = std::min<size_t>(chars.size(), static_cast<size_t>(n));
  ResultChars(ctx, chars, chars.size() - take, take);
}

// UPPER / LOWER for every letter.
template <bool kUpper>
void ChangeCase(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  Chars chars = Decoded(argv[0]);
  const locale_t loc = UnicodeLocale();
  for (uint32_t& c : chars) {
    if (c < 0x80) {
      if (kUpper && c >= 'a' && c <= 'z') c -= 32;
      if (!kUpper && c >= 'A' && c <= 'Z') c += 32;
    } else if (loc) {
      c = static_cast<uint32_t>(kUpper ? towupper_l(static_cast<wint_t>(c), loc)
                                       : towlower_l(static_cast<wint_t>(c), loc));
    }
  }
  ResultChars(ctx, chars, 0, chars.size());
}

// Where `needle` stands in `hay` at or after `from` (0-based), comparing in
// the collation's case folding; npos when nowhere.
size_t Find(const Chars& hay, const Chars& needle, size_t from) {
  if (needle.empty() || needle.size() > hay.size()) return std::string::npos;
  for (size_t i = from; i + needle.size() <= hay.size(); ++i) {
    size_t k = 0;
    while (k < needle.size() && Fold(hay[i + k]) == Fold(needle[k])) ++k;
    if (k == needle.size()) return i;
  }
  return std::string::npos;
}

// CHARINDEX(find, s [, start]): 1-based position, 0 when absent.
void CharIndex(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(ctx);
  int64_t start =
      argc > 2 && sqlite3_value_type(argv[2]) != SQLITE_NULL ? sqlite3_value_int64(argv[2]) : 1;
  if (start < 1) start = 1;
  const Chars needle = Decoded(argv[0]), hay = Decoded(argv[1]);
  const size_t at = static_cast<uint64_t>(start - 1) >= hay.size()
                        ? std::string::npos
                        : Find(hay, needle, static_cast<size_t>(start - 1));
  sqlite3_result_int64(ctx, at == std::string::npos ? 0 : static_cast<int64_t>(at) + 1);
}

// REPLACE(s, find, with): every occurrence, found in the collation's case
// folding; an empty `find` leaves s as it is.
void Replace(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const Chars hay = Decoded(argv[0]), needle = Decoded(argv[1]), with = Decoded(argv[2]);
  Chars out;
  size_t i = 0;
  for (size_t at; (at = Find(hay, needle, i)) != std::string::npos; i = at + needle.size()) {
    out.insert(out.end(), hay.begin() + static_cast<std::ptrdiff_t>(i),
               hay.begin() + static_cast<std::ptrdiff_t>(at));
    out.insert(out.end(), with.begin(), with.end());
  }
  out.insert(out.end(), hay.begin() + static_cast<std::ptrdiff_t>(i), hay.end());
  ResultChars(ctx, out, 0, out.size());
}

// REPLICATE(s, n): Null for a negative n.
void Replicate(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (AnyNull(argc, argv)) return sqlite3_result_null(ctx);
  const int64_t n = sqlite3_value_int64(argv[1]);
  if (n < 0) return sqlite3_result_null(ctx);
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  const size_t bytes = static_cast<size_t>(sqlite3_value_bytes(argv[0]));
  // SQL Server cuts a result that is not of a max type at 8000 bytes; a
  // longer one would only grow without end here.
  if (bytes > 0 && static_cast<uint64_t>(n) > (size_t{1} << 24) / bytes) {
    return sqlite3_result_error(ctx, "REPLICATE's result is too long for the embedded database.",
                                -1);
  }
  std::string out;
  out.reserve(bytes * static_cast<size_t>(n));
  for (int64_t i = 0; i < n; ++i) out.append(text, bytes);
  sqlite3_result_text(ctx, out.data(), static_cast<int>(out.size()), SQLITE_TRANSIENT);
}

// The level of a row a recursive common table makes: fails once it passes
// the limit (0: none), as SQL Server stops the statement.
void Recursion(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const int64_t level = sqlite3_value_int64(argv[0]);
  const int64_t limit = sqlite3_value_int64(argv[1]);
  if (limit > 0 && level > limit) {
    const std::string message = "The statement terminated. The maximum recursion " +
                                std::to_string(limit) +
                                " has been exhausted before statement completion.";
    return sqlite3_result_error(ctx, message.c_str(), -1);
  }
  sqlite3_result_int64(ctx, level);
}

// TOP's count from an expression, or a PERCENT (`percent` 1): fails as SQL
// Server does on a count below zero, a Null, or a percent past 100.
void Top(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const bool percent = sqlite3_value_int(argv[1]) != 0;
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
    return sqlite3_result_error(ctx, "A TOP or FETCH clause contains an invalid value.", -1);
  }
  const double n = sqlite3_value_double(argv[0]);
  if (percent) {
    if (n < 0 || n > 100) {
      return sqlite3_result_error(ctx, "Percent values must be between 0 and 100.", -1);
    }
    return sqlite3_result_double(ctx, n);
  }
  if (n < 0 || n >= 9.2e18) {
    return sqlite3_result_error(ctx, "A TOP or FETCH clause contains an invalid value.", -1);
  }
  sqlite3_result_int64(ctx, static_cast<int64_t>(n));
}

// A double to the nearest multiple of 10^-digits, halves away from zero,
// as the decimal digits it prints as (15 significant) say: 1.255 rounds
// to 1.26 though its double is a little below 1.255.
double RoundDecimal(double x, int64_t digits, bool truncate) {
  if (digits > 15 || digits < -30) return digits > 15 ? x : 0;
  const double scale = std::pow(10.0, static_cast<double>(std::llabs(digits)));
  double v = digits >= 0 ? x * scale : x / scale;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  v = std::strtod(buf, nullptr);
  v = truncate ? std::trunc(v) : std::round(v);
  return digits >= 0 ? v / scale : v * scale;
}

// korimba_math(name, type, x [, y [, z]]): ABS, SIGN, FLOOR, CEILING,
// ROUND(x, digits [, truncate]), POWER, SQRT, SQUARE; `type` the result's
// letter as korimba_arith has it, an int or smallint result checked for
// its range.
void Math(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (argc < 3) return sqlite3_result_error(ctx, "korimba_math: too few arguments", -1);
  const std::string_view name(reinterpret_cast<const char*>(sqlite3_value_text(argv[0])));
  const char type = *reinterpret_cast<const char*>(sqlite3_value_text(argv[1]));
  for (int i = 2; i < argc; ++i) {
    if (sqlite3_value_type(argv[i]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  }
  const double x = sqlite3_value_double(argv[2]);
  const double y = argc > 3 ? sqlite3_value_double(argv[3]) : 0;
  double r = 0;
  if (name == "abs") {
    r = std::fabs(x);
  } else if (name == "sign") {
    r = x > 0 ? 1 : x < 0 ? -1 : 0;
  } else if (name == "floor") {
    r = std::floor(x);
  } else if (name == "ceiling") {
    r = std::ceil(x);
  } else if (name == "round") {
    const bool truncate = argc > 4 && sqlite3_value_int64(argv[4]) != 0;
    r = RoundDecimal(x, sqlite3_value_int64(argv[3]), truncate);
  } else if (name == "power") {
    r = std::pow(x, y);
  } else if (name == "sqrt") {
    if (x < 0) {
      return sqlite3_result_error(ctx, "An invalid floating point operation occurred.", -1);
    }
    r = std::sqrt(x);
  } else if (name == "square") {
    r = x * x;
  }
  if (type == 'i' || type == 's') {
    r = std::trunc(r);
    const double max = type == 'i' ? INT32_MAX : INT16_MAX,
                 min = type == 'i' ? INT32_MIN : INT16_MIN;
    if (!(r >= min && r <= max)) {
      return sqlite3_result_error(ctx, type == 'i' ? kIntOverflow : kSmallIntOverflow, -1);
    }
    return sqlite3_result_int64(ctx, static_cast<int64_t>(r));
  }
  if (!std::isfinite(r)) {
    if (std::isnan(r)) {
      return sqlite3_result_error(ctx, "An invalid floating point operation occurred.", -1);
    }
    return sqlite3_result_error(ctx, type == 'd' ? kNumericOverflow : kFloatOverflow, -1);
  }
  sqlite3_result_double(ctx, r);
}

// korimba_datalength(bytes, x): the bytes of a value; for a text, `bytes`
// is 'n' (nvarchar: two per UTF-16 unit) or 'v' (varchar: one per
// character of this one-byte-per-letter view).
void DataLength(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  if (sqlite3_value_type(argv[0]) == SQLITE_INTEGER) {
    return sqlite3_result_int64(ctx, sqlite3_value_int64(argv[0]));
  }
  const bool wide = sqlite3_value_text(argv[0])[0] == 'n';
  const auto* p = sqlite3_value_text(argv[1]);
  const auto* end = p + sqlite3_value_bytes(argv[1]);
  int64_t units = 0;
  while (p < end) {
    const uint32_t c = Decode(p, end);
    units += wide && c >= 0x10000 ? 2 : 1;
  }
  sqlite3_result_int64(ctx, wide ? units * 2 : units);
}

// One piece of a SQL Server LIKE pattern: "%", "_", a letter, or a class
// [a-cx] / [^a-c] of ranges (a single character is a range of one).
struct LikeToken {
  enum class Kind { kAnyRun, kAnyOne, kChar, kClass } kind;
  uint32_t c = 0;
  bool negated = false;
  std::vector<std::pair<uint32_t, uint32_t>> ranges;
  // `unsure`: a range was asked about a letter beyond ASCII, where SQL
  // Server's collation order (é between e and f) is not code point order.
  bool Matches(uint32_t x, bool& unsure) const {
    if (kind == Kind::kAnyOne) return true;
    const uint32_t f = Fold(x);
    if (kind == Kind::kChar) return f == c;
    bool in = false;
    for (const auto& [lo, hi] : ranges) {
      const bool digits = lo >= '0' && hi <= '9';  // no letter sorts among digits
      if (lo != hi && !digits && (f >= 0x80 || lo >= 0x80 || hi >= 0x80)) unsure = true;
      in = in || (f >= lo && f <= hi);
    }
    return in != negated;
  }
};

LikeToken Token(LikeToken::Kind kind, uint32_t c = 0) {
  LikeToken t;
  t.kind = kind;
  t.c = c;
  return t;
}

std::vector<LikeToken> LikeTokens(const Chars& p) {
  std::vector<LikeToken> out;
  for (size_t i = 0; i < p.size(); ++i) {
    if (p[i] == '%') {
      out.push_back(Token(LikeToken::Kind::kAnyRun));
    } else if (p[i] == '_') {
      out.push_back(Token(LikeToken::Kind::kAnyOne));
    } else if (p[i] == '[') {
      size_t j = i + 1;
      LikeToken t = Token(LikeToken::Kind::kClass);
      if (j < p.size() && p[j] == '^') {
        t.negated = true;
        ++j;
      }
      const size_t first = j;
      while (j < p.size() && (p[j] != ']' || j == first)) {
        uint32_t lo = Fold(p[j]), hi = lo;
        if (j + 2 < p.size() && p[j + 1] == '-' && p[j + 2] != ']') {
          hi = Fold(p[j + 2]);
          j += 2;
        }
        t.ranges.emplace_back(lo, hi);
        ++j;
      }
      if (j >= p.size()) {  // no closing bracket: the '[' is itself
        out.push_back(Token(LikeToken::Kind::kChar, Fold('[')));
        continue;
      }
      out.push_back(std::move(t));
      i = j;
    } else {
      out.push_back(Token(LikeToken::Kind::kChar, Fold(p[i])));
    }
  }
  return out;
}

// korimba_like(x, pattern): SQL Server's LIKE with character classes,
// letters compared by the collation's case folding. A Null pattern (one
// without classes, which SQLite's LIKE has decided) passes.
void Like(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[1]) == SQLITE_NULL) return sqlite3_result_int(ctx, 1);
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const Chars s = Decoded(argv[0]);
  const std::vector<LikeToken> p = LikeTokens(Decoded(argv[1]));
  // Greedy matching with a return to the last "%": every other token
  // takes exactly one character, so this finds a match when there is one.
  size_t si = 0, pi = 0, star = std::string::npos, resume = 0;
  bool unsure = false;
  while (si < s.size()) {
    if (unsure) {
      return sqlite3_result_error(
          ctx,
          "LIKE character ranges over letters beyond ASCII are not supported by the embedded "
          "database.",
          -1);
    }
    if (pi < p.size() && p[pi].kind == LikeToken::Kind::kAnyRun) {
      star = pi++;
      resume = si;
    } else if (pi < p.size() && p[pi].Matches(s[si], unsure)) {
      ++si;
      ++pi;
    } else if (star != std::string::npos) {
      pi = star + 1;
      si = ++resume;
    } else {
      return sqlite3_result_int(ctx, 0);
    }
  }
  while (pi < p.size() && p[pi].kind == LikeToken::Kind::kAnyRun) ++pi;
  sqlite3_result_int(ctx, pi == p.size() ? 1 : 0);
}

// korimba_error(message): fails the statement with SQL Server's message,
// for a CASE arm the translator knows is an error.
void Error(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  sqlite3_result_error(ctx, text ? text : "error", -1);
}

// korimba_decimal(x, precision, scale, from): CAST(x AS decimal(p, s)),
// rounded half away from zero to the scale; failing when the whole digits
// pass p - s, with SQL Server's message naming the type converted from.
void Decimal(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(ctx);
  const int64_t precision = sqlite3_value_int64(argv[1]), scale = sqlite3_value_int64(argv[2]);
  const double v = RoundDecimal(sqlite3_value_double(argv[0]), scale, false);
  if (!(std::fabs(v) < std::pow(10.0, static_cast<double>(precision - scale)))) {
    const std::string message = std::string("Arithmetic overflow error converting ") +
                                reinterpret_cast<const char*>(sqlite3_value_text(argv[3])) +
                                " to data type numeric.";
    return sqlite3_result_error(ctx, message.c_str(), -1);
  }
  sqlite3_result_double(ctx, v);
}

struct FunctionDef {
  const char* name;
  int args;
  void (*fn)(sqlite3_context*, int, sqlite3_value**);
};

constexpr FunctionDef kFunctions[] = {
    {"korimba_arith", -1, Arith},
    {"korimba_substring", 3, Substring},
    {"korimba_right", 2, Right},
    {"korimba_upper", 1, ChangeCase<true>},
    {"korimba_lower", 1, ChangeCase<false>},
    {"korimba_charindex", 2, CharIndex},
    {"korimba_charindex", 3, CharIndex},
    {"korimba_replace", 3, Replace},
    {"korimba_replicate", 2, Replicate},
    {"korimba_recursion", 2, Recursion},
    {"korimba_top", 2, Top},
    {"korimba_math", -1, Math},
    {"korimba_like", 2, Like},
    {"korimba_error", 1, Error},
    {"korimba_decimal", 4, Decimal},
    {"korimba_datalength", 2, DataLength},
};

}  // namespace

int RegisterSqliteFunctions(sqlite3* db) {
  for (const FunctionDef& f : kFunctions) {
    const int rc = sqlite3_create_function_v2(db, f.name, f.args,
                                              SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                              nullptr, f.fn, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) return rc;
  }
  const int rc = RegisterSqliteDateFunctions(db);
  if (rc != SQLITE_OK) return rc;
  return sqlite3_create_collation_v2(db, kTextCollation, SQLITE_UTF8, nullptr, CompareCi, nullptr);
}

}  // namespace korimba::sql
