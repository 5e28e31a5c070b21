// A batch: the statements of one command text, as SQL Server runs them in
// turn. ParseBatch reads the whole text before anything runs (a syntax
// error anywhere, or a variable used before its DECLARE, runs nothing) into
// a tree of steps: SELECT / INSERT / UPDATE / DELETE, DECLARE and SET of
// variables, SELECT @v = ..., IF / ELSE, WHILE with BREAK / CONTINUE,
// BEGIN ... END, the transaction statements, RETURN, PRINT, SET NOCOUNT,
// and CREATE TABLE / DROP TABLE / SELECT ... INTO of temporary tables (#t).
// Statements follow each other with or without ";".
//
// A step that reaches the database carries a BatchText: a stretch of the
// batch's shape key with edits. ShapeBatchText writes it out as the shape of
// one ordinary statement with each variable's current value spliced in as a
// literal of the variable's type (sql_variables.h), so that the statement
// goes through the translator and its cache like any other and the
// translator never sees a variable. An assignment's value is read by a
// SELECT of the value converted to the variable's type; a condition by
// "SELECT 1 WHERE <condition>", which yields a row exactly when the
// condition is true.
//
// Plain values; the provider (sqlite_batch.h) runs them. One thread.
#ifndef KORIMBA_DB_SQL_BATCH_H_
#define KORIMBA_DB_SQL_BATCH_H_

#include <string>
#include <vector>

#include "db/schema.h"
#include "db/sql_ast.h"
#include "db/sql_types.h"

namespace korimba::sql {

// One change to the key text of a statement, at `offset` of the batch key.
struct TextEdit {
  enum class Kind {
    kValue,       // the `length` characters at `offset` become `variable`'s value
    kCut,         // the `length` characters at `offset` go
    kInsert,      // `text` goes in at `offset`
    kInsertType,  // " AS <variable's type>)" goes in at `offset`
  };
  Kind kind = Kind::kValue;
  size_t offset = 0;
  size_t length = 0;
  int variable = -1;
  std::string text;
};

struct BatchText {
  enum class Form {
    kAsWritten,  // the stretch is the statement
    kSelect,     // "SELECT " goes before it
    kCondition,  // "SELECT 1 WHERE " goes before it
  };
  Form form = Form::kAsWritten;
  size_t begin = 0;  // the stretch of the batch key
  size_t end = 0;
  int first_literal = 0;        // the batch literal the stretch's first marker stands for
  std::vector<TextEdit> edits;  // in order of offset
};

// @@ROWCOUNT, @@TRANCOUNT and @@ERROR are variables of the batch whose
// values the provider keeps; they are never assigned.
enum class SystemVariable { kNone, kRowCount, kTranCount, kError };

struct BatchVariable {
  std::string name;  // upper case, with its "@"
  TypeName type;
  SystemVariable system = SystemVariable::kNone;
};

struct BatchStep {
  enum class Kind {
    kStatement,  // text: a SELECT, INSERT, UPDATE or DELETE
    kAssign,     // text: a SELECT whose columns go to `targets`
    kIf,         // text: the condition; body, else_body
    kWhile,      // text: the condition; body
    kBlock,      // BEGIN ... END: body
    kBreak,
    kContinue,
    kReturn,
    kBeginTran,
    kCommit,
    kRollback,     // `name`: a savepoint's, or empty for the whole transaction
    kSave,         // SAVE TRANSACTION `name`
    kPrint,        // text: the value printed (evaluated, the message itself unused)
    kOption,       // SET NOCOUNT: changes nothing the caller sees
    kCreateTable,  // CREATE TABLE #t: `table`
    kDropTable,    // DROP TABLE [IF EXISTS] #t, ...: `names`
    kSelectInto,   // SELECT ... INTO #t: text is the SELECT without its INTO; `name`
  };
  Kind kind = Kind::kStatement;
  BatchText text;
  std::vector<int> targets;
  // SET and DECLARE make one assignment (@@ROWCOUNT 1); SELECT @v = ...
  // one per row read.
  bool single_assignment = false;
  std::vector<BatchStep> body;
  std::vector<BatchStep> else_body;
  std::string name;
  std::vector<std::string> names;
  bool if_exists = false;
  TableDef table;
};

struct Batch {
  std::vector<BatchVariable> variables;
  std::vector<BatchStep> steps;

  // One SELECT, INSERT, UPDATE or DELETE without variables: the text is
  // run as it is.
  bool IsSingleStatement() const;
};

// Throws AutomationError(kErrDatabase) with SQL Server's messages for
// syntax errors and variables used undeclared or declared twice, and a
// message naming each construct the embedded database does not run.
Batch ParseBatch(const ShapedStatement& shape);

// The shape of `text`, with `values[i]` the value of `variables[i]` (in the
// stored form; Null before any assignment).
void ShapeBatchText(const ShapedStatement& batch, const BatchText& text,
                    const std::vector<BatchVariable>& variables,
                    const std::vector<BoundValue>& values, ShapedStatement& out);

}  // namespace korimba::sql

#endif  // KORIMBA_DB_SQL_BATCH_H_
