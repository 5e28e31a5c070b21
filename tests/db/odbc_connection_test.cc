// The ODBC provider against the SQLite ODBC driver, registered for this
// process only (an odbcinst.ini in a temporary directory named by
// ODBCSYSINI), so the tests need no system-wide driver set-up.
#include "db/odbc_connection.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "db/schema.h"
#include "frame/clock.h"
#include "frame/error.h"
#include "frame/record_set.h"
#include "frame/variant.h"
#include "tests/support/sent_by.h"
#include "tests/support/sqlite_odbc_driver.h"

namespace korimba {
namespace {

namespace fs = std::filesystem;

using ::korimba::testing::FindSqliteDriver;
using ::korimba::testing::NthSent;

constexpr const char* kMessage = "Korimba.Message";

// Every kind of a row, one line per column: "name=DebugString".
std::string RowString(const ResultTable& table, size_t row) {
  std::string out;
  for (size_t c = 0; c < table.column_count(); ++c) {
    out += table.columns[c] + "=" + table.at(row, c).DebugString() + "\n";
  }
  return out;
}

class OdbcConnectionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    driver_ = FindSqliteDriver();
    if (driver_.empty()) return;
    ini_dir_ = fs::temp_directory_path() / ("korimba_odbc_" + std::to_string(getpid()));
    fs::create_directories(ini_dir_);
    std::ofstream(ini_dir_ / "odbcinst.ini")
        << "[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=" << driver_ << "\n";
    std::ofstream(ini_dir_ / "odbc.ini") << "";
    setenv("ODBCSYSINI", ini_dir_.c_str(), 1);
    setenv("ODBCINI", (ini_dir_ / "odbc.ini").c_str(), 1);
  }
  static void TearDownTestSuite() {
    if (!ini_dir_.empty()) fs::remove_all(ini_dir_);
  }

  void SetUp() override {
    if (driver_.empty()) GTEST_SKIP() << "the SQLite ODBC driver is not installed";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    db_path_ = ini_dir_ / (std::string(info->name()) + ".db");
    fs::remove(db_path_);
  }

  // Runs SQLite's own statements on the test database, bypassing the
  // provider (for tables outside the component's schema).
  void RawSqlite(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(db_path_.c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error);
    std::string message = error ? error : "";
    sqlite3_free(error);
    sqlite3_close(db);
    ASSERT_EQ(rc, SQLITE_OK) << message;
  }

  // SyncPragma=OFF: the tests need no durability, and each autocommit would
  // otherwise wait for the disk.
  std::shared_ptr<OdbcConnection> Connect(
      OdbcConnection::Dialect dialect = OdbcConnection::Dialect::kAuto) {
    return std::make_shared<OdbcConnection>(
        "Driver=SQLite3;SyncPragma=OFF;Database=" + db_path_.string(), dialect);
  }
  // SQLite's own statements, as SQL Server's would reach its driver.
  std::shared_ptr<OdbcConnection> ConnectPassThrough() {
    return Connect(OdbcConnection::Dialect::kPassThrough);
  }

  // A connection to a database with the component's schema, created
  // through the driver, and a frozen component clock.
  std::shared_ptr<OdbcConnection> ConnectWithSchema() {
    clock_ =
        std::make_shared<ManualClock>(*MakeDate({.year = 2024, .month = 3, .day = 1, .hour = 9}));
    SetComponentClock(clock_);
    auto conn = Connect();
    conn->EnsureSchema();
    return conn;
  }
  void TearDown() override { SetComponentClock(nullptr); }

  std::shared_ptr<ManualClock> clock_;

  static inline std::string driver_;
  static inline fs::path ini_dir_;
  fs::path db_path_;
};

TEST_F(OdbcConnectionTest, ValuesComeBackAsTheKindsOfTheirColumns) {
  RawSqlite(
      "create table kinds(i int, s smallint, b bit, f float, d datetime, v nvarchar(20), "
      "n ntext, z int);"
      "insert into kinds values(70000, -5, 1, 2.5, '2024-03-01 09:05:07.123', 'ab', 'long', "
      "null);");
  auto conn = ConnectPassThrough();
  EXPECT_EQ(conn->dbms_name(), "SQLite");
  ResultTable table = conn->Execute("select i, s, b, f, d, v, n, z from kinds");
  ASSERT_EQ(table.row_count(), 1u);
  EXPECT_EQ(RowString(table, 0),
            "i=70000i4\ns=-5i2\nb=True\nf=2.5r8\nd=#2024-03-01 09:05:07#\nv=\"ab\"\n"
            "n=\"long\"\nz=Null\n");
  // Milliseconds survive, though the text form does not show them.
  const Date* date = table.at(0, 4).date();
  ASSERT_NE(date, nullptr);
  EXPECT_EQ(SplitDate(*date).millisecond, 123);

  ResultTable count = conn->Execute("select count(*) from kinds");
  ASSERT_EQ(count.row_count(), 1u);
  EXPECT_EQ(count.at(0, 0).DebugString(), "1i4");
}

TEST_F(OdbcConnectionTest, ReadsEveryRowSoCountsAreExact) {
  // More rows than any fetch block a driver might use.
  RawSqlite(
      "create table seq(n int);"
      "with recursive c(n) as (select 0 union all select n + 1 from c where n < 1233) "
      "insert into seq select n from c;");
  auto conn = ConnectPassThrough();
  RecordSet rs;
  rs.Open("select n from seq order by n", *conn);
  EXPECT_EQ(rs.RecordCount(), 1234);
  EXPECT_EQ(rs.Value(0).DebugString(), "0i4");

  RecordSet none;
  none.Open("select n from seq where n < 0", *conn);
  EXPECT_EQ(none.RecordCount(), 0);
  EXPECT_TRUE(none.Eof());
  EXPECT_EQ(none.FieldCount(), 1);
}

TEST_F(OdbcConnectionTest, CommandsGiveAnEmptyResult) {
  RawSqlite("create table seq(n int);");
  auto conn = ConnectPassThrough();
  for (const char* command :
       {"insert into seq(n) values (1)", "update seq set n = 2 where n = 1",
        "delete from seq where n = 99" /* matches nothing */, "delete from seq"}) {
    ResultTable table = conn->Execute(command);
    EXPECT_EQ(table.column_count(), 0u) << command;
    EXPECT_EQ(table.cells.size(), 0u) << command;
  }
}

TEST_F(OdbcConnectionTest, TextRoundTripsAsUtf8) {
  RawSqlite("create table notes(id int, body ntext);");
  auto conn = ConnectPassThrough();
  // Chinese, a character outside the basic plane (a surrogate pair in
  // UTF-16) and an accented letter; then a text longer than one read piece,
  // with pieces ending in the middle of a pair.
  const std::string short_text = "明天开会 𠀀 café";
  std::string long_text;
  for (int i = 0; i < 3000; ++i) long_text += (i % 3 == 0) ? "𠀀" : "中";
  conn->Execute("insert into notes(id, body) values (1, '" + short_text + "')");
  conn->Execute("insert into notes(id, body) values (2, '" + long_text + "')");

  ResultTable table = conn->Execute("select body as 内容 from notes order by id");
  ASSERT_EQ(table.row_count(), 2u);
  EXPECT_EQ(table.columns[0], "内容");
  EXPECT_EQ(table.at(0, 0).DebugString(), "\"" + short_text + "\"");
  ASSERT_NE(table.at(1, 0).text(), nullptr);
  EXPECT_TRUE(*table.at(1, 0).text() == long_text)
      << "read " << table.at(1, 0).text()->size() << " bytes of " << long_text.size();

  ResultTable found = conn->Execute("select id from notes where body like '%开会%'");
  EXPECT_EQ(found.row_count(), 1u);
}

TEST_F(OdbcConnectionTest, ErrorsCarryTheDriversMessage) {
  auto conn = ConnectPassThrough();
  try {
    conn->Execute("select * from no_such_table");
    FAIL() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), kErrDatabase);
    EXPECT_NE(e.description().find("no such table: no_such_table"), std::string::npos)
        << e.description();
  }
  // The connection stays usable after a failed statement.
  EXPECT_EQ(conn->Execute("select 1 as one").row_count(), 1u);

  // Translated, an error the driver raises still reaches the page as the
  // driver's own message.
  auto translated = ConnectWithSchema();
  translated->Execute("Insert into HR_Person(PersonID,PersonName) values (7,'a')");
  try {
    translated->Execute("Insert into HR_Person(PersonID,PersonName) values (7,'b')");
    FAIL() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), kErrDatabase);
    EXPECT_NE(e.description().find("UNIQUE constraint failed: HR_Person.PersonID"),
              std::string::npos)
        << e.description();
  }
}

TEST_F(OdbcConnectionTest, ConnectingToAnUnknownDriverFailsWithTheDriverManagersMessage) {
  try {
    OdbcConnection conn("Driver=NoSuchDriver;Database=x");
    FAIL() << "connected";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), kErrDatabase);
    EXPECT_NE(e.description().find("NoSuchDriver"), std::string::npos) << e.description();
  }
}

TEST_F(OdbcConnectionTest, CreatesTheEmbeddedSchemaOnceThroughTheSqliteDriver) {
  auto conn = Connect();
  ASSERT_TRUE(conn->translates_dialect());
  std::vector<std::string> expected;
  for (const sql::SchemaObject& object : sql::SqliteSchemaObjects())
    expected.push_back(object.name);
  EXPECT_EQ(conn->EnsureSchema(), expected);
  EXPECT_EQ(conn->EnsureSchema(), std::vector<std::string>{});
}

// Posts, the retention rule and the conversation, as the component sends
// them (taken from the methods' calls), translated for the SQLite driver.
TEST_F(OdbcConnectionTest, ComponentStatementsRunThroughTranslation) {
  auto conn = ConnectWithSchema();
  conn->Execute("Insert into HR_Person(PersonID,PersonName) values (7,N'张三')");
  conn->Execute("Insert into HR_Person(PersonID,PersonName) values (9,N'李四')");
  auto post = [&](int to, int from, const std::string& content) {
    clock_->Advance(1);
    conn->Execute(
        NthSent(kMessage, "AddData",
                {Variant::I4(to), Variant::Text(content), Variant::I4(from), Variant::Text("t")}));
  };
  // 30 messages between 7 and 9 in both directions (ids 1..30), then 3
  // between 7 and 11, which the rule for 7 and 9 must not touch.
  for (int i = 1; i <= 30; ++i) post(i % 2 ? 7 : 9, i % 2 ? 9 : 7, "第" + std::to_string(i) + "条");
  for (int i = 0; i < 3; ++i) post(11, 7, "other");
  // The retention statement AddData sends after its insert.
  conn->Execute(NthSent(kMessage, "AddData",
                        {Variant::I4(7), Variant::Text("c"), Variant::I4(9), Variant::Text("t")},
                        1));

  ResultTable left = conn->Execute(
      "select count(*) as n, min(MsgID) as oldest from DATA_Msg where PersonID in (7, 9) and "
      "MsgFromPersonID in (7, 9)");
  EXPECT_EQ(RowString(left, 0), "n=25i4\noldest=6i4\n");
  EXPECT_EQ(conn->Execute("select count(*) from DATA_Msg where PersonID=11").at(0, 0).DebugString(),
            "3i4");

  RecordSet rs;
  rs.Open(NthSent(kMessage, "GetAllData", {Variant::I4(9)}, 0, 7), *conn);
  EXPECT_EQ(rs.RecordCount(), 25);
  std::string newest;
  for (int32_t f = 0; f < rs.FieldCount(); ++f) {
    newest += rs.FieldName(f) + "=" + rs.Value(f).DebugString() + "\n";
  }
  // Message 30 went from 7 to 9, posted 30 seconds after 09:00.
  EXPECT_EQ(newest,
            "PersonName=\"张三\"\nmsgCreatetime=#2024-03-01 09:00:30#\nMsgContent=\"第30条\"\n"
            "msgFlag=0i4\nMsgFromPersonid=7i4\nMsgFileName=Null\nMsgID=30i4\n");
}

TEST_F(OdbcConnectionTest, TranslatedStatementsFailWithSqlServersMessages) {
  auto conn = ConnectWithSchema();
  conn->Execute(
      "Insert into DATA_Msg(PersonID,MsgContent,MsgFromPersonID,MsgTitle) values (1,'a',2,'t')");
  try {
    conn->Execute("update DATA_Msg set msgCreatetime='no date' where MsgID=1");
    FAIL() << "no error";
  } catch (const AutomationError& e) {
    EXPECT_EQ(e.number(), kErrDatabase);
    EXPECT_EQ(e.description(),
              "Conversion failed when converting date and/or time from character string.");
  }
  // A failed statement leaves the row as it was.
  ResultTable row = conn->Execute("select msgCreatetime from DATA_Msg where MsgID=1");
  EXPECT_EQ(row.at(0, 0).DebugString(), "#2024-03-01 09:00:00#");
}

// schema/sqlserver.sql is what an administrator runs by hand; it must hold
// exactly the batches the provider runs itself.
TEST(SqlServerSchemaTest, ScriptHoldsEveryBatchTheProviderRuns) {
  const fs::path root = KORIMBA_TEST_SOURCE_DIR;
  const fs::path script = root / "schema/sqlserver.sql";
  std::ifstream in(script);
  ASSERT_TRUE(in) << script;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  size_t batches = 0;
  for (size_t at = text.find("\nGO\n"); at != std::string::npos; at = text.find("\nGO\n", at + 1)) {
    ++batches;
  }
  EXPECT_EQ(batches, SqlServerSchemaObjects().size());
  for (const SqlServerSchemaObject& object : SqlServerSchemaObjects()) {
    EXPECT_NE(text.find(std::string(object.batch) + "\nGO\n"), std::string::npos) << object.name;
  }
}

}  // namespace
}  // namespace korimba
