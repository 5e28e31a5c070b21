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

}  // namespace
}  // namespace korimba::testing
