// The translator's second pass: writes the SQLite text of a statement that
// the NameResolver has resolved and typed. Every table is aliased, every
// column qualified and every operation parenthesized, so SQLite's own
// precedence and name rules never come into play; literals, the current
// time and the identity values become numbered placeholders, each with the
// ParamSpec that says how to bind it; T-SQL functions and CONVERT styles
// become expressions over SQLite's built-in functions on the canonical
// stored text. A DATA_Plan query bounded by person and time goes through
// the plan span R*Tree (plan_span.h) when the options allow it. Fills the
// Translation's text and parameters. Holds references to the shape, the
// options, the ResolvedStatement and the Translation; one statement, one
// thread.
#ifndef KORIMBA_DB_SQLITE_WRITER_H_
#define KORIMBA_DB_SQLITE_WRITER_H_

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "db/resolved_tree.h"
#include "db/sql_ast.h"
#include "db/sql_types.h"

namespace korimba::sql {

class SqliteWriter {
 public:
  SqliteWriter(const ShapedStatement& shape, const TranslatorOptions& options,
               ResolvedStatement& resolved, Translation& out)
      : shape_(shape), options_(options), resolved_(resolved), out_(out) {}
  SqliteWriter(const SqliteWriter&) = delete;
  SqliteWriter& operator=(const SqliteWriter&) = delete;

  void Run(Statement& st);

 private:
  void WriteInsert(InsertStmt& ins);
  void WriteUpdate(UpdateStmt& up);
  void WriteDelete(DeleteStmt& del);
  void EmitSourceKey(SelectStmt& source);
  void EmitSourceRest(SelectStmt& source);
  void EmitTopCount(SelectStmt& sel);
  void EmitTopWindow(SelectStmt& sel);
  void AddParam(const ParamSpec& p);
  bool EmitThroughPlanSpans(SelectStmt& sel, std::string& tie_break);
  void EmitWith(SelectStmt& q);
  void EmitQuery(SelectStmt& q);
  void EmitArm(SelectStmt& arm, bool leftmost);
  void EmitSelect(SelectStmt& sel);
  void EmitOffset(SelectStmt& sel, Scope& scope);
  void EmitFromAndWhere(SelectStmt& sel);
  std::string TopTieBreak(const SelectStmt& sel) const;
  void EmitGroupAndHaving(SelectStmt& sel);
  void EmitSelectTail(SelectStmt& sel, const std::string& tie_break);
  void EmitColumn(const Expr& e, const Scope& scope);
  const char* TextCollation(const Expr& a, const Expr* b) const;
  void EmitCollated(Expr& e, Scope& scope, const char* collation);
  void Emit(Expr& e, Scope& scope);
  void EmitChain(Expr& e, Scope& scope);
  void EmitCheckedArith(const std::vector<Expr*>& spine, Scope& scope);
  std::string EmitToString(Expr& e, Scope& scope);
  // A LIKE pattern literal without character classes as an SQLite string
  // literal in SQLite's escaped form; nullopt for any other pattern.
  std::optional<std::string> InlineLikePattern(const Expr& pattern) const;
  void EmitCast(Expr& e, Scope& scope);
  void EmitFunction(Expr& e, Scope& scope);
  void EmitOver(WindowSpec& w, Scope& scope);
  void EmitDateDiff(const std::string& part, Expr& a, Expr& b, Scope& scope);

  const ShapedStatement& shape_;
  const TranslatorOptions& options_;
  ResolvedStatement& resolved_;
  Translation& out_;
  std::string sql_;
  int next_alias_ = 0;
  bool collate_items_ = false;            // the next SELECT's text items name their collation
  std::map<int, size_t> literal_params_;  // literal index -> its placeholder number
};

}  // namespace korimba::sql

#endif  // KORIMBA_DB_SQLITE_WRITER_H_
