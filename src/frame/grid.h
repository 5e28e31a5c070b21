// The ResultGrid shapes that methods return, as helpers every method reuses:
//  - the built grid, indexed (row, column), allocated from a record count n
//    with rows 0..n (one spare row) before any record is read;
//  - the row set, indexed (column, row), as RecordSet::GetRows makes it;
//  - the one-cell grid, bounds (0..0, 0..0), holding Empty;
//  - no array.
// GridString renders any Variant array as readable text for tests and
// diagnostics. Free functions; any thread.
#ifndef KORIMBA_FRAME_GRID_H_
#define KORIMBA_FRAME_GRID_H_

#include <cstdint>
#include <string>

#include "frame/variant.h"

namespace korimba {

class RecordSet;

// A two-dimensional array with bounds (0..rows-1, 0..cols-1), every cell
// Empty. `rows` or `cols` of 0 make an empty dimension.
Variant MakeGrid(int32_t rows, int32_t cols);
// The built grid for a result of `records` records and `cols` columns:
// rows 0..records, columns 0..cols-1.
Variant MakeBuiltGrid(int32_t records, int32_t cols);
Variant MakeOneCellGrid();

// Cell (i, j) of a two-dimensional array held by `grid` (subscript error
// outside the bounds, type mismatch when `grid` is no created array).
Variant& GridCell(Variant& grid, int32_t i, int32_t j);
const Variant& GridCell(const Variant& grid, int32_t i, int32_t j);

// Moves up to `max_records` records of `rs`, from its current position, into
// rows first_row, first_row + 1, ... of the two-dimensional `grid` (row,
// column), field c into column c; stops at EOF or after the grid's last row,
// leaving `rs` on the first record not moved. The moved fields read Empty
// afterwards, so this suits callers that close the result set next: values
// change hands without a copy and without a bounds check per cell. Returns
// the number of records moved.
int32_t MoveRecordsIntoGrid(RecordSet& rs, Variant& grid, int32_t first_row, int32_t max_records);
// The readers below take a result opened for them (RecordSet::Query) and
// leave it at its end; it closes when the caller's temporary goes.
//
// The built grid of a result of n records (rows 0..n): at most `max_records`
// records moved in from row `first_row`, the other rows left Empty.
Variant ReadBuiltGrid(RecordSet&& rs, int32_t first_row, int32_t max_records);
// The built grid with a header row: the column names in row 0, then the
// records from row 1, at most `max_records` of them (the grid keeps its rows
// 0..n all the same).
Variant ReadGridWithHeader(RecordSet&& rs, int32_t max_records);
// The remaining records in the row-set shape (RecordSet::GetRows), or the
// one-cell grid when there are none.
Variant RowSetOrOneCell(RecordSet&& rs);

// "[0..2, 0..1]\n0: \"a\" | 5i2\n1: Empty | Null\n..." one line per value of
// the first index; "no array" for no array; DebugString for other values.
std::string GridString(const Variant& grid);

}  // namespace korimba

#endif  // KORIMBA_FRAME_GRID_H_
