#include "db/sqlite_functions.h"

#include <locale.h>
#include <sqlite3.h>
#include <wctype.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <optional>

namespace korimba::sql {
namespace {

constexpr const char* kIntOverflow =
    "Arithmetic overflow error converting expression to data type int.";
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

int CompareCi(void*, int na, const void* va, int nb, const void* vb) {
  const auto* a = static_cast<const unsigned char*>(va);
  const auto* b = static_cast<const unsigned char*>(vb);
  while (na > 0 && a[na - 1] == ' ') --na;
  while (nb > 0 && b[nb - 1] == ' ') --nb;
  const unsigned char *ea = a + na, *eb = b + nb;
  while (a < ea && b < eb) {
    const uint32_t x = Fold(Decode(a, ea)), y = Fold(Decode(b, eb));
    if (x != y) return x < y ? -1 : 1;
  }
  return a < ea ? 1 : b < eb ? -1 : 0;
}

}  // namespace

int RegisterSqliteFunctions(sqlite3* db) {
  const int rc = sqlite3_create_function_v2(db, "korimba_arith", -1,
                                            SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS,
                                            nullptr, Arith, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) return rc;
  return sqlite3_create_collation_v2(db, kTextCollation, SQLITE_UTF8, nullptr, CompareCi, nullptr);
}

}  // namespace korimba::sql
