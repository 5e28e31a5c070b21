// The paged plan listing: GetAllData's query cut into pages by the result
// set's PageSize/AbsolutePage, one page copied into a grid without a header.
// The result set is paged where the connection can, so only the page's
// records are read.
#include <algorithm>
#include <cstdint>
#include <string>

#include "frame/error.h"
#include "frame/grid.h"
#include "frame/record_set.h"
#include "frame/safe_array.h"
#include "frame/value_ops.h"
#include "plan/plan.h"

namespace korimba {

Variant Plan::GetPageData(const Variant& page_size, const Variant& page) {
  RecordSet rs = RecordSet::QueryPaged(conn(), "Select * from DATA_Plan");
  if (rs.Eof()) return Variant::NoArray();
  // Page size first, then the page: the page is counted in records of the
  // new size. The result set refuses sizes below 1 and pages past the last.
  const int32_t size = ToI4(page_size);
  rs.SetPageSize(size);
  rs.SetAbsolutePage(ToI4(page));

  const int32_t n = rs.RecordCount();
  const int32_t k = rs.FieldCount();
  // The copy is bounded by the converted page size, whatever kind the page
  // passed: a form field "10" copies at most 10 records and 2.5 copies at
  // most 2, the size the pages were cut by.
  const int32_t limit = std::min(size, n);
  Variant grid = MakeGrid(limit, k);
  const int32_t copied = MoveRecordsIntoGrid(rs, grid, 0, limit);
  rs.Close();
  if (copied == 0) {
    ThrowSubscript("GetPageData: page " + TextForm(page) + " of " + std::to_string(size) +
                   " records holds no plan (" + std::to_string(n) + " plans in all)");
  }
  // Ends at the last record copied: the last page may be partial.
  grid.MutableArray().Redim({Bound{0, copied - 1}, Bound{0, k - 1}});
  return grid;
}

}  // namespace korimba
