// ReadPlanRows runs one calendar-view query and reads all its rows at once:
// the row-set shape, indexed (field, row) from 0, fields in SELECT-list order,
// or the one-cell grid (0..0, 0..0) holding Empty when nothing matched. The
// result set is opened with a static cursor and closed before it returns.
// Free function; called on the thread that owns the connection.
#ifndef KORIMBA_PLAN_PLAN_ROWS_H_
#define KORIMBA_PLAN_PLAN_ROWS_H_

#include <cstdint>
#include <string_view>

#include "frame/connection.h"
#include "frame/variant.h"

namespace korimba {

struct PlanRows {
  Variant grid;
  int32_t count = 0;  // records read; 0 for the one-cell grid

  const Variant& at(int32_t field, int32_t row) const;
};

PlanRows ReadPlanRows(Connection& conn, std::string_view statement);

}  // namespace korimba

#endif  // KORIMBA_PLAN_PLAN_ROWS_H_
