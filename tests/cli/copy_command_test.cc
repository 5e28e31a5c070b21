// Copying a whole office: every row of the four tables arrives with its id
// and its values exactly (Unicode, apostrophes, NULL beside the empty text,
// the calendar's first and last moments, milliseconds), between two embedded
// databases and through the SQLite ODBC driver in both directions; a target
// holding rows is refused unless told; a copy that fails part way leaves the
// target as it was, whether it rolls back in the embedded database or behind
// the driver.
#include "cli/copy_command.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "db/open.h"
#include "db/sql_values.h"
#include "frame/date.h"
#include "frame/value_ops.h"
#include "tests/cli/run_korimba.h"
#include "tests/support/sqlite_odbc_driver.h"
#include "web/session_store.h"

namespace korimba::cli {
namespace {

namespace fs = std::filesystem;

constexpr const char* kTables[] = {"HR_Person", "DATA_Msg", "DATA_Plan", "KORIMBA_Account"};

using ::korimba::testing::FindSqliteDriver;

// Every row of every office table, each cell with its kind.
std::string Dump(const std::string& db) {
  auto conn = OpenConnection(db);
  std::string out;
  for (const char* table : kTables) {
    ResultTable rows = conn->Execute(std::string("select * from ") + table + " order by 1");
    out += std::string(table) + "\n";
    for (size_t r = 0; r < rows.row_count(); ++r) {
      for (size_t c = 0; c < rows.column_count(); ++c) {
        const Variant& cell = rows.at(r, c);
        // With the milliseconds, which the debug form leaves out.
        out += " " + rows.columns[c] + "=" +
               (cell.date() ? sql::CanonicalText(SplitDate(*cell.date())) : cell.DebugString());
      }
      out += "\n";
    }
  }
  return out;
}

class CopyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("korimba_copy_" + web::RandomHexId().substr(0, 10));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Db(const char* name) const { return "sqlite:" + (dir_ / name).string(); }
  // The same kind of file reached through the SQLite ODBC driver, registered
  // for this process only.
  std::string Odbc(const char* name) {
    if (driver_.empty()) {
      driver_ = FindSqliteDriver();
      if (driver_.empty()) return {};
      std::ofstream(dir_ / "odbcinst.ini")
          << "[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=" << driver_ << "\n";
      std::ofstream(dir_ / "odbc.ini") << "";
      setenv("ODBCSYSINI", dir_.c_str(), 1);
      setenv("ODBCINI", (dir_ / "odbc.ini").c_str(), 1);
    }
    return "odbc:Driver=SQLite3;SyncPragma=OFF;Database=" + (dir_ / name).string();
  }

  // An office whose rows hold what a copy most easily gets wrong.
  void MakeOffice(const std::string& db) {
    auto conn = OpenConnection(db);
    EnsureSchema(*conn);
    conn->Execute(
        "insert into HR_Person (PersonID, PersonName) values (1, N'王芳'), (2, N'O''Brien'), "
        "(7, N'Zoë 😀'), (9, NULL)");
    for (int i = 0; i < 7; ++i) {
      conn->Execute(
          "insert into DATA_Msg (PersonID, MsgFromPersonID, MsgTitle, MsgContent, MsgFileName, "
          "msgFlag) values (1, 2, N'会议', N'十点开会，请带上''季度''报告。\n第二行', NULL, 0)");
    }
    // Gaps in the ids, which the copy must keep.
    conn->Execute("delete from DATA_Msg where MsgID in (2, 5)");
    conn->Execute(
        "update DATA_Msg set MsgFileName = N'报告 (final).pdf', msgFlag = 1, MsgTitle = N'', "
        "msgCreatetime = '9999-12-31 23:59:59.997' where MsgID = 3");
    conn->Execute(
        "update DATA_Msg set msgCreatetime = '1753-01-01 00:00:00.003', MsgContent = NULL, "
        "PersonID = NULL where MsgID = 4");
    for (int i = 0; i < 4; ++i) {
      conn->Execute(
          "insert into DATA_Plan (PersonID, PlanType, PlanClass, PlanBeginTime, PlanEndTime, "
          "PlanAlertTime, PlanContent, PlanPlace) values (1, 0, 2, '2024-03-05 09:07:00.123', "
          "'2024-03-06 18:00', NULL, N'季度 review <b>', N'Room ''A''')");
    }
    conn->Execute("delete from DATA_Plan where PlanID = 1");
    conn->Execute(
        "insert into KORIMBA_Account (LoginName, PersonID, PasswordHash, Created, LastSignIn) "
        "values (N'wangfang', 1, N'$argon2id$v=19$m=8,t=1,p=1$abc', '2024-01-02 03:04:05', NULL),"
        " (N'obrien', 2, NULL, '2024-01-02 03:04:05.010', '2024-02-03 04:05:06'),"
        " (N'王', 1, N'', NULL, NULL)");
  }

  int Run(const CopyOptions& options) {
    out_.str("");
    err_.str("");
    return Copy(options, out_, err_);
  }

  fs::path dir_;
  std::string driver_;
  std::ostringstream out_, err_;
};

TEST_F(CopyTest, EveryRowArrivesExactlyAndIdsGoOnFromTheLargest) {
  MakeOffice(Db("a.db"));
  // Small batches: tables span several pages, the accounts by a text key.
  ASSERT_EQ(Run({.from = Db("a.db"), .to = Db("b.db"), .batch_rows = 2}), 0) << err_.str();
  EXPECT_EQ(Dump(Db("b.db")), Dump(Db("a.db")));
  EXPECT_NE(out_.str().find("DATA_Msg: 5 rows copied"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("Counts checked"), std::string::npos);

  // The target's identities continue after the copied ids.
  auto target = OpenConnection(Db("b.db"));
  target->Execute(
      "insert into DATA_Msg (PersonID, MsgFromPersonID, MsgContent) values (2, 1, N'next')");
  EXPECT_EQ(ToI4(target->Execute("select max(MsgID) from DATA_Msg").at(0, 0)), 8);
}

TEST_F(CopyTest, ThroughTheOdbcDriverAndBackNothingChanges) {
  if (Odbc("x.db").empty()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
  MakeOffice(Db("a.db"));
  ASSERT_EQ(Run({.from = Db("a.db"), .to = Odbc("odbc.db"), .batch_rows = 3}), 0) << err_.str();
  EXPECT_EQ(Dump(Odbc("odbc.db")), Dump(Db("a.db")));
  ASSERT_EQ(Run({.from = Odbc("odbc.db"), .to = Db("back.db")}), 0) << err_.str();
  EXPECT_EQ(Dump(Db("back.db")), Dump(Db("a.db")));
}

TEST_F(CopyTest, ATargetWithRowsIsRefusedUnlessToldAndAFailedCopyLeavesItAsItWas) {
  MakeOffice(Db("a.db"));
  for (bool through_odbc : {false, true}) {
    SCOPED_TRACE(through_odbc ? "ODBC target" : "embedded target");
    std::string target = Db(through_odbc ? "t-odbc.db" : "t.db");
    if (through_odbc) {
      target = Odbc("t-odbc.db");
      if (target.empty()) continue;
    }
    auto conn = OpenConnection(target);
    EnsureSchema(*conn);
    conn->Execute("insert into HR_Person (PersonID, PersonName) values (2, N'already there')");
    const std::string before = Dump(target);

    EXPECT_EQ(Run({.from = Db("a.db"), .to = target}), 1);
    EXPECT_NE(err_.str().find("already holds rows (HR_Person 1)"), std::string::npos) << err_.str();
    EXPECT_EQ(Dump(target), before);

    // Person 2 is in both: the copy fails after other rows went in, and all
    // of them are rolled back.
    EXPECT_EQ(Run({.from = Db("a.db"), .to = target, .append = true}), 1);
    EXPECT_NE(err_.str().find("Nothing copied"), std::string::npos) << err_.str();
    EXPECT_EQ(Dump(target), before);

    EXPECT_EQ(Run({.from = Db("a.db"), .to = target, .replace = true}), 0) << err_.str();
    EXPECT_EQ(Dump(target), Dump(Db("a.db")));
  }
}

TEST_F(CopyTest, AppendAddsBesideRowsWhoseIdsDiffer) {
  MakeOffice(Db("a.db"));
  auto conn = OpenConnection(Db("b.db"));
  conn->Execute("insert into HR_Person (PersonID, PersonName) values (100, N'kept')");
  ASSERT_EQ(Run({.from = Db("a.db"), .to = Db("b.db"), .append = true}), 0) << err_.str();
  EXPECT_EQ(ToI4(conn->Execute("select count(*) from HR_Person").at(0, 0)), 5);
}

TEST_F(CopyTest, BadRequestsChangeNothing) {
  MakeOffice(Db("a.db"));
  struct Case {
    CopyOptions options;
    int code;
    const char* says;
  };
  const Case cases[] = {
      {{.from = Db("a.db"), .to = Db("b.db"), .replace = true, .append = true}, 2, "not both"},
      {{.from = Db("a.db"), .to = Db("a.db")}, 2, "the same database"},
      {{.from = Db("none.db"), .to = Db("b.db")}, 1, "does not exist"},
      {{.from = Db("a.db"), .to = "odbc:Driver=NoSuchDriver;UID=u;PWD=hunter2"}, 1, "Nothing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    EXPECT_EQ(Run(c.options), c.code);
    EXPECT_NE(err_.str().find(c.says), std::string::npos) << err_.str();
    EXPECT_EQ(err_.str().find("hunter2"), std::string::npos) << err_.str();
  }
  EXPECT_FALSE(fs::exists(dir_ / "none.db"));
  EXPECT_FALSE(fs::exists(dir_ / "b.db"));
}

class CopyProgramTest : public testing::ProgramTest {};

TEST_F(CopyProgramTest, CopiesTheDemoOfficeOnceThenRefuses) {
  Run("init-db --demo --db " + Db("a.db"));
  ASSERT_EQ(exit_code_, 0);
  const std::string copy = "copy --from " + Db("a.db") + " --to " + Db("b.db");
  EXPECT_NE(Run(copy).find("HR_Person: 12 rows copied"), std::string::npos);
  EXPECT_EQ(exit_code_, 0);
  EXPECT_NE(Run(copy).find("--replace"), std::string::npos);
  EXPECT_EQ(exit_code_, 1);
}

}  // namespace
}  // namespace korimba::cli
