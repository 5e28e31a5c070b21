// The plain value types the translator's parts share: the SQL Server types
// it reasons with, the literals of a shaped statement, and what a
// Translation tells a provider (the SQLite text, how to bind each
// placeholder, the result columns). The lexer, the syntax tree and the
// passes include this; providers include translator.h, which declares the
// entry points over these types. Plain values; any thread.
#ifndef KORIMBA_DB_SQL_TYPES_H_
#define KORIMBA_DB_SQL_TYPES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

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
  kDate,  // a datetime at midnight, stored as one; no time parts
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
  // text), kDate (the same, cut to midnight), kInt / kSmallInt / kBit (SQL Server int conversion
  // and range), kFloat / kReal, kText (numbers become their text), kUnknown (the literal as it is:
  // text, integer or double).
  SqlType target = SqlType::kUnknown;
  // A text stored into a column of at most this many characters (0: no
  // limit); longer fails as SQL Server does.
  int max_length = 0;
  // Trailing blanks are removed (SQL Server ignores them when comparing).
  bool rtrim = false;
  // A number literal written after a unary minus: the minus is part of the
  // bound value (so -2147483648 fits an int).
  bool negate = false;
  // A LIKE pattern: bound in SQLite's escaped form; refused when it holds a
  // [...] character class other than one literal wildcard ([%], [_], [[]),
  // which SQLite's LIKE would read as plain characters.
  bool like_pattern = false;
  // With like_pattern: a character class is bound as "_" (any one
  // character) instead of refused, and korimba_like checks the row after.
  bool like_coarse = false;
  // The second binding of a LIKE pattern, for korimba_like: Null when the
  // pattern has no character class (SQLite's LIKE decided alone), else the
  // pattern as written.
  bool like_check = false;
  // CONVERT(datetime, text, style): the style's order of month, day and
  // year for a text written in it (0: the usual year-first reading).
  int date_style = 0;
  // A datetime text given to DATEPART, DATEDIFF, DATENAME, DAY, MONTH or
  // YEAR: read as a datetime2 (seven digits of a second, no 1/300 s tick).
  bool datetime2 = false;
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

// A value ready to bind to a SQLite (or ODBC) parameter.
using BoundValue = std::variant<std::monostate /*NULL*/, int64_t, double, std::string>;

// What a provider knows when it binds.
struct BindState {
  std::optional<int64_t> last_identity;  // for kLastIdentity
};

}  // namespace korimba::sql

#endif  // KORIMBA_DB_SQL_TYPES_H_
