// Expression typing: SQL Server's types and conversions on the tree.
#include "db/expression_typer.h"

#include <algorithm>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/name_resolver.h"
#include "db/sql_lexer.h"
#include "frame/error.h"

namespace korimba::sql {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c += 32;
  }
  return out;
}

// Gives a literal (or -literal) the conversion of the place it is used in.
void Coerce(Expr& e, SqlType target, int max_length = 0, bool rtrim = false) {
  Expr* lit = LiteralOf(e);
  if (!lit || IsLoose(target)) return;
  const bool negated = lit != &e;
  if (IsStringMarker(*lit)) {
    if (negated)
      ThrowDatabase("A minus sign before a text is not supported by the embedded database.");
  } else if (IsDateType(target)) {
    ThrowDatabase(
        "Implicit conversion from a number to datetime is not supported by the "
        "embedded database.");
  } else if (target == SqlType::kTime) {
    ThrowDatabase(std::string("Operand type clash: ") + TypeWord(lit->type) +
                  " is incompatible with time");
  }
  lit->param.target = target;
  lit->param.max_length = max_length;
  lit->param.rtrim = rtrim && target == SqlType::kText;
  lit->param.negate = negated;
  lit->type = target;
  e.type = target;
}

void CheckCompatible(SqlType a, SqlType b, std::string_view what) {
  if (IsLoose(a) || IsLoose(b) || a == b) return;
  if (IsNumeric(a) && IsNumeric(b)) return;
  if (IsDateType(a) && IsDateType(b)) return;
  if ((a == SqlType::kTime && IsNumeric(b)) || (b == SqlType::kTime && IsNumeric(a))) {
    // No number converts to a time (the CAST page's conversion table).
    ThrowDatabase(std::string("Operand type clash: ") + TypeWord(a == SqlType::kTime ? b : a) +
                  " is incompatible with time");
  }
  ThrowDatabase(std::string("Implicit conversion between ") + TypeWord(a) + " and " + TypeWord(b) +
                " in " + std::string(what) + " is not supported by the embedded database.");
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

SqlType Promote(SqlType a, SqlType b) {
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
  // Two smallints give a smallint (and overflow as one); bits count as ints.
  SqlType r = rank(a) >= rank(b) ? a : b;
  return r == SqlType::kBit ? SqlType::kInt : r;
}

// The type of highest precedence among `values` (datetime, float, real,
// decimal, int, smallint, bit, then texts: the data type precedence page),
// the type of CASE, COALESCE and IIF; literal values convert to it, other
// values must be of its family.
SqlType CommonType(const std::vector<Expr*>& values, std::string_view what) {
  auto rank = [](SqlType t) {
    switch (t) {
      case SqlType::kDateTime:
        return 9;
      case SqlType::kDate:
        return 8;
      case SqlType::kTime:
        return 7;
      case SqlType::kFloat:
        return 6;
      case SqlType::kReal:
        return 5;
      case SqlType::kDecimal:
        return 4;
      case SqlType::kInt:
        return 3;
      case SqlType::kSmallInt:
        return 2;
      case SqlType::kBit:
        return 1;
      case SqlType::kText:
        return 0;
      default:
        return -1;
    }
  };
  SqlType type = SqlType::kNull;
  for (const Expr* v : values) {
    if (rank(v->type) > rank(type)) type = v->type;
  }
  for (Expr* v : values) {
    if (v->type == type || IsLoose(v->type)) continue;
    if (LiteralOf(*v)) {
      Coerce(*v, type);
    } else {
      CheckCompatible(v->type, type, what);
    }
  }
  return type;
}

// The digits of a second of the times among `values`: the most any of
// them keeps (seven when only literals are times); literal texts that
// became times are rounded to it.
int CommonTimeScale(const std::vector<Expr*>& values) {
  int scale = -1;
  for (Expr* v : values) {
    if (v->type == SqlType::kTime && !LiteralOf(*v)) {
      scale = std::max(scale, v->time_scale);
    }
  }
  if (scale < 0) scale = 7;
  for (Expr* v : values) {
    if (Expr* lit = LiteralOf(*v); lit && v->type == SqlType::kTime) {
      lit->param.time_scale = scale;
      lit->time_scale = v->time_scale = scale;
    }
  }
  return scale;
}

// SQL Server's name of an arithmetic operator, for its messages.
const char* OperatorWord(const std::string& op) {
  return op == "+"   ? "add"
         : op == "-" ? "subtract"
         : op == "*" ? "multiply"
         : op == "/" ? "divide"
                     : "modulo";
}

// A time takes no part of a day or more (the DATEPART and DATEADD pages);
// only a text literal given for a time reads as 1900-01-01.
bool IsDayPart(const std::string& part) {
  return part == "year" || part == "quarter" || part == "month" || part == "dayofyear" ||
         part == "day" || part == "week" || part == "weekday" || part == "iso_week" ||
         part == "tzoffset";
}

}  // namespace

void ExpressionTyper::Resolve(Expr& e, Scope& scope, Clause clause) {
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
      names_.ResolveColumn(e, scope);
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
      if (a.type == SqlType::kText && b.type == SqlType::kText && e.op == "+") {
        e.type = SqlType::kText;  // concatenation; the writer spells it
        return;
      }
      if (a.type == SqlType::kTime || b.type == SqlType::kTime) {
        // No arithmetic takes a time; DATEADD moves one.
        auto word = [](const Expr& x) { return IsLoose(x.type) ? "int" : TypeWord(x.type); };
        ThrowDatabase(std::string("The data types ") + word(a) + " and " + word(b) +
                      " are incompatible in the " + OperatorWord(e.op) + " operator.");
      }
      if (IsDateType(a.type) || IsDateType(b.type)) {
        ResolveDateArith(e);
        return;
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
      if (e.op == "%" && (a.type == SqlType::kFloat || a.type == SqlType::kReal ||
                          b.type == SqlType::kFloat || b.type == SqlType::kReal)) {
        ThrowDatabase(std::string("The data types ") + TypeWord(a.type) + " and " +
                      TypeWord(b.type) + " are incompatible in the modulo operator.");
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
      names_.ResolveSubquery(*e.select, scope);
      Expr& item = *FirstLeaf(*e.select).items[0].expr;
      Unify(*e.args[0], item, "IN", true);
      return;
    }
    case Expr::Kind::kExists:
      names_.ResolveSelect(*e.select, &scope);
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
      if (IsDateType(e.args[0]->type) || e.args[0]->type == SqlType::kTime) {
        ThrowDatabase(std::string("LIKE on a ") + TypeWord(e.args[0]->type) +
                      " is not supported by the embedded database.");
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
      names_.ResolveSubquery(*e.select, scope);
      names_.RequireSingleRow(*e.select);
      e.type = e.select->items[0].expr->type;
      e.time_scale = e.select->items[0].expr->time_scale;
      return;
    }
    case Expr::Kind::kCase:
      ResolveCase(e, scope, clause);
      return;
    case Expr::Kind::kCast:
      ResolveCast(e, scope, clause);
      return;
    case Expr::Kind::kFunction:
      ResolveFunction(e, scope, clause);
      return;
  }
}

// CASE takes the type of highest precedence among its results.
void ExpressionTyper::ResolveCase(Expr& e, Scope& scope, Clause clause) {
  for (ExprPtr& a : e.args) Resolve(*a, scope, clause);
  const size_t start = e.op == "CASE x" ? 1 : 0;
  const size_t n = e.args.size() - start;
  std::vector<Expr*> results;
  for (size_t i = 0; i + 1 < n; i += 2) {
    Expr& when = *e.args[start + i];
    if (start) {
      Unify(*e.args[0], when, "CASE", true);
    } else {
      RequirePredicate(when);
    }
    results.push_back(e.args[start + i + 1].get());
  }
  if (n % 2 == 1) results.push_back(e.args.back().get());
  e.type = CommonType(results, "CASE");
  if (e.type == SqlType::kTime) e.time_scale = CommonTimeScale(results);
}

void ExpressionTyper::ResolveCast(Expr& e, Scope& scope, Clause clause) {
  Resolve(*e.args[0], scope, clause);
  Expr& x = *e.args[0];
  TypeName& tn = e.cast_type;
  if (tn.length_literal >= 0) names_.Fix(tn.length_literal);
  if (tn.scale_literal >= 0) names_.Fix(tn.scale_literal);
  if (e.style_literal >= 0) names_.Fix(e.style_literal);
  if (tn.type == SqlType::kText && tn.length < 0) tn.length = 30;
  e.type = tn.type;
  if (tn.type == SqlType::kTime) {
    e.time_scale = tn.length;
    ResolveTimeCast(e);
    return;
  }
  if (LiteralOf(x)) {
    // A whole number written into a text keeps its type, so the length
    // rules of numbers apply to it as to a column.
    const bool whole = tn.type == SqlType::kText && !IsStringMarker(*LiteralOf(x)) &&
                       (x.type == SqlType::kInt || x.type == SqlType::kSmallInt);
    if (whole) return;
    Coerce(x, tn.type == SqlType::kText ? SqlType::kText : tn.type);
    if (tn.type == SqlType::kDateTime && e.style_literal >= 0 && IsStringMarker(*LiteralOf(x))) {
      LiteralOf(x)->param.date_style =
          static_cast<int>(IntegerLiteralValue(shape_.literals[e.style_literal].text));
    }
    return;
  }
  const SqlType from = x.type;
  if (IsLoose(from) || from == tn.type) {
    if (tn.type != SqlType::kText) return;
  }
  if (from == SqlType::kTime) {
    ResolveFromTime(e);
    return;
  }
  switch (tn.type) {
    case SqlType::kText:
      if (from == SqlType::kDate) {
        if (e.style_literal >= 0) {
          ThrowDatabase(
              "CONVERT of a date with a style is not supported by the embedded database.");
        }
      } else if (from == SqlType::kDateTime) {
        if (e.style_literal < 0) {
          ThrowDatabase(
              "CONVERT of a datetime to text needs a style (such as 120) on the "
              "embedded database.");
        }
        const int64_t style = IntegerLiteralValue(shape_.literals[e.style_literal].text);
        if (style > 1000 || !DateStyle(static_cast<int>(style))) {
          ThrowDatabase("CONVERT style " + shape_.literals[e.style_literal].text +
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
    case SqlType::kDecimal:
      if (IsNumeric(from) || IsLoose(from)) return;
      break;
    case SqlType::kDateTime:
    case SqlType::kDate:
      if (IsDateType(from) || IsLoose(from)) return;
      break;
    default:
      break;
  }
  ThrowDatabase(std::string("Conversion from ") + TypeWord(from) + " to " + tn.name +
                " of a column or expression is not supported by the embedded database.");
}

// CAST / CONVERT to time(n): from a text (read as SQL Server reads a time,
// a date before it dropped), a datetime (its time of day) or a time. A
// date has no time to give and a number converts to no time (the
// conversion table of the CAST page).
void ExpressionTyper::ResolveTimeCast(Expr& e) {
  Expr& x = *e.args[0];
  const int scale = e.cast_type.length;
  if (Expr* lit = LiteralOf(x)) {
    if (!IsStringMarker(*lit)) {
      ThrowDatabase(std::string("Explicit conversion from data type ") + TypeWord(x.type) +
                    " to time is not allowed.");
    }
    Coerce(x, SqlType::kTime);
    lit->param.time_scale = scale;
    lit->time_scale = x.time_scale = scale;
    return;
  }
  const SqlType from = x.type;
  if (IsLoose(from) || from == SqlType::kText || from == SqlType::kDateTime ||
      from == SqlType::kTime) {
    return;
  }
  ThrowDatabase(std::string("Explicit conversion from data type ") + TypeWord(from) +
                " to time is not allowed.");
}

// CAST / CONVERT of a time: to a text in the styles that write a time of
// day, to a datetime on 1900-01-01, to another time(n).
void ExpressionTyper::ResolveFromTime(Expr& e) {
  const TypeName& tn = e.cast_type;
  if (tn.type == SqlType::kText) {
    if (e.style_literal < 0) return;
    const int64_t style = IntegerLiteralValue(shape_.literals[e.style_literal].text);
    if (!TimeStyle(static_cast<int>(style))) {
      ThrowDatabase("CONVERT style " + shape_.literals[e.style_literal].text +
                    " of a time is not supported by the embedded database.");
    }
    return;
  }
  if (tn.type == SqlType::kDateTime) return;
  ThrowDatabase(std::string("Explicit conversion from data type time to ") + tn.name +
                " is not allowed.");
}

// A datetime plus or minus a number of days (a fraction is a part of a
// day), or a number plus a datetime: becomes a call the writer spells
// with the provider's function. Two datetimes, or a datetime multiplied,
// stay refused.
void ExpressionTyper::ResolveDateArith(Expr& e) {
  for (int i : {0, 1}) {
    if (e.args[i]->type == SqlType::kDate) {
      ThrowDatabase(std::string("Operand type clash: date is incompatible with ") +
                    TypeWord(IsLoose(e.args[1 - i]->type) ? SqlType::kInt : e.args[1 - i]->type));
    }
  }
  if (e.args[1]->type == SqlType::kDateTime && e.op == "+") std::swap(e.args[0], e.args[1]);
  if (e.op == "-" && e.args[0]->type == SqlType::kDateTime &&
      e.args[1]->type == SqlType::kDateTime) {
    // The span between two datetimes, as a datetime counted from
    // 1900-01-01 (so CONVERT(varchar, a - b, 108) shows its hours).
    e.kind = Expr::Kind::kFunction;
    e.op = kDateSpan;
    e.type = SqlType::kDateTime;
    return;
  }
  Expr& n = *e.args[1];
  if (e.args[0]->type != SqlType::kDateTime || (e.op != "+" && e.op != "-") ||
      n.type == SqlType::kDateTime) {
    ThrowDatabase("Date arithmetic with " + e.op + " is not supported by the embedded database.");
  }
  if (LiteralOf(n) && n.type == SqlType::kText) Coerce(n, SqlType::kFloat);
  if (!IsNumeric(n.type) && !IsLoose(n.type)) {
    ThrowDatabase(std::string("The operator ") + e.op + " between datetime and " +
                  TypeWord(n.type) + " is not supported by the embedded database.");
  }
  e.kind = Expr::Kind::kFunction;
  e.op = e.op == "+" ? kDatePlus : kDateMinus;
  e.type = SqlType::kDateTime;
}

void ExpressionTyper::ResolveFunction(Expr& e, Scope& scope, Clause clause) {
  const std::string& f = e.op;
  if (f == kDatePlus || f == kDateMinus || f == kDateSpan) {
    e.type = SqlType::kDateTime;  // typed already, as date arithmetic
    return;
  }
  auto arity = [&](size_t n) {
    if (e.args.size() != n) {
      ThrowDatabase("The " + f + " function requires " + std::to_string(n) + " argument(s).");
    }
  };
  if (e.over || IsRankingName(f)) {
    ResolveWindow(e, scope, clause);
    if (!IsAggregateName(f)) return;
  }
  if (IsAggregateName(f) && e.over) {
    // A windowed aggregate is a value of each row, not a grouping.
    if (e.distinct) ThrowDatabase("Use of DISTINCT is not allowed with the OVER clause.");
  } else if (IsAggregateName(f)) {
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
  }
  if (IsAggregateName(f)) {
    if (e.star) {
      e.type = SqlType::kInt;
      return;
    }
    arity(1);
    in_aggregate_ = !e.over;
    Resolve(*e.args[0], scope, clause);
    in_aggregate_ = false;
    const SqlType t = e.args[0]->type;
    if (f == "COUNT") {
      e.type = SqlType::kInt;
    } else if (f == "SUM" || f == "AVG") {
      // Both keep the argument's type, int for the smaller integers: the
      // average of ints is an int (the SUM and AVG pages).
      if ((!IsNumeric(t) && !IsLoose(t)) || t == SqlType::kBit) {
        ThrowDatabase(std::string("Operand data type ") + TypeWord(t) + " is invalid for " +
                      (f == "SUM" ? "sum" : "avg") + " operator.");
      }
      e.type = Promote(t, SqlType::kInt);
    } else {
      e.type = t;
      e.time_scale = e.args[0]->time_scale;
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
    if (a.type != SqlType::kDate && a.type != SqlType::kTime) Coerce(a, SqlType::kDateTime);
    // These read a text as a datetime2 (their pages); DATEADD's is a datetime.
    if (Expr* lit = LiteralOf(a); lit && IsStringMarker(*lit) && f != "DATEADD") {
      lit->param.datetime2 = true;
    }
    // A time goes to the functions that name a part (DATEDIFF counts it
    // from 1900-01-01, the DATEDIFF page); DAY, MONTH, YEAR and EOMONTH
    // take a date.
    const bool time_ok = f == "DATEDIFF" || f == "DATEADD" || f == "DATEPART" || f == "DATENAME";
    if (!IsDateType(a.type) && !IsLoose(a.type) && !(time_ok && a.type == SqlType::kTime)) {
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
    // Every part DATEPART knows but the weekday, the ISO week and the
    // offset, which DATEDIFF does not count.
    const std::string part = e.args[0]->kind == Expr::Kind::kColumn && e.args[0]->names.size() == 1
                                 ? DateFunctionPart(e.args[0]->names[0])
                                 : std::string();
    if (part.empty() || part == "weekday" || part == "iso_week" || part == "tzoffset") {
      ThrowDatabase("Invalid parameter 1 specified for datediff.");
    }
    require_date(*e.args[1]);
    require_date(*e.args[2]);
    e.type = SqlType::kInt;
  } else if (f == "DATEADD" || f == "DATEPART" || f == "DATENAME") {
    arity(f == "DATEADD" ? 3 : 2);
    Expr& part = *e.args[0];
    if (part.kind != Expr::Kind::kColumn || part.names.size() != 1 ||
        DateFunctionPart(part.names[0]).empty()) {
      std::string lower = f;
      for (char& c : lower) c = static_cast<char>(c - 'A' + 'a');
      ThrowDatabase("Invalid parameter 1 specified for " + lower + ".");
    }
    const std::string name = DateFunctionPart(part.names[0]);
    if (f == "DATEADD" && (name == "iso_week" || name == "tzoffset")) {
      ThrowDatabase("Invalid parameter 1 specified for dateadd.");
    }
    const bool time = e.args.back()->type == SqlType::kTime;
    if (time && IsDayPart(name)) {
      std::string lower = f;
      for (char& c : lower) c = static_cast<char>(c - 'A' + 'a');
      ThrowDatabase("The datepart " + name + " is not supported by date function " + lower +
                    " for data type time.");
    }
    if (f == "DATEADD" && !time && (name == "microsecond" || name == "nanosecond")) {
      // A datetime holds nothing finer than its 1/300 s ticks.
      ThrowDatabase("The datepart " + name +
                    " is not supported by date function dateadd for data type datetime.");
    }
    if (f == "DATENAME" && name == "tzoffset") {
      ThrowDatabase("DATENAME of tzoffset is not supported by the embedded database.");
    }
    if (f == "DATEADD") {
      Expr& n = *e.args[1];
      Coerce(n, SqlType::kInt);
      if (!IsNumeric(n.type) && !IsLoose(n.type)) {
        ThrowDatabase("Argument data type " + std::string(TypeWord(n.type)) +
                      " is invalid for argument 2 of dateadd function.");
      }
    }
    require_date(*e.args.back());
    const bool date = e.args.back()->type == SqlType::kDate;
    if (date && (name == "hour" || name == "minute" || name == "second" || name == "millisecond" ||
                 name == "microsecond" || name == "nanosecond" || name == "tzoffset")) {
      std::string lower = f;
      for (char& c : lower) c = static_cast<char>(c - 'A' + 'a');
      ThrowDatabase("The datepart " + name + " is not supported by date function " + lower +
                    " for data type date.");
    }
    e.type = f == "DATEADD"    ? (date   ? SqlType::kDate
                                  : time ? SqlType::kTime
                                         : SqlType::kDateTime)
             : f == "DATEPART" ? SqlType::kInt
                               : SqlType::kText;
    e.time_scale = e.args.back()->time_scale;
  } else if (f == "DAY" || f == "MONTH" || f == "YEAR") {
    arity(1);
    require_date(*e.args[0]);
    e.type = SqlType::kInt;
  } else if (f == "LEFT") {
    arity(2);
    Coerce(*e.args[0], SqlType::kText);
    if (IsDateType(e.args[0]->type) || e.args[0]->type == SqlType::kTime) {
      ThrowDatabase(std::string("LEFT of a ") + TypeWord(e.args[0]->type) +
                    " is not supported by the embedded database.");
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
  } else if (f == "SUBSTRING" || f == "RIGHT" || f == "UPPER" || f == "LOWER" || f == "CHARINDEX" ||
             f == "REPLACE" || f == "REPLICATE") {
    ResolveTextFunction(e);
  } else if (f == "COALESCE") {
    if (e.args.size() < 2) ThrowDatabase("The coalesce function requires at least 2 arguments.");
    std::vector<Expr*> values;
    for (ExprPtr& a : e.args) values.push_back(a.get());
    e.type = CommonType(values, "COALESCE");
    if (e.type == SqlType::kTime) e.time_scale = CommonTimeScale(values);
  } else if (f == "IIF") {
    arity(3);
    RequirePredicate(*e.args[0]);
    e.type = CommonType({e.args[1].get(), e.args[2].get()}, "IIF");
    if (e.type == SqlType::kTime)
      e.time_scale = CommonTimeScale({e.args[1].get(), e.args[2].get()});
  } else if (f == "NULLIF") {
    arity(2);
    Unify(*e.args[0], *e.args[1], "NULLIF", true);
    e.type = e.args[0]->type;
  } else if (f == "ISNULL") {
    arity(2);
    if (LiteralOf(*e.args[0]) == nullptr) Coerce(*e.args[1], e.args[0]->type);
    CheckCompatible(e.args[0]->type, e.args[1]->type, "ISNULL");
    e.type = IsLoose(e.args[0]->type) ? e.args[1]->type : e.args[0]->type;
    // ISNULL takes its first argument's type, time(n) included.
    Expr& first = IsLoose(e.args[0]->type) ? *e.args[1] : *e.args[0];
    e.time_scale = first.time_scale;
    if (Expr* lit = LiteralOf(*e.args[1]); lit && e.type == SqlType::kTime) {
      lit->param.time_scale = e.time_scale;
    }
  } else if (IsMathName(f)) {
    ResolveMath(e);
  } else if (f == "CONCAT") {
    if (e.args.size() < 2 || e.args.size() > 254) {
      ThrowDatabase("The concat function requires 2 to 254 arguments.");
    }
    // Texts and whole numbers join as their text, a Null as nothing; a
    // datetime or a float would need SQL Server's default formats.
    for (ExprPtr& a : e.args) {
      const SqlType t = a->type;
      if (t != SqlType::kText && t != SqlType::kInt && t != SqlType::kSmallInt &&
          t != SqlType::kBit && !IsLoose(t)) {
        ThrowDatabase(std::string("CONCAT of a ") + TypeWord(t) +
                      " is not supported by the embedded database.");
      }
    }
    e.type = SqlType::kText;
  } else if (f == "EOMONTH") {
    if (e.args.empty() || e.args.size() > 2) {
      ThrowDatabase("The eomonth function requires 1 to 2 arguments.");
    }
    require_date(*e.args[0]);
    if (e.args.size() == 2) {
      Coerce(*e.args[1], SqlType::kInt);
      if (!IsNumeric(e.args[1]->type) && !IsLoose(e.args[1]->type)) {
        ThrowDatabase("Argument data type " + std::string(TypeWord(e.args[1]->type)) +
                      " is invalid for argument 2 of eomonth function.");
      }
    }
    e.type = SqlType::kDate;
  } else if (f == "DATALENGTH") {
    arity(1);
    // Bytes as SQL Server keeps them: two per UTF-16 unit of an nvarchar
    // (every text column here), one per character of a varchar literal.
    Expr& a = *e.args[0];
    if ((a.type == SqlType::kText && !LiteralOf(a) && a.kind != Expr::Kind::kColumn) ||
        a.type == SqlType::kDecimal) {
      ThrowDatabase("DATALENGTH of a text expression is not supported by the embedded database.");
    }
    e.type = SqlType::kInt;
  } else {
    ThrowDatabase("The function " + f + " is not supported by the embedded database.");
  }
}

// ABS, SIGN, FLOOR, CEILING, ROUND and POWER keep their first argument's
// type (an int stays an int: POWER(2, -1) is 0); SQRT and SQUARE give a
// float (the mathematical functions' pages).
void ExpressionTyper::ResolveMath(Expr& e) {
  const std::string& f = e.op;
  const size_t least = f == "ROUND" || f == "POWER" ? 2 : 1;
  const size_t most = f == "ROUND" ? 3 : least;
  if (e.args.size() < least || e.args.size() > most) {
    ThrowDatabase("The " + f + " function requires " + std::to_string(least) +
                  (most > least ? " to " + std::to_string(most) : std::string()) + " argument(s).");
  }
  std::string lower = f;
  for (char& c : lower) c = static_cast<char>(c - 'A' + 'a');
  for (size_t i = 0; i < e.args.size(); ++i) {
    Expr& a = *e.args[i];
    if (LiteralOf(a) && a.type == SqlType::kText)
      Coerce(a, i == 0 ? SqlType::kFloat : SqlType::kInt);
    if (!IsNumeric(a.type) && !IsLoose(a.type)) {
      ThrowDatabase("Argument data type " + std::string(TypeWord(a.type)) +
                    " is invalid for argument " + std::to_string(i + 1) + " of " + lower +
                    " function.");
    }
  }
  const SqlType t = e.args[0]->type;
  e.type = f == "SQRT" || f == "SQUARE" ? SqlType::kFloat
           : IsLoose(t)                 ? SqlType::kInt
           : t == SqlType::kBit         ? SqlType::kInt
                                        : t;
}

// The text functions: which arguments are texts and which whole numbers.
void ExpressionTyper::ResolveTextFunction(Expr& e) {
  const std::string& f = e.op;
  // 't' a text argument, 'n' a whole number; CHARINDEX's third is optional.
  const std::string_view shape = f == "SUBSTRING"   ? "tnn"
                                 : f == "RIGHT"     ? "tn"
                                 : f == "REPLICATE" ? "tn"
                                 : f == "CHARINDEX" ? "ttn"
                                 : f == "REPLACE"   ? "ttt"
                                                    : "t";
  const size_t least = f == "CHARINDEX" ? 2 : shape.size();
  if (e.args.size() < least || e.args.size() > shape.size()) {
    ThrowDatabase("The " + f + " function requires " + std::to_string(least) +
                  (least == shape.size() ? "" : " to " + std::to_string(shape.size())) +
                  " arguments.");
  }
  for (size_t i = 0; i < e.args.size(); ++i) {
    Expr& a = *e.args[i];
    const bool text = shape[i] == 't';
    Coerce(a, text ? SqlType::kText : SqlType::kInt);
    const bool ok = IsLoose(a.type) || (text ? a.type == SqlType::kText
                                             : IsNumeric(a.type) && a.type != SqlType::kFloat &&
                                                   a.type != SqlType::kReal);
    if (!ok) {
      ThrowDatabase("Argument data type " + std::string(TypeWord(a.type)) +
                    " is invalid for argument " + std::to_string(i + 1) + " of " + f +
                    " function.");
    }
  }
  e.type = f == "CHARINDEX" ? SqlType::kInt : SqlType::kText;
}

SqlType ExpressionTyper::Common(const std::vector<Expr*>& values, std::string_view what) {
  return CommonType(values, what);
}

// The ranking functions and OVER: only in the select list and ORDER BY,
// never inside an aggregate or another window; a ranking function needs
// an ORDER BY and takes no frame (the OVER clause page).
void ExpressionTyper::ResolveWindow(Expr& e, Scope& scope, Clause clause) {
  const std::string& f = e.op;
  const bool ranking = IsRankingName(f);
  if (!e.over) ThrowDatabase("The function '" + Lower(f) + "' must have an OVER clause.");
  if (clause != Clause::kSelectList && clause != Clause::kOrderBy) {
    ThrowDatabase("Windowed functions can only appear in the SELECT or ORDER BY clauses.");
  }
  if (in_aggregate_ || in_window_) {
    ThrowDatabase(
        "Windowed functions cannot be used in the context of another windowed function or "
        "aggregate.");
  }
  if (!IsAggregateName(f) && !ranking) {
    ThrowDatabase("The function " + f + " with OVER is not supported by the embedded database.");
  }
  WindowSpec& w = *e.over;
  in_window_ = true;
  for (ExprPtr& p : w.partition_by) Resolve(*p, scope, clause);
  for (OrderItem& o : w.order_by) {
    if (LiteralOf(*o.expr) || o.expr->kind == Expr::Kind::kNull) {
      ThrowDatabase(
          "Windowed functions, aggregates and NEXT VALUE FOR functions do not support constants "
          "as ORDER BY clause expressions.");
    }
    Resolve(*o.expr, scope, clause);
  }
  in_window_ = false;
  if (w.has_frame) {
    if (w.order_by.empty() || ranking) {
      ThrowDatabase("The function '" + Lower(f) + "' may not have a window frame.");
    }
    for (const WindowSpec::Bound* b : {&w.start, &w.end}) {
      if (b->literal_index < 0) continue;
      if (!w.rows) {
        ThrowDatabase(
            "RANGE is only supported with UNBOUNDED and CURRENT ROW window frame delimiters.");
      }
      names_.Fix(b->literal_index);
    }
  }
  if (!ranking) return;
  if (w.order_by.empty()) {
    ThrowDatabase("The function '" + Lower(f) + "' must have an OVER clause with ORDER BY.");
  }
  const size_t wanted = f == "NTILE" ? 1 : f == "LAG" || f == "LEAD" ? e.args.size() : 0;
  if (e.args.size() != wanted || ((f == "LAG" || f == "LEAD") && (wanted < 1 || wanted > 3))) {
    ThrowDatabase("The function '" + Lower(f) + "' takes " +
                  (f == "NTILE" ? "exactly 1 argument."
                   : wanted     ? "between 1 and 3 arguments."
                                : "exactly 0 arguments."));
  }
  for (ExprPtr& a : e.args) Resolve(*a, scope, clause);
  if (f == "NTILE") {
    Coerce(*e.args[0], SqlType::kInt);
    if (!IsNumeric(e.args[0]->type) && !IsLoose(e.args[0]->type)) {
      ThrowDatabase("The function 'ntile' takes a whole number.");
    }
  }
  if (f == "LAG" || f == "LEAD") {
    if (e.args.size() > 1) Coerce(*e.args[1], SqlType::kInt);
    if (e.args.size() > 2) {
      std::vector<Expr*> both{e.args[0].get(), e.args[2].get()};
      e.type = CommonType(both, f);
    } else {
      e.type = e.args[0]->type;
    }
    e.time_scale = e.args[0]->time_scale;
    return;
  }
  // ROW_NUMBER, RANK, DENSE_RANK and NTILE are bigint on SQL Server; the
  // values a page can reach fit an int, the widest integer here.
  e.type = SqlType::kInt;
}

// A value stored into a column converts as SQL Server converts it.
void ExpressionTyper::Assign(Expr& value, const ColumnDef& col) {
  Coerce(value, col.type, col.max_length);
  const SqlType t = value.type;
  if (col.type == SqlType::kTime) {
    if (Expr* lit = LiteralOf(value); lit && t == SqlType::kTime) {
      lit->param.time_scale = col.time_scale;
      return;
    }
    // A datetime stored into a time keeps its time of day, and a finer
    // time is rounded to the column's digits: the CAST that SQL Server's
    // implicit conversion makes.
    if (t == SqlType::kDateTime || (t == SqlType::kTime && value.time_scale > col.time_scale)) {
      Expr inner(std::move(value));
      value = Expr(Expr::Kind::kCast);
      value.cast_type.type = SqlType::kTime;
      value.cast_type.name = "time";
      value.cast_type.length = col.time_scale;
      value.type = SqlType::kTime;
      value.time_scale = col.time_scale;
      value.args.push_back(std::make_unique<Expr>(std::move(inner)));
      return;
    }
  }
  if (IsLoose(t) || t == col.type) return;
  if (IsNumeric(t) && IsNumeric(col.type)) return;
  if (col.type == SqlType::kText && IsNumeric(t)) return;  // SQLite stores the number's text
  ThrowDatabase(std::string("Implicit conversion from data type ") + TypeWord(t) + " to " +
                TypeWord(col.type) + " (column '" + col.name +
                "') is not supported by the embedded database.");
}

}  // namespace korimba::sql
