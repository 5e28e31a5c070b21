// SQLite functions the embedded provider registers on its own connections,
// for what SQLite's built-ins cannot do as SQL Server does. The translator
// writes calls to them only when TranslatorOptions::custom_functions is set
// (the SQLite ODBC driver path has none of them).
//
//   korimba_arith(ops, a, b, c, ...)  a left-to-right chain of + - * / %:
//       `ops` holds two characters per operator, the operator and the SQL
//       Server type of its result ('i' int, 's' smallint, 'f' float, 'r'
//       real, 'd' decimal), so "+i*f" is ((a + b) * c) with an int, then a float
//       result. Each step fails as SQL Server fails: an int outside 32 bits
//       (a smallint outside 16) or a float that overflows ("Arithmetic overflow error converting
//       expression to data type int."), a zero divisor ("Divide by zero
//       error encountered."). A Null operand gives Null.
//
//   korimba_substring(s, start, length), korimba_right(s, n),
//   korimba_upper(s), korimba_lower(s), korimba_charindex(find, s [, start]),
//   korimba_replace(s, find, with), korimba_replicate(s, n): SQL Server's
//       SUBSTRING, RIGHT, UPPER, LOWER, CHARINDEX, REPLACE and REPLICATE,
//       counting characters (not bytes), changing the case of every letter,
//       finding texts as the collation below compares letters, with SQL
//       Server's errors for negative lengths.
//
//   korimba_dateadd(part, n, d), korimba_datediff(part, a, b),
//   korimba_datepart(part, d), korimba_datename(part, d): DATEADD,
//   DATEDIFF (failing past int as SQL Server does), DATEPART and DATENAME on the
//       canonical datetime text, `part` one of the names DateFunctionPart
//       gives (sqlite_date_functions.cc); us_english names, weeks from
//       Sunday (DATEFIRST 7), a millisecond result on the 1/300 s grid.
//
//   korimba_datespan(a, b)  a - b for two datetimes: 1900-01-01 plus the
//       span between them.
//
//   korimba_dateplus(d, n, sign)  a datetime plus (sign 1) or minus (-1)
//       n days, a fraction of a day kept to the 1/300 s tick; outside the
//       datetime range it fails as SQL Server does.
//
//   korimba_like(x, pattern)  SQL Server's LIKE with [a-c] and [^a-c]
//       character classes, letters folded as the collation folds them; a
//       Null pattern passes (the writer binds one when SQLite's LIKE
//       decides alone).
//
//   korimba_decimal(x, p, s, from)  CAST(x AS decimal(p, s)): rounded to
//       s digits, an overflow past p - s whole digits naming `from`.
//
//   korimba_error(message)  fails with `message` (an arm of a CASE the
//       translator writes for a value SQL Server refuses).
//
//   korimba_eomonth(d [, months])  EOMONTH: the last day of the month.
//
//   korimba_math(name, type, x [, y [, z]])  ABS, SIGN, FLOOR, CEILING,
//       ROUND, POWER, SQRT and SQUARE (`name` in lower case), the result
//       of SQL Server type `type` (korimba_arith's letters), an int result
//       checked for its range.
//
//   korimba_datalength(bytes, x)  DATALENGTH: `bytes` for a fixed-size
//       value, 'n' or 'v' for an nvarchar or varchar text.
//
//   korimba_recursion(level, limit)  the recursion level of a row of a
//       recursive common table; fails with SQL Server's message once it
//       passes `limit` (MAXRECURSION; 0 for none).
//
//   korimba_top(n, percent)  TOP's count from an expression (percent 0) or
//       a TOP ... PERCENT (percent 1), failing with SQL Server's messages on
//       a Null, a negative count or a percent outside 0..100.
//
//   COLLATE korimba_ci  SQL Server's text comparison: case-insensitive for
//       every letter (simple case folding), accent- and width-sensitive,
//       trailing blanks ignored. Texts that differ otherwise order by their
//       folded code points.
//
// Registration is per sqlite3 handle; the functions hold no state and any
// thread may run them on the handle's thread.
#ifndef KORIMBA_DB_SQLITE_FUNCTIONS_H_
#define KORIMBA_DB_SQLITE_FUNCTIONS_H_

struct sqlite3;

namespace korimba::sql {

// The most operands one korimba_arith call takes; longer chains nest
// (SQLite limits a call's argument count).
inline constexpr int kMaxArithOperands = 100;

inline constexpr const char* kTextCollation = "korimba_ci";

// Registers the functions on `db`; returns SQLite's result code.
int RegisterSqliteFunctions(sqlite3* db);
// The date functions alone (RegisterSqliteFunctions registers them too).
int RegisterSqliteDateFunctions(sqlite3* db);

}  // namespace korimba::sql

#endif  // KORIMBA_DB_SQLITE_FUNCTIONS_H_
