// What the translator's passes share about one parsed statement. The name
// resolver (name_resolver.h) binds every FROM table to a Scope, with the
// alias the SQLite text gives it, and annotates the tree's nodes (column
// bindings, types, literal conversions); the SQLite writer (sqlite_writer.h)
// then reads the same tree and scopes. ResolvedStatement carries the rest
// of what the resolver decided for the writer. The small rules both passes
// ask of the annotated tree (type families, a literal under a minus, date
// styles, quoting) live here so that each is written once. The tree owns
// the SELECT scopes; ResolvedStatement owns the UPDATE / DELETE / VALUES
// scope, so it must outlive both passes and stay in place (subquery scopes
// point at it). One thread.
#ifndef KORIMBA_DB_RESOLVED_TREE_H_
#define KORIMBA_DB_RESOLVED_TREE_H_

#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/schema.h"
#include "db/sql_ast.h"
#include "db/sql_types.h"

namespace korimba::sql {

struct TableBinding {
  const TableDef* table = nullptr;
  std::string exposed;    // the alias, or the table name as written
  std::string emit_name;  // how the SQLite text names it
};

struct Scope {
  std::vector<TableBinding> tables;
  Scope* parent = nullptr;
  SelectStmt* select = nullptr;  // null for UPDATE / DELETE / VALUES
  bool has_aggregate = false;
};

// Where an expression stands; some constructs are refused in some clauses.
enum class Clause { kSelectList, kWhere, kOn, kGroupBy, kHaving, kOrderBy, kTop, kValue };

struct ResolvedStatement {
  ResolvedStatement() = default;
  ResolvedStatement(const ResolvedStatement&) = delete;
  ResolvedStatement& operator=(const ResolvedStatement&) = delete;

  // ORDER BY items that name a select-list alias: the item's position.
  std::map<const OrderItem*, int> order_positions;
  // The number the next SQLite table alias takes ("t0", "t1" ..., "s<n>").
  int next_alias = 0;
  // INSERT / UPDATE / DELETE: the table written to.
  const TableDef* table = nullptr;
  // INSERT / UPDATE: the column of each value (table column indexes).
  std::vector<int> columns;
  // INSERT: the columns not given that default to the current time.
  std::vector<int> defaults;
  // The scope of UPDATE / DELETE (their table) and of VALUES (none).
  Scope dml_scope;
  // The tables that derived tables and common tables make (stable addresses:
  // bindings point at them).
  std::deque<TableDef> made_tables;
  // The common tables of the statement's WITH, in order; a FROM sees the
  // first `visible_ctes` of them.
  struct CommonTableBinding {
    std::string name;
    const TableDef* table = nullptr;
    bool recursive = false;
  };
  std::vector<CommonTableBinding> ctes;
  size_t visible_ctes = 0;
  // What a TOP (expression) sees: no columns.
  Scope top_scope;
  // UPDATE / DELETE through a source SELECT: the binding of the table
  // written among the source's tables, and the column that finds its rows.
  int target_binding = -1;
  int key_column = -1;
  // OPTION (MAXRECURSION n) of the statement; null for the default 100.
  Expr* max_recursion = nullptr;
};

// The first SELECT of a query (a set operation's names come from it).
SelectStmt& FirstLeaf(SelectStmt& q);
const SelectStmt& FirstLeaf(const SelectStmt& q);

// The function names the typer gives a datetime plus / minus a number of
// days; no statement can spell them.
inline constexpr const char* kDatePlus = "DATETIME+";
inline constexpr const char* kDateMinus = "DATETIME-";
inline constexpr const char* kDateSpan = "DATETIME-DATETIME";

// The column a recursive common table carries its recursion level in.
inline constexpr const char* kLevelColumn = "korimba_level";

bool IsNumeric(SqlType t);
// NULL and untyped expressions: they go with any type.
bool IsLoose(SqlType t);
// datetime and date, which compare with each other.
bool IsDateType(SqlType t);
// SQL Server's name of a type, for messages.
const char* TypeWord(SqlType t);
bool IsAggregateName(std::string_view name);
// ABS, SIGN, FLOOR, CEILING, ROUND, POWER, SQRT, SQUARE.
bool IsMathName(std::string_view name);
// The functions that take OVER only: ROW_NUMBER, RANK, DENSE_RANK, NTILE,
// LAG and LEAD.
bool IsRankingName(std::string_view name);
// Conditions (comparisons, AND/OR/NOT, BETWEEN, IN, EXISTS, LIKE, IS NULL).
bool IsPredicate(const Expr& e);
// Fails with SQL Server's message when `e` is not a condition.
void RequirePredicate(const Expr& e);

// A literal, possibly under a unary minus; null otherwise.
Expr* LiteralOf(Expr& e);
bool IsStringMarker(const Expr& e);
// The type SQL Server gives a literal as written.
SqlType LiteralType(const Expr& e, const ShapedStatement& shape);

// `name` as a SQLite quoted identifier.
std::string Quote(std::string_view name);

// Where a CONVERT style's text lies in the canonical datetime text.
struct StyleForm {
  int start;  // substr start in the canonical text, 0 for composite forms
  int length;
  // Composite forms made of the date's pieces: "MM/DD/YYYY" (YYYY, YY, MM
  // and DD stand for the pieces, anything else for itself); null for the
  // forms written by the writer itself (102, 111, 112, 126).
  const char* pattern = nullptr;
};
// Null for styles the embedded database does not support.
std::optional<StyleForm> DateStyle(int style);

// The CONVERT styles that write a time as a text: false for the others
// (those that write a date or a 12-hour clock). `fraction` tells whether
// the style shows the time's digits of a second ("hh:mm:ss.nnnnnnn", the
// style of CAST: 21, 25, 121, 126) or not ("hh:mm:ss": 8, 24, 108, 20, 120).
bool TimeStyle(int style, bool* fraction = nullptr);

// The units a DATEDIFF can count without the provider's own functions:
// "day", "month", "year", "hour", "minute", "second"; "" for any other.
std::string DatePart(std::string_view name);

// The part named in DATEADD / DATEDIFF / DATEPART / DATENAME: DatePart's
// units and "quarter", "dayofyear", "week", "weekday", "millisecond",
// "microsecond", "nanosecond", "iso_week", "tzoffset"; "" for none. Which
// function takes which part is the typer's concern.
std::string DateFunctionPart(std::string_view name);

// The table a resolved column reference names, from the scope it is used in.
const TableBinding& BindingOf(const Expr& e, const Scope& scope);

// Records that the translation depends on the value of a literal.
void FixLiteral(const ShapedStatement& shape, int literal_index, Translation& out);

}  // namespace korimba::sql

#endif  // KORIMBA_DB_RESOLVED_TREE_H_
