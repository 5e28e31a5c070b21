// The plan span index of the embedded database: an R*Tree (SQLite's rtree
// module, 32-bit integer coordinates) that holds, for every DATA_Plan row
// with a person and a begin or end, the box (PersonID, PersonID) x (first
// day, last day) of the plan, keyed by PlanID. Triggers on DATA_Plan
// keep it current for every writer; EnsureSchema creates it and fills it
// from the rows already there.
//
// The calendar views ask for a person's plans that overlap a period (begin
// before its end and end after its start). A B-tree on (PersonID, begin)
// bounds only one side of that, so such a view read the person's whole
// history. DeriveSpanBox reads the WHERE of a DATA_Plan query and finds a
// box that every row satisfying it must meet; the translator then reaches
// the rows through the R*Tree first and keeps every original condition, so
// the result is exactly the same: the box only ever lets more rows through.
//
// Why the box is a faithful superset:
//  - A time is keyed by its whole days since 1970 (floored, clamped to the
//    32-bit range): a monotone function of the canonical text, whose text
//    order is its time order, so "col <= X" gives key(col) <= key(X).
//  - A plan's box spans the keys of its non-null begin and end (lowest to
//    highest), so any condition on either column is within it. A value that
//    is not canonical text (written around the provider) spans every
//    day. A row with neither time, or no person, cannot satisfy a
//    comparison on them and is not in the index.
//  - AND takes the tighter of two bounds, OR the looser, and a bound that a
//    condition does not give is simply absent; a box is only used when it
//    bounds the person by equality and the time from both sides.
// Free functions and immutable data; any thread.
#ifndef KORIMBA_DB_PLAN_SPAN_H_
#define KORIMBA_DB_PLAN_SPAN_H_

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/schema.h"
#include "db/sql_ast.h"

namespace korimba::sql {

// Named for its day keys: bounds of another unit must never meet it.
inline constexpr std::string_view kPlanSpanTable = "DATA_Plan_Days";

// The R*Tree and its triggers, in creation order; the R*Tree's `fill`
// indexes the rows that exist when it is created.
std::vector<SchemaObject> PlanSpanSchemaObjects();

// Bounds on the box of a row, each a SQLite expression over the statement's
// placeholders (person values and day keys).
struct SpanBox {
  std::optional<std::string> person_lo_max;  // person_lo <= value
  std::optional<std::string> person_hi_min;  // person_hi >= value
  std::optional<std::string> time_lo_max;    // time_lo <= value
  std::optional<std::string> time_hi_min;    // time_hi >= value

  bool Complete() const { return person_lo_max && person_hi_min && time_lo_max && time_hi_min; }
};

// The box that every row satisfying `where` meets, for a resolved WHERE over
// DATA_Plan as the single table of its scope. `placeholder` gives the
// "?n" a literal was emitted as. Only literals are used as bounds.
SpanBox DeriveSpanBox(const Expr& where,
                      const std::function<std::string(int literal_index)>& placeholder);

// The conditions on the R*Tree alias `alias` for a complete box.
std::string SpanBoxCondition(const SpanBox& box, std::string_view alias);

}  // namespace korimba::sql

#endif  // KORIMBA_DB_PLAN_SPAN_H_
