#include "db/plan_span.h"

#include "db/resolved_tree.h"
#include "db/sql_lexer.h"

namespace korimba::sql {
namespace {

std::string Clamp(const std::string& x) { return "max(-2147483648, min(2147483647, " + x + "))"; }

// Whole days since 1970 of a date text, floored (counting from year 0
// keeps the division on positive numbers), plus `shift` days, clamped to
// the R*Tree's 32-bit range. Null for a text that is no date. Days rather
// than minutes: on the person-by-time plane the R*Tree's nodes then hold
// few persons each and long stretches of their time, which is what a
// view of one person's month reads.
std::string DayKey(const std::string& text, const std::string& shift = "") {
  std::string key =
      "(CAST(strftime('%s', " + text + ") AS INTEGER) + 62167219200) / 86400 - 719528";
  if (!shift.empty()) key += " + (" + shift + ")";
  return Clamp(key);
}

// The key of a stored time for the low or the high side of the box: a
// canonical text ("yyyy-mm-dd hh:mm:ss.fff", which SQLite's own formatting
// reproduces exactly) gets its day; any other value the whole range.
std::string StoredKey(const std::string& column, bool low) {
  return "CASE WHEN " + column + " IS NULL THEN NULL WHEN typeof(" + column +
         ") = 'text' AND strftime('%Y-%m-%d %H:%M:%f', " + column + ") = " + column + " THEN " +
         DayKey(column) + " ELSE " + (low ? "-2147483648" : "2147483647") + " END";
}

// The R*Tree row of a DATA_Plan row; `row` is "NEW." in a trigger, "" when
// filling from the table.
std::string SpanRow(const std::string& row) {
  const std::string begin = row + "PlanBeginTime";
  const std::string end = row + "PlanEndTime";
  const std::string person = Clamp("CAST(" + row + "PersonID AS INTEGER)");
  const std::string begin_lo = StoredKey(begin, true), end_lo = StoredKey(end, true);
  const std::string begin_hi = StoredKey(begin, false), end_hi = StoredKey(end, false);
  return "INSERT INTO DATA_Plan_Days (id, person_lo, person_hi, time_lo, time_hi) SELECT " + row +
         "PlanID, " + person + ", " + person + ", min(coalesce(" + begin_lo + ", " + end_lo +
         "), coalesce(" + end_lo + ", " + begin_lo + ")), max(coalesce(" + begin_hi + ", " +
         end_hi + "), coalesce(" + end_hi + ", " + begin_hi + "))" +
         (row.empty() ? " FROM DATA_Plan" : "") + " WHERE " + row + "PersonID IS NOT NULL AND (" +
         begin + " IS NOT NULL OR " + end + " IS NOT NULL)";
}

enum class PlanColumn { kNone, kPerson, kBegin, kEnd };

// Which DATA_Plan column `e` is, when it is one of the scope's own table.
PlanColumn ColumnOf(const Expr& e) {
  if (e.kind != Expr::Kind::kColumn || e.scope_depth != 0 || e.binding != 0)
    return PlanColumn::kNone;
  static const TableDef& plan = *FindTable("DATA_Plan");
  static const int person = plan.IndexOf("PersonID");
  static const int begin = plan.IndexOf("PlanBeginTime");
  static const int end = plan.IndexOf("PlanEndTime");
  if (e.column == person) return PlanColumn::kPerson;
  if (e.column == begin) return PlanColumn::kBegin;
  if (e.column == end) return PlanColumn::kEnd;
  return PlanColumn::kNone;
}

bool IsTime(PlanColumn c) { return c == PlanColumn::kBegin || c == PlanColumn::kEnd; }

// A text literal bound as a datetime (its canonical text).
const Expr* TimeLiteral(const Expr& e) {
  return e.kind == Expr::Kind::kLiteral && e.marker == kStringMarker &&
                 e.param.target == SqlType::kDateTime
             ? &e
             : nullptr;
}

// A whole-number literal (its minus bound with it), or a text bound as int.
const Expr* IntLiteral(const Expr& e) {
  const Expr* lit = &e;
  if (e.kind == Expr::Kind::kNegate) lit = e.args[0].get();
  if (lit->kind != Expr::Kind::kLiteral) return nullptr;
  if (lit->marker == kIntegerMarker) return lit;
  if (lit == &e && lit->marker == kStringMarker && lit->param.target == SqlType::kInt) return lit;
  return nullptr;
}

bool IsDayDiff(const Expr& e) {
  if (e.kind != Expr::Kind::kFunction || e.op != "DATEDIFF" || e.args.size() != 3) return false;
  const Expr& part = *e.args[0];
  if (part.kind != Expr::Kind::kColumn || part.names.size() != 1) return false;
  return DatePart(part.names[0]) == "day";
}

// The operator with its sides swapped: "X < col" is "col > X".
std::string Flip(const std::string& op) {
  if (op == "<") return ">";
  if (op == "<=") return ">=";
  if (op == ">") return "<";
  if (op == ">=") return "<=";
  return op;
}
bool AtMost(const std::string& op) { return op == "<" || op == "<=" || op == "="; }
bool AtLeast(const std::string& op) { return op == ">" || op == ">=" || op == "="; }

using Bound = std::optional<std::string>;

std::string Call(const char* function, const std::string& a, const std::string& b) {
  return std::string(function) + "(" + a + ", " + b + ")";
}
// Both bounds hold: the tighter of the two, or the one there is.
Bound Tighter(const Bound& a, const Bound& b, const char* function) {
  if (a && b) return Call(function, *a, *b);
  return a ? a : b;
}
// Either bound holds: the looser of the two, and none when one side has none.
Bound Looser(const Bound& a, const Bound& b, const char* function) {
  if (a && b) return Call(function, *a, *b);
  return std::nullopt;
}

class Deriver {
 public:
  explicit Deriver(const std::function<std::string(int literal_index)>& placeholder)
      : placeholder_(placeholder) {}

  SpanBox Derive(const Expr& e) const {
    switch (e.kind) {
      case Expr::Kind::kAnd:
        return All(Derive(*e.args[0]), Derive(*e.args[1]));
      case Expr::Kind::kOr:
        return Any(Derive(*e.args[0]), Derive(*e.args[1]));
      case Expr::Kind::kCompare:
        return Compare(*e.args[0], e.op, *e.args[1]);
      case Expr::Kind::kBetween:
        return Between(e);
      default:
        return {};
    }
  }

 private:
  static SpanBox All(const SpanBox& a, const SpanBox& b) {
    return {Tighter(a.person_lo_max, b.person_lo_max, "min"),
            Tighter(a.person_hi_min, b.person_hi_min, "max"),
            Tighter(a.time_lo_max, b.time_lo_max, "min"),
            Tighter(a.time_hi_min, b.time_hi_min, "max")};
  }
  static SpanBox Any(const SpanBox& a, const SpanBox& b) {
    return {Looser(a.person_lo_max, b.person_lo_max, "max"),
            Looser(a.person_hi_min, b.person_hi_min, "min"),
            Looser(a.time_lo_max, b.time_lo_max, "max"),
            Looser(a.time_hi_min, b.time_hi_min, "min")};
  }

  std::string Placeholder(const Expr& literal) const { return placeholder_(literal.literal_index); }

  SpanBox Compare(const Expr& a, const std::string& op, const Expr& b) const {
    if (ColumnOf(a) != PlanColumn::kNone) return ColumnBound(ColumnOf(a), op, b);
    if (ColumnOf(b) != PlanColumn::kNone) return ColumnBound(ColumnOf(b), Flip(op), a);
    if (IsDayDiff(a)) return DayDiffBound(a, op, b);
    if (IsDayDiff(b)) return DayDiffBound(b, Flip(op), a);
    return {};
  }

  SpanBox ColumnBound(PlanColumn column, const std::string& op, const Expr& value) const {
    SpanBox box;
    if (column == PlanColumn::kPerson) {
      // Equality only: an int column compared by order with a text it
      // holds (written around the provider) would not follow its number.
      const Expr* lit = IntLiteral(value);
      if (op != "=" || !lit) return box;
      const std::string person = Clamp("CAST(" + Placeholder(*lit) + " AS INTEGER)");
      box.person_lo_max = person;
      box.person_hi_min = person;
      return box;
    }
    const Expr* lit = TimeLiteral(value);
    if (!lit) return box;
    const std::string key = DayKey(Placeholder(*lit));
    if (AtMost(op)) box.time_lo_max = key;
    if (AtLeast(op)) box.time_hi_min = key;
    return box;
  }

  SpanBox Between(const Expr& e) const {
    SpanBox box;
    if (e.negated || !IsTime(ColumnOf(*e.args[0]))) return box;
    const Expr* low = TimeLiteral(*e.args[1]);
    const Expr* high = TimeLiteral(*e.args[2]);
    if (low) box.time_hi_min = DayKey(Placeholder(*low));
    if (high) box.time_lo_max = DayKey(Placeholder(*high));
    return box;
  }

  // DATEDIFF(dd, a, b) op k counts midnights: day(b) - day(a) op k, where
  // day() is the day key of the date part. With the column as a, its day
  // is at least day(X) - k when the difference is at most k, and at most
  // that when it is at least k; with the column as b, day(X) + k the other
  // way round. (A strict < or > gives the same, looser, bound.)
  SpanBox DayDiffBound(const Expr& diff, const std::string& op, const Expr& value) const {
    SpanBox box;
    const Expr* k = IntLiteral(value);
    if (!k) return box;
    const std::string days = Placeholder(*k);
    const Expr& a = *diff.args[1];
    const Expr& b = *diff.args[2];
    const bool column_first = IsTime(ColumnOf(a)) && TimeLiteral(b);
    const bool column_second = IsTime(ColumnOf(b)) && TimeLiteral(a);
    if (!column_first && !column_second) return box;
    const std::string midnight =
        "substr(" + Placeholder(*TimeLiteral(column_first ? b : a)) + ", 1, 10)";
    if (column_first) {
      if (AtMost(op)) box.time_hi_min = DayKey(midnight, "-" + days);
      if (AtLeast(op)) box.time_lo_max = DayKey(midnight, "-" + days);
    } else {
      if (AtMost(op)) box.time_lo_max = DayKey(midnight, days);
      if (AtLeast(op)) box.time_hi_min = DayKey(midnight, days);
    }
    return box;
  }

  const std::function<std::string(int)>& placeholder_;
};

}  // namespace

std::vector<SchemaObject> PlanSpanSchemaObjects() {
  return {
      {"DATA_Plan_Days", "table",
       "CREATE VIRTUAL TABLE DATA_Plan_Days USING rtree_i32(id, person_lo, person_hi, time_lo, "
       "time_hi)",
       SpanRow("")},
      {"DATA_Plan_Days_Insert", "trigger",
       "CREATE TRIGGER DATA_Plan_Days_Insert AFTER INSERT ON DATA_Plan BEGIN " + SpanRow("NEW.") +
           "; END",
       ""},
      {"DATA_Plan_Days_Update", "trigger",
       // Only when the box can change: editing a plan's other columns (the
       // page sets every column) leaves the R*Tree alone.
       "CREATE TRIGGER DATA_Plan_Days_Update AFTER UPDATE OF PlanID, PersonID, PlanBeginTime, "
       "PlanEndTime ON DATA_Plan WHEN OLD.PlanID IS NOT NEW.PlanID OR OLD.PersonID IS NOT "
       "NEW.PersonID OR OLD.PlanBeginTime IS NOT NEW.PlanBeginTime OR OLD.PlanEndTime IS NOT "
       "NEW.PlanEndTime BEGIN DELETE FROM DATA_Plan_Days WHERE id = OLD.PlanID; " +
           SpanRow("NEW.") + "; END",
       ""},
      {"DATA_Plan_Days_Delete", "trigger",
       "CREATE TRIGGER DATA_Plan_Days_Delete AFTER DELETE ON DATA_Plan BEGIN DELETE FROM "
       "DATA_Plan_Days WHERE id = OLD.PlanID; END",
       ""},
  };
}

SpanBox DeriveSpanBox(const Expr& where,
                      const std::function<std::string(int literal_index)>& placeholder) {
  return Deriver(placeholder).Derive(where);
}

std::string SpanBoxCondition(const SpanBox& box, std::string_view alias) {
  const std::string a(alias);
  return "(" + a + ".person_lo <= coalesce(" + *box.person_lo_max + ", 2147483647)) AND (" + a +
         ".person_hi >= coalesce(" + *box.person_hi_min + ", -2147483648)) AND (" + a +
         ".time_lo <= coalesce(" + *box.time_lo_max + ", 2147483647)) AND (" + a +
         ".time_hi >= coalesce(" + *box.time_hi_min + ", -2147483648))";
}

}  // namespace korimba::sql
