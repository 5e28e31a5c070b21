// The typing half of the translator's name resolution: gives every
// expression of the parsed tree its SQL Server type, checks that operators,
// functions, CAST / CONVERT and comparisons are used with types they accept
// (with SQL Server's messages, or a message naming what the embedded
// database does not support), and gives each literal the conversion its
// place asks for (ParamSpec on the node). Column names and subqueries are
// resolved by the NameResolver that owns the typer, which calls back into
// it for every expression. Holds references to the resolver and the shape;
// one statement, one thread.
#ifndef KORIMBA_DB_EXPRESSION_TYPER_H_
#define KORIMBA_DB_EXPRESSION_TYPER_H_

#include <string_view>
#include <vector>

#include "db/resolved_tree.h"
#include "db/schema.h"
#include "db/sql_ast.h"
#include "db/sql_types.h"

namespace korimba::sql {

class NameResolver;

class ExpressionTyper {
 public:
  ExpressionTyper(NameResolver& names, const ShapedStatement& shape)
      : names_(names), shape_(shape) {}
  ExpressionTyper(const ExpressionTyper&) = delete;
  ExpressionTyper& operator=(const ExpressionTyper&) = delete;

  // Resolves and types `e` and everything under it, as used in `clause`.
  void Resolve(Expr& e, Scope& scope, Clause clause);
  // A resolved value stored into `col`: converts as SQL Server converts it.
  void Assign(Expr& value, const ColumnDef& col);
  // The type of highest precedence among resolved `values` (CASE, a set
  // operation's column); literals among them convert to it.
  static SqlType Common(const std::vector<Expr*>& values, std::string_view what);

 private:
  void ResolveCase(Expr& e, Scope& scope, Clause clause);
  void ResolveCast(Expr& e, Scope& scope, Clause clause);
  void ResolveTimeCast(Expr& e);
  void ResolveFromTime(Expr& e);
  void ResolveDateArith(Expr& e);
  void ResolveMath(Expr& e);
  void ResolveFunction(Expr& e, Scope& scope, Clause clause);
  void ResolveTextFunction(Expr& e);
  void ResolveWindow(Expr& e, Scope& scope, Clause clause);

  NameResolver& names_;
  const ShapedStatement& shape_;
  bool in_aggregate_ = false;  // resolving an aggregate's argument
  bool in_window_ = false;     // resolving a window's PARTITION BY / ORDER BY
};

}  // namespace korimba::sql

#endif  // KORIMBA_DB_EXPRESSION_TYPER_H_
