// The SQL Server dialect translator: turns one statement of the dialect
// subset the component sends (SELECT with TOP, alias=expression items,
// joins, subqueries, GROUP BY; INSERT ... VALUES; UPDATE; DELETE; the
// functions GETDATE, DATEDIFF, DAY/MONTH/YEAR, LEFT, LEN, LTRIM/RTRIM,
// ISNULL, CONVERT/CAST, COUNT/MAX/MIN/SUM, @@IDENTITY, SCOPE_IDENTITY) into
// SQLite text that only uses SQLite's built-in functions, so that a plain
// SQLite (the embedded provider, or the SQLite ODBC driver) runs it.
//
// Use in two steps:
//  1. ShapeStatement(text) tokenizes the text and takes every literal (string,
//     N'string', number) out; the shape key is the text with the literals
//     replaced by markers. Statements that differ only in their literals share
//     one key, so a provider caches one Translation (and one prepared
//     statement) per key.
//  2. Translate(shape) parses and translates once per key. The Translation
//     says which literal goes to which "?" placeholder with which conversion;
//     BindValue applies SQL Server's conversion rules to a literal at bind
//     time (a datetime text read as SQL Server reads it, '' into an int is 0,
//     'x' into an int fails with SQL Server's message ...), so every call
//     with new values gets SQL Server's results and errors.
// A few literals decide the translation itself (CONVERT's char(n) length and
// style, ORDER BY positions); their values are listed in `fixed_literals`
// and a cached Translation only serves a shape whose literals at those
// indexes are equal (see Translation::Matches).
//
// Stored values: int columns hold integers, character columns text,
// datetime columns the canonical text "yyyy-mm-dd hh:mm:ss.fff" (sortable,
// so comparisons and indexes work on the text). Result columns carry the
// SQL Server type the provider uses to make Variants (ResultValue*).
//
// Identity and current time are parameters the provider supplies
// (ParamSource::kNow, kLastIdentity): GETDATE() and the msgCreatetime
// default are the component clock's time. "SELECT @@IDENTITY" answers the
// last identity value an INSERT generated on the same connection (Null
// before any), across calls; "SELECT SCOPE_IDENTITY()" is scoped to its
// batch, and every call is a batch of one statement, so on its own it is
// Null, as on SQL Server: a caller that runs the INSERT and the lookup as
// two calls uses @@IDENTITY.
//
// Anything outside the subset, or that SQLite would run with another
// meaning, is refused with an AutomationError(kErrDatabase) naming the
// construct; SQL Server's own messages are used for the errors SQL Server
// would raise (invalid column name, conversion failed ...). Free functions
// and plain values; any thread.
#ifndef KORIMBA_DB_TRANSLATOR_H_
#define KORIMBA_DB_TRANSLATOR_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "frame/variant.h"

namespace korimba::sql {

// The SQL Server types the translator reasons with. kDecimal is numeric /
// decimal (literals such as 1.5); kNull is the type of the NULL keyword.
enum class SqlType {
  kUnknown,
  kNull,
  kInt,
  kSmallInt,
  kBit,
  kDecimal,
  kFloat,
  kReal,
  kDateTime,
  kText,
};

// A literal taken out of the statement text.
struct Literal {
  enum class Kind { kString, kNString, kInteger, kDecimal, kFloat };
  Kind kind = Kind::kString;
  // Strings: the value, with doubled apostrophes made single. Numbers: the
  // digits as written (no sign; a leading "-" is an operator).
  std::string text;
};

struct ShapedStatement {
  std::string key;  // the text with each literal replaced by a marker
  std::vector<Literal> literals;
};

// Tokenizes `text` into `out` (reusing its storage). Fails on an
// unterminated string, bracketed name or comment.
void ShapeStatement(std::string_view text, ShapedStatement& out);

// Where the value bound to one placeholder comes from.
enum class ParamSource {
  kLiteral,        // literals[literal_index], converted to `target`
  kNow,            // the component clock's current local time (datetime)
  kLastIdentity,   // @@IDENTITY: last identity generated on this connection
  kScopeIdentity,  // SCOPE_IDENTITY(): Null (one statement per batch)
};

struct ParamSpec {
  ParamSource source = ParamSource::kLiteral;
  int literal_index = -1;
  // The conversion at bind time: kDateTime (SQL Server date text -> canonical
  // text), kInt / kSmallInt / kBit (SQL Server int conversion and range),
  // kFloat / kReal, kText (numbers become their text), kUnknown (the literal
  // as it is: text, integer or double).
  SqlType target = SqlType::kUnknown;
  // A text stored into a column of at most this many characters (0: no
  // limit); longer fails as SQL Server does.
  int max_length = 0;
  // Trailing blanks are removed (SQL Server ignores them when comparing).
  bool rtrim = false;
  // A number literal written after a unary minus: the minus is part of the
  // bound value (so -2147483648 fits an int).
  bool negate = false;
  // A LIKE pattern: refused when it holds a [...] character class, which
  // SQLite's LIKE would read as plain characters.
  bool like_pattern = false;
};

struct ResultColumn {
  std::string name;  // as SQL Server reports it: the alias, the column name as written, or ""
  SqlType type = SqlType::kUnknown;
};

enum class StatementKind { kSelect, kInsert, kUpdate, kDelete };

struct Translation {
  StatementKind kind = StatementKind::kSelect;
  std::string sql;                    // SQLite text, placeholders "?1", "?2", ...
  std::vector<ParamSpec> params;      // params[i] binds to ?(i+1)
  std::vector<ResultColumn> columns;  // empty for INSERT / UPDATE / DELETE
  // Literals whose values are part of the translation (index, text).
  std::vector<std::pair<int, std::string>> fixed_literals;
  // For an INSERT into a table with an identity column: that table. The
  // provider records the generated value for @@IDENTITY.
  std::string identity_table;

  // True when this translation serves `shape` (same key assumed).
  bool Matches(const ShapedStatement& shape) const;
};

struct TranslatorOptions {
  // Allow SQLite functions the provider registers itself (none are needed
  // today; the SQLite ODBC driver path leaves this false).
  bool custom_functions = false;
  // The database has the plan span R*Tree (plan_span.h): a SELECT on
  // DATA_Plan whose WHERE bounds the person and a plan's time from both
  // sides reaches its rows through it.
  bool plan_spans = false;
};

// Parses and translates a shaped statement. Throws AutomationError
// (kErrDatabase) for syntax errors, unknown tables/columns and constructs
// outside the subset.
Translation Translate(const ShapedStatement& shape, const TranslatorOptions& options = {});

// A value ready to bind to a SQLite (or ODBC) parameter.
using BoundValue = std::variant<std::monostate /*NULL*/, int64_t, double, std::string>;

// What a provider knows when it binds.
struct BindState {
  std::optional<int64_t> last_identity;  // for kLastIdentity
};

// The value for one placeholder, converted with SQL Server's rules; throws
// AutomationError(kErrDatabase) with SQL Server's message when the
// conversion fails ("Conversion failed when converting date and/or time
// from character string." ...).
BoundValue BindValue(const ParamSpec& param, const ShapedStatement& shape, const BindState& state);

// Result values: the Variant kind a page expects for a column of `type`
// (int -> I4, smallint -> I2, bit -> Bool, float/decimal -> R8, real -> R4,
// datetime -> Date, text -> Text), from what SQLite returned. kUnknown keeps
// SQLite's own storage class (integer -> I4 when it fits, else R8).
Variant ResultValueFromInt(SqlType type, int64_t value);
Variant ResultValueFromDouble(SqlType type, double value);
Variant ResultValueFromText(SqlType type, std::string_view text);

// The canonical stored form of a datetime ("2024-03-01 09:05:07.000") and
// back; FromCanonical returns nullopt for text in another form.
std::string CanonicalDateText(Date date);
std::optional<Date> DateFromCanonical(std::string_view text);

}  // namespace korimba::sql

#endif  // KORIMBA_DB_TRANSLATOR_H_
