#include "frame/record_set.h"

#include <algorithm>
#include <iterator>
#include <limits>
#include <string>
#include <utility>

#include "frame/error.h"
#include "frame/grid.h"
#include "frame/names.h"
#include "frame/safe_array.h"

namespace korimba {
namespace {

int32_t Clamp32(size_t n) {
  constexpr size_t kMax = static_cast<size_t>(std::numeric_limits<int32_t>::max());
  return static_cast<int32_t>(n > kMax ? kMax : n);
}

}  // namespace

RecordSet RecordSet::Execute(Connection& conn, std::string_view text) {
  RecordSet result;
  result.table_ = conn.Execute(text);
  result.rows_ = result.table_.row_count();
  result.open_ = true;
  return result;
}

RecordSet RecordSet::Query(Connection& conn, std::string_view text) {
  RecordSet result;
  result.Open(text, conn, 3, -1, -1);
  return result;
}

RecordSet RecordSet::QueryPaged(Connection& conn, std::string_view text) {
  std::unique_ptr<PagedResult> paged = conn.QueryPaged(text);
  if (paged == nullptr) return Query(conn, text);
  RecordSet result;
  result.table_.columns = paged->columns();
  result.rows_ = paged->row_count();
  result.paged_ = std::move(paged);
  result.open_ = true;
  return result;
}

void RecordSet::Open(std::string_view text, Connection& conn, int cursor_type, int /*lock_type*/,
                     int /*options*/) {
  // Lock type and options only matter for updatable cursors, which the
  // component never asks for; a static cursor is what makes counts exact.
  if (cursor_type != 3) {
    throw AutomationError(kErrArgumentRange,
                          "RecordSet.Open supports only the static cursor (type 3), not type " +
                              std::to_string(cursor_type));
  }
  if (open_) throw AutomationError(kErrAlreadyOpen, "The result set is already open");
  table_ = conn.Query(text);
  rows_ = table_.row_count();
  position_ = 0;
  open_ = true;
}

bool RecordSet::Eof() const {
  RequireOpen();
  return position_ >= rows_;
}

int32_t RecordSet::RecordCount() const {
  RequireOpen();
  return Clamp32(rows_);
}

int32_t RecordSet::FieldCount() const {
  RequireOpen();
  return Clamp32(table_.column_count());
}

const std::string& RecordSet::FieldName(int32_t index) const {
  RequireOpen();
  if (index < 0 || static_cast<size_t>(index) >= table_.column_count()) {
    throw AutomationError(kErrItemNotFound, "No field at position " + std::to_string(index) +
                                                ": the result has " +
                                                std::to_string(table_.column_count()) + " fields");
  }
  return table_.columns[static_cast<size_t>(index)];
}

Variant& RecordSet::Cell(size_t column) const {
  if (paged_ != nullptr) {
    Reach();
    return table_.cells[(position_ - window_first_) * table_.column_count() + column];
  }
  return table_.cells[position_ * table_.column_count() + column];
}

void RecordSet::Reach() const {
  if (position_ >= window_first_ && position_ < window_first_ + window_rows_) return;
  // A page from the position: the records a pager copies next.
  const size_t columns = table_.column_count();
  const size_t wanted = std::min(rows_ - position_, static_cast<size_t>(page_size_));
  table_.cells.assign(wanted * columns, Variant());
  window_first_ = position_;
  window_rows_ = 0;
  window_rows_ = paged_->ReadRows(position_, wanted, table_.cells.data(), columns, 1);
  table_.cells.resize(window_rows_ * columns);
  if (window_rows_ == 0) {
    throw AutomationError(kErrNoCurrentRecord,
                          "No current record: the record was deleted after the result was opened");
  }
}

const Variant& RecordSet::Value(int32_t index) const {
  if (open_ && index >= 0 && static_cast<size_t>(index) < table_.column_count() &&
      position_ < rows_) {
    return Cell(static_cast<size_t>(index));
  }
  FieldName(index);  // checks that the set is open and the position exists
  if (Eof()) {
    throw AutomationError(kErrNoCurrentRecord,
                          "No current record: the result set is at its end (EOF), so field " +
                              std::to_string(index) + " has no value");
  }
  return Cell(static_cast<size_t>(index));
}

std::span<Variant> RecordSet::TakeRecord() {
  RequireOpen();
  if (Eof()) {
    throw AutomationError(kErrNoCurrentRecord,
                          "No current record: the result set is at its end (EOF)");
  }
  return std::span<Variant>(&Cell(0), table_.column_count());
}

size_t RecordSet::MoveRecordsTo(Variant* out, size_t row_step, size_t column_step, size_t max) {
  RequireOpen();
  const size_t wanted = std::min(max, rows_ - std::min(rows_, position_));
  const size_t columns = table_.column_count();
  size_t moved = 0;
  if (paged_ != nullptr &&
      !(position_ >= window_first_ && position_ + wanted <= window_first_ + window_rows_)) {
    // Straight from the database into the caller's cells: no copy at hand.
    moved = paged_->ReadRows(position_, wanted, out, row_step, column_step);
  } else {
    const size_t base = paged_ != nullptr ? window_first_ : 0;
    for (; moved < wanted; ++moved) {
      Variant* from = table_.cells.data() + (position_ + moved - base) * columns;
      Variant* to = out + moved * row_step;
      for (size_t c = 0; c < columns; ++c) to[c * column_step] = std::move(from[c]);
    }
  }
  position_ += moved;
  return moved;
}

const Variant& RecordSet::Value(std::string_view name) const {
  int32_t index = FieldIndex(name);
  if (Eof()) {
    throw AutomationError(kErrNoCurrentRecord,
                          "No current record: the result set is at its end (EOF), so field '" +
                              std::string(name) + "' has no value");
  }
  return Cell(static_cast<size_t>(index));
}

void RecordSet::MoveNext() {
  if (Eof()) {
    throw AutomationError(kErrNoCurrentRecord,
                          "MoveNext: the result set is already at its end (EOF)");
  }
  ++position_;
}

Variant RecordSet::GetRows() {
  if (Eof()) {
    throw AutomationError(kErrNoCurrentRecord,
                          "GetRows: no records left, the result set is at its end (EOF)");
  }
  const size_t columns = table_.column_count();
  const size_t rows = rows_ - position_;
  if (paged_ != nullptr) {
    std::vector<Variant> cells(rows * columns);
    const size_t read = MoveRecordsTo(cells.data(), columns, 1, rows);
    cells.resize(read * columns);
    position_ = rows_;
    return Variant::Array(std::make_shared<SafeArray>(
        std::vector<Bound>{{0, Clamp32(columns) - 1}, {0, Clamp32(read) - 1}}, std::move(cells)));
  }
  // The row set is indexed (column, row) with the first index varying
  // fastest, which is exactly the row-major order of the table's cells, so
  // the cells move over whole: the vector itself when every record goes.
  const size_t from = position_ * columns;
  std::vector<Variant> taken;
  if (from == 0) {
    taken.swap(table_.cells);
  } else {
    taken.assign(std::make_move_iterator(table_.cells.begin() + static_cast<std::ptrdiff_t>(from)),
                 std::make_move_iterator(table_.cells.end()));
    table_.cells.resize(from);
  }
  Variant grid = Variant::Array(std::make_shared<SafeArray>(
      std::vector<Bound>{{0, Clamp32(columns) - 1}, {0, Clamp32(rows) - 1}}, std::move(taken)));
  handed_out_ = grid;
  handed_out_from_ = from;
  position_ = rows_;
  return grid;
}

void RecordSet::RestoreHandedOut() {
  const SafeArray* taken = handed_out_.array();
  if (taken == nullptr) return;
  // The caller's writes went to its own copy (the grid is shared), so these
  // are the values as read.
  table_.cells.resize(handed_out_from_);
  table_.cells.insert(table_.cells.end(), taken->cells().begin(), taken->cells().end());
  handed_out_ = Variant();
}

void RecordSet::SetPageSize(int32_t size) {
  if (size < 1) {
    throw AutomationError(kErrArgumentRange,
                          "PageSize must be at least 1, not " + std::to_string(size));
  }
  page_size_ = size;
}

void RecordSet::SetAbsolutePage(int32_t page) {
  RequireOpen();
  const size_t records = rows_;
  const size_t size = static_cast<size_t>(page_size_);
  const size_t pages = (records + size - 1) / size;
  if (page < 1 || static_cast<size_t>(page) > pages) {
    std::string description = "AbsolutePage " + std::to_string(page) + " is out of range: ";
    description += pages == 0
                       ? std::string("the result has no records")
                       : "the result has " + std::to_string(pages) + " page" +
                             (pages == 1 ? "" : "s") + " of " + std::to_string(size) + " records";
    throw AutomationError(kErrArgumentRange, std::move(description));
  }
  RestoreHandedOut();
  // A paged result reads the page afresh: records already moved out of the
  // window would otherwise read Empty.
  window_rows_ = 0;
  position_ = (static_cast<size_t>(page) - 1) * size;
}

void RecordSet::Close() {
  // Closing twice is harmless; every other use after Close fails.
  table_ = ResultTable{};
  paged_.reset();
  window_first_ = 0;
  window_rows_ = 0;
  handed_out_ = Variant();
  rows_ = 0;
  position_ = 0;
  open_ = false;
}

void RecordSet::RequireOpen() const {
  if (!open_) throw AutomationError(kErrClosed, "The result set is closed");
}

int32_t RecordSet::FieldIndex(std::string_view name) const {
  RequireOpen();
  for (size_t i = 0; i < table_.column_count(); ++i) {
    if (SameName(table_.columns[i], name)) return Clamp32(i);
  }
  std::string fields;
  for (const std::string& column : table_.columns) {
    if (!fields.empty()) fields += ", ";
    fields += column;
  }
  throw AutomationError(kErrItemNotFound, "No field named '" + std::string(name) +
                                              "' in the result (its fields: " + fields + ")");
}

}  // namespace korimba
