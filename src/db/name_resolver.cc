// Name resolution: tables, scopes, columns, ORDER BY, grouping and the
// tables of INSERT / UPDATE / DELETE.
#include "db/name_resolver.h"

#include <algorithm>
#include <memory>
#include <string>

#include "db/sql_lexer.h"
#include "frame/error.h"
#include "frame/names.h"

namespace korimba::sql {

void NameResolver::Run(Statement& st) {
  out_.kind = st.kind;
  switch (st.kind) {
    case StatementKind::kSelect: {
      SelectStmt& q = *st.select;
      ResolveSelect(q, nullptr);
      const SelectStmt& first = FirstLeaf(q);
      for (size_t i = 0; i < first.items.size(); ++i) {
        out_.columns.push_back({ResultName(first.items[i]), ColumnType(q, i), ColumnScale(q, i)});
      }
      break;
    }
    case StatementKind::kInsert:
      ResolveInsert(*st.insert);
      break;
    case StatementKind::kUpdate:
      ResolveUpdate(*st.update);
      break;
    case StatementKind::kDelete:
      ResolveDelete(*st.del);
      break;
  }
}

const TableDef& NameResolver::Table(const std::string& name) {
  for (size_t i = 0; i < resolved_.visible_ctes; ++i) {
    if (SameName(resolved_.ctes[i].name, name)) return *resolved_.ctes[i].table;
  }
  const TableDef* t = StoredTable(name);
  if (!t) ThrowDatabase("Invalid object name '" + name + "'.");
  return *t;
}

const TableDef* NameResolver::StoredTable(const std::string& name) const {
  if (!name.empty() && name[0] == '#') return temp_tables_ ? temp_tables_->Find(name) : nullptr;
  return FindTable(name);
}

void NameResolver::ResolveSimple(SelectStmt& sel, Scope* parent, bool nested) {
  sel.scope = std::make_shared<Scope>();
  Scope& scope = *sel.scope;
  scope.parent = parent;
  scope.select = &sel;
  for (FromItem& f : sel.from) {
    TableBinding b;
    b.table = f.derived ? &DerivedTable(f, scope) : &Table(f.table);
    b.exposed = f.alias.empty() ? f.table : f.alias;
    // Appended piecewise: GCC 12 warns falsely (-Wrestrict) on "t" + to_string.
    b.emit_name.push_back('t');
    b.emit_name += std::to_string(resolved_.next_alias++);
    for (const TableBinding& other : scope.tables) {
      if (SameName(other.exposed, b.exposed)) {
        ThrowDatabase("The objects \"" + other.exposed + "\" and \"" + b.exposed +
                      "\" in the FROM clause have the same exposed names. Use correlation "
                      "names to distinguish them.");
      }
    }
    scope.tables.push_back(std::move(b));
    if (f.on) {
      typer_.Resolve(*f.on, scope, Clause::kOn);
      RequirePredicate(*f.on);
    }
  }
  ExpandStars(sel, scope);
  for (SelectItem& item : sel.items) {
    if (item.expr->kind == Expr::Kind::kColumn && item.expr->binding >= 0) continue;  // from *
    typer_.Resolve(*item.expr, scope, Clause::kSelectList);
    if (IsPredicate(*item.expr)) {
      ThrowDatabase("Incorrect syntax near '" + item.expr->op + "'.");
    }
    if (item.alias_literal >= 0) Fix(item.alias_literal);
  }
  if (sel.top) ResolveTop(sel);
  for (Expr* count : {sel.offset_rows.get(), sel.fetch_rows.get()}) {
    if (!count) continue;
    if (count->kind != Expr::Kind::kLiteral || count->marker != kIntegerMarker) {
      // An expression sees no columns of its SELECT, as TOP's does; its
      // value is checked as the statement runs (the writer).
      typer_.Resolve(*count, resolved_.top_scope, Clause::kTop);
      const SqlType t = count->type;
      if (t != SqlType::kInt && t != SqlType::kSmallInt && t != SqlType::kBit && !IsLoose(t)) {
        ThrowDatabase(std::string("The number of rows provided for a ") +
                      (count == sel.offset_rows.get() ? "OFFSET" : "FETCH") +
                      " clause must be an integer.");
      }
      continue;
    }
    count->param.target = SqlType::kInt;
    count->type = SqlType::kInt;
  }
  if (sel.fetch_rows && sel.fetch_rows->kind == Expr::Kind::kLiteral) {
    Fix(sel.fetch_rows->literal_index);
    if (IntegerLiteralValue(shape_.literals[sel.fetch_rows->literal_index].text) == 0) {
      ThrowDatabase("The number of rows provided for a FETCH clause must be greater then zero.");
    }
  }
  if (sel.where) {
    typer_.Resolve(*sel.where, scope, Clause::kWhere);
    RequirePredicate(*sel.where);
  }
  for (ExprPtr& g : sel.group_by) {
    typer_.Resolve(*g, scope, Clause::kGroupBy);
    if (!HasOwnColumn(*g)) {
      ThrowDatabase(
          "Each GROUP BY expression must contain at least one column that is not an outer "
          "reference.");
    }
  }
  if (sel.having) {
    typer_.Resolve(*sel.having, scope, Clause::kHaving);
    RequirePredicate(*sel.having);
  }
  if (nested && !sel.order_by.empty() && !sel.top && !sel.offset_rows) {
    ThrowDatabase(
        "The ORDER BY clause is invalid in views, inline functions, derived tables, "
        "subqueries, and common table expressions, unless TOP, OFFSET or FOR XML is "
        "also specified.");
  }
  for (size_t i = 0; i < sel.order_by.size(); ++i) ResolveOrderItem(sel, scope, sel.order_by[i], i);
  if (!sel.group_by.empty() || scope.has_aggregate) CheckGrouping(sel);
  if (sel.distinct) {
    for (OrderItem& o : sel.order_by) {
      // A position, or an alias of the select list, names an item itself.
      if (o.position_literal >= 0 || !o.expr || resolved_.order_positions.count(&o)) continue;
      bool found = false;
      for (SelectItem& item : sel.items) found = found || Same(*item.expr, *o.expr);
      if (!found) {
        ThrowDatabase(
            "ORDER BY items must appear in the select list if SELECT DISTINCT is specified.");
      }
    }
  }
}

void NameResolver::ExpandStars(SelectStmt& sel, Scope& scope) {
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
      if (!item.star_qualifier.empty() && !SameName(tb.exposed, item.star_qualifier)) continue;
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

void NameResolver::ResolveOrderItem(SelectStmt& sel, Scope& scope, OrderItem& o, size_t index) {
  if (o.position_literal >= 0) {
    Fix(o.position_literal);
    const int64_t pos = IntegerLiteralValue(shape_.literals[o.position_literal].text);
    if (pos < 1 || pos > static_cast<int64_t>(sel.items.size())) {
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
          SameName(sel.items[i].alias, e.names[0])) {
        resolved_.order_positions[&o] = static_cast<int>(i + 1);
        return;
      }
    }
  }
  typer_.Resolve(e, scope, Clause::kOrderBy);
}

// TOP n is bound as an int, n PERCENT as a float; an expression in
// parentheses sees no columns of its SELECT and is checked as it runs.
void NameResolver::ResolveTop(SelectStmt& sel) {
  Expr& top = *sel.top;
  const SqlType want = sel.top_percent ? SqlType::kFloat : SqlType::kInt;
  if (top.kind == Expr::Kind::kLiteral) {
    top.param.target = want;
    top.type = want;
  } else {
    typer_.Resolve(top, resolved_.top_scope, Clause::kTop);
    if (!IsNumeric(top.type) && !IsLoose(top.type)) {
      ThrowDatabase("The TOP clause takes a number, not " + std::string(TypeWord(top.type)) + ".");
    }
  }
  if (sel.top_ties && sel.order_by.empty()) {
    ThrowDatabase(
        "The TOP N WITH TIES clause is not allowed without a corresponding ORDER BY clause.");
  }
  if ((sel.top_ties || sel.top_percent) && sel.distinct) {
    ThrowDatabase(
        "TOP ... PERCENT and WITH TIES beside DISTINCT are not supported by the "
        "embedded database.");
  }
}

bool NameResolver::HasOwnColumn(const Expr& e) const {
  if (e.kind == Expr::Kind::kColumn) return e.scope_depth == 0;
  for (const ExprPtr& a : e.args) {
    if (a && HasOwnColumn(*a)) return true;
  }
  return false;
}

void NameResolver::ResolveColumn(Expr& e, Scope& scope) {
  const bool qualified = e.names.size() == 2;
  const std::string& column = e.names.back();
  int depth = 0;
  for (Scope* s = &scope; s; s = s->parent, ++depth) {
    int found_binding = -1;
    int found_column = -1;
    bool qualifier_seen = false;
    for (size_t b = 0; b < s->tables.size(); ++b) {
      const TableBinding& tb = s->tables[b];
      if (qualified && !SameName(tb.exposed, e.names[0])) continue;
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
      const ColumnDef& col = s->tables[found_binding].table->columns[found_column];
      e.type = col.type;
      e.time_scale = col.time_scale;
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

void NameResolver::ResolveSubquery(SelectStmt& sub, Scope& scope) {
  ResolveSelect(sub, &scope);
  if (Width(sub) != 1) {
    ThrowDatabase(
        "Only one expression can be specified in the select list when the subquery "
        "is not introduced with EXISTS.");
  }
}

// SQL Server fails when a subquery used as a value returns several rows;
// SQLite would take the first. Only subqueries that cannot return more
// than one row are run: TOP 1, an aggregate without GROUP BY, or an
// equality on a key column of their single table.
void NameResolver::RequireSingleRow(SelectStmt& sub) {
  if (sub.set_op != SetOp::kNone) {
    ThrowDatabase(
        "A subquery used as a value must select at most one row (by its key, TOP 1 or an "
        "aggregate) on the embedded database.");
  }
  if (sub.top && sub.top->kind == Expr::Kind::kLiteral && !sub.top_percent && !sub.top_ties) {
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

bool NameResolver::KeyEquality(const Expr& e, const Scope& scope) const {
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

bool NameResolver::Same(Expr& a, Expr& b) {
  if (a.kind != b.kind || a.over || b.over) return false;
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
      if (a.binding < 0 || b.binding < 0) {  // a date part's name
        return a.binding == b.binding && a.names.size() == 1 && b.names.size() == 1 &&
               SameName(a.names[0], b.names[0]);
      }
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
      if (a.op != b.op || a.negated != b.negated || a.star != b.star || a.distinct != b.distinct) {
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
Expr* NameResolver::Ungrouped(Expr& e, SelectStmt& sel) {
  for (ExprPtr& g : sel.group_by) {
    if (Same(e, *g)) return nullptr;
  }
  switch (e.kind) {
    case Expr::Kind::kColumn:
      return e.scope_depth == 0 ? &e : nullptr;
    case Expr::Kind::kFunction:
      if (IsAggregateName(e.op) && !e.over) return nullptr;
      if (e.over) {
        for (ExprPtr& p : e.over->partition_by) {
          if (Expr* bad = Ungrouped(*p, sel)) return bad;
        }
        for (OrderItem& o : e.over->order_by) {
          if (Expr* bad = Ungrouped(*o.expr, sel)) return bad;
        }
      }
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
        (e.op == "DATEDIFF" || e.op == "DATEADD" || e.op == "DATEPART" || e.op == "DATENAME")) {
      continue;
    }
    if (Expr* bad = Ungrouped(*a, sel)) return bad;
  }
  return nullptr;
}

void NameResolver::CheckGrouping(SelectStmt& sel) {
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
    if (!o.expr || resolved_.order_positions.count(&o)) continue;
    if (Expr* bad = Ungrouped(*o.expr, sel)) fail(*bad, "ORDER BY clause");
  }
}

std::string NameResolver::ResultName(const SelectItem& item) const {
  if (item.alias_literal >= 0) return shape_.literals[item.alias_literal].text;
  if (item.has_alias) return item.alias;
  if (item.expr->kind == Expr::Kind::kColumn) return item.expr->names.back();
  return "";
}

SqlType NameResolver::ResultType(const SelectItem& item) {
  return item.expr->type == SqlType::kNull ? SqlType::kUnknown : item.expr->type;
}

void NameResolver::ResolveInsert(InsertStmt& ins) {
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
  if (ins.select) InsertSelect(ins, table, columns);
  Scope& scope = resolved_.dml_scope;  // VALUES see no columns
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
      typer_.Resolve(*row[i], scope, Clause::kValue);
      typer_.Assign(*row[i], col);
    }
  }
  std::vector<int> defaults;
  for (size_t c = 0; c < table.columns.size(); ++c) {
    if (table.columns[c].default_now &&
        std::find(columns.begin(), columns.end(), static_cast<int>(c)) == columns.end()) {
      defaults.push_back(static_cast<int>(c));
    }
  }
  resolved_.table = &table;
  resolved_.columns = std::move(columns);
  resolved_.defaults = std::move(defaults);
  if (table.identity_column >= 0) out_.identity_table = table.name;
}

// The target columns of an UPDATE's SET list, in its order, each value typed
// in `scope` and assigned to its column's type.
std::vector<int> NameResolver::ResolveAssignments(UpdateStmt& up, const TableDef& table,
                                                  Scope& scope) {
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
    typer_.Resolve(*a.value, scope, Clause::kValue);
    typer_.Assign(*a.value, table.columns[c]);
  }
  return columns;
}

void NameResolver::ResolveUpdate(UpdateStmt& up) {
  if (up.source) {
    UpdateThroughSource(up);
    return;
  }
  const TableDef& table = Table(up.table);
  Scope& scope = resolved_.dml_scope;
  scope.tables.push_back({&table, up.table, Quote(table.name)});
  std::vector<int> columns = ResolveAssignments(up, table, scope);
  if (up.where) {
    typer_.Resolve(*up.where, scope, Clause::kWhere);
    RequirePredicate(*up.where);
  }
  resolved_.table = &table;
  resolved_.columns = std::move(columns);
}

void NameResolver::ResolveDelete(DeleteStmt& del) {
  if (del.source) {
    resolved_.table = &SourceTarget(*del.source, del.table);
    return;
  }
  const TableDef& table = Table(del.table);
  Scope& scope = resolved_.dml_scope;
  scope.tables.push_back({&table, del.table, Quote(table.name)});
  if (del.where) {
    typer_.Resolve(*del.where, scope, Clause::kWhere);
    RequirePredicate(*del.where);
  }
  resolved_.table = &table;
}

}  // namespace korimba::sql
