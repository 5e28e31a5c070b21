// The parser of the SQL Server dialect subset: one SELECT, INSERT ...
// VALUES, UPDATE or DELETE statement (an optional ";" at the end; a second
// statement is refused), from the tokens of a shape key. Syntax errors use
// SQL Server's wording ("Incorrect syntax near ..."); constructs outside the
// subset (UNION, outer joins other than LEFT, TOP PERCENT ...) are
// refused with a message that names them. One thread.
#ifndef KORIMBA_DB_SQL_PARSER_H_
#define KORIMBA_DB_SQL_PARSER_H_

#include "db/sql_ast.h"
#include "db/sql_types.h"

namespace korimba::sql {

Statement ParseStatement(const ShapedStatement& shape);

}  // namespace korimba::sql

#endif  // KORIMBA_DB_SQL_PARSER_H_
