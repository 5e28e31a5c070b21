// QueryPlanOf reads SQLite's EXPLAIN QUERY PLAN for a statement already in
// SQLite's dialect, one step per line ("SEARCH t0 USING COVERING INDEX
// IX_DATA_Msg_Inbox (PersonID=?)"), so that tests can say which index a
// translated statement reaches its rows through and whether it sorts. The
// handle stays the caller's. One thread.
#ifndef KORIMBA_TESTS_SUPPORT_QUERY_PLAN_H_
#define KORIMBA_TESTS_SUPPORT_QUERY_PLAN_H_

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>

namespace korimba::testing {

inline std::string QueryPlanOf(sqlite3* db, const std::string& sql) {
  sqlite3_stmt* stmt = nullptr;
  const std::string explain = "EXPLAIN QUERY PLAN " + sql;
  EXPECT_EQ(sqlite3_prepare_v2(db, explain.c_str(), -1, &stmt, nullptr), SQLITE_OK)
      << sqlite3_errmsg(db) << "\n"
      << sql;
  std::string plan;
  while (sqlite3_step(stmt) == SQLITE_ROW) {
    plan += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3));
    plan += "\n";
  }
  sqlite3_finalize(stmt);
  return plan;
}

}  // namespace korimba::testing

#endif  // KORIMBA_TESTS_SUPPORT_QUERY_PLAN_H_
