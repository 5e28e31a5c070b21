// Connection is the database connection a page hands to SetConn: it runs one
// SQL Server-dialect statement per call and returns the whole result in
// memory (a static result: exact record counts). The component never opens or
// closes a connection; it holds a counted reference. Providers (src/db/)
// implement it; a connection is used by one thread at a time.
//
// Execute is the connection's own Execute (commands, and the lookups that
// read its result); Query is what a result set opened with a static cursor
// runs. The two differ only so that a tracing wrapper can tell them apart.
// Errors are AutomationError(kErrDatabase, <the database's own message>).
#ifndef KORIMBA_FRAME_CONNECTION_H_
#define KORIMBA_FRAME_CONNECTION_H_

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

class Connection : public Object {
 public:
  std::string_view KindName() const override { return "Connection"; }

  virtual ResultTable Execute(std::string_view statement) = 0;
  virtual ResultTable Query(std::string_view statement) { return Execute(statement); }
};

}  // namespace korimba

#endif  // KORIMBA_FRAME_CONNECTION_H_
