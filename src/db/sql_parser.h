// The parser of the SQL Server dialect subset, from the tokens of a shape
// key. Syntax errors use SQL Server's wording ("Incorrect syntax near ...");
// constructs outside the subset (table hints, APPLY, FOR XML ...) are
// refused with a message that names them.
//
// ParseStatement reads one SELECT, INSERT, UPDATE or DELETE statement (an
// optional ";" at the end); a second statement, or a variable other than
// @@IDENTITY, is refused there: texts with either are batches, which the
// batch parser (sql_batch.h) reads through a StatementReader, one
// statement at a time. One thread.
#ifndef KORIMBA_DB_SQL_PARSER_H_
#define KORIMBA_DB_SQL_PARSER_H_

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/sql_ast.h"
#include "db/sql_lexer.h"
#include "db/sql_types.h"

namespace korimba::sql {

Statement ParseStatement(const ShapedStatement& shape);

// Words that cannot name anything unless bracketed (SELECT, ON, BEGIN ...).
bool IsReservedWord(std::string_view word);

// A variable named where a value stands: its place in the key, its name in
// upper case (variables are matched without regard to case) and as written.
struct VariableUse {
  size_t offset = 0;
  size_t length = 0;
  std::string name;
  std::string written;
};

// A select-list item "@v = expression": where the target and the value lie
// in the key. `depth` tells a statement's own select list (kTopSelectDepth)
// from a subquery's.
struct VariableAssignment {
  std::string name;  // upper case
  std::string written;
  size_t target = 0;
  size_t value_begin = 0;
  size_t value_end = 0;
  int depth = 0;
};
inline constexpr int kTopSelectDepth = 2;

// SELECT ... INTO table: the table and where "INTO table" lies in the key.
struct SelectInto {
  std::string table;
  size_t begin = 0;
  size_t end = 0;
  int depth = 0;
};

class Parser;

// Reads a text token by token for the batch parser: the batch's own words
// through the token helpers, its statements, conditions and types through
// the statement parser. Keeps what each statement read of variables until
// taken. Owns its parser; one thread.
class StatementReader {
 public:
  explicit StatementReader(const ShapedStatement& shape);
  ~StatementReader();
  StatementReader(const StatementReader&) = delete;
  StatementReader& operator=(const StatementReader&) = delete;

  const Token& Peek(size_t ahead = 0) const;
  const Token& Next();
  bool IsKeyword(const Token& t, std::string_view word) const;
  bool AcceptKeyword(std::string_view word);
  bool AcceptOp(std::string_view op);
  void ExpectKeyword(std::string_view word);
  void ExpectOp(std::string_view op);
  [[noreturn]] void SyntaxError(const Token& t) const;
  // A SELECT, INSERT, UPDATE or DELETE from here to its end (the tokens
  // after it stay); refuses any other word with a message naming it.
  Statement ParseStatement();
  ExprPtr ParseExpr();
  TypeName ParseTypeName();
  std::string ParseName();
  // The variables and select-list assignments read since the last take.
  std::vector<VariableUse> TakeVariables();
  std::vector<VariableAssignment> TakeAssignments();
  std::optional<SelectInto> TakeInto();
  const ShapedStatement& shape() const;

 private:
  std::unique_ptr<Parser> parser_;
};

}  // namespace korimba::sql

#endif  // KORIMBA_DB_SQL_PARSER_H_
