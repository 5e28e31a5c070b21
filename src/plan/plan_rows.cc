#include "plan/plan_rows.h"

#include "frame/grid.h"
#include "frame/record_set.h"

namespace korimba {

const Variant& PlanRows::at(int32_t field, int32_t row) const { return GridCell(grid, field, row); }

PlanRows ReadPlanRows(Connection& conn, std::string_view statement) {
  RecordSet rs;
  rs.Open(statement, conn, 3, -1, -1);
  PlanRows rows;
  rows.count = rs.RecordCount();
  rows.grid = RowSetOrOneCell(rs);
  rs.Close();
  return rows;
}

}  // namespace korimba
