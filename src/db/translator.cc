// Translation of a parsed statement: names are resolved against the schema
// (SQL Server's scoping and messages), every expression gets its SQL Server
// type, literals get the conversion their place asks for, and the SQLite
// text is written with every table aliased, every column qualified and
// every operation parenthesized, so SQLite's own precedence and name rules
// never come into play.
#include "db/translator.h"

#include <algorithm>
#include <map>
#include <optional>

#include "db/plan_span.h"
#include "db/schema.h"
#include "db/sql_ast.h"
#include "db/sql_lexer.h"
#include "db/sql_parser.h"
#include "frame/error.h"

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

namespace {

enum class Clause { kSelectList, kWhere, kOn, kGroupBy, kHaving, kOrderBy, kTop, kValue };

bool IsNumeric(SqlType t) {
  return t == SqlType::kInt || t == SqlType::kSmallInt || t == SqlType::kBit ||
         t == SqlType::kDecimal || t == SqlType::kFloat || t == SqlType::kReal;
}
bool IsLoose(SqlType t) { return t == SqlType::kNull || t == SqlType::kUnknown; }

const char* TypeWord(SqlType t) {
  switch (t) {
    case SqlType::kInt:
      return "int";
    case SqlType::kSmallInt:
      return "smallint";
    case SqlType::kBit:
      return "bit";
    case SqlType::kDecimal:
      return "numeric";
    case SqlType::kFloat:
      return "float";
    case SqlType::kReal:
      return "real";
    case SqlType::kDateTime:
      return "datetime";
    case SqlType::kText:
      return "nvarchar";
    default:
      return "unknown";
  }
}

bool IsAggregateName(std::string_view name) {
  return name == "COUNT" || name == "MAX" || name == "MIN" || name == "SUM";
}

bool IsPredicate(const Expr& e) {
  switch (e.kind) {
    case Expr::Kind::kCompare:
    case Expr::Kind::kAnd:
    case Expr::Kind::kOr:
    case Expr::Kind::kNot:
    case Expr::Kind::kBetween:
    case Expr::Kind::kInList:
    case Expr::Kind::kInSelect:
    case Expr::Kind::kExists:
    case Expr::Kind::kLike:
    case Expr::Kind::kIsNull:
      return true;
    default:
      return false;
  }
}

// A literal, possibly under a unary minus.
Expr* LiteralOf(Expr& e) {
  if (e.kind == Expr::Kind::kLiteral) return &e;
  if (e.kind == Expr::Kind::kNegate && e.args[0]->kind == Expr::Kind::kLiteral) {
    return e.args[0].get();
  }
  return nullptr;
}

bool IsStringMarker(const Expr& e) { return e.marker == kStringMarker; }

SqlType LiteralType(const Expr& e, const ShapedStatement& shape) {
  switch (e.marker) {
    case kStringMarker:
      return SqlType::kText;
    case kIntegerMarker:
      return shape.literals[e.literal_index].text.size() <= 10 &&
                     std::stoll(shape.literals[e.literal_index].text) <= 2147483647LL
                 ? SqlType::kInt
                 : SqlType::kDecimal;
    case kDecimalMarker:
      return SqlType::kDecimal;
    default:
      return SqlType::kFloat;
  }
}

std::string Quote(std::string_view name) {
  std::string out = "\"";
  for (char c : name) {
    out.push_back(c);
    if (c == '"') out.push_back('"');
  }
  out.push_back('"');
  return out;
}

class Translator {
 public:
  Translator(const ShapedStatement& shape, const TranslatorOptions& options, Translation& out)
      : shape_(shape), options_(options), out_(out) {}

  void Run(Statement& st) {
    out_.kind = st.kind;
    switch (st.kind) {
      case StatementKind::kSelect: {
        ResolveSelect(*st.select, nullptr);
        for (const SelectItem& item : st.select->items) {
          out_.columns.push_back({ResultName(item), ResultType(item)});
        }
        EmitSelect(*st.select);
        break;
      }
      case StatementKind::kInsert:
        TranslateInsert(*st.insert);
        break;
      case StatementKind::kUpdate:
        TranslateUpdate(*st.update);
        break;
      case StatementKind::kDelete:
        TranslateDelete(*st.del);
        break;
    }
    out_.sql = std::move(sql_);
  }

 private:
  // ---------------- resolution ----------------

  const TableDef& Table(const std::string& name) {
    const TableDef* t = FindTable(name);
    if (!t) ThrowDatabase("Invalid object name '" + name + "'.");
    return *t;
  }

  void Fix(int literal_index) {
    for (const auto& f : out_.fixed_literals) {
      if (f.first == literal_index) return;
    }
    out_.fixed_literals.emplace_back(literal_index, shape_.literals[literal_index].text);
  }

  void ResolveSelect(SelectStmt& sel, Scope* parent) {
    sel.scope = std::make_shared<Scope>();
    Scope& scope = *sel.scope;
    scope.parent = parent;
    scope.select = &sel;
    for (FromItem& f : sel.from) {
      TableBinding b;
      b.table = &Table(f.table);
      b.exposed = f.alias.empty() ? f.table : f.alias;
      b.emit_name = "t" + std::to_string(next_alias_++);
      for (const TableBinding& other : scope.tables) {
        if (EqualsNoCase(other.exposed, b.exposed)) {
          ThrowDatabase("The objects \"" + other.exposed + "\" and \"" + b.exposed +
                        "\" in the FROM clause have the same exposed names. Use correlation "
                        "names to distinguish them.");
        }
      }
      scope.tables.push_back(std::move(b));
      if (f.on) {
        Resolve(*f.on, scope, Clause::kOn);
        RequirePredicate(*f.on);
      }
    }
    ExpandStars(sel, scope);
    for (SelectItem& item : sel.items) {
      if (item.expr->kind == Expr::Kind::kColumn && item.expr->binding >= 0) continue;  // from *
      Resolve(*item.expr, scope, Clause::kSelectList);
      if (IsPredicate(*item.expr)) {
        ThrowDatabase("Incorrect syntax near '" + item.expr->op + "'.");
      }
      if (item.alias_literal >= 0) Fix(item.alias_literal);
    }
    if (sel.top) {
      sel.top->param.target = SqlType::kInt;
      sel.top->type = SqlType::kInt;
    }
    if (sel.where) {
      Resolve(*sel.where, scope, Clause::kWhere);
      RequirePredicate(*sel.where);
    }
    for (ExprPtr& g : sel.group_by) {
      Resolve(*g, scope, Clause::kGroupBy);
      if (!HasOwnColumn(*g)) {
        ThrowDatabase(
            "Each GROUP BY expression must contain at least one column that is not an outer "
            "reference.");
      }
    }
    if (sel.having) {
      Resolve(*sel.having, scope, Clause::kHaving);
      RequirePredicate(*sel.having);
    }
    if (parent && !sel.order_by.empty() && !sel.top) {
      ThrowDatabase(
          "The ORDER BY clause is invalid in views, inline functions, derived tables, "
          "subqueries, and common table expressions, unless TOP, OFFSET or FOR XML is "
          "also specified.");
    }
    for (size_t i = 0; i < sel.order_by.size(); ++i)
      ResolveOrderItem(sel, scope, sel.order_by[i], i);
    if (!sel.group_by.empty() || scope.has_aggregate) CheckGrouping(sel);
    if (sel.distinct) {
      for (OrderItem& o : sel.order_by) {
        if (o.position_literal >= 0 || !o.expr) continue;
        bool found = false;
        for (SelectItem& item : sel.items) found = found || Same(*item.expr, *o.expr);
        if (!found) {
          ThrowDatabase(
              "ORDER BY items must appear in the select list if SELECT DISTINCT is specified.");
        }
      }
    }
  }

  void ExpandStars(SelectStmt& sel, Scope& scope) {
    std::vector<SelectItem> items;
    for (SelectItem& item : sel.items) {
      if (!item.star) {
        items.push_back(std::move(item));
        continue;
      }
      if (scope.tables.empty()) ThrowDatabase("SELECT * with no tables specified is not valid.");
      bool matched = false;
      for (size_t b = 0; b < scope.tables.size(); ++b) {
        const TableBinding& tb = scope.tables[b];
        if (!item.star_qualifier.empty() && !EqualsNoCase(tb.exposed, item.star_qualifier))
          continue;
        matched = true;
        for (size_t c = 0; c < tb.table->columns.size(); ++c) {
          SelectItem col;
          col.expr = std::make_unique<Expr>(Expr::Kind::kColumn);
          col.expr->names = {tb.table->columns[c].name};
          col.expr->binding = static_cast<int>(b);
          col.expr->column = static_cast<int>(c);
          col.expr->type = tb.table->columns[c].type;
          items.push_back(std::move(col));
        }
      }
      if (!matched) {
        ThrowDatabase("The object name '" + item.star_qualifier + "' is not valid here (" +
                      item.star_qualifier + ".*).");
      }
    }
    sel.items = std::move(items);
  }

  void ResolveOrderItem(SelectStmt& sel, Scope& scope, OrderItem& o, size_t index) {
    if (o.position_literal >= 0) {
      Fix(o.position_literal);
      long long pos = std::stoll(shape_.literals[o.position_literal].text);
      if (pos < 1 || pos > static_cast<long long>(sel.items.size())) {
        ThrowDatabase("The ORDER BY position number " + shape_.literals[o.position_literal].text +
                      " is out of range of the number of items in the select list.");
      }
      return;
    }
    Expr& e = *o.expr;
    if (e.kind == Expr::Kind::kLiteral || e.kind == Expr::Kind::kNull) {
      ThrowDatabase("A constant expression was encountered in the ORDER BY list, position " +
                    std::to_string(index + 1) + ".");
    }
    // A single name that is an alias of the select list orders by that item.
    if (e.kind == Expr::Kind::kColumn && e.names.size() == 1) {
      for (size_t i = 0; i < sel.items.size(); ++i) {
        if (sel.items[i].has_alias && sel.items[i].alias_literal < 0 &&
            EqualsNoCase(sel.items[i].alias, e.names[0])) {
          order_positions_[&o] = static_cast<int>(i + 1);
          return;
        }
      }
    }
    Resolve(e, scope, Clause::kOrderBy);
  }

  void RequirePredicate(const Expr& e) {
    if (!IsPredicate(e)) {
      ThrowDatabase(
          "An expression of non-boolean type specified in a context where a condition "
          "is expected.");
    }
  }

  bool HasOwnColumn(const Expr& e) const {
    if (e.kind == Expr::Kind::kColumn) return e.scope_depth == 0;
    for (const ExprPtr& a : e.args) {
      if (a && HasOwnColumn(*a)) return true;
    }
    return false;
  }

  void ResolveColumn(Expr& e, Scope& scope) {
    const bool qualified = e.names.size() == 2;
    const std::string& column = e.names.back();
    int depth = 0;
    for (Scope* s = &scope; s; s = s->parent, ++depth) {
      int found_binding = -1;
      int found_column = -1;
      bool qualifier_seen = false;
      for (size_t b = 0; b < s->tables.size(); ++b) {
        const TableBinding& tb = s->tables[b];
        if (qualified && !EqualsNoCase(tb.exposed, e.names[0])) continue;
        qualifier_seen = true;
        int c = tb.table->IndexOf(column);
        if (c < 0) continue;
        if (found_binding >= 0) ThrowDatabase("Ambiguous column name '" + column + "'.");
        found_binding = static_cast<int>(b);
        found_column = c;
      }
      if (found_binding >= 0) {
        e.binding = found_binding;
        e.column = found_column;
        e.scope_depth = depth;
        e.type = s->tables[found_binding].table->columns[found_column].type;
        return;
      }
      if (qualified && qualifier_seen) ThrowDatabase("Invalid column name '" + column + "'.");
    }
    if (qualified) {
      ThrowDatabase("The multi-part identifier \"" + e.names[0] + "." + e.names[1] +
                    "\" could not be bound.");
    }
    ThrowDatabase("Invalid column name '" + column + "'.");
  }

  const TableBinding& BindingOf(const Expr& e, const Scope& scope) const {
    const Scope* s = &scope;
    for (int d = 0; d < e.scope_depth; ++d) s = s->parent;
    return s->tables[e.binding];
  }

  // Gives a literal (or -literal) the conversion of the place it is used in.
  void Coerce(Expr& e, SqlType target, int max_length = 0, bool rtrim = false) {
    Expr* lit = LiteralOf(e);
    if (!lit || IsLoose(target)) return;
    const bool negated = lit != &e;
    if (IsStringMarker(*lit)) {
      if (negated)
        ThrowDatabase("A minus sign before a text is not supported by the embedded database.");
    } else if (target == SqlType::kDateTime) {
      ThrowDatabase(
          "Implicit conversion from a number to datetime is not supported by the "
          "embedded database.");
    }
    lit->param.target = target;
    lit->param.max_length = max_length;
    lit->param.rtrim = rtrim && target == SqlType::kText;
    lit->param.negate = negated;
    lit->type = target;
    e.type = target;
  }

  // Literals on either side take the other side's type; then both sides must
  // be of one family (numbers, texts, datetimes).
  void Unify(Expr& a, Expr& b, std::string_view what, bool rtrim) {
    // Only a text literal converts to the other side's type. A number keeps
    // its own: compared with a text SQL Server would convert the text side
    // instead, row by row (refused below), and compared with an int column
    // a number beyond the int range simply matches nothing.
    auto movable = [](Expr& lit, SqlType) { return IsStringMarker(*LiteralOf(lit)); };
    const bool la = LiteralOf(a) != nullptr, lb = LiteralOf(b) != nullptr;
    if (la && !lb) {
      if (movable(a, b.type)) Coerce(a, b.type, 0, rtrim);
    } else if (lb && !la) {
      if (movable(b, a.type)) Coerce(b, a.type, 0, rtrim);
    } else if (la && lb && a.type != b.type) {
      // A text against a number converts to the number, as in SQL Server.
      if (a.type == SqlType::kText && IsNumeric(b.type)) Coerce(a, b.type);
      if (b.type == SqlType::kText && IsNumeric(a.type)) Coerce(b, a.type);
    }
    CheckCompatible(a.type, b.type, what);
  }

  void CheckCompatible(SqlType a, SqlType b, std::string_view what) {
    if (IsLoose(a) || IsLoose(b) || a == b) return;
    if (IsNumeric(a) && IsNumeric(b)) return;
    ThrowDatabase(std::string("Implicit conversion between ") + TypeWord(a) + " and " +
                  TypeWord(b) + " in " + std::string(what) +
                  " is not supported by the embedded database.");
  }

  void Resolve(Expr& e, Scope& scope, Clause clause) {
    switch (e.kind) {
      case Expr::Kind::kLiteral:
        e.type = LiteralType(e, shape_);
        return;
      case Expr::Kind::kNull:
        e.type = SqlType::kNull;
        return;
      case Expr::Kind::kVariable:
        e.type = SqlType::kInt;
        return;
      case Expr::Kind::kColumn:
        ResolveColumn(e, scope);
        return;
      case Expr::Kind::kNegate: {
        Resolve(*e.args[0], scope, clause);
        Expr& a = *e.args[0];
        if (a.kind == Expr::Kind::kLiteral && IsStringMarker(a)) {
          ThrowDatabase("A minus sign before a text is not supported by the embedded database.");
        }
        if (!IsNumeric(a.type) && !IsLoose(a.type)) {
          ThrowDatabase(std::string("Operand data type ") + TypeWord(a.type) +
                        " is invalid for minus operator.");
        }
        if (a.kind == Expr::Kind::kLiteral) a.param.negate = true;
        e.type = a.type;
        return;
      }
      case Expr::Kind::kArith: {
        Resolve(*e.args[0], scope, clause);
        Resolve(*e.args[1], scope, clause);
        Expr& a = *e.args[0];
        Expr& b = *e.args[1];
        if (e.op == "/" || e.op == "%") {
          ThrowDatabase("The operator " + e.op + " is not supported by the embedded database.");
        }
        if (a.type == SqlType::kText && b.type == SqlType::kText && e.op == "+") {
          e.type = SqlType::kText;
          e.op = "||";
          return;
        }
        if (a.type == SqlType::kDateTime || b.type == SqlType::kDateTime) {
          ThrowDatabase("Date arithmetic with " + e.op +
                        " is not supported by the embedded database.");
        }
        if (a.type == SqlType::kText || b.type == SqlType::kText) {
          // A text literal next to a number reads as a number.
          if (LiteralOf(a) && a.type == SqlType::kText && !IsLoose(b.type)) Coerce(a, b.type);
          if (LiteralOf(b) && b.type == SqlType::kText && !IsLoose(a.type)) Coerce(b, a.type);
        }
        if ((!IsNumeric(a.type) && !IsLoose(a.type)) || (!IsNumeric(b.type) && !IsLoose(b.type))) {
          ThrowDatabase(std::string("The operator ") + e.op + " between " + TypeWord(a.type) +
                        " and " + TypeWord(b.type) + " is not supported by the embedded database.");
        }
        e.type = Promote(a.type, b.type);
        return;
      }
      case Expr::Kind::kCompare: {
        Resolve(*e.args[0], scope, clause);
        Resolve(*e.args[1], scope, clause);
        Unify(*e.args[0], *e.args[1], "a comparison", true);
        return;
      }
      case Expr::Kind::kAnd:
      case Expr::Kind::kOr:
      case Expr::Kind::kNot:
        for (ExprPtr& a : e.args) {
          Resolve(*a, scope, clause);
          RequirePredicate(*a);
        }
        return;
      case Expr::Kind::kBetween: {
        for (ExprPtr& a : e.args) Resolve(*a, scope, clause);
        Unify(*e.args[0], *e.args[1], "BETWEEN", true);
        Unify(*e.args[0], *e.args[2], "BETWEEN", true);
        return;
      }
      case Expr::Kind::kInList: {
        for (ExprPtr& a : e.args) Resolve(*a, scope, clause);
        for (size_t i = 1; i < e.args.size(); ++i) Unify(*e.args[0], *e.args[i], "IN", true);
        return;
      }
      case Expr::Kind::kInSelect: {
        Resolve(*e.args[0], scope, clause);
        ResolveSubquery(*e.select, scope);
        Expr& item = *e.select->items[0].expr;
        Unify(*e.args[0], item, "IN", true);
        return;
      }
      case Expr::Kind::kExists:
        ResolveSelect(*e.select, &scope);
        return;
      case Expr::Kind::kLike: {
        Resolve(*e.args[0], scope, clause);
        Resolve(*e.args[1], scope, clause);
        Expr& pattern = *e.args[1];
        if (pattern.kind != Expr::Kind::kLiteral || !IsStringMarker(pattern)) {
          ThrowDatabase(
              "LIKE with a pattern that is not a literal text is not supported by the "
              "embedded database.");
        }
        Coerce(pattern, SqlType::kText);
        pattern.param.like_pattern = true;
        Coerce(*e.args[0], SqlType::kText);
        if (e.args[0]->type == SqlType::kDateTime) {
          ThrowDatabase("LIKE on a datetime is not supported by the embedded database.");
        }
        return;
      }
      case Expr::Kind::kIsNull:
        Resolve(*e.args[0], scope, clause);
        return;
      case Expr::Kind::kSubquery: {
        if (clause == Clause::kGroupBy) {
          ThrowDatabase(
              "Cannot use an aggregate or a subquery in an expression used for the "
              "group by list of a GROUP BY clause.");
        }
        ResolveSubquery(*e.select, scope);
        RequireSingleRow(*e.select);
        e.type = e.select->items[0].expr->type;
        return;
      }
      case Expr::Kind::kCast:
        ResolveCast(e, scope, clause);
        return;
      case Expr::Kind::kFunction:
        ResolveFunction(e, scope, clause);
        return;
    }
  }

  static SqlType Promote(SqlType a, SqlType b) {
    if (IsLoose(a)) return b;
    if (IsLoose(b)) return a;
    auto rank = [](SqlType t) {
      switch (t) {
        case SqlType::kBit:
          return 0;
        case SqlType::kSmallInt:
          return 1;
        case SqlType::kInt:
          return 2;
        case SqlType::kDecimal:
          return 3;
        case SqlType::kReal:
          return 4;
        default:
          return 5;
      }
    };
    SqlType r = rank(a) >= rank(b) ? a : b;
    return r == SqlType::kBit || r == SqlType::kSmallInt ? SqlType::kInt : r;
  }

  // A subquery that yields one column (IN, scalar).
  void ResolveSubquery(SelectStmt& sub, Scope& scope) {
    ResolveSelect(sub, &scope);
    if (sub.items.size() != 1) {
      ThrowDatabase(
          "Only one expression can be specified in the select list when the subquery "
          "is not introduced with EXISTS.");
    }
  }

  // SQL Server fails when a subquery used as a value returns several rows;
  // SQLite would take the first. Only subqueries that cannot return more
  // than one row are run: TOP 1, an aggregate without GROUP BY, or an
  // equality on a key column of their single table.
  void RequireSingleRow(SelectStmt& sub) {
    if (sub.top) {
      Fix(sub.top->literal_index);
      if (shape_.literals[sub.top->literal_index].text == "1" ||
          shape_.literals[sub.top->literal_index].text == "0") {
        return;
      }
    }
    if (sub.group_by.empty() && sub.scope->has_aggregate) return;
    if (sub.from.size() == 1 && sub.where && KeyEquality(*sub.where, *sub.scope)) return;
    ThrowDatabase(
        "A subquery used as a value must select at most one row (by its key, TOP 1 or an "
        "aggregate) on the embedded database.");
  }

  bool KeyEquality(const Expr& e, const Scope& scope) const {
    if (e.kind == Expr::Kind::kAnd) {
      return KeyEquality(*e.args[0], scope) || KeyEquality(*e.args[1], scope);
    }
    if (e.kind != Expr::Kind::kCompare || e.op != "=") return false;
    for (int side = 0; side < 2; ++side) {
      const Expr& col = *e.args[side];
      const Expr& other = *e.args[1 - side];
      if (col.kind == Expr::Kind::kColumn && col.scope_depth == 0 &&
          scope.tables[col.binding].table->columns[col.column].unique && !HasOwnColumn(other)) {
        return true;
      }
    }
    return false;
  }

  void ResolveCast(Expr& e, Scope& scope, Clause clause) {
    Resolve(*e.args[0], scope, clause);
    Expr& x = *e.args[0];
    TypeName& tn = e.cast_type;
    if (tn.length_literal >= 0) Fix(tn.length_literal);
    if (e.style_literal >= 0) Fix(e.style_literal);
    if (tn.type == SqlType::kText && tn.length < 0) tn.length = 30;
    e.type = tn.type;
    if (LiteralOf(x)) {
      Coerce(x, tn.type == SqlType::kText ? SqlType::kText : tn.type);
      return;
    }
    const SqlType from = x.type;
    if (IsLoose(from) || from == tn.type) {
      if (tn.type != SqlType::kText) return;
    }
    switch (tn.type) {
      case SqlType::kText:
        if (from == SqlType::kDateTime) {
          if (e.style_literal < 0) {
            ThrowDatabase(
                "CONVERT of a datetime to text needs a style (such as 120) on the "
                "embedded database.");
          }
          int style = std::stoi(shape_.literals[e.style_literal].text);
          if (!DateStyle(style)) {
            ThrowDatabase("CONVERT style " + std::to_string(style) +
                          " is not supported by the embedded database.");
          }
        } else if (from == SqlType::kFloat || from == SqlType::kReal || from == SqlType::kDecimal) {
          ThrowDatabase(std::string("CONVERT from ") + TypeWord(from) +
                        " to text is not supported by the embedded database.");
        }
        return;
      case SqlType::kInt:
      case SqlType::kSmallInt:
      case SqlType::kBit:
      case SqlType::kFloat:
      case SqlType::kReal:
        if (IsNumeric(from) || IsLoose(from)) return;
        break;
      case SqlType::kDateTime:
        if (from == SqlType::kDateTime || IsLoose(from)) return;
        break;
      default:
        break;
    }
    ThrowDatabase(std::string("Conversion from ") + TypeWord(from) + " to " + tn.name +
                  " of a column or expression is not supported by the embedded database.");
  }

  struct StyleForm {
    int start;  // substr start in the canonical text, 0 for composite forms
    int length;
  };
  static std::optional<StyleForm> DateStyle(int style) {
    switch (style) {
      case 20:
      case 120:
        return StyleForm{1, 19};
      case 21:
      case 121:
        return StyleForm{1, 23};
      case 23:
        return StyleForm{1, 10};
      case 8:
      case 108:
        return StyleForm{12, 8};
      case 102:
      case 111:
      case 112:
        return StyleForm{0, style == 112 ? 8 : 10};
      default:
        return std::nullopt;
    }
  }

  void ResolveFunction(Expr& e, Scope& scope, Clause clause) {
    const std::string& f = e.op;
    auto arity = [&](size_t n) {
      if (e.args.size() != n) {
        ThrowDatabase("The " + f + " function requires " + std::to_string(n) + " argument(s).");
      }
    };
    if (IsAggregateName(f)) {
      if (clause == Clause::kWhere || clause == Clause::kOn) {
        ThrowDatabase(
            "An aggregate may not appear in the WHERE clause unless it is in a subquery "
            "contained in a HAVING clause or a select list, and the column being "
            "aggregated is an outer reference.");
      }
      if (clause == Clause::kGroupBy) {
        ThrowDatabase(
            "Cannot use an aggregate or a subquery in an expression used for the group "
            "by list of a GROUP BY clause.");
      }
      if (in_aggregate_) {
        ThrowDatabase(
            "Cannot perform an aggregate function on an expression containing an "
            "aggregate or a subquery.");
      }
      if (!scope.select) ThrowDatabase("An aggregate may not appear here.");
      scope.has_aggregate = true;
      if (e.star) {
        e.type = SqlType::kInt;
        return;
      }
      arity(1);
      in_aggregate_ = true;
      Resolve(*e.args[0], scope, clause);
      in_aggregate_ = false;
      const SqlType t = e.args[0]->type;
      if (f == "COUNT") {
        e.type = SqlType::kInt;
      } else if (f == "SUM") {
        if (!IsNumeric(t) && !IsLoose(t)) {
          ThrowDatabase(std::string("Operand data type ") + TypeWord(t) +
                        " is invalid for sum operator.");
        }
        e.type = Promote(t, SqlType::kInt);
      } else {
        e.type = t;
      }
      return;
    }
    for (ExprPtr& a : e.args) {
      if (a->kind == Expr::Kind::kColumn && a->names.size() == 1 && f.rfind("DATE", 0) == 0 &&
          &a == &e.args[0]) {
        continue;  // the date part name of DATEDIFF
      }
      Resolve(*a, scope, clause);
    }
    auto require_date = [&](Expr& a) {
      Coerce(a, SqlType::kDateTime);
      if (a.type != SqlType::kDateTime && !IsLoose(a.type)) {
        ThrowDatabase("Argument data type " + std::string(TypeWord(a.type)) +
                      " is invalid for argument of " + f + " function.");
      }
    };
    if (f == "GETDATE" || f == "CURRENT_TIMESTAMP") {
      arity(0);
      e.type = SqlType::kDateTime;
    } else if (f == "SCOPE_IDENTITY") {
      arity(0);
      e.type = SqlType::kInt;
    } else if (f == "DATEDIFF") {
      arity(3);
      if (e.args[0]->kind != Expr::Kind::kColumn || e.args[0]->names.size() != 1 ||
          DatePart(e.args[0]->names[0]).empty()) {
        ThrowDatabase("Invalid parameter 1 specified for datediff.");
      }
      require_date(*e.args[1]);
      require_date(*e.args[2]);
      e.type = SqlType::kInt;
    } else if (f == "DAY" || f == "MONTH" || f == "YEAR") {
      arity(1);
      require_date(*e.args[0]);
      e.type = SqlType::kInt;
    } else if (f == "LEFT") {
      arity(2);
      Coerce(*e.args[0], SqlType::kText);
      if (e.args[0]->type == SqlType::kDateTime) {
        ThrowDatabase("LEFT of a datetime is not supported by the embedded database.");
      }
      Expr& n = *e.args[1];
      if (n.kind == Expr::Kind::kNegate) {
        ThrowDatabase("Invalid length parameter passed to the left function.");
      }
      if (n.kind != Expr::Kind::kLiteral || IsStringMarker(n)) {
        ThrowDatabase("LEFT takes a whole number as its length on the embedded database.");
      }
      Coerce(n, SqlType::kInt);
      e.type = SqlType::kText;
    } else if (f == "LEN" || f == "LTRIM" || f == "RTRIM") {
      arity(1);
      Coerce(*e.args[0], SqlType::kText);
      if (e.args[0]->type != SqlType::kText && !IsLoose(e.args[0]->type)) {
        ThrowDatabase("Argument data type " + std::string(TypeWord(e.args[0]->type)) +
                      " is invalid for argument 1 of " + f + " function.");
      }
      e.type = f == "LEN" ? SqlType::kInt : SqlType::kText;
    } else if (f == "ISNULL") {
      arity(2);
      if (LiteralOf(*e.args[0]) == nullptr) Coerce(*e.args[1], e.args[0]->type);
      CheckCompatible(e.args[0]->type, e.args[1]->type, "ISNULL");
      e.type = IsLoose(e.args[0]->type) ? e.args[1]->type : e.args[0]->type;
    } else {
      ThrowDatabase("The function " + f + " is not supported by the embedded database.");
    }
  }

  // The DATEDIFF unit: "day", "month", "year", "hour", "minute", "second".
  static std::string DatePart(std::string_view name) {
    std::string n;
    for (char c : name) n.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c));
    if (n == "dd" || n == "d" || n == "day") return "day";
    if (n == "mm" || n == "m" || n == "month") return "month";
    if (n == "yy" || n == "yyyy" || n == "year") return "year";
    if (n == "hh" || n == "hour") return "hour";
    if (n == "mi" || n == "n" || n == "minute") return "minute";
    if (n == "ss" || n == "s" || n == "second") return "second";
    return "";
  }

  // ---- grouping ----

  bool Same(Expr& a, Expr& b) {
    if (a.kind != b.kind) return false;
    switch (a.kind) {
      case Expr::Kind::kLiteral: {
        const Literal& x = shape_.literals[a.literal_index];
        const Literal& y = shape_.literals[b.literal_index];
        if (a.marker != b.marker || x.text != y.text) return false;
        Fix(a.literal_index);
        Fix(b.literal_index);
        return true;
      }
      case Expr::Kind::kColumn:
        return a.binding == b.binding && a.column == b.column && a.scope_depth == b.scope_depth;
      case Expr::Kind::kCast: {
        if (a.cast_type.name != b.cast_type.name || a.cast_type.length != b.cast_type.length) {
          return false;
        }
        const std::string sa = a.style_literal >= 0 ? shape_.literals[a.style_literal].text : "";
        const std::string sb = b.style_literal >= 0 ? shape_.literals[b.style_literal].text : "";
        if (sa != sb) return false;
        break;
      }
      case Expr::Kind::kSubquery:
      case Expr::Kind::kInSelect:
      case Expr::Kind::kExists:
        return false;
      default:
        if (a.op != b.op || a.negated != b.negated || a.star != b.star ||
            a.distinct != b.distinct) {
          return false;
        }
        break;
    }
    if (a.args.size() != b.args.size()) return false;
    for (size_t i = 0; i < a.args.size(); ++i) {
      if (!Same(*a.args[i], *b.args[i])) return false;
    }
    return true;
  }

  // The first column of `e` that is neither grouped nor aggregated, or null.
  Expr* Ungrouped(Expr& e, SelectStmt& sel) {
    for (ExprPtr& g : sel.group_by) {
      if (Same(e, *g)) return nullptr;
    }
    switch (e.kind) {
      case Expr::Kind::kColumn:
        return e.scope_depth == 0 ? &e : nullptr;
      case Expr::Kind::kFunction:
        if (IsAggregateName(e.op)) return nullptr;
        break;
      case Expr::Kind::kSubquery:
      case Expr::Kind::kInSelect:
      case Expr::Kind::kExists:
        return nullptr;
      default:
        break;
    }
    for (ExprPtr& a : e.args) {
      if (a->kind == Expr::Kind::kColumn && e.kind == Expr::Kind::kFunction && &a == &e.args[0] &&
          e.op == "DATEDIFF") {
        continue;
      }
      if (Expr* bad = Ungrouped(*a, sel)) return bad;
    }
    return nullptr;
  }

  void CheckGrouping(SelectStmt& sel) {
    auto fail = [&](Expr& col, const char* where) {
      const TableBinding& tb = sel.scope->tables[col.binding];
      ThrowDatabase("Column '" + tb.exposed + "." + tb.table->columns[col.column].name +
                    "' is invalid in the " + where +
                    " because it is not contained in either an aggregate function or the GROUP "
                    "BY clause.");
    };
    for (SelectItem& item : sel.items) {
      if (Expr* bad = Ungrouped(*item.expr, sel)) fail(*bad, "select list");
    }
    if (sel.having) {
      if (Expr* bad = Ungrouped(*sel.having, sel)) fail(*bad, "HAVING clause");
    }
    for (OrderItem& o : sel.order_by) {
      if (!o.expr || order_positions_.count(&o)) continue;
      if (Expr* bad = Ungrouped(*o.expr, sel)) fail(*bad, "ORDER BY clause");
    }
  }

  std::string ResultName(const SelectItem& item) const {
    if (item.alias_literal >= 0) return shape_.literals[item.alias_literal].text;
    if (item.has_alias) return item.alias;
    if (item.expr->kind == Expr::Kind::kColumn) return item.expr->names.back();
    return "";
  }
  static SqlType ResultType(const SelectItem& item) {
    return item.expr->type == SqlType::kNull ? SqlType::kUnknown : item.expr->type;
  }

  // ---------------- INSERT / UPDATE / DELETE ----------------

  void TranslateInsert(InsertStmt& ins) {
    const TableDef& table = Table(ins.table);
    std::vector<int> columns;
    if (ins.columns.empty()) {
      for (size_t c = 0; c < table.columns.size(); ++c) {
        if (!table.columns[c].identity) columns.push_back(static_cast<int>(c));
      }
    } else {
      for (const std::string& name : ins.columns) {
        int c = table.IndexOf(name);
        if (c < 0) ThrowDatabase("Invalid column name '" + name + "'.");
        if (table.columns[c].identity) {
          ThrowDatabase("Cannot insert explicit value for identity column in table '" + table.name +
                        "' when IDENTITY_INSERT is set to OFF.");
        }
        if (std::find(columns.begin(), columns.end(), c) != columns.end()) {
          ThrowDatabase("The column name '" + name +
                        "' is specified more than once in the column list of an INSERT. Column "
                        "names in each table must be unique.");
        }
        columns.push_back(c);
      }
    }
    Scope scope;  // VALUES see no columns
    for (auto& row : ins.rows) {
      if (row.size() < columns.size()) {
        ThrowDatabase(
            "There are more columns in the INSERT statement than values specified in "
            "the VALUES clause. The number of values in the VALUES clause must match "
            "the number of columns specified in the INSERT statement.");
      }
      if (row.size() > columns.size()) {
        ThrowDatabase(
            "There are fewer columns in the INSERT statement than values specified in "
            "the VALUES clause. The number of values in the VALUES clause must match "
            "the number of columns specified in the INSERT statement.");
      }
      for (size_t i = 0; i < row.size(); ++i) {
        const ColumnDef& col = table.columns[columns[i]];
        Resolve(*row[i], scope, Clause::kValue);
        Assign(*row[i], col);
      }
    }
    std::vector<int> defaults;
    for (size_t c = 0; c < table.columns.size(); ++c) {
      if (table.columns[c].default_now &&
          std::find(columns.begin(), columns.end(), static_cast<int>(c)) == columns.end()) {
        defaults.push_back(static_cast<int>(c));
      }
    }
    sql_ = "INSERT INTO " + Quote(table.name) + " (";
    bool first = true;
    for (int c : columns) {
      if (!first) sql_ += ", ";
      first = false;
      sql_ += Quote(table.columns[c].name);
    }
    for (int c : defaults) {
      if (!first) sql_ += ", ";
      first = false;
      sql_ += Quote(table.columns[c].name);
    }
    sql_ += ") VALUES ";
    for (size_t r = 0; r < ins.rows.size(); ++r) {
      sql_ += r ? ", (" : "(";
      for (size_t i = 0; i < ins.rows[r].size(); ++i) {
        if (i) sql_ += ", ";
        Emit(*ins.rows[r][i], scope);
      }
      for (size_t d = 0; d < defaults.size(); ++d) {
        if (!ins.rows[r].empty() || d) sql_ += ", ";
        AddParam(ParamSpec{ParamSource::kNow});
      }
      sql_ += ")";
    }
    if (table.identity_column >= 0) out_.identity_table = table.name;
  }

  // A value stored into a column converts as SQL Server converts it.
  void Assign(Expr& value, const ColumnDef& col) {
    Coerce(value, col.type, col.max_length);
    const SqlType t = value.type;
    if (IsLoose(t) || t == col.type) return;
    if (IsNumeric(t) && IsNumeric(col.type)) return;
    if (col.type == SqlType::kText && IsNumeric(t)) return;  // SQLite stores the number's text
    ThrowDatabase(std::string("Implicit conversion from data type ") + TypeWord(t) + " to " +
                  TypeWord(col.type) + " (column '" + col.name +
                  "') is not supported by the embedded database.");
  }

  void TranslateUpdate(UpdateStmt& up) {
    const TableDef& table = Table(up.table);
    Scope scope;
    scope.tables.push_back({&table, up.table, Quote(table.name)});
    std::vector<int> columns;
    for (Assignment& a : up.sets) {
      int c = table.IndexOf(a.column);
      if (c < 0) ThrowDatabase("Invalid column name '" + a.column + "'.");
      if (table.columns[c].identity) {
        ThrowDatabase("Cannot update identity column '" + table.columns[c].name + "'.");
      }
      if (std::find(columns.begin(), columns.end(), c) != columns.end()) {
        ThrowDatabase("The column name '" + a.column +
                      "' is specified more than once in the SET clause. A column cannot be "
                      "assigned more than one value in the same clause.");
      }
      columns.push_back(c);
      Resolve(*a.value, scope, Clause::kValue);
      Assign(*a.value, table.columns[c]);
    }
    if (up.where) {
      Resolve(*up.where, scope, Clause::kWhere);
      RequirePredicate(*up.where);
    }
    sql_ = "UPDATE " + Quote(table.name) + " SET ";
    for (size_t i = 0; i < up.sets.size(); ++i) {
      if (i) sql_ += ", ";
      sql_ += Quote(table.columns[columns[i]].name) + " = ";
      Emit(*up.sets[i].value, scope);
    }
    if (up.where) {
      sql_ += " WHERE ";
      Emit(*up.where, scope);
    }
  }

  void TranslateDelete(DeleteStmt& del) {
    const TableDef& table = Table(del.table);
    Scope scope;
    scope.tables.push_back({&table, del.table, Quote(table.name)});
    if (del.where) {
      Resolve(*del.where, scope, Clause::kWhere);
      RequirePredicate(*del.where);
    }
    sql_ = "DELETE FROM " + Quote(table.name);
    if (del.where) {
      sql_ += " WHERE ";
      Emit(*del.where, scope);
    }
  }

  // ---------------- emission ----------------

  void AddParam(const ParamSpec& p) {
    out_.params.push_back(p);
    sql_ += "?" + std::to_string(out_.params.size());
  }

  // A single-table DATA_Plan SELECT whose WHERE bounds both the person and
  // the time reaches its rows through the plan span R*Tree first (CROSS
  // JOIN keeps SQLite's planner from reordering); each of the R*Tree's ids
  // finds one DATA_Plan row by its key, and every original condition still
  // applies. Returns false, having written nothing, for any other SELECT.
  // The WHERE is written before the FROM (which has no placeholders here),
  // so that the bounds can name its literals' placeholders. Rows that tie
  // in the ORDER BY come in key order (`tie_break`), as they did from the
  // (PersonID, PlanBeginTime) index.
  bool EmitThroughPlanSpans(SelectStmt& sel, std::string& tie_break) {
    Scope& scope = *sel.scope;
    if (!options_.plan_spans || sel.from.size() != 1 || !sel.where ||
        scope.tables[0].table != FindTable("DATA_Plan")) {
      return false;
    }
    const std::string where = EmitToString(*sel.where, scope);
    const SpanBox box = DeriveSpanBox(*sel.where, [this](int literal_index) {
      return "?" + std::to_string(literal_params_.at(literal_index));
    });
    const TableBinding& plan = scope.tables[0];
    const std::string table = Quote(plan.table->name) + " AS " + plan.emit_name;
    if (!box.Complete()) {
      sql_ += " FROM " + table + " WHERE " + where;
      return true;
    }
    const std::string span = "s" + std::to_string(next_alias_++);
    const std::string key =
        plan.emit_name + "." + Quote(plan.table->columns[plan.table->identity_column].name);
    sql_ += " FROM " + Quote(kPlanSpanTable) + " AS " + span + " CROSS JOIN " + table + " WHERE " +
            where + " AND (" + key + " = " + span + ".id) AND " + SpanBoxCondition(box, span);
    if (!sel.order_by.empty() && sel.group_by.empty() && !scope.has_aggregate && !sel.distinct) {
      tie_break = key + (sel.order_by.back().desc ? " DESC" : "");
    }
    return true;
  }

  void EmitSelect(SelectStmt& sel) {
    Scope& scope = *sel.scope;
    sql_ += "SELECT ";
    if (sel.distinct) sql_ += "DISTINCT ";
    for (size_t i = 0; i < sel.items.size(); ++i) {
      if (i) sql_ += ", ";
      Emit(*sel.items[i].expr, scope);
    }
    std::string tie_break;
    if (!EmitThroughPlanSpans(sel, tie_break)) EmitFromAndWhere(sel);
    EmitSelectTail(sel, tie_break);
  }

  void EmitFromAndWhere(SelectStmt& sel) {
    Scope& scope = *sel.scope;
    if (!sel.from.empty()) {
      sql_ += " FROM ";
      for (size_t i = 0; i < sel.from.size(); ++i) {
        const FromItem& f = sel.from[i];
        const TableBinding& b = scope.tables[i];
        switch (f.join) {
          case FromItem::Join::kFirst:
            break;
          case FromItem::Join::kComma:
            sql_ += ", ";
            break;
          case FromItem::Join::kInner:
            sql_ += " JOIN ";
            break;
          case FromItem::Join::kLeft:
            sql_ += " LEFT JOIN ";
            break;
        }
        sql_ += Quote(b.table->name) + " AS " + b.emit_name;
        if (f.on) {
          sql_ += " ON ";
          Emit(*f.on, scope);
        }
      }
    }
    if (sel.where) {
      sql_ += " WHERE ";
      Emit(*sel.where, scope);
    }
  }

  void EmitSelectTail(SelectStmt& sel, const std::string& tie_break) {
    Scope& scope = *sel.scope;
    if (!sel.group_by.empty()) {
      sql_ += " GROUP BY ";
      for (size_t i = 0; i < sel.group_by.size(); ++i) {
        if (i) sql_ += ", ";
        Emit(*sel.group_by[i], scope);
      }
    }
    if (sel.having) {
      sql_ += " HAVING ";
      Emit(*sel.having, scope);
    }
    if (!sel.order_by.empty()) {
      sql_ += " ORDER BY ";
      for (size_t i = 0; i < sel.order_by.size(); ++i) {
        OrderItem& o = sel.order_by[i];
        if (i) sql_ += ", ";
        auto pos = order_positions_.find(&o);
        if (o.position_literal >= 0) {
          sql_ += shape_.literals[o.position_literal].text;
        } else if (pos != order_positions_.end()) {
          sql_ += std::to_string(pos->second);
        } else {
          Emit(*o.expr, scope);
        }
        if (o.desc) sql_ += " DESC";
      }
      if (!tie_break.empty()) sql_ += ", " + tie_break;
    }
    if (sel.top) {
      sql_ += " LIMIT ";
      Emit(*sel.top, scope);
    }
  }

  void EmitColumn(const Expr& e, const Scope& scope) {
    const TableBinding& b = BindingOf(e, scope);
    sql_ += b.emit_name + "." + Quote(b.table->columns[e.column].name);
  }

  // COLLATE NOCASE on text comparisons: SQL Server's usual collation ignores
  // (ASCII) case, and an expression (LEFT, CONVERT) carries no collation of
  // its own in SQLite.
  void EmitCollated(Expr& e, Scope& scope, bool text) {
    Emit(e, scope);
    if (text) sql_ += " COLLATE NOCASE";
  }

  void Emit(Expr& e, Scope& scope) {
    switch (e.kind) {
      case Expr::Kind::kLiteral: {
        ParamSpec p = e.param;
        p.source = ParamSource::kLiteral;
        p.literal_index = e.literal_index;
        AddParam(p);
        literal_params_[e.literal_index] = out_.params.size();
        return;
      }
      case Expr::Kind::kNull:
        sql_ += "NULL";
        return;
      case Expr::Kind::kVariable:
        AddParam(ParamSpec{ParamSource::kLastIdentity});
        return;
      case Expr::Kind::kColumn:
        EmitColumn(e, scope);
        return;
      case Expr::Kind::kNegate:
        if (e.args[0]->kind == Expr::Kind::kLiteral) {
          Emit(*e.args[0], scope);  // the minus is bound with the value
          return;
        }
        sql_ += "(-";
        Emit(*e.args[0], scope);
        sql_ += ")";
        return;
      case Expr::Kind::kArith:
      case Expr::Kind::kAnd:
      case Expr::Kind::kOr: {
        const char* op = e.kind == Expr::Kind::kAnd  ? "AND"
                         : e.kind == Expr::Kind::kOr ? "OR"
                                                     : nullptr;
        sql_ += "(";
        Emit(*e.args[0], scope);
        sql_ += " ";
        sql_ += op ? op : e.op.c_str();
        sql_ += " ";
        Emit(*e.args[1], scope);
        sql_ += ")";
        return;
      }
      case Expr::Kind::kCompare: {
        const bool text = e.args[0]->type == SqlType::kText || e.args[1]->type == SqlType::kText;
        sql_ += "(";
        Emit(*e.args[0], scope);
        sql_ += " " + e.op + " ";
        EmitCollated(*e.args[1], scope, text);
        sql_ += ")";
        return;
      }
      case Expr::Kind::kNot:
        sql_ += "(NOT ";
        Emit(*e.args[0], scope);
        sql_ += ")";
        return;
      case Expr::Kind::kBetween: {
        const bool text = e.args[0]->type == SqlType::kText;
        sql_ += "(";
        Emit(*e.args[0], scope);
        sql_ += e.negated ? " NOT BETWEEN " : " BETWEEN ";
        EmitCollated(*e.args[1], scope, text);
        sql_ += " AND ";
        EmitCollated(*e.args[2], scope, text);
        sql_ += ")";
        return;
      }
      case Expr::Kind::kInList: {
        sql_ += "(";
        EmitCollated(*e.args[0], scope, e.args[0]->type == SqlType::kText);
        sql_ += e.negated ? " NOT IN (" : " IN (";
        for (size_t i = 1; i < e.args.size(); ++i) {
          if (i > 1) sql_ += ", ";
          Emit(*e.args[i], scope);
        }
        sql_ += "))";
        return;
      }
      case Expr::Kind::kInSelect:
        sql_ += "(";
        EmitCollated(*e.args[0], scope, e.args[0]->type == SqlType::kText);
        sql_ += e.negated ? " NOT IN (" : " IN (";
        EmitSelect(*e.select);
        sql_ += "))";
        return;
      case Expr::Kind::kExists:
        sql_ += "(EXISTS (";
        EmitSelect(*e.select);
        sql_ += "))";
        return;
      case Expr::Kind::kLike:
        sql_ += "(";
        Emit(*e.args[0], scope);
        sql_ += e.negated ? " NOT LIKE " : " LIKE ";
        Emit(*e.args[1], scope);
        sql_ += ")";
        return;
      case Expr::Kind::kIsNull:
        sql_ += "(";
        Emit(*e.args[0], scope);
        sql_ += e.negated ? " IS NOT NULL)" : " IS NULL)";
        return;
      case Expr::Kind::kSubquery:
        sql_ += "(";
        EmitSelect(*e.select);
        sql_ += ")";
        return;
      case Expr::Kind::kCast:
        EmitCast(e, scope);
        return;
      case Expr::Kind::kFunction:
        EmitFunction(e, scope);
        return;
    }
  }

  std::string EmitToString(Expr& e, Scope& scope) {
    std::string saved = std::move(sql_);
    sql_.clear();
    Emit(e, scope);
    std::string piece = std::move(sql_);
    sql_ = std::move(saved);
    return piece;
  }

  void EmitCast(Expr& e, Scope& scope) {
    Expr& x = *e.args[0];
    const TypeName& tn = e.cast_type;
    const std::string inner = EmitToString(x, scope);
    switch (tn.type) {
      case SqlType::kText: {
        const int n = tn.length == 0 ? 1 << 30 : tn.length;
        std::string base;
        int base_length = -1;  // known length of `base`, -1 when it varies
        if (x.type == SqlType::kDateTime && !LiteralOf(x)) {
          const int style = std::stoi(shape_.literals[e.style_literal].text);
          const StyleForm form = *DateStyle(style);
          if (form.start > 0) {
            // One substr, so that an index on the same expression applies.
            base = "substr(" + inner + ", " + std::to_string(form.start) + ", " +
                   std::to_string(std::min(n, form.length)) + ")";
            base_length = std::min(n, form.length);
          } else {
            if (style == 112) {
              base = "(substr(" + inner + ", 1, 4) || substr(" + inner + ", 6, 2) || substr(" +
                     inner + ", 9, 2))";
            } else {
              base = "replace(substr(" + inner + ", 1, 10), '-', '" + (style == 102 ? "." : "/") +
                     "')";
            }
            base_length = form.length;
            if (n < form.length) {
              base = "substr(" + base + ", 1, " + std::to_string(n) + ")";
              base_length = n;
            }
          }
        } else if (IsNumeric(x.type)) {
          base = "substr(CAST(" + inner + " AS TEXT), 1, " + std::to_string(n) + ")";
        } else {
          base = "substr(" + inner + ", 1, " + std::to_string(n) + ")";
        }
        if (tn.fixed) {
          if (base_length >= 0) {
            if (base_length < n)
              base = "(" + base + " || '" + std::string(n - base_length, ' ') + "')";
          } else {
            base = "substr(" + base + " || '" + std::string(n, ' ') + "', 1, " + std::to_string(n) +
                   ")";
          }
        }
        sql_ += base;
        return;
      }
      case SqlType::kInt:
      case SqlType::kSmallInt:
        if (x.type == SqlType::kFloat || x.type == SqlType::kReal || x.type == SqlType::kDecimal) {
          sql_ += "CAST(" + inner + " AS INTEGER)";
        } else {
          sql_ += inner;
        }
        return;
      case SqlType::kBit:
        if (LiteralOf(x)) {
          sql_ += inner;
        } else {
          sql_ += "(CASE WHEN " + inner + " IS NULL THEN NULL WHEN " + inner +
                  " <> 0 THEN 1 ELSE 0 END)";
        }
        return;
      case SqlType::kFloat:
      case SqlType::kReal:
        sql_ += "CAST(" + inner + " AS REAL)";
        return;
      default:
        sql_ += inner;
        return;
    }
  }

  void EmitFunction(Expr& e, Scope& scope) {
    const std::string& f = e.op;
    if (f == "GETDATE" || f == "CURRENT_TIMESTAMP") {
      AddParam(ParamSpec{ParamSource::kNow});
    } else if (f == "SCOPE_IDENTITY") {
      AddParam(ParamSpec{ParamSource::kScopeIdentity});
    } else if (IsAggregateName(f)) {
      sql_ += f == "COUNT" ? "count(" : f == "SUM" ? "sum(" : f == "MAX" ? "max(" : "min(";
      if (e.star) {
        sql_ += "*";
      } else {
        if (e.distinct) sql_ += "DISTINCT ";
        Emit(*e.args[0], scope);
      }
      sql_ += ")";
    } else if (f == "DATEDIFF") {
      EmitDateDiff(DatePart(e.args[0]->names[0]), *e.args[1], *e.args[2], scope);
    } else if (f == "DAY" || f == "MONTH" || f == "YEAR") {
      const char* range = f == "DAY" ? "9, 2" : f == "MONTH" ? "6, 2" : "1, 4";
      sql_ += "CAST(substr(";
      Emit(*e.args[0], scope);
      sql_ += std::string(", ") + range + ") AS INTEGER)";
    } else if (f == "LEFT") {
      sql_ += "substr(";
      Emit(*e.args[0], scope);
      sql_ += ", 1, ";
      Emit(*e.args[1], scope);
      sql_ += ")";
    } else if (f == "LEN") {
      sql_ += "length(rtrim(";
      Emit(*e.args[0], scope);
      sql_ += ", ' '))";
    } else if (f == "LTRIM" || f == "RTRIM") {
      sql_ += f == "LTRIM" ? "ltrim(" : "rtrim(";
      Emit(*e.args[0], scope);
      sql_ += ", ' ')";
    } else if (f == "ISNULL") {
      sql_ += "ifnull(";
      Emit(*e.args[0], scope);
      sql_ += ", ";
      Emit(*e.args[1], scope);
      sql_ += ")";
    }
  }

  // DATEDIFF counts the boundaries of the unit crossed from a to b: both
  // are cut to the unit (the canonical text makes that a prefix) and the
  // difference is taken in whole units.
  void EmitDateDiff(const std::string& part, Expr& a, Expr& b, Scope& scope) {
    const std::string x = EmitToString(a, scope);
    const std::string y = EmitToString(b, scope);
    if (part == "year" || part == "month") {
      auto months = [&](const std::string& v) {
        return part == "year" ? "CAST(substr(" + v + ", 1, 4) AS INTEGER)"
                              : "(CAST(substr(" + v + ", 1, 4) AS INTEGER) * 12 + CAST(substr(" +
                                    v + ", 6, 2) AS INTEGER))";
      };
      sql_ += "(" + months(y) + " - " + months(x) + ")";
      return;
    }
    int prefix = 10;
    const char* suffix = "";
    int unit = 86400;
    if (part == "hour") {
      prefix = 13;
      suffix = " || ':00'";
      unit = 3600;
    } else if (part == "minute") {
      prefix = 16;
      unit = 60;
    } else if (part == "second") {
      prefix = 19;
      unit = 1;
    }
    auto seconds = [&](const std::string& v) {
      return "CAST(strftime('%s', substr(" + v + ", 1, " + std::to_string(prefix) + ")" + suffix +
             ") AS INTEGER)";
    };
    sql_ += "((" + seconds(y) + " - " + seconds(x) + ") / " + std::to_string(unit) + ")";
  }

  const ShapedStatement& shape_;
  const TranslatorOptions& options_;
  Translation& out_;
  std::string sql_;
  int next_alias_ = 0;
  bool in_aggregate_ = false;
  std::map<const OrderItem*, int> order_positions_;
  std::map<int, size_t> literal_params_;  // literal index -> its placeholder number
};

}  // namespace

bool Translation::Matches(const ShapedStatement& shape) const {
  for (const auto& [index, text] : fixed_literals) {
    if (index >= static_cast<int>(shape.literals.size()) || shape.literals[index].text != text) {
      return false;
    }
  }
  return true;
}

Translation Translate(const ShapedStatement& shape, const TranslatorOptions& options) {
  Statement st = ParseStatement(shape);
  Translation out;
  Translator(shape, options, out).Run(st);
  return out;
}

}  // namespace korimba::sql
