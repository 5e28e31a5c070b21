// Name resolution of the query shapes around SELECTs: set operations
// (UNION, EXCEPT, INTERSECT), derived tables and common tables (WITH,
// recursive ones included). Part of the NameResolver (name_resolver.h).
#include <algorithm>
#include <string>
#include <vector>

#include "db/name_resolver.h"
#include "db/sql_lexer.h"
#include "frame/error.h"
#include "frame/names.h"

namespace korimba::sql {
namespace {

const char* SetOpWord(SetOp op) {
  switch (op) {
    case SetOp::kExcept:
      return "EXCEPT";
    case SetOp::kIntersect:
      return "INTERSECT";
    default:
      return "UNION";
  }
}

// Whether a SELECT names `table` in its own FROM (not in subqueries).
bool NamesTable(const SelectStmt& leaf, const std::string& table) {
  return std::any_of(leaf.from.begin(), leaf.from.end(),
                     [&](const FromItem& f) { return !f.derived && SameName(f.table, table); });
}

}  // namespace

void NameResolver::ResolveSelect(SelectStmt& q, Scope* parent) {
  ResolveQuery(q, parent, parent != nullptr);
}

void NameResolver::ResolveQuery(SelectStmt& q, Scope* parent, bool nested) {
  if (!q.with.empty()) ResolveWith(q, parent);
  if (q.max_recursion) {
    Fix(q.max_recursion->literal_index);
    if (IntegerLiteralValue(shape_.literals[q.max_recursion->literal_index].text) > 32767) {
      ThrowDatabase("The value " + shape_.literals[q.max_recursion->literal_index].text +
                    " specified for the MAXRECURSION option exceeds the allowed maximum of 32767.");
    }
    resolved_.max_recursion = q.max_recursion.get();
  }
  if (q.set_op == SetOp::kNone) {
    ResolveSimple(q, parent, nested);
    return;
  }
  ResolveQuery(*q.left, parent, true);
  ResolveQuery(*q.right, parent, true);
  FinishSetOperation(q, parent);
}

// The columns of a set operation: as many in each arm, named by the first
// SELECT, typed by the precedence of every arm's types (the UNION page);
// ORDER BY names a result column or its position.
void NameResolver::FinishSetOperation(SelectStmt& q, Scope* parent) {
  q.scope = std::make_shared<Scope>();
  q.scope->parent = parent;
  const size_t width = Width(*q.left);
  if (Width(*q.right) != width) {
    ThrowDatabase(
        "All queries combined using a UNION, INTERSECT or EXCEPT operator must have an "
        "equal number of expressions in their target lists.");
  }
  q.set_types.clear();
  for (size_t i = 0; i < width; ++i) {
    std::vector<Expr*> values;
    CollectColumn(q, i, values);
    SqlType t = typer_.Common(values, SetOpWord(q.set_op));
    q.set_types.push_back(t == SqlType::kNull ? SqlType::kUnknown : t);
  }
  const SelectStmt& first = FirstLeaf(q);
  for (size_t i = 0; i < q.order_by.size(); ++i) {
    OrderItem& o = q.order_by[i];
    if (o.position_literal >= 0) {
      Fix(o.position_literal);
      const int64_t pos = IntegerLiteralValue(shape_.literals[o.position_literal].text);
      if (pos < 1 || pos > static_cast<int64_t>(width)) {
        ThrowDatabase("The ORDER BY position number " + shape_.literals[o.position_literal].text +
                      " is out of range of the number of items in the select list.");
      }
      resolved_.order_positions[&o] = static_cast<int>(pos);
      continue;
    }
    int found = -1;
    if (o.expr->kind == Expr::Kind::kColumn) {
      const std::string& name = o.expr->names.back();
      for (size_t c = 0; c < width && found < 0; ++c) {
        if (SameName(ResultName(first.items[c]), name)) found = static_cast<int>(c);
      }
    }
    if (found < 0) {
      ThrowDatabase(
          "ORDER BY items must appear in the select list if the statement contains a "
          "UNION, INTERSECT or EXCEPT operator.");
    }
    resolved_.order_positions[&o] = found + 1;
  }
}

void NameResolver::CollectColumn(SelectStmt& q, size_t i, std::vector<Expr*>& out) {
  if (q.set_op == SetOp::kNone) {
    out.push_back(q.items[i].expr.get());
    return;
  }
  CollectColumn(*q.left, i, out);
  CollectColumn(*q.right, i, out);
}

size_t NameResolver::Width(const SelectStmt& q) { return FirstLeaf(q).items.size(); }

SqlType NameResolver::ColumnType(const SelectStmt& q, size_t i) {
  if (q.set_op != SetOp::kNone) return q.set_types[i];
  return ResultType(q.items[i]);
}

int NameResolver::ColumnScale(const SelectStmt& q, size_t i) {
  if (q.set_op == SetOp::kNone) {
    const Expr& e = *q.items[i].expr;
    return e.type == SqlType::kTime ? e.time_scale : -1;
  }
  return std::max(ColumnScale(*q.left, i), ColumnScale(*q.right, i));
}

// A derived table or common table as a table of the schema: its columns
// named by `names` or else by the query's own names, each once.
const TableDef& NameResolver::MakeTable(SelectStmt& q, const std::string& name,
                                        const std::vector<std::string>& names) {
  const size_t width = Width(q);
  if (!names.empty() && names.size() != width) {
    ThrowDatabase("'" + name + "' has " + (names.size() < width ? "more" : "fewer") +
                  " columns than were specified in the column list.");
  }
  TableDef& def = resolved_.made_tables.emplace_back();
  def.name = "w" + std::to_string(resolved_.made_tables.size() - 1);
  SelectStmt& first = FirstLeaf(q);
  for (size_t i = 0; i < width; ++i) {
    ColumnDef col;
    col.name = names.empty() ? ResultName(first.items[i]) : names[i];
    col.type = ColumnType(q, i);
    col.time_scale = std::max(ColumnScale(q, i), 0);
    if (col.name.empty()) {
      ThrowDatabase("No column name was specified for column " + std::to_string(i + 1) + " of '" +
                    name + "'.");
    }
    if (def.IndexOf(col.name) >= 0) {
      ThrowDatabase("The column '" + col.name + "' was specified multiple times for '" + name +
                    "'.");
    }
    def.columns.push_back(std::move(col));
  }
  return def;
}

const TableDef& NameResolver::DerivedTable(FromItem& f, Scope& scope) {
  ResolveQuery(*f.derived, scope.parent, true);
  const TableDef& def = MakeTable(*f.derived, f.alias, f.column_aliases);
  SelectStmt& first = FirstLeaf(*f.derived);
  first.emit_names.clear();
  for (const ColumnDef& c : def.columns) first.emit_names.push_back(c.name);
  return def;
}

// WITH a AS (...), b AS (...): each sees the ones before it, a recursive
// one itself too. A common table is recursive when one of its body's
// SELECTs names it in its FROM: the SELECTs before the first such are its
// anchors, and from there on every SELECT is joined by UNION ALL (the WITH
// common_table_expression page).
void NameResolver::ResolveWith(SelectStmt& q, Scope* parent) {
  if (parent || !resolved_.ctes.empty()) {
    ThrowDatabase("WITH inside a query is not supported by the embedded database.");
  }
  for (CommonTable& cte : q.with) {
    for (const auto& other : resolved_.ctes) {
      if (SameName(other.name, cte.name)) {
        ThrowDatabase("Duplicate common table expression name '" + cte.name + "' was specified.");
      }
    }
    std::vector<SelectStmt*> arms;
    std::vector<SelectStmt*> joins;  // the set operations, innermost first
    SelectStmt* node = cte.query.get();
    while (node->set_op != SetOp::kNone) {
      joins.push_back(node);
      arms.push_back(node->right.get());
      node = node->left.get();
    }
    arms.push_back(node);
    std::reverse(arms.begin(), arms.end());
    std::reverse(joins.begin(), joins.end());
    size_t anchors = 0;
    while (anchors < arms.size() && arms[anchors]->set_op == SetOp::kNone &&
           !NamesTable(*arms[anchors], cte.name)) {
      ++anchors;
    }
    if (anchors == arms.size()) {
      ResolveQuery(*cte.query, nullptr, true);
      resolved_.ctes.push_back({cte.name, &MakeTable(*cte.query, cte.name, cte.columns), false});
      resolved_.visible_ctes = resolved_.ctes.size();
      continue;
    }
    if (anchors == 0) {
      ThrowDatabase("Recursive common table expression '" + cte.name +
                    "' does not contain a top-level UNION ALL operator.");
    }
    for (size_t i = anchors; i < arms.size(); ++i) {
      if (arms[i]->set_op != SetOp::kNone || joins[i - 1]->set_op != SetOp::kUnionAll) {
        ThrowDatabase("Recursive common table expression '" + cte.name +
                      "' does not contain a top-level UNION ALL operator.");
      }
      if (!NamesTable(*arms[i], cte.name)) {
        ThrowDatabase("In a recursive common table expression '" + cte.name +
                      "', anchor members must precede the recursive members.");
      }
      if (!cte.query->order_by.empty() || cte.query->offset_rows) {
        ThrowDatabase(
            "The ORDER BY clause is invalid in views, inline functions, derived "
            "tables, subqueries, and common table expressions, unless TOP, OFFSET or "
            "FOR XML is also specified.");
      }
    }
    // The anchors alone decide the columns.
    for (size_t i = 0; i < anchors; ++i) {
      ResolveQuery(*arms[i], nullptr, true);
      arms[i]->recursive_ref = -1;
    }
    for (size_t j = 0; j + 1 < anchors; ++j) FinishSetOperation(*joins[j], nullptr);
    SelectStmt& anchor = anchors == 1 ? *arms[0] : *joins[anchors - 2];
    const TableDef& def = MakeTable(anchor, cte.name, cte.columns);
    resolved_.ctes.push_back({cte.name, &def, true});
    resolved_.visible_ctes = resolved_.ctes.size();
    for (size_t i = anchors; i < arms.size(); ++i) {
      SelectStmt& arm = *arms[i];
      ResolveQuery(arm, nullptr, true);
      int self = -1;
      for (size_t b = 0; b < arm.scope->tables.size(); ++b) {
        if (arm.scope->tables[b].table != &def) continue;
        if (self >= 0) {
          ThrowDatabase("Recursive member of a common table expression '" + cte.name +
                        "' has multiple recursive references.");
        }
        self = static_cast<int>(b);
      }
      if (arm.scope->has_aggregate || !arm.group_by.empty() || arm.distinct || arm.top) {
        ThrowDatabase(
            "GROUP BY, HAVING, aggregates, DISTINCT and TOP are not allowed in the "
            "recursive part of a recursive common table expression '" +
            cte.name + "'.");
      }
      arm.recursive_ref = self;
      FinishSetOperation(*joins[i - 1], nullptr);
      for (size_t c = 0; c < def.columns.size(); ++c) {
        if (!IsLoose(ColumnType(arm, c)) && !IsLoose(def.columns[c].type) &&
            ColumnType(arm, c) != def.columns[c].type) {
          ThrowDatabase("Types don't match between the anchor and the recursive part in column \"" +
                        def.columns[c].name + "\" of recursive query \"" + cte.name + "\".");
        }
      }
    }
  }
}

// INSERT ... SELECT: as many values as columns, each converted as a value
// stored into its column (the INSERT page's errors 120, 121 and 213).
void NameResolver::InsertSelect(InsertStmt& ins, const TableDef& table,
                                const std::vector<int>& columns) {
  ResolveQuery(*ins.select, nullptr, false);
  const size_t width = Width(*ins.select);
  if (width != columns.size()) {
    if (ins.columns.empty()) {
      ThrowDatabase("Column name or number of supplied values does not match table definition.");
    }
    ThrowDatabase(std::string("The select list for the INSERT statement contains ") +
                  (width < columns.size() ? "fewer" : "more") +
                  " items than the insert list. The number of SELECT values must match the "
                  "number of INSERT columns.");
  }
  for (size_t i = 0; i < width; ++i) {
    std::vector<Expr*> values;
    CollectColumn(*ins.select, i, values);
    for (Expr* v : values) typer_.Assign(*v, table.columns[columns[i]]);
  }
}

// The table UPDATE / DELETE writes when they have a FROM (or a TOP): the
// FROM's table of that alias, or its one table of that name; a table the
// FROM does not name joins it as one more table, as in SQL Server. Resolves
// the source with the WHERE and notes the binding and its key.
const TableDef& NameResolver::SourceTarget(SelectStmt& source, const std::string& target) {
  int match = -1, by_name = -1, named = 0;
  for (size_t i = 0; i < source.from.size(); ++i) {
    const FromItem& f = source.from[i];
    if (!f.alias.empty() ? SameName(f.alias, target) : SameName(f.table, target)) {
      match = static_cast<int>(i);
    }
    if (!f.derived && SameName(f.table, target)) {
      by_name = static_cast<int>(i);
      ++named;
    }
  }
  if (match < 0 && named == 1) match = by_name;
  if (match < 0) {
    FromItem self;
    self.table = target;
    source.from.front().join = FromItem::Join::kComma;
    source.from.insert(source.from.begin(), std::move(self));
    match = 0;
  }
  if (source.from[match].derived) {
    ThrowDatabase("Changing a derived table is not supported by the embedded database.");
  }
  ResolveSimple(source, nullptr, false);
  const TableBinding& b = source.scope->tables[match];
  const TableDef* schema_table = StoredTable(b.table->name);
  if (schema_table != b.table) {
    ThrowDatabase("Changing a common table is not supported by the embedded database.");
  }
  int key = b.table->identity_column;
  for (size_t c = 0; key < 0 && c < b.table->columns.size(); ++c) {
    if (b.table->columns[c].unique) key = static_cast<int>(c);
  }
  if (key < 0) {
    ThrowDatabase("UPDATE and DELETE with FROM or TOP need a key on '" + b.table->name +
                  "' on the embedded database.");
  }
  resolved_.target_binding = match;
  resolved_.key_column = key;
  return *b.table;
}

void NameResolver::UpdateThroughSource(UpdateStmt& up) {
  const TableDef& table = SourceTarget(*up.source, up.table);
  Scope& scope = *up.source->scope;
  std::vector<int> columns = ResolveAssignments(up, table, scope);
  if (scope.has_aggregate) {
    ThrowDatabase("An aggregate may not appear in the set list of an UPDATE statement.");
  }
  resolved_.table = &table;
  resolved_.columns = std::move(columns);
}

}  // namespace korimba::sql
