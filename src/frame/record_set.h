// RecordSet is the result set the component's methods read: created new,
// opened with a static cursor (Open(text, conn, 3, -1, -1)) or made from the
// connection's Execute, all rows in memory. It offers EOF, the exact
// RecordCount, fields by 0-based position or by name without regard to case,
// MoveNext, GetRows (all remaining rows in the row-set shape, indexed
// (column, row)), PageSize/AbsolutePage, and Close. Errors (a field name the
// result lacks, a field read at EOF, a page size or page out of range, use
// after Close) are AutomationErrors with a clear description.
//
// Query and QueryPaged open a static result in one call. A paged result
// (QueryPaged on a connection that offers Connection::QueryPaged) has the
// same fields, exact RecordCount and records, but reads records only when a
// caller reaches them: a page (PageSize records from the position) at a
// time, or straight into the caller's grid (MoveRecordsTo), so a page of a
// large table costs that page. Elsewhere it is read whole, like Query. One
// thread.
#ifndef KORIMBA_FRAME_RECORD_SET_H_
#define KORIMBA_FRAME_RECORD_SET_H_

#include <cstdint>
#include <memory>
#include <span>
#include <string_view>

#include "frame/connection.h"
#include "frame/variant.h"

namespace korimba {

class RecordSet {
 public:
  RecordSet() = default;
  RecordSet(const RecordSet&) = delete;
  RecordSet& operator=(const RecordSet&) = delete;
  RecordSet(RecordSet&&) = default;
  RecordSet& operator=(RecordSet&&) = default;

  // The result of conn.Execute(text), positioned on its first record.
  static RecordSet Execute(Connection& conn, std::string_view text);
  // Open(text, conn, 3, -1, -1) on a new result set.
  static RecordSet Query(Connection& conn, std::string_view text);
  // A static result read on demand where the connection can page it.
  static RecordSet QueryPaged(Connection& conn, std::string_view text);

  // Runs `text` as a query with the given cursor type (3, static, is the only
  // one the component uses; others are refused), lock type and options.
  void Open(std::string_view text, Connection& conn, int cursor_type = 3, int lock_type = -1,
            int options = -1);

  bool Eof() const;
  int32_t RecordCount() const;
  int32_t FieldCount() const;
  const std::string& FieldName(int32_t index) const;
  const Variant& Value(int32_t index) const;
  const Variant& Value(std::string_view name) const;
  // The values of the current record, one per field, for the caller to move
  // out (a moved-out field reads Empty afterwards). For callers that copy
  // every record once and then close, so values change hands without a copy.
  std::span<Variant> TakeRecord();
  // Moves up to `max` records from the current position into `out` (field c
  // of the r-th record to out[r * row_step + c * column_step]), stopping at
  // EOF, and stands after them. The moved fields read Empty afterwards, as
  // with TakeRecord. Returns the number of records moved.
  size_t MoveRecordsTo(Variant* out, size_t row_step, size_t column_step, size_t max);
  void MoveNext();
  // All remaining records, indexed (column, row), both lower bounds 0; moves
  // to EOF.
  Variant GetRows();
  void SetPageSize(int32_t size);
  // Stands on the first record of `page` (counted from 1).
  void SetAbsolutePage(int32_t page);
  void Close();

 private:
  void RequireOpen() const;
  int32_t FieldIndex(std::string_view name) const;
  // The cell of the current record (which must exist); a paged result reads
  // the page around it first when it is not at hand.
  Variant& Cell(size_t column) const;
  void Reach() const;

  // Puts back the cells the last GetRows moved out, before the position
  // goes back to rows that were handed out.
  void RestoreHandedOut();

  // The records at hand: all of them, or for a paged result the window of
  // window_rows_ records from window_first_ (read by Reach).
  mutable ResultTable table_;
  std::unique_ptr<PagedResult> paged_;
  mutable size_t window_first_ = 0;
  mutable size_t window_rows_ = 0;
  // The grid the last GetRows returned and the first cell it took: GetRows
  // moves the cells rather than copying them, and this shared reference
  // lets a later repositioning put them back. Close drops it, so a caller
  // that closes before writing into the grid never pays for a copy.
  Variant handed_out_;
  size_t handed_out_from_ = 0;
  // The record count, kept apart from the table because GetRows takes the
  // cells away.
  size_t rows_ = 0;
  size_t position_ = 0;
  int32_t page_size_ = 10;
  bool open_ = false;
};

}  // namespace korimba

#endif  // KORIMBA_FRAME_RECORD_SET_H_
