// Connection is the database connection a page hands to SetConn: it runs one
// SQL Server-dialect statement per call and returns the whole result in
// memory (a static result: exact record counts). The component never opens or
// closes a connection; it holds a counted reference. Providers (src/db/)
// implement it; a connection is used by one thread at a time.
//
// Execute is the connection's own Execute (commands, and the lookups that
// read its result); Query is what a result set opened with a static cursor
// runs. The two differ only so that a tracing wrapper can tell them apart.
// QueryPaged is an optional capability for result sets that read one page of
// a large result: a provider that can count a query's rows and read a range
// of them (the embedded database: COUNT plus LIMIT/OFFSET) returns a
// PagedResult; the others return nullptr and the result set uses Query.
// Errors are AutomationError(kErrDatabase, <the database's own message>).
#ifndef KORIMBA_FRAME_CONNECTION_H_
#define KORIMBA_FRAME_CONNECTION_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "frame/object.h"
#include "frame/variant.h"

namespace korimba {

// A statement's result: column names as the database reports them and the
// rows, row-major (cells[row * columns.size() + column]). A command has no
// columns and no rows.
struct ResultTable {
  std::vector<std::string> columns;
  std::vector<Variant> cells;

  size_t column_count() const { return columns.size(); }
  size_t row_count() const { return columns.empty() ? 0 : cells.size() / columns.size(); }
  const Variant& at(size_t row, size_t column) const {
    return cells[row * columns.size() + column];
  }
};

// A static result whose rows are read only when asked for: its columns and
// exact row count are known when it is made, its rows by position. Each read
// runs the query again for that range, so a change committed in between by
// another connection shows in later reads. Used on the thread of the
// connection that made it, and not after that connection is gone.
class PagedResult {
 public:
  virtual ~PagedResult() = default;
  virtual const std::vector<std::string>& columns() const = 0;
  virtual size_t row_count() const = 0;
  // Moves rows [first, first + count) (clipped to the result) into `out`:
  // field c of the r-th row read goes to out[r * row_step + c * column_step].
  // Returns the number of rows read.
  virtual size_t ReadRows(size_t first, size_t count, Variant* out, size_t row_step,
                          size_t column_step) = 0;
};

class Connection : public Object {
 public:
  std::string_view KindName() const override { return "Connection"; }

  virtual ResultTable Execute(std::string_view statement) = 0;
  virtual ResultTable Query(std::string_view statement) { return Execute(statement); }
  virtual std::unique_ptr<PagedResult> QueryPaged(std::string_view /*statement*/) {
    return nullptr;
  }
};

}  // namespace korimba

#endif  // KORIMBA_FRAME_CONNECTION_H_
