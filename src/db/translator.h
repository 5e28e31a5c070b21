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
// batch, and every call is a batch: after an INSERT in the same text it
// answers that insert's value, on its own it is Null, as on SQL Server. A
// caller that runs the INSERT and the lookup as two calls uses @@IDENTITY.
//
// Anything outside the subset, or that SQLite would run with another
// meaning, is refused with an AutomationError(kErrDatabase) naming the
// construct; SQL Server's own messages are used for the errors SQL Server
// would raise (invalid column name, conversion failed ...). Free functions
// over the plain values of sql_types.h; any thread.
#ifndef KORIMBA_DB_TRANSLATOR_H_
#define KORIMBA_DB_TRANSLATOR_H_

#include <optional>
#include <string>
#include <string_view>

#include "db/sql_types.h"
#include "frame/date.h"
#include "frame/variant.h"

namespace korimba::sql {

// Tokenizes `text` into `out` (reusing its storage). Fails on an
// unterminated string, bracketed name or comment.
void ShapeStatement(std::string_view text, ShapedStatement& out);

// Parses and translates a shaped statement. Throws AutomationError
// (kErrDatabase) for syntax errors, unknown tables/columns and constructs
// outside the subset.
Translation Translate(const ShapedStatement& shape, const TranslatorOptions& options = {});

// The value for one placeholder, converted with SQL Server's rules; throws
// AutomationError(kErrDatabase) with SQL Server's message when the
// conversion fails ("Conversion failed when converting date and/or time
// from character string." ...).
BoundValue BindValue(const ParamSpec& param, const ShapedStatement& shape, const BindState& state);

// Result values: the Variant kind a page expects for a column of `type`
// (int -> I4, smallint -> I2, bit -> Bool, float/decimal -> R8, real -> R4,
// datetime -> Date, text -> Text, time -> its text "hh:mm:ss.nnnnnnn" with
// `time_scale` digits, as SQL Server's drivers hand a time to a client that
// predates the type), from what SQLite returned. kUnknown keeps
// SQLite's own storage class (integer -> I4 when it fits, else R8).
Variant ResultValueFromInt(SqlType type, int64_t value);
Variant ResultValueFromDouble(SqlType type, double value);
Variant ResultValueFromText(SqlType type, std::string_view text, int time_scale = 7);

// The canonical stored form of a datetime ("2024-03-01 09:05:07.000") and
// back; FromCanonical returns nullopt for text in another form.
std::string CanonicalDateText(Date date);
std::optional<Date> DateFromCanonical(std::string_view text);

}  // namespace korimba::sql

#endif  // KORIMBA_DB_TRANSLATOR_H_
