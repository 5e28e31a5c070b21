// Opening connections by connection string: the schema on a new file, data
// kept on the next open, and unknown strings refused.
#include "db/open.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>

#include "db/sqlite_connection.h"
#include "frame/error.h"

namespace korimba::testing {
namespace {

TEST(OpenConnectionTest, ConnectionStringsAndSchema) {
  namespace fs = std::filesystem;
  const fs::path path =
      fs::temp_directory_path() / ("korimba_h3_" + std::to_string(::getpid()) + ".db");
  fs::remove(path);
  {
    auto conn = OpenConnection("sqlite:" + path.string());
    conn->Execute("Insert into HR_Person(PersonID,PersonName) values (1,'Ann')");
    EXPECT_TRUE(EnsureSchema(*conn).empty());
    auto* sqlite = dynamic_cast<SqliteConnection*>(conn.get());
    ASSERT_NE(sqlite, nullptr);
    sqlite3_exec(sqlite->handle(), "DROP INDEX IX_DATA_Msg_From", nullptr, nullptr, nullptr);
    EXPECT_EQ(EnsureSchema(*conn), std::vector<std::string>{"IX_DATA_Msg_From"});
  }
  {
    auto conn = OpenConnection("sqlite:" + path.string());  // data kept
    EXPECT_EQ(conn->Execute("select PersonName from HR_Person").at(0, 0).DebugString(), "\"Ann\"");
  }
  fs::remove(path);
  fs::remove(path.string() + "-wal");
  fs::remove(path.string() + "-shm");
  EXPECT_EQ(OpenConnection("sqlite::memory:")
                ->Execute("select count(*) from DATA_Plan")
                .at(0, 0)
                .DebugString(),
            "0i4");
  try {
    OpenConnection("postgres://x");
    ADD_FAILURE();
  } catch (const AutomationError& e) {
    EXPECT_NE(e.description().find("Unknown connection string"), std::string::npos);
  }
}

// A file made by an earlier schema lacks the title and text indexes and holds
// the ones they supersede; the schema's check (as the server and init-db run it on start) builds
// their successors and drops the old ones, so that writes do not keep maintaining both, and the
// rows stay.
TEST(OpenConnectionTest, SupersededIndexesAreReplacedOnOpen) {
  namespace fs = std::filesystem;
  const fs::path path =
      fs::temp_directory_path() / ("korimba_old_" + std::to_string(::getpid()) + ".db");
  fs::remove(path);
  auto indexes = [](SqliteConnection& conn) {
    std::string names;
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(conn.handle(),
                       "SELECT name FROM sqlite_master WHERE type = 'index' AND name IN ("
                       "'IX_DATA_Msg_InboxTitle', 'IX_DATA_Msg_Sent', 'IX_DATA_Plan_Begin', "
                       "'IX_DATA_Msg_SentCover', 'IX_DATA_Plan_Person') "
                       "ORDER BY name",
                       -1, &stmt, nullptr);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      names += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
      names += " ";
    }
    sqlite3_finalize(stmt);
    return names;
  };
  {
    auto conn = SqliteConnection::Open(path.string());
    conn->Execute("Insert into DATA_Msg(PersonID, MsgFromPersonID, MsgContent) values (1, 2, 'x')");
    for (const char* sql :
         {"DROP INDEX IX_DATA_Msg_InboxTitle", "DROP INDEX IX_DATA_Msg_Sent",
          "DROP INDEX IX_DATA_Plan_Begin",
          "CREATE INDEX IX_DATA_Msg_SentCover ON DATA_Msg (MsgFromPersonID, PersonID, "
          "MsgContent, msgCreatetime)",
          "CREATE INDEX IX_DATA_Plan_Person ON DATA_Plan (PersonID, PlanBeginTime)"}) {
      ASSERT_EQ(sqlite3_exec(conn->handle(), sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    }
    EXPECT_EQ(indexes(*conn), "IX_DATA_Msg_SentCover IX_DATA_Plan_Person ");
  }
  {
    auto conn = SqliteConnection::Open(path.string());
    EXPECT_EQ(EnsureSchema(*conn),
              (std::vector<std::string>{"IX_DATA_Msg_InboxTitle", "IX_DATA_Msg_Sent",
                                        "IX_DATA_Plan_Begin"}));
    EXPECT_EQ(indexes(*conn), "IX_DATA_Msg_InboxTitle IX_DATA_Msg_Sent IX_DATA_Plan_Begin ");
    EXPECT_TRUE(EnsureSchema(*conn).empty());
    EXPECT_EQ(
        conn->Execute("select MsgContent from DATA_Msg where PersonID = 1").at(0, 0).DebugString(),
        "\"x\"");
  }
  fs::remove(path);
  fs::remove(path.string() + "-wal");
  fs::remove(path.string() + "-shm");
}

}  // namespace
}  // namespace korimba::testing
