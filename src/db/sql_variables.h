// How a batch's variable stands in one of its statements: its value written
// into the statement's shape as a literal of the variable's declared type,
// so the translator types and converts it as SQL Server types the variable.
// An int is a bare whole number (so TOP, OFFSET and DATEADD take it as they
// take a number); a text is a bare string literal (N'...' for the n types);
// every other type, and Null, is CAST(<literal> AS <type>). Values are in
// the form the embedded database stores (sql_types.h BoundValue): a
// datetime as its canonical text, a decimal as a double. Free functions;
// any thread.
#ifndef KORIMBA_DB_SQL_VARIABLES_H_
#define KORIMBA_DB_SQL_VARIABLES_H_

#include "db/sql_ast.h"
#include "db/sql_types.h"

namespace korimba::sql {

// Appends `value` as an expression of `type` to the key and literals of `out`.
void AppendVariableValue(const TypeName& type, const BoundValue& value, ShapedStatement& out);

// Appends " AS <type>)", the end of a CAST to `type`.
void AppendCastEnd(const TypeName& type, ShapedStatement& out);

}  // namespace korimba::sql

#endif  // KORIMBA_DB_SQL_VARIABLES_H_
