// Name resolution, the translator's first pass over a parsed statement:
// binds every table of a FROM (and of INSERT / UPDATE / DELETE) to the
// schema, gives it the alias the SQLite text will use, resolves every
// column reference with SQL Server's scoping rules (own scope first, then
// the enclosing ones; ambiguous and unknown names fail with SQL Server's
// messages), expands "*", resolves ORDER BY aliases and positions, checks
// GROUP BY / aggregate use and that a subquery used as a value returns at
// most one row. Expression types come from the ExpressionTyper it owns.
// Writes the result columns, the statement kind, the identity table and
// the literals the translation depends on into the Translation, and the
// rest for the writer into the ResolvedStatement. Holds references to the
// shape, the Translation and the ResolvedStatement; one statement, one
// thread.
#ifndef KORIMBA_DB_NAME_RESOLVER_H_
#define KORIMBA_DB_NAME_RESOLVER_H_

#include <string>
#include <vector>

#include "db/expression_typer.h"
#include "db/resolved_tree.h"
#include "db/schema.h"
#include "db/sql_ast.h"
#include "db/sql_types.h"
#include "db/temp_tables.h"

namespace korimba::sql {

class NameResolver {
 public:
  NameResolver(const ShapedStatement& shape, Translation& out, ResolvedStatement& resolved,
               const TempTables* temp_tables = nullptr)
      : shape_(shape),
        out_(out),
        resolved_(resolved),
        temp_tables_(temp_tables),
        typer_(*this, shape) {}
  NameResolver(const NameResolver&) = delete;
  NameResolver& operator=(const NameResolver&) = delete;

  void Run(Statement& st);

  // Used by the typer for the names and subqueries inside expressions.
  void ResolveSelect(SelectStmt& sel, Scope* parent);
  // A query (a SELECT or a set operation); `nested` for a subquery,
  // derived table, common table or an arm of a set operation.
  void ResolveQuery(SelectStmt& q, Scope* parent, bool nested);
  // A query's result columns: how many, and each one's type.
  static size_t Width(const SelectStmt& q);
  static SqlType ColumnType(const SelectStmt& q, size_t i);
  // A time column's digits of a second: the most among a set operation's arms.
  static int ColumnScale(const SelectStmt& q, size_t i);
  // A subquery that yields one column (IN, scalar).
  void ResolveSubquery(SelectStmt& sub, Scope& scope);
  void RequireSingleRow(SelectStmt& sub);
  void ResolveColumn(Expr& e, Scope& scope);
  void Fix(int literal_index) { FixLiteral(shape_, literal_index, out_); }

 private:
  const TableDef& Table(const std::string& name);
  // A table of the schema or a temporary table (not a derived or common one).
  const TableDef* StoredTable(const std::string& name) const;
  void ResolveSimple(SelectStmt& sel, Scope* parent, bool nested);
  void ResolveTop(SelectStmt& sel);
  void FinishSetOperation(SelectStmt& q, Scope* parent);
  static void CollectColumn(SelectStmt& q, size_t i, std::vector<Expr*>& out);
  const TableDef& MakeTable(SelectStmt& q, const std::string& name,
                            const std::vector<std::string>& names);
  const TableDef& DerivedTable(FromItem& f, Scope& scope);
  void ResolveWith(SelectStmt& q, Scope* parent);
  void ExpandStars(SelectStmt& sel, Scope& scope);
  void ResolveOrderItem(SelectStmt& sel, Scope& scope, OrderItem& o, size_t index);
  bool HasOwnColumn(const Expr& e) const;
  bool KeyEquality(const Expr& e, const Scope& scope) const;
  bool Same(Expr& a, Expr& b);
  Expr* Ungrouped(Expr& e, SelectStmt& sel);
  void CheckGrouping(SelectStmt& sel);
  std::string ResultName(const SelectItem& item) const;
  static SqlType ResultType(const SelectItem& item);
  void ResolveInsert(InsertStmt& ins);
  void InsertSelect(InsertStmt& ins, const TableDef& table, const std::vector<int>& columns);
  const TableDef& SourceTarget(SelectStmt& source, const std::string& target);
  std::vector<int> ResolveAssignments(UpdateStmt& up, const TableDef& table, Scope& scope);
  void UpdateThroughSource(UpdateStmt& up);
  void ResolveUpdate(UpdateStmt& up);
  void ResolveDelete(DeleteStmt& del);

  const ShapedStatement& shape_;
  Translation& out_;
  ResolvedStatement& resolved_;
  const TempTables* temp_tables_;
  ExpressionTyper typer_;
};

}  // namespace korimba::sql

#endif  // KORIMBA_DB_NAME_RESOLVER_H_
