// Writing the SQLite text of a resolved statement.
#include "db/sqlite_writer.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/plan_span.h"
#include "db/schema.h"
#include "db/sql_lexer.h"
#include "db/sqlite_functions.h"
#include "db/translator.h"
#include "frame/error.h"

namespace korimba::sql {
namespace {

// Some translations repeat an operand (CAST to bit tests it twice, CONVERT
// style 112 takes three pieces of it), so nested ones grow geometrically;
// past this length the statement is refused instead of eating memory.
constexpr size_t kMaxSqlLength = 1 << 20;

void CheckLength(const std::string& text) {
  if (text.size() > kMaxSqlLength) {
    ThrowDatabase(
        "The statement is too complex for the embedded database: its translation exceeds " +
        std::to_string(kMaxSqlLength) + " characters.");
  }
}

// The result type's letter in korimba_arith's operator string.
char ArithTypeLetter(SqlType t) {
  switch (t) {
    case SqlType::kSmallInt:
      return 's';
    case SqlType::kInt:
    case SqlType::kBit:
      return 'i';
    case SqlType::kReal:
      return 'r';
    case SqlType::kDecimal:
      return 'd';
    default:
      return 'f';
  }
}

// A composite CONVERT style (StyleForm::pattern) over the canonical text
// `x`: its pieces joined as the pattern says.
std::string DatePattern(std::string_view pattern, const std::string& x) {
  std::string out = "(";
  std::string literal;
  auto piece = [&](const std::string& text) {
    if (!literal.empty()) {
      out += (out.size() > 1 ? " || '" : "'") + literal + "'";
      literal.clear();
    }
    out += (out.size() > 1 ? " || " : "") + text;
  };
  for (size_t i = 0; i < pattern.size();) {
    const std::string_view rest = pattern.substr(i);
    if (rest.substr(0, 4) == "YYYY") {
      piece("substr(" + x + ", 1, 4)");
      i += 4;
    } else if (rest.substr(0, 2) == "YY") {
      piece("substr(" + x + ", 3, 2)");
      i += 2;
    } else if (rest.substr(0, 2) == "MM") {
      piece("substr(" + x + ", 6, 2)");
      i += 2;
    } else if (rest.substr(0, 2) == "DD") {
      piece("substr(" + x + ", 9, 2)");
      i += 2;
    } else {
      literal += pattern[i++];
    }
  }
  if (!literal.empty()) out += " || '" + literal + "'";
  return out + ")";
}

}  // namespace

void SqliteWriter::Run(Statement& st) {
  next_alias_ = resolved_.next_alias;
  switch (st.kind) {
    case StatementKind::kSelect:
      EmitWith(*st.select);
      EmitQuery(*st.select);
      break;
    case StatementKind::kInsert:
      WriteInsert(*st.insert);
      break;
    case StatementKind::kUpdate:
      WriteUpdate(*st.update);
      break;
    case StatementKind::kDelete:
      WriteDelete(*st.del);
      break;
  }
  CheckLength(sql_);
  out_.sql = std::move(sql_);
}

void SqliteWriter::WriteInsert(InsertStmt& ins) {
  const TableDef& table = *resolved_.table;
  const std::vector<int>& columns = resolved_.columns;
  const std::vector<int>& defaults = resolved_.defaults;
  Scope& scope = resolved_.dml_scope;
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
  sql_ += ") ";
  if (ins.select) {
    // The defaulted columns' values follow the query's own.
    if (defaults.empty()) {
      EmitQuery(*ins.select);
      return;
    }
    sql_ += "SELECT *";
    for (size_t d = 0; d < defaults.size(); ++d) {
      sql_ += ", ";
      AddParam(ParamSpec{ParamSource::kNow});
    }
    sql_ += " FROM (";
    EmitQuery(*ins.select);
    sql_ += ")";
    return;
  }
  sql_ += "VALUES ";
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
}

void SqliteWriter::WriteUpdate(UpdateStmt& up) {
  const TableDef& table = *resolved_.table;
  const std::vector<int>& columns = resolved_.columns;
  Scope& scope = resolved_.dml_scope;
  if (up.source) {
    // The source picks the rows and computes their new values; SQLite's
    // UPDATE ... FROM joins it to the table by the key.
    sql_ = "UPDATE " + Quote(table.name) + " SET ";
    for (size_t i = 0; i < up.sets.size(); ++i) {
      if (i) sql_ += ", ";
      sql_ += Quote(table.columns[columns[i]].name) + " = s0.v" + std::to_string(i);
    }
    sql_ += " FROM (";
    EmitSourceKey(*up.source);
    for (size_t i = 0; i < up.sets.size(); ++i) {
      sql_ += ", ";
      Emit(*up.sets[i].value, *up.source->scope);
      sql_ += " AS v" + std::to_string(i);
    }
    EmitSourceRest(*up.source);
    const std::string key = Quote(table.columns[resolved_.key_column].name);
    sql_ += ") AS s0 WHERE " + Quote(table.name) + "." + key + " = s0.k";
    return;
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

void SqliteWriter::WriteDelete(DeleteStmt& del) {
  const TableDef& table = *resolved_.table;
  Scope& scope = resolved_.dml_scope;
  sql_ = "DELETE FROM " + Quote(table.name);
  if (del.source) {
    sql_ += " WHERE " + Quote(table.columns[resolved_.key_column].name) + " IN (";
    EmitSourceKey(*del.source);
    EmitSourceRest(*del.source);
    sql_ += ")";
    return;
  }
  if (del.where) {
    sql_ += " WHERE ";
    Emit(*del.where, scope);
  }
}

// The source SELECT of UPDATE / DELETE: the key of the table written, then
// (after the caller's items) its FROM, WHERE and TOP.
void SqliteWriter::EmitSourceKey(SelectStmt& source) {
  const TableBinding& b = source.scope->tables[resolved_.target_binding];
  sql_ +=
      "SELECT " + b.emit_name + "." + Quote(b.table->columns[resolved_.key_column].name) + " AS k";
}

void SqliteWriter::EmitSourceRest(SelectStmt& source) {
  EmitFromAndWhere(source);
  if (source.top) {
    sql_ += " LIMIT ";
    EmitTopCount(source);
  }
}

void SqliteWriter::AddParam(const ParamSpec& p) {
  out_.params.push_back(p);
  // Appended piecewise: GCC 12 warns falsely (-Wrestrict) on "?" + to_string.
  sql_ += '?';
  sql_ += std::to_string(out_.params.size());
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
bool SqliteWriter::EmitThroughPlanSpans(SelectStmt& sel, std::string& tie_break) {
  Scope& scope = *sel.scope;
  if (!options_.plan_spans || sel.from.size() != 1 || !sel.where ||
      scope.tables[0].table != FindTable("DATA_Plan")) {
    return false;
  }
  const std::string where = EmitToString(*sel.where, scope);
  const SpanBox box = DeriveSpanBox(*sel.where, [this](int literal_index) {
    std::string placeholder = "?";
    placeholder += std::to_string(literal_params_.at(literal_index));
    return placeholder;
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

// WITH RECURSIVE, whether or not one of the common tables is: SQLite then
// takes each as SQL Server does. A recursive one carries its recursion
// level in one more column, which korimba_recursion checks against
// MAXRECURSION as each row is made.
void SqliteWriter::EmitWith(SelectStmt& q) {
  if (q.with.empty()) return;
  sql_ += "WITH RECURSIVE ";
  for (size_t i = 0; i < q.with.size(); ++i) {
    const auto& binding = resolved_.ctes[i];
    if (binding.recursive && !options_.custom_functions) {
      ThrowDatabase("Recursive common table expressions are not supported by this provider.");
    }
    if (i) sql_ += ", ";
    sql_ += Quote(binding.table->name) + "(";
    for (size_t c = 0; c < binding.table->columns.size(); ++c) {
      if (c) sql_ += ", ";
      sql_ += Quote(binding.table->columns[c].name);
    }
    if (binding.recursive) sql_ += std::string(", ") + kLevelColumn;
    sql_ += ") AS (";
    EmitQuery(*q.with[i].query);
    sql_ += ")";
  }
  sql_ += " ";
}

namespace {

const char* SetOpText(SetOp op) {
  switch (op) {
    case SetOp::kUnionAll:
      return " UNION ALL ";
    case SetOp::kExcept:
      return " EXCEPT ";
    case SetOp::kIntersect:
      return " INTERSECT ";
    default:
      return " UNION ";
  }
}

}  // namespace

// A set operation: SQLite joins the arms of a compound from the left, so a
// left arm that is itself one is written flat and any other arm that is
// one, or has its own TOP, ORDER BY or OFFSET, becomes a subquery. The
// first SELECT's text columns carry the collation, which SQLite then uses
// for the whole compound (its duplicates, INTERSECT, EXCEPT, ORDER BY).
void SqliteWriter::EmitQuery(SelectStmt& q) {
  if (q.set_op == SetOp::kNone) {
    EmitSelect(q);
    return;
  }
  EmitArm(*q.left, true);
  sql_ += SetOpText(q.set_op);
  EmitArm(*q.right, false);
  if (!q.order_by.empty()) {
    sql_ += " ORDER BY ";
    for (size_t i = 0; i < q.order_by.size(); ++i) {
      const OrderItem& o = q.order_by[i];
      if (i) sql_ += ", ";
      const int position = resolved_.order_positions.at(&o);
      sql_ += std::to_string(position);
      if (q.set_types[position - 1] == SqlType::kText) {
        sql_ += " COLLATE ";
        sql_ += options_.custom_functions ? kTextCollation : "NOCASE";
      }
      if (o.desc) sql_ += " DESC";
    }
  }
  EmitOffset(q, *q.scope);
}

void SqliteWriter::EmitArm(SelectStmt& arm, bool leftmost) {
  const bool plain = arm.order_by.empty() && !arm.offset_rows && !arm.top;
  if (plain && arm.set_op == SetOp::kNone) {
    collate_items_ = leftmost;
    EmitSelect(arm);
  } else if (plain && leftmost) {
    EmitArm(*arm.left, true);
    sql_ += SetOpText(arm.set_op);
    EmitArm(*arm.right, false);
  } else {
    sql_ += "SELECT * FROM (";
    collate_items_ = leftmost;
    EmitQuery(arm);
    sql_ += ")";
  }
}

void SqliteWriter::EmitSelect(SelectStmt& sel) {
  if (sel.top && (sel.top_ties || sel.top_percent)) {
    EmitTopWindow(sel);
    return;
  }
  Scope& scope = *sel.scope;
  const bool collate = sel.distinct || collate_items_;
  collate_items_ = false;
  sql_ += "SELECT ";
  if (sel.distinct) sql_ += "DISTINCT ";
  for (size_t i = 0; i < sel.items.size(); ++i) {
    if (i) sql_ += ", ";
    // DISTINCT compares by each item's collation.
    Expr& item = *sel.items[i].expr;
    EmitCollated(item, scope, collate ? TextCollation(item, nullptr) : nullptr);
    if (i < sel.emit_names.size()) sql_ += " AS " + Quote(sel.emit_names[i]);
  }
  if (sel.recursive_ref == -1) {
    sql_ += std::string(", 0 AS ") + kLevelColumn;
  } else if (sel.recursive_ref >= 0) {
    sql_ += ", korimba_recursion(" + scope.tables[sel.recursive_ref].emit_name + "." +
            kLevelColumn + " + 1, ";
    if (resolved_.max_recursion) {
      sql_ += shape_.literals[resolved_.max_recursion->literal_index].text;
    } else {
      sql_ += "100";
    }
    sql_ += ")";
  }
  std::string tie_break;
  if (!EmitThroughPlanSpans(sel, tie_break)) EmitFromAndWhere(sel);
  if (tie_break.empty()) tie_break = TopTieBreak(sel);
  EmitSelectTail(sel, tie_break);
}

// Which rows TOP keeps among those that tie in its ORDER BY is the
// database's choice. This one keeps the rows of the first table with the
// highest identity (the latest inserted) when the last ORDER BY item runs
// downwards, the lowest when it runs upwards: the retention rule's "top 25
// ... order by msgCreatetime desc" then keeps the message just posted even
// when many share its time. Grouped or DISTINCT selects have no such
// column to order by and keep SQLite's order.
std::string SqliteWriter::TopTieBreak(const SelectStmt& sel) const {
  const Scope& scope = *sel.scope;
  if (!sel.top || sel.order_by.empty() || !sel.group_by.empty() || scope.has_aggregate ||
      sel.distinct || scope.tables.empty()) {
    return "";
  }
  const TableBinding& first = scope.tables[0];
  const int key = first.table->identity_column;
  if (key < 0) return "";
  for (const OrderItem& o : sel.order_by) {
    const Expr* e = o.expr.get();
    if (e && e->kind == Expr::Kind::kColumn && e->scope_depth == 0 && e->binding == 0 &&
        e->column == key) {
      return "";
    }
  }
  return first.emit_name + "." + Quote(first.table->columns[key].name) +
         (sel.order_by.back().desc ? " DESC" : "");
}

void SqliteWriter::EmitFromAndWhere(SelectStmt& sel) {
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
        case FromItem::Join::kRight:
          sql_ += " RIGHT JOIN ";
          break;
        case FromItem::Join::kFull:
          sql_ += " FULL JOIN ";
          break;
        case FromItem::Join::kCross:
          sql_ += " JOIN ";
          break;
      }
      if (f.derived) {
        sql_ += "(";
        EmitQuery(*f.derived);
        sql_ += ") AS " + b.emit_name;
      } else {
        sql_ += Quote(b.table->name) + " AS " + b.emit_name;
      }
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

void SqliteWriter::EmitGroupAndHaving(SelectStmt& sel) {
  Scope& scope = *sel.scope;
  if (!sel.group_by.empty()) {
    sql_ += " GROUP BY ";
    for (size_t i = 0; i < sel.group_by.size(); ++i) {
      if (i) sql_ += ", ";
      EmitCollated(*sel.group_by[i], scope, TextCollation(*sel.group_by[i], nullptr));
    }
  }
  if (sel.having) {
    sql_ += " HAVING ";
    Emit(*sel.having, scope);
  }
}

// TOP n WITH TIES and TOP n PERCENT: the SELECT numbers its rows in its
// ORDER BY (rank() for ties, so that rows tying with the last one share
// its number) and counts them, and the rows up to n, or up to n percent of
// the count rounded up, are kept in that order.
void SqliteWriter::EmitTopWindow(SelectStmt& sel) {
  Scope& scope = *sel.scope;
  const bool collate = collate_items_;
  collate_items_ = false;
  std::vector<std::string> names = sel.emit_names;
  for (size_t i = names.size(); i < sel.items.size(); ++i) names.push_back("k" + std::to_string(i));
  sql_ += "SELECT ";
  for (size_t i = 0; i < sel.items.size(); ++i) {
    if (i) sql_ += ", ";
    sql_ += Quote(names[i]);
  }
  sql_ += " FROM (SELECT ";
  for (size_t i = 0; i < sel.items.size(); ++i) {
    Expr& item = *sel.items[i].expr;
    EmitCollated(item, scope, collate ? TextCollation(item, nullptr) : nullptr);
    sql_ += " AS " + Quote(names[i]) + ", ";
  }
  sql_ += sel.top_ties ? "rank() OVER (" : "row_number() OVER (";
  for (size_t i = 0; i < sel.order_by.size(); ++i) {
    OrderItem& o = sel.order_by[i];
    sql_ += i ? ", " : "ORDER BY ";
    Expr* e = o.expr.get();
    auto pos = resolved_.order_positions.find(&o);
    if (o.position_literal >= 0) {
      e = sel.items[IntegerLiteralValue(shape_.literals[o.position_literal].text) - 1].expr.get();
    } else if (pos != resolved_.order_positions.end()) {
      e = sel.items[pos->second - 1].expr.get();
    }
    EmitCollated(*e, scope, TextCollation(*e, nullptr));
    if (o.desc) sql_ += " DESC";
  }
  sql_ += ") AS korimba_rank";
  if (sel.top_percent) sql_ += ", count(*) OVER () AS korimba_total";
  EmitFromAndWhere(sel);
  EmitGroupAndHaving(sel);
  sql_ += ") WHERE ";
  if (sel.top_percent) {
    sql_ += "(korimba_rank - 1) * 100 < ";
    EmitTopCount(sel);
    sql_ += " * korimba_total";
  } else {
    sql_ += "korimba_rank <= ";
    EmitTopCount(sel);
  }
  sql_ += " ORDER BY korimba_rank";
}

void SqliteWriter::EmitSelectTail(SelectStmt& sel, const std::string& tie_break) {
  Scope& scope = *sel.scope;
  EmitGroupAndHaving(sel);
  if (!sel.order_by.empty()) {
    sql_ += " ORDER BY ";
    for (size_t i = 0; i < sel.order_by.size(); ++i) {
      OrderItem& o = sel.order_by[i];
      if (i) sql_ += ", ";
      auto pos = resolved_.order_positions.find(&o);
      int position = 0;
      if (o.position_literal >= 0) {
        position = static_cast<int>(IntegerLiteralValue(shape_.literals[o.position_literal].text));
      } else if (pos != resolved_.order_positions.end()) {
        position = pos->second;
      }
      if (position > 0) {
        // A position sorts by its item's collation, which SQLite would
        // otherwise take from the item (binary for an expression).
        sql_ += std::to_string(position);
        const bool stars = std::any_of(sel.items.begin(), sel.items.end(),
                                       [](const SelectItem& it) { return it.star; });
        const Expr* item = !stars && position <= static_cast<int>(sel.items.size())
                               ? sel.items[position - 1].expr.get()
                               : nullptr;
        if (const char* c = item ? TextCollation(*item, nullptr) : nullptr) {
          sql_ += " COLLATE ";
          sql_ += c;
        }
      } else {
        EmitCollated(*o.expr, scope, TextCollation(*o.expr, nullptr));
      }
      if (o.desc) sql_ += " DESC";
    }
    if (!tie_break.empty()) sql_ += ", " + tie_break;
  }
  EmitOffset(sel, scope);
  if (sel.top) {
    sql_ += " LIMIT ";
    EmitTopCount(sel);
  }
}

// TOP n as bound; TOP (expression) through korimba_top, which fails on a
// count SQL Server refuses (SQLite's LIMIT would take a negative one as
// no limit at all).
void SqliteWriter::EmitTopCount(SelectStmt& sel) {
  Expr& top = *sel.top;
  if (top.kind == Expr::Kind::kLiteral && !sel.top_percent) {
    Emit(top, resolved_.top_scope);
    return;
  }
  if (!options_.custom_functions) {
    ThrowDatabase("TOP with an expression or PERCENT is not supported by this provider.");
  }
  sql_ += "korimba_top(";
  Emit(top, resolved_.top_scope);
  sql_ += sel.top_percent ? ", 1)" : ", 0)";
}

// A whole number goes to LIMIT / OFFSET as it is. An expression's value is
// checked first, since SQLite reads a negative LIMIT as none and a negative
// OFFSET as 0: an offset below 0, a count below 1 or a Null fails with
// SQL Server's messages.
void SqliteWriter::EmitOffset(SelectStmt& sel, Scope& scope) {
  if (!sel.offset_rows) return;
  auto count = [&](Expr& e, const char* least, const char* message) {
    if (e.kind == Expr::Kind::kLiteral) {
      Emit(e, scope);
      return;
    }
    if (!options_.custom_functions) {
      ThrowDatabase("OFFSET and FETCH with an expression are not supported by this provider.");
    }
    const std::string x = EmitToString(e, scope);
    sql_ += "(CASE WHEN " + x + " >= " + least + " THEN " + x + " ELSE korimba_error('" + message +
            "') END)";
  };
  sql_ += " LIMIT ";
  if (sel.fetch_rows) {
    count(*sel.fetch_rows, "1",
          "The number of rows provided for a FETCH clause must be greater then zero.");
  } else {
    sql_ += "-1";
  }
  sql_ += " OFFSET ";
  count(*sel.offset_rows, "0", "The offset specified in a OFFSET clause may not be negative.");
}

void SqliteWriter::EmitColumn(const Expr& e, const Scope& scope) {
  const TableBinding& b = BindingOf(e, scope);
  sql_ += b.emit_name + "." + Quote(b.table->columns[e.column].name);
}

// Text comparisons name their collation: SQL Server's (korimba_ci, see
// sqlite_functions.h) where the provider has it, else SQLite's NOCASE. An
// expression (LEFT, CONVERT) carries no collation of its own in SQLite, so
// the comparison must say it. The text of a datetime (CONVERT ... 120) has
// no letters and no trailing blanks, so NOCASE answers alike there and
// keeps the index on a datetime's minute usable.
const char* SqliteWriter::TextCollation(const Expr& a, const Expr* b) const {
  auto is_text = [](const Expr* e) { return e && e->type == SqlType::kText; };
  auto from_date = [](const Expr* e) {
    return e && e->kind == Expr::Kind::kCast && IsDateType(e->args[0]->type);
  };
  if (!is_text(&a) && !is_text(b)) return nullptr;
  if (from_date(&a) || from_date(b) || !options_.custom_functions) return "NOCASE";
  return kTextCollation;
}

void SqliteWriter::EmitCollated(Expr& e, Scope& scope, const char* collation) {
  Emit(e, scope);
  if (collation) {
    sql_ += " COLLATE ";
    sql_ += collation;
  }
}

void SqliteWriter::Emit(Expr& e, Scope& scope) {
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
      if (const char letter = ArithTypeLetter(e.type);
          options_.custom_functions && (letter == 'i' || letter == 's') && IsNumeric(e.type)) {
        // -(-2147483648) is out of range
        sql_ += std::string("korimba_arith('-") + letter + "', 0, ";
        Emit(*e.args[0], scope);
        sql_ += ")";
        return;
      }
      sql_ += "(-";
      Emit(*e.args[0], scope);
      sql_ += ")";
      return;
    case Expr::Kind::kArith:
    case Expr::Kind::kAnd:
    case Expr::Kind::kOr:
      EmitChain(e, scope);
      return;
    case Expr::Kind::kCompare: {
      const char* collation = TextCollation(*e.args[0], e.args[1].get());
      // SQLite (3.40) builds an automatic index for a column compared with
      // another table's by the column's declared collation, not the one
      // the comparison names, and so misses rows that differ in case or
      // trailing blanks; a unary plus keeps such a column out of it.
      const bool shield =
          collation == kTextCollation && !LiteralOf(*e.args[0]) && !LiteralOf(*e.args[1]);
      auto operand = [&](Expr& x) {
        if (shield && x.kind == Expr::Kind::kColumn) sql_ += "+";
        Emit(x, scope);
      };
      sql_ += "(";
      operand(*e.args[0]);
      sql_ += " " + e.op + " ";
      operand(*e.args[1]);
      if (collation) {
        sql_ += " COLLATE ";
        sql_ += collation;
      }
      sql_ += ")";
      return;
    }
    case Expr::Kind::kNot:
      sql_ += "(NOT ";
      Emit(*e.args[0], scope);
      sql_ += ")";
      return;
    case Expr::Kind::kBetween: {
      const char* collation = TextCollation(*e.args[0], nullptr);
      sql_ += "(";
      Emit(*e.args[0], scope);
      sql_ += e.negated ? " NOT BETWEEN " : " BETWEEN ";
      EmitCollated(*e.args[1], scope, collation);
      sql_ += " AND ";
      EmitCollated(*e.args[2], scope, collation);
      sql_ += ")";
      return;
    }
    case Expr::Kind::kInList: {
      sql_ += "(";
      EmitCollated(*e.args[0], scope, TextCollation(*e.args[0], nullptr));
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
      EmitCollated(*e.args[0], scope, TextCollation(*e.args[0], nullptr));
      sql_ += e.negated ? " NOT IN (" : " IN (";
      EmitQuery(*e.select);
      sql_ += "))";
      return;
    case Expr::Kind::kExists:
      sql_ += "(EXISTS (";
      EmitQuery(*e.select);
      sql_ += "))";
      return;
    case Expr::Kind::kLike: {
      // A pattern without character classes is written into the text, so
      // that SQLite can match the condition against a partial index's (a
      // bound pattern never matches one) and need not prepare the statement
      // again for every pattern it is bound to. The translation then serves
      // only this pattern (a fixed literal).
      if (std::optional<std::string> pattern = InlineLikePattern(*e.args[1])) {
        FixLiteral(shape_, e.args[1]->literal_index, out_);
        sql_ += "(";
        Emit(*e.args[0], scope);
        sql_ += e.negated ? " NOT LIKE " : " LIKE ";
        sql_ += *pattern;
        sql_ += " ESCAPE '\\')";
        return;
      }
      if (!options_.custom_functions) {
        sql_ += "(";
        Emit(*e.args[0], scope);
        sql_ += e.negated ? " NOT LIKE " : " LIKE ";
        Emit(*e.args[1], scope);
        // The bound pattern escapes SQL Server's literal wildcards this way.
        sql_ += " ESCAPE '\\')";
        return;
      }
      // SQLite's LIKE with each character class as "_" picks the rows; a
      // pattern with classes then has korimba_like check them (its second
      // binding is Null otherwise, and the check passes at once).
      const std::string x = EmitToString(*e.args[0], scope);
      sql_ += e.negated ? "(NOT (" : "((";
      sql_ += x + " LIKE ";
      e.args[1]->param.like_coarse = true;
      Emit(*e.args[1], scope);
      sql_ += " ESCAPE '\\' AND korimba_like(" + x + ", ";
      ParamSpec check = e.args[1]->param;
      check.source = ParamSource::kLiteral;
      check.literal_index = e.args[1]->literal_index;
      check.like_check = true;
      AddParam(check);
      sql_ += ")))";
      return;
    }
    case Expr::Kind::kIsNull:
      sql_ += "(";
      Emit(*e.args[0], scope);
      sql_ += e.negated ? " IS NOT NULL)" : " IS NULL)";
      return;
    case Expr::Kind::kSubquery:
      sql_ += "(";
      EmitQuery(*e.select);
      sql_ += ")";
      return;
    case Expr::Kind::kCase: {
      // The simple form keeps SQLite's: the input is written once and its
      // collation decides the WHEN comparisons.
      const size_t start = e.op == "CASE x" ? 1 : 0;
      const size_t n = e.args.size() - start;
      sql_ += "(CASE";
      if (start) {
        sql_ += " ";
        EmitCollated(*e.args[0], scope, TextCollation(*e.args[0], e.args[1].get()));
      }
      for (size_t i = 0; i + 1 < n; i += 2) {
        sql_ += " WHEN ";
        Emit(*e.args[start + i], scope);
        sql_ += " THEN ";
        Emit(*e.args[start + i + 1], scope);
      }
      if (n % 2 == 1) {
        sql_ += " ELSE ";
        Emit(*e.args.back(), scope);
      }
      sql_ += " END)";
      return;
    }
    case Expr::Kind::kCast:
      EmitCast(e, scope);
      return;
    case Expr::Kind::kFunction:
      EmitFunction(e, scope);
      return;
  }
}

namespace {

// SQLite's spelling of a binary operator; SQL Server's "+" of two texts
// is SQLite's "||".
const char* ChainOperator(const Expr& e) {
  if (e.kind == Expr::Kind::kAnd) return "AND";
  if (e.kind == Expr::Kind::kOr) return "OR";
  if (e.op == "+" && e.type == SqlType::kText) return "||";
  return e.op.c_str();
}

// Whether `left`, the left operand of `parent`, continues its chain: the
// same kind of operator at the same precedence, which SQLite groups from
// the left as SQL Server does, so the chain needs no parentheses inside.
bool ContinuesChain(const Expr& parent, const Expr& left) {
  if (left.kind != parent.kind) return false;
  if (parent.kind != Expr::Kind::kArith) return true;
  auto level = [](std::string_view op) {
    return op == "+" || op == "-" ? 1 : op == "*" || op == "/" || op == "%" ? 2 : 0;
  };
  const std::string_view p = ChainOperator(parent), l = ChainOperator(left);
  const int a = level(p), b = level(l);
  return a != 0 ? a == b : p == l;
}

}  // namespace

// A left-deep chain (a OR b OR c ..., a + b - c ...) is written flat, inside
// one pair of parentheses: SQLite's parser has a small stack, and one pair
// per operator would overflow it after about a hundred terms.
void SqliteWriter::EmitChain(Expr& e, Scope& scope) {
  std::vector<Expr*> spine{&e};
  while (ContinuesChain(*spine.back(), *spine.back()->args[0]))
    spine.push_back(spine.back()->args[0].get());
  if (e.kind == Expr::Kind::kArith && e.type != SqlType::kText) {
    if (options_.custom_functions) {
      EmitCheckedArith(spine, scope);
      return;
    }
    for (const Expr* node : spine) {
      if (node->op == "/" || node->op == "%") {
        ThrowDatabase("The operator " + node->op + " is not supported by the embedded database.");
      }
    }
  }
  sql_ += "(";
  Emit(*spine.back()->args[0], scope);
  for (auto it = spine.rbegin(); it != spine.rend(); ++it) {
    sql_ += " ";
    sql_ += ChainOperator(**it);
    sql_ += " ";
    Emit(*(*it)->args[1], scope);
  }
  sql_ += ")";
}

// A numeric chain becomes korimba_arith calls (sqlite_functions.h), which
// check every step as SQL Server does; a chain of more operands than one
// call takes nests, the result of one call being the first operand of the
// next.
void SqliteWriter::EmitCheckedArith(const std::vector<Expr*>& spine, Scope& scope) {
  std::vector<Expr*> operands{spine.back()->args[0].get()};
  std::string ops;
  for (auto it = spine.rbegin(); it != spine.rend(); ++it) {
    ops += (*it)->op;
    ops += ArithTypeLetter((*it)->type);
    operands.push_back((*it)->args[1].get());
  }
  const size_t per_call = kMaxArithOperands - 1;  // operators per call
  const size_t steps = operands.size() - 1;
  const size_t calls = (steps + per_call - 1) / per_call;
  for (size_t c = calls; c-- > 0;) {
    const size_t first = c * per_call, last = std::min(steps, first + per_call);
    sql_ += "korimba_arith('" + ops.substr(2 * first, 2 * (last - first)) + "', ";
  }
  Emit(*operands[0], scope);
  for (size_t c = 0; c < calls; ++c) {
    const size_t first = c * per_call, last = std::min(steps, first + per_call);
    for (size_t k = first; k < last; ++k) {
      sql_ += ", ";
      Emit(*operands[k + 1], scope);
    }
    sql_ += ")";
  }
}

std::optional<std::string> SqliteWriter::InlineLikePattern(const Expr& pattern) const {
  ParamSpec p = pattern.param;
  p.source = ParamSource::kLiteral;
  p.literal_index = pattern.literal_index;
  p.like_coarse = false;
  // The korimba_like check's value is Null exactly when the pattern has no
  // character class; any other pattern stays bound.
  p.like_check = true;
  if (!std::holds_alternative<std::monostate>(BindValue(p, shape_, {}))) return std::nullopt;
  p.like_check = false;
  const BoundValue value = BindValue(p, shape_, {});
  const std::string* text = std::get_if<std::string>(&value);
  if (text == nullptr || text->find('\0') != std::string::npos) return std::nullopt;
  std::string quoted = "'";
  for (const char c : *text) {
    quoted += c;
    if (c == '\'') quoted += '\'';
  }
  return quoted + "'";
}

std::string SqliteWriter::EmitToString(Expr& e, Scope& scope) {
  std::string saved = std::move(sql_);
  sql_.clear();
  Emit(e, scope);
  std::string piece = std::move(sql_);
  sql_ = std::move(saved);
  CheckLength(piece);
  return piece;
}

void SqliteWriter::EmitCast(Expr& e, Scope& scope) {
  Expr& x = *e.args[0];
  const TypeName& tn = e.cast_type;
  const std::string inner = EmitToString(x, scope);
  switch (tn.type) {
    case SqlType::kText: {
      const int n = tn.length == 0 ? 1 << 30 : tn.length;
      std::string base;
      int base_length = -1;  // known length of `base`, -1 when it varies
      if (x.type == SqlType::kTime && !LiteralOf(x)) {
        // hh:mm:ss and the time's digits of a second, or hh:mm:ss alone in
        // the styles that show none.
        bool fraction = true;
        if (e.style_literal >= 0)
          TimeStyle(std::stoi(shape_.literals[e.style_literal].text), &fraction);
        const int scale = fraction ? x.time_scale : 0;
        base_length = std::min(n, scale == 0 ? 8 : 9 + scale);
        base = "substr(" + inner + ", 12, " + std::to_string(base_length) + ")";
      } else if (x.type == SqlType::kDate && !LiteralOf(x)) {
        // A date's text is yyyy-mm-dd.
        base_length = std::min(n, 10);
        base = "substr(" + inner + ", 1, " + std::to_string(base_length) + ")";
      } else if (x.type == SqlType::kDateTime && !LiteralOf(x)) {
        const int style = std::stoi(shape_.literals[e.style_literal].text);
        const StyleForm form = *DateStyle(style);
        if (form.start > 0) {
          // One substr, so that an index on the same expression applies.
          base = "substr(" + inner + ", " + std::to_string(form.start) + ", " +
                 std::to_string(std::min(n, form.length)) + ")";
          base_length = std::min(n, form.length);
        } else if (form.pattern) {
          base = DatePattern(form.pattern, inner);
          base_length = form.length;
          if (n < form.length) {
            base = "substr(" + base + ", 1, " + std::to_string(n) + ")";
            base_length = n;
          }
        } else if (style == 126) {
          base = "(CASE WHEN substr(" + inner + ", 21, 3) = '000' THEN replace(substr(" + inner +
                 ", 1, 19), ' ', 'T') ELSE replace(substr(" + inner + ", 1, 23), ' ', 'T') END)";
          if (n < 23) base = "substr(" + base + ", 1, " + std::to_string(n) + ")";
        } else {
          if (style == 112) {
            base = "(substr(" + inner + ", 1, 4) || substr(" + inner + ", 6, 2) || substr(" +
                   inner + ", 9, 2))";
          } else {
            base =
                "replace(substr(" + inner + ", 1, 10), '-', '" + (style == 102 ? "." : "/") + "')";
          }
          base_length = form.length;
          if (n < form.length) {
            base = "substr(" + base + ", 1, " + std::to_string(n) + ")";
            base_length = n;
          }
        }
      } else if (x.type == SqlType::kInt || x.type == SqlType::kSmallInt ||
                 x.type == SqlType::kBit) {
        // A whole number too long for the length is "*" in a char or
        // varchar and an overflow in an nchar or nvarchar (-2147483648,
        // the longest, has 11 characters).
        base = "CAST(" + inner + " AS TEXT)";
        if (n < 11 && options_.custom_functions) {
          const bool wide = tn.name[0] == 'n';
          base = "(CASE WHEN length(" + base + ") <= " + std::to_string(n) + " THEN " + base +
                 (wide ? " ELSE korimba_error('Arithmetic overflow error converting expression to "
                         "data type " +
                             tn.name + ".') END)"
                       : " ELSE '*' END)");
        } else if (n < 11) {
          ThrowDatabase("CONVERT of a number to a text of " + std::to_string(n) +
                        " characters is not supported by the embedded database.");
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
          base =
              "substr(" + base + " || '" + std::string(n, ' ') + "', 1, " + std::to_string(n) + ")";
        }
      }
      CheckLength(base);
      sql_ += base;
      return;
    }
    case SqlType::kDecimal: {
      // Rounded to the scale, failing past the precision, as SQL Server's
      // decimal does (the value itself is kept as a double).
      if (!options_.custom_functions) {
        ThrowDatabase("Conversion to decimal is not supported by the embedded database.");
      }
      const Expr* lit = LiteralOf(x);
      const SqlType from =
          !lit                                                                  ? x.type
          : IsStringMarker(*lit)                                                ? SqlType::kDecimal
          : shape_.literals[lit->literal_index].kind == Literal::Kind::kInteger ? SqlType::kInt
          : shape_.literals[lit->literal_index].kind == Literal::Kind::kFloat   ? SqlType::kFloat
                                                                                : SqlType::kDecimal;
      sql_ += "korimba_decimal(" + inner + ", " + std::to_string(tn.length) + ", " +
              std::to_string(tn.scale) + ", '" +
              (from == SqlType::kFloat || from == SqlType::kReal ? "float"
               : from == SqlType::kDecimal                       ? "numeric"
                                                                 : "int") +
              "')";
      return;
    }
    case SqlType::kTime: {
      const bool kept = LiteralOf(x) || IsLoose(x.type) ||
                        (x.type == SqlType::kTime && x.time_scale <= tn.length);
      if (kept) {
        sql_ += inner;
        return;
      }
      if (!options_.custom_functions) {
        ThrowDatabase("Conversion to time is not supported by the embedded database.");
      }
      sql_ += "korimba_totime(" + inner + ", " + std::to_string(tn.length) +
              (x.type == SqlType::kText ? ", 0)" : ", 1)");
      return;
    }
    case SqlType::kDateTime:
      if (x.type != SqlType::kTime) {
        sql_ += inner;
      } else if (!options_.custom_functions) {
        ThrowDatabase(
            "Conversion of a time to datetime is not supported by the embedded database.");
      } else {
        sql_ += "korimba_timedatetime(" + inner + ")";
      }
      return;
    case SqlType::kDate:
      // Midnight of the day, in the canonical text both types are kept in.
      if (x.type == SqlType::kDate) {
        sql_ += inner;
      } else {
        sql_ += "(substr(" + inner + ", 1, 10) || ' 00:00:00.000')";
      }
      return;
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
        sql_ +=
            "(CASE WHEN " + inner + " IS NULL THEN NULL WHEN " + inner + " <> 0 THEN 1 ELSE 0 END)";
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

void SqliteWriter::EmitFunction(Expr& e, Scope& scope) {
  const std::string& f = e.op;
  if (f == "GETDATE" || f == "CURRENT_TIMESTAMP") {
    AddParam(ParamSpec{ParamSource::kNow});
  } else if (f == "SCOPE_IDENTITY") {
    AddParam(ParamSpec{ParamSource::kScopeIdentity});
  } else if (IsAggregateName(f)) {
    // An int SUM past 32 bits fails as SQL Server's does; an int AVG is cut
    // toward zero, as an int division is.
    const bool int_result = options_.custom_functions && ArithTypeLetter(e.type) == 'i' &&
                            IsNumeric(e.type) && (f == "SUM" || f == "AVG");
    if (int_result) sql_ += f == "SUM" ? "korimba_arith('+i', 0, " : "CAST(";
    sql_ += f == "COUNT" ? "count("
            : f == "SUM" ? "sum("
            : f == "AVG" ? "avg("
            : f == "MAX" ? "max("
                         : "min(";
    if (e.star) {
      sql_ += "*";
    } else {
      if (e.distinct) sql_ += "DISTINCT ";
      // DISTINCT, MIN and MAX compare by the argument's collation.
      EmitCollated(*e.args[0], scope, TextCollation(*e.args[0], nullptr));
    }
    sql_ += ")";
    if (e.over) EmitOver(*e.over, scope);
    if (int_result) sql_ += f == "SUM" ? ")" : " AS INTEGER)";
  } else if (IsRankingName(f)) {
    for (char c : f) sql_ += static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    sql_ += "(";
    for (size_t i = 0; i < e.args.size(); ++i) {
      if (i) sql_ += ", ";
      Emit(*e.args[i], scope);
    }
    sql_ += ")";
    EmitOver(*e.over, scope);
  } else if (f == kDateSpan) {
    if (!options_.custom_functions) {
      ThrowDatabase("Date arithmetic is not supported by the embedded database.");
    }
    sql_ += "korimba_datespan(";
    Emit(*e.args[0], scope);
    sql_ += ", ";
    Emit(*e.args[1], scope);
    sql_ += ")";
  } else if (f == kDatePlus || f == kDateMinus) {
    if (!options_.custom_functions) {
      ThrowDatabase("Date arithmetic is not supported by the embedded database.");
    }
    sql_ += "korimba_dateplus(";
    Emit(*e.args[0], scope);
    sql_ += ", ";
    Emit(*e.args[1], scope);
    sql_ += f == kDatePlus ? ", 1)" : ", -1)";
  } else if (f == "DATEDIFF" && options_.custom_functions) {
    sql_ += "korimba_datediff('" + DateFunctionPart(e.args[0]->names[0]) + "', ";
    Emit(*e.args[1], scope);
    sql_ += ", ";
    Emit(*e.args[2], scope);
    sql_ += ")";
  } else if (f == "DATEDIFF") {
    const std::string part = DatePart(e.args[0]->names[0]);
    if (part.empty()) {
      ThrowDatabase("DATEDIFF by " + DateFunctionPart(e.args[0]->names[0]) +
                    " is not supported by the embedded database.");
    }
    EmitDateDiff(part, *e.args[1], *e.args[2], scope);
  } else if (f == "DATEADD" || f == "DATEPART" || f == "DATENAME") {
    if (!options_.custom_functions) {
      ThrowDatabase("The function " + f + " is not supported by the embedded database.");
    }
    const bool time = f == "DATEADD" && e.type == SqlType::kTime;
    sql_ += time              ? "korimba_timeadd('"
            : f == "DATEADD"  ? "korimba_dateadd('"
            : f == "DATEPART" ? "korimba_datepart('"
                              : "korimba_datename('";
    sql_ += DateFunctionPart(e.args[0]->names[0]) + "'";
    for (size_t i = 1; i < e.args.size(); ++i) {
      sql_ += ", ";
      Emit(*e.args[i], scope);
    }
    if (time) sql_ += ", " + std::to_string(e.time_scale);
    sql_ += ")";
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
  } else if (f == "SUBSTRING" || f == "RIGHT" || f == "UPPER" || f == "LOWER" || f == "CHARINDEX" ||
             f == "REPLACE" || f == "REPLICATE") {
    if (!options_.custom_functions) {
      ThrowDatabase("The function " + f + " is not supported by the embedded database.");
    }
    sql_ += "korimba_";
    for (char c : f) sql_ += static_cast<char>(c + ('a' - 'A'));
    sql_ += "(";
    for (size_t i = 0; i < e.args.size(); ++i) {
      if (i) sql_ += ", ";
      Emit(*e.args[i], scope);
    }
    sql_ += ")";
  } else if (f == "COALESCE") {
    sql_ += "coalesce(";
    for (size_t i = 0; i < e.args.size(); ++i) {
      if (i) sql_ += ", ";
      Emit(*e.args[i], scope);
    }
    sql_ += ")";
  } else if (f == "NULLIF") {
    sql_ += "nullif(";
    Emit(*e.args[0], scope);
    sql_ += ", ";
    EmitCollated(*e.args[1], scope, TextCollation(*e.args[0], e.args[1].get()));
    sql_ += ")";
  } else if (f == "IIF") {
    sql_ += "(CASE WHEN ";
    Emit(*e.args[0], scope);
    sql_ += " THEN ";
    Emit(*e.args[1], scope);
    sql_ += " ELSE ";
    Emit(*e.args[2], scope);
    sql_ += " END)";
  } else if (f == "ISNULL") {
    sql_ += "ifnull(";
    Emit(*e.args[0], scope);
    sql_ += ", ";
    Emit(*e.args[1], scope);
    sql_ += ")";
  } else if (f == "CONCAT") {
    sql_ += "(";
    for (size_t i = 0; i < e.args.size(); ++i) {
      if (i) sql_ += " || ";
      sql_ += "ifnull(CAST(";
      Emit(*e.args[i], scope);
      sql_ += " AS TEXT), '')";
    }
    sql_ += ")";
  } else if (IsMathName(f) || f == "EOMONTH" || f == "DATALENGTH") {
    if (!options_.custom_functions) {
      ThrowDatabase("The function " + f + " is not supported by the embedded database.");
    }
    if (f == "EOMONTH") {
      sql_ += "korimba_eomonth(";
    } else if (f == "DATALENGTH") {
      Expr& a = *e.args[0];
      const Expr* lit = LiteralOf(a);
      const bool varchar = lit && IsStringMarker(*lit) &&
                           shape_.literals[lit->literal_index].kind == Literal::Kind::kString;
      const char* bytes = a.type == SqlType::kText       ? (varchar ? "'v'" : "'n'")
                          : a.type == SqlType::kSmallInt ? "2"
                          : a.type == SqlType::kBit      ? "1"
                          : a.type == SqlType::kDate     ? "3"
                          // a time(n) takes 3 bytes to n = 2, 4 to 4, 5 beyond (the time page)
                          : a.type == SqlType::kTime ? (a.time_scale <= 2   ? "3"
                                                        : a.time_scale <= 4 ? "4"
                                                                            : "5")
                          : a.type == SqlType::kDateTime || a.type == SqlType::kFloat ? "8"
                          : a.type == SqlType::kDecimal                               ? "9"
                                                                                      : "4";
      sql_ += std::string("korimba_datalength(") + bytes + ", ";
    } else {
      std::string lower = f;
      for (char& c : lower) c = static_cast<char>(c - 'A' + 'a');
      sql_ += "korimba_math('" + lower + "', '" + ArithTypeLetter(e.type) + "'";
      if (!e.args.empty()) sql_ += ", ";
    }
    for (size_t i = 0; i < e.args.size(); ++i) {
      if (i) sql_ += ", ";
      Emit(*e.args[i], scope);
    }
    sql_ += ")";
  }
}

// A window in SQLite's words, which are SQL Server's; texts partition and
// order by their collation.
void SqliteWriter::EmitOver(WindowSpec& w, Scope& scope) {
  sql_ += " OVER (";
  const char* sep = "";
  if (!w.partition_by.empty()) {
    sql_ += "PARTITION BY ";
    for (size_t i = 0; i < w.partition_by.size(); ++i) {
      if (i) sql_ += ", ";
      EmitCollated(*w.partition_by[i], scope, TextCollation(*w.partition_by[i], nullptr));
    }
    sep = " ";
  }
  if (!w.order_by.empty()) {
    sql_ += sep;
    sql_ += "ORDER BY ";
    for (size_t i = 0; i < w.order_by.size(); ++i) {
      if (i) sql_ += ", ";
      EmitCollated(*w.order_by[i].expr, scope, TextCollation(*w.order_by[i].expr, nullptr));
      if (w.order_by[i].desc) sql_ += " DESC";
    }
    sep = " ";
  }
  if (w.has_frame) {
    auto bound = [&](const WindowSpec::Bound& b) {
      using Kind = WindowSpec::Bound::Kind;
      switch (b.kind) {
        case Kind::kUnboundedPreceding:
          return std::string("UNBOUNDED PRECEDING");
        case Kind::kUnboundedFollowing:
          return std::string("UNBOUNDED FOLLOWING");
        case Kind::kCurrentRow:
          return std::string("CURRENT ROW");
        case Kind::kPreceding:
          return shape_.literals[b.literal_index].text + " PRECEDING";
        case Kind::kFollowing:
          return shape_.literals[b.literal_index].text + " FOLLOWING";
      }
      return std::string();
    };
    sql_ += sep;
    sql_ += w.rows ? "ROWS BETWEEN " : "RANGE BETWEEN ";
    sql_ += bound(w.start) + " AND " + bound(w.end);
  }
  sql_ += ")";
}

// DATEDIFF counts the boundaries of the unit crossed from a to b: both
// are cut to the unit (the canonical text makes that a prefix) and the
// difference is taken in whole units.
void SqliteWriter::EmitDateDiff(const std::string& part, Expr& a, Expr& b, Scope& scope) {
  const std::string x = EmitToString(a, scope);
  const std::string y = EmitToString(b, scope);
  if (part == "year" || part == "month") {
    auto months = [&](const std::string& v) {
      return part == "year" ? "CAST(substr(" + v + ", 1, 4) AS INTEGER)"
                            : "(CAST(substr(" + v + ", 1, 4) AS INTEGER) * 12 + CAST(substr(" + v +
                                  ", 6, 2) AS INTEGER))";
    };
    sql_ += '(';
    sql_ += months(y) + " - " + months(x) + ")";
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

}  // namespace korimba::sql
