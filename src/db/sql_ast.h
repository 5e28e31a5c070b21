// The syntax tree of one statement of the SQL Server dialect subset, as the
// parser builds it and the translator annotates it (resolved columns, types,
// conversions of literals). Each node owns its children. One thread.
#ifndef KORIMBA_DB_SQL_AST_H_
#define KORIMBA_DB_SQL_AST_H_

#include <memory>
#include <string>
#include <vector>

#include "db/sql_types.h"

namespace korimba::sql {

struct SelectStmt;
struct TableDef;

// A type named in CAST / CONVERT: int, char(16), nvarchar(50), datetime ...
struct TypeName {
  SqlType type = SqlType::kUnknown;
  std::string name;  // lower case, as written
  int length = -1;   // char(n): n; -1 when not given; 0 for max; time(n): n (7 when not given)
  int length_literal = -1;
  bool fixed = false;  // char / nchar: padded with blanks to the length
  // decimal(p, s) / numeric(p, s): the precision is `length` (18 when not
  // given), the scale here (0 when not given).
  int scale = 0;
  int scale_literal = -1;
};

struct Expr;
using ExprPtr = std::unique_ptr<Expr>;
struct WindowSpec;

struct Expr {
  enum class Kind {
    kLiteral,   // literal_index
    kNull,      // NULL
    kColumn,    // names: [qualifier.]column
    kVariable,  // @@IDENTITY (name)
    kNegate,    // -args[0]
    kArith,     // args[0] op args[1], op in + - * / %
    kCompare,   // args[0] op args[1], op in = <> < <= > >=
    kAnd,
    kOr,
    kNot,
    kBetween,   // args[0] [NOT] BETWEEN args[1] AND args[2]
    kInList,    // args[0] [NOT] IN (args[1..])
    kInSelect,  // args[0] [NOT] IN (select)
    kExists,    // [NOT] EXISTS (select)
    kLike,      // args[0] [NOT] LIKE args[1]
    kIsNull,    // args[0] IS [NOT] NULL
    kFunction,  // name(args), COUNT(*) has star
    kCast,      // CAST(args[0] AS type) / CONVERT(type, args[0][, style])
    kSubquery,  // (select) as a value
    // op "CASE": args = when, then, when, then ... [, else];
    // op "CASE x": args = input, when, then ... [, else].
    kCase,
  };
  Kind kind;
  size_t offset = 0;
  std::string op;                  // operator, or upper-case function name
  std::vector<std::string> names;  // column reference parts as written
  std::vector<ExprPtr> args;
  std::unique_ptr<SelectStmt> select;
  std::unique_ptr<WindowSpec> over;  // name(args) OVER (...)
  int literal_index = -1;
  char marker = 0;
  bool negated = false;   // NOT BETWEEN / NOT IN / NOT LIKE / IS NOT NULL / NOT EXISTS
  bool star = false;      // COUNT(*)
  bool distinct = false;  // COUNT(DISTINCT x)
  TypeName cast_type;
  int style_literal = -1;  // CONVERT's style
  int height = 1;          // levels of the tree from here down (the parser bounds it)

  // Filled by the translator.
  SqlType type = SqlType::kUnknown;
  int time_scale = 7;   // kTime: the digits of a second the value keeps
  int binding = -1;     // kColumn: index of the table binding
  int column = -1;      // kColumn: column index in that table
  int scope_depth = 0;  // kColumn: 0 = own scope, 1 = outer ...
  // kLiteral: how the literal is bound.
  ParamSpec param;

  explicit Expr(Kind k) : kind(k) {}
};

struct SelectItem {
  ExprPtr expr;  // null for * and t.*
  bool star = false;
  std::string star_qualifier;  // t.* : t
  std::string alias;           // as written; empty when none
  bool has_alias = false;
  int alias_literal = -1;  // AS 'name': the literal holding the name
};

struct FromItem {
  std::string table;                        // as written (without dbo.); empty for a derived table
  std::unique_ptr<SelectStmt> derived;      // FROM (select ...) AS alias
  std::vector<std::string> column_aliases;  // AS alias (a, b, ...)
  std::string alias;
  enum class Join { kFirst, kComma, kInner, kLeft, kRight, kFull, kCross } join = Join::kFirst;
  ExprPtr on;
};

struct OrderItem {
  ExprPtr expr;
  bool desc = false;
  int position_literal = -1;  // ORDER BY 2: the literal holding the position
};

// OVER (PARTITION BY ... ORDER BY ... [ROWS | RANGE frame]).
struct WindowSpec {
  struct Bound {
    enum class Kind {
      kUnboundedPreceding,
      kPreceding,
      kCurrentRow,
      kFollowing,
      kUnboundedFollowing
    };
    Kind kind = Kind::kCurrentRow;
    int literal_index = -1;  // n PRECEDING / n FOLLOWING
  };
  std::vector<ExprPtr> partition_by;
  std::vector<OrderItem> order_by;
  bool has_frame = false;
  bool rows = false;  // ROWS, else RANGE
  Bound start, end;   // a frame of one bound ends at the current row
};

struct Scope;

// WITH name [(columns)] AS (query): a table the statement's FROM may name.
struct CommonTable {
  std::string name;
  std::vector<std::string> columns;
  std::unique_ptr<SelectStmt> query;
};

// A query: one SELECT, or a set operation over two queries (set_op set,
// left and right filled, items empty; ORDER BY / OFFSET / FETCH then apply
// to the whole). INTERSECT binds tighter than UNION and EXCEPT, which the
// parser's grouping of the tree already says.
enum class SetOp { kNone, kUnion, kUnionAll, kExcept, kIntersect };

struct SelectStmt {
  SetOp set_op = SetOp::kNone;
  std::unique_ptr<SelectStmt> left, right;
  std::vector<SqlType> set_types;  // a set operation's column types (translator)
  std::vector<CommonTable> with;   // WITH ... before the statement's query
  size_t offset = 0;
  bool distinct = false;
  ExprPtr top;               // TOP n, TOP (expression)
  bool top_percent = false;  // TOP n PERCENT
  bool top_ties = false;     // TOP n ... WITH TIES
  std::vector<SelectItem> items;
  std::vector<FromItem> from;
  ExprPtr where;
  std::vector<ExprPtr> group_by;
  ExprPtr having;
  std::vector<OrderItem> order_by;
  ExprPtr offset_rows;    // OFFSET n ROWS (a whole-number literal)
  ExprPtr fetch_rows;     // FETCH NEXT n ROWS ONLY (a whole-number literal)
  ExprPtr max_recursion;  // OPTION (MAXRECURSION n): the literal n
  int height = 1;         // as Expr::height, over every expression it holds

  // Filled by the translator.
  std::shared_ptr<Scope> scope;
  // The result columns' names the SQLite text gives (a derived table's
  // first SELECT); empty when the text needs none.
  std::vector<std::string> emit_names;
  // An arm of a recursive common table: -1 an anchor, else the binding of
  // the arm's reference to its own table; -2 for any other SELECT.
  int recursive_ref = -2;
};

struct InsertStmt {
  std::string table;
  std::vector<std::string> columns;  // empty: every non-identity column in order
  std::vector<std::vector<ExprPtr>> rows;
  std::unique_ptr<SelectStmt> select;  // INSERT ... SELECT instead of VALUES
};

struct Assignment {
  std::string column;
  ExprPtr value;
};

// UPDATE and DELETE with TOP (n) or a FROM of their own choose their rows
// through `source`: a SELECT over that FROM (or the table alone) with the
// WHERE and TOP, the table written being one of its tables by name or
// alias. Without either, `where` applies to the table directly.
struct UpdateStmt {
  std::string table;  // as written: a table, or an alias of the FROM
  std::vector<Assignment> sets;
  ExprPtr where;
  std::unique_ptr<SelectStmt> source;
};

struct DeleteStmt {
  std::string table;
  ExprPtr where;
  std::unique_ptr<SelectStmt> source;
};

struct Statement {
  StatementKind kind = StatementKind::kSelect;
  std::unique_ptr<SelectStmt> select;
  std::unique_ptr<InsertStmt> insert;
  std::unique_ptr<UpdateStmt> update;
  std::unique_ptr<DeleteStmt> del;
};

}  // namespace korimba::sql

#endif  // KORIMBA_DB_SQL_AST_H_
