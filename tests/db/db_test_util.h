// Helpers for the embedded database tests: an in-memory database with the
// schema and a frozen component clock, and readable forms of results.
#ifndef KORIMBA_TESTS_DB_DB_TEST_UTIL_H_
#define KORIMBA_TESTS_DB_DB_TEST_UTIL_H_

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "db/sqlite_connection.h"
#include "frame/clock.h"
#include "frame/date.h"
#include "frame/error.h"

namespace korimba::testing {

// "col|col\nv|v\n..." with every value as Variant::DebugString.
inline std::string TableString(const ResultTable& t) {
  std::string out;
  for (size_t c = 0; c < t.column_count(); ++c) out += (c ? "|" : "") + t.columns[c];
  out += "\n";
  for (size_t r = 0; r < t.row_count(); ++r) {
    for (size_t c = 0; c < t.column_count(); ++c) out += (c ? "|" : "") + t.at(r, c).DebugString();
    out += "\n";
  }
  return out;
}

inline Date At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return *MakeDate(CivilDateTime{y, mo, d, h, mi, s, ms});
}

class DbTest : public ::testing::Test {
 protected:
  void SetUp() override { db_ = SqliteConnection::Open(":memory:"); }

  ResultTable Run(std::string_view sql) { return db_->Execute(sql); }
  std::string Show(std::string_view sql) { return TableString(db_->Execute(sql)); }
  // The database's message for a statement that must fail ("" if it ran).
  std::string ErrorOf(std::string_view sql) {
    try {
      db_->Execute(sql);
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), kErrDatabase);
      return e.description();
    }
    return "";
  }

  // Frozen for the test's life; the clock in force before (another
  // fixture's, the real one) is put back when the fixture goes.
  ScopedClockOverride clock_{At(2024, 3, 1, 9, 5, 7, 123)};
  std::shared_ptr<SqliteConnection> db_;
};

}  // namespace korimba::testing

#endif  // KORIMBA_TESTS_DB_DB_TEST_UTIL_H_
