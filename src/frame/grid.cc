#include "frame/grid.h"

#include <algorithm>
#include <span>
#include <utility>
#include <vector>

#include "frame/error.h"
#include "frame/record_set.h"
#include "frame/safe_array.h"

namespace korimba {

Variant MakeGrid(int32_t rows, int32_t cols) {
  if (rows < 0 || cols < 0) {
    ThrowSubscript("a grid of " + std::to_string(rows) + " rows and " + std::to_string(cols) +
                   " columns");
  }
  return Variant::Array(
      std::make_shared<SafeArray>(std::vector<Bound>{{0, rows - 1}, {0, cols - 1}}));
}

Variant MakeBuiltGrid(int32_t records, int32_t cols) { return MakeGrid(records + 1, cols); }

Variant MakeOneCellGrid() { return MakeGrid(1, 1); }

Variant& GridCell(Variant& grid, int32_t i, int32_t j) { return grid.MutableArray().at({i, j}); }

const Variant& GridCell(const Variant& grid, int32_t i, int32_t j) {
  const SafeArray* array = grid.array();
  if (array == nullptr) ThrowTypeMismatch("not an array: " + grid.DebugString());
  return array->at({i, j});
}

int32_t MoveRecordsIntoGrid(RecordSet& rs, Variant& grid, int32_t first_row, int32_t max_records) {
  SafeArray& array = grid.MutableArray();
  if (array.dims() != 2) ThrowSubscript("a grid needs two dimensions");
  const Bound rows = array.bound(1);
  const Bound cols = array.bound(2);
  const int32_t k = rs.FieldCount();
  if (k > cols.count()) {
    ThrowSubscript("a result of " + std::to_string(k) + " fields into a grid of " +
                   std::to_string(cols.count()) + " columns");
  }
  if (rs.Eof() || max_records <= 0) return 0;
  if (first_row < rows.lower || first_row > rows.upper) {
    ThrowSubscript("row " + std::to_string(first_row) + " outside " + std::to_string(rows.lower) +
                   " to " + std::to_string(rows.upper));
  }
  // Storage keeps the first index fastest: (i, j) sits at
  // (i - lower) + (j - lower) * row count.
  std::vector<Variant>& cells = array.cells();
  const size_t stride = static_cast<size_t>(rows.count());
  const int64_t room = std::min<int64_t>(int64_t{rows.upper} - first_row + 1, max_records);
  const size_t moved = rs.MoveRecordsTo(&cells[static_cast<size_t>(first_row - rows.lower)], 1,
                                        stride, static_cast<size_t>(room));
  return static_cast<int32_t>(moved);
}

std::string GridString(const Variant& grid) {
  if (!grid.is_array()) return grid.DebugString();
  const SafeArray* array = grid.array();
  if (array == nullptr) return "no array";

  const std::vector<Bound>& bounds = array->bounds();
  std::string out = "[";
  for (size_t d = 0; d < bounds.size(); ++d) {
    if (d > 0) out += ", ";
    out += std::to_string(bounds[d].lower) + ".." + std::to_string(bounds[d].upper);
  }
  out += "]";
  for (const Bound& b : bounds) {
    if (b.count() <= 0) return out;
  }

  // One line per combination of every index but the last, the last index
  // running along the line; the line is labelled with the other indexes.
  const size_t last = bounds.size() - 1;
  std::vector<int32_t> index(bounds.size());
  for (size_t d = 0; d < bounds.size(); ++d) index[d] = bounds[d].lower;
  while (true) {
    out += "\n";
    for (size_t d = 0; d < last; ++d) {
      out += (d > 0 ? "," : "") + std::to_string(index[d]);
    }
    if (last > 0) out += ": ";
    for (int32_t k = bounds[last].lower; k <= bounds[last].upper; ++k) {
      index[last] = k;
      if (k > bounds[last].lower) out += " | ";
      out += array->at(index).DebugString();
    }
    // Next line: the first index varies slowest so lines read row by row.
    size_t d = last;
    while (d > 0) {
      --d;
      if (++index[d] <= bounds[d].upper) break;
      index[d] = bounds[d].lower;
      if (d == 0) return out;
    }
    if (last == 0) return out;
  }
}

Variant ReadBuiltGrid(RecordSet&& rs, int32_t first_row, int32_t max_records) {
  Variant grid = MakeBuiltGrid(rs.RecordCount(), rs.FieldCount());
  MoveRecordsIntoGrid(rs, grid, first_row, max_records);
  return grid;
}

Variant ReadGridWithHeader(RecordSet&& rs, int32_t max_records) {
  const int32_t n = rs.RecordCount();
  const int32_t k = rs.FieldCount();
  Variant grid = MakeBuiltGrid(n, k);
  for (int32_t c = 0; c < k; ++c) GridCell(grid, 0, c) = Variant::Text(rs.FieldName(c));
  MoveRecordsIntoGrid(rs, grid, 1, max_records);
  return grid;
}

Variant RowSetOrOneCell(RecordSet&& rs) { return rs.Eof() ? MakeOneCellGrid() : rs.GetRows(); }

}  // namespace korimba
