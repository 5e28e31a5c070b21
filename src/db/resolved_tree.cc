// The rules shared by the translator's passes over the annotated tree.
#include "db/resolved_tree.h"

#include <string>

#include "db/sql_lexer.h"
#include "frame/error.h"
#include "frame/names.h"

namespace korimba::sql {

bool IsNumeric(SqlType t) {
  return t == SqlType::kInt || t == SqlType::kSmallInt || t == SqlType::kBit ||
         t == SqlType::kDecimal || t == SqlType::kFloat || t == SqlType::kReal;
}
bool IsLoose(SqlType t) { return t == SqlType::kNull || t == SqlType::kUnknown; }
bool IsDateType(SqlType t) { return t == SqlType::kDateTime || t == SqlType::kDate; }

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
    case SqlType::kDate:
      return "date";
    case SqlType::kTime:
      return "time";
    case SqlType::kText:
      return "nvarchar";
    default:
      return "unknown";
  }
}

bool IsAggregateName(std::string_view name) {
  return name == "COUNT" || name == "MAX" || name == "MIN" || name == "SUM" || name == "AVG";
}

bool IsMathName(std::string_view name) {
  return name == "ABS" || name == "SIGN" || name == "FLOOR" || name == "CEILING" ||
         name == "ROUND" || name == "POWER" || name == "SQRT" || name == "SQUARE";
}

bool IsRankingName(std::string_view name) {
  return name == "ROW_NUMBER" || name == "RANK" || name == "DENSE_RANK" || name == "NTILE" ||
         name == "LAG" || name == "LEAD";
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

void RequirePredicate(const Expr& e) {
  if (!IsPredicate(e)) {
    ThrowDatabase(
        "An expression of non-boolean type specified in a context where a condition "
        "is expected.");
  }
}

std::optional<StyleForm> DateStyle(int style) {
  switch (style) {
    case 20:
    case 120:
      return StyleForm{1, 19};
    case 21:
    case 25:
    case 121:
      return StyleForm{1, 23};
    case 23:
      return StyleForm{1, 10};
    case 8:
    case 24:
    case 108:
      return StyleForm{12, 8};
    case 1:
      return StyleForm{0, 8, "MM/DD/YY"};
    case 101:
      return StyleForm{0, 10, "MM/DD/YYYY"};
    case 3:
      return StyleForm{0, 8, "DD/MM/YY"};
    case 103:
      return StyleForm{0, 10, "DD/MM/YYYY"};
    case 10:
      return StyleForm{0, 8, "MM-DD-YY"};
    case 110:
      return StyleForm{0, 10, "MM-DD-YYYY"};
    case 126:  // yyyy-mm-ddThh:mi:ss[.mmm]: the milliseconds only when not zero
      return StyleForm{0, -1};
    case 102:
    case 111:
    case 112:
      return StyleForm{0, style == 112 ? 8 : 10};
    default:
      return std::nullopt;
  }
}

bool TimeStyle(int style, bool* fraction) {
  bool digits = false;
  switch (style) {
    case 8:
    case 24:
    case 108:
    case 20:
    case 120:
      break;
    case 21:
    case 25:
    case 121:
    case 126:
      digits = true;
      break;
    default:
      return false;
  }
  if (fraction) *fraction = digits;
  return true;
}

std::string DatePart(std::string_view name) {
  const std::string n = FoldName(name);
  if (n == "dd" || n == "d" || n == "day") return "day";
  if (n == "mm" || n == "m" || n == "month") return "month";
  if (n == "yy" || n == "yyyy" || n == "year") return "year";
  if (n == "hh" || n == "hour") return "hour";
  if (n == "mi" || n == "n" || n == "minute") return "minute";
  if (n == "ss" || n == "s" || n == "second") return "second";
  return "";
}

std::string DateFunctionPart(std::string_view name) {
  const std::string n = FoldName(name);
  if (std::string d = DatePart(n); !d.empty()) return d;
  if (n == "qq" || n == "q" || n == "quarter") return "quarter";
  if (n == "dy" || n == "y" || n == "dayofyear") return "dayofyear";
  if (n == "wk" || n == "ww" || n == "week") return "week";
  if (n == "dw" || n == "w" || n == "weekday") return "weekday";
  if (n == "ms" || n == "millisecond") return "millisecond";
  if (n == "mcs" || n == "microsecond") return "microsecond";
  if (n == "ns" || n == "nanosecond") return "nanosecond";
  if (n == "isowk" || n == "isoww" || n == "iso_week") return "iso_week";
  if (n == "tz" || n == "tzoffset") return "tzoffset";
  return "";
}

SelectStmt& FirstLeaf(SelectStmt& q) {
  SelectStmt* s = &q;
  while (s->set_op != SetOp::kNone) s = s->left.get();
  return *s;
}

const SelectStmt& FirstLeaf(const SelectStmt& q) {
  const SelectStmt* s = &q;
  while (s->set_op != SetOp::kNone) s = s->left.get();
  return *s;
}

const TableBinding& BindingOf(const Expr& e, const Scope& scope) {
  const Scope* s = &scope;
  for (int d = 0; d < e.scope_depth; ++d) s = s->parent;
  return s->tables[e.binding];
}

void FixLiteral(const ShapedStatement& shape, int literal_index, Translation& out) {
  for (const auto& f : out.fixed_literals) {
    if (f.first == literal_index) return;
  }
  out.fixed_literals.emplace_back(literal_index, shape.literals[literal_index].text);
}

}  // namespace korimba::sql
