// Paging over real databases: the embedded database reads a page at a time
// (RecordSet::QueryPaged over Connection::QueryPaged), the ODBC provider
// reads its static result whole. Every call must give the same grid, or the
// same error, on both and on the embedded database read whole: page sizes as
// numbers, texts and fractions, a page size of 0, pages past the last, the
// last partial page, GetAllData, and the empty table.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "classes/registry.h"
#include "db/odbc_connection.h"
#include "db/sqlite_connection.h"
#include "frame/error.h"
#include "frame/grid.h"
#include "frame/record_set.h"
#include "tests/plan/plan_db_fixture.h"
#include "tests/plan/plan_fixture.h"
#include "tests/support/sqlite_odbc_driver.h"

namespace korimba::testing {
namespace {

namespace fs = std::filesystem;

// The embedded database without its paging capability: every result read
// whole, as before paging existed. The reference the paged reads must match.
class ReadWhole final : public Connection {
 public:
  explicit ReadWhole(std::shared_ptr<Connection> inner) : inner_(std::move(inner)) {}
  ResultTable Execute(std::string_view statement) override { return inner_->Execute(statement); }
  ResultTable Query(std::string_view statement) override { return inner_->Query(statement); }

 private:
  std::shared_ptr<Connection> inner_;
};

using ::korimba::testing::FindSqliteDriver;

// The outcome of one call as text: the grid, or the error's number and text.
std::string Outcome(DispatchObject& plan, std::string_view method, std::vector<Variant> args) {
  try {
    return GridString(plan.Call(method, args));
  } catch (const AutomationError& e) {
    return "error " + std::to_string(e.number()) + ": " + e.description();
  }
}

class PagingOnProviders : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("korimba_paging_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    sqlite_ = SqliteConnection::Open((dir_ / "plans.db").string());
  }
  void TearDown() override {
    sqlite_.reset();
    fs::remove_all(dir_);
  }

  void AddPlans(int count) {
    for (int i = 1; i <= count; ++i) {
      sqlite_->Execute(
          "INSERT INTO DATA_Plan (PersonID, PlanType, PlanClass, PlanBeginTime, PlanEndTime, "
          "PlanContent, PlanPlace) VALUES (" +
          std::to_string(i % 4) + ", 1, 2, '2024-03-" + std::to_string(1 + i % 28) +
          " 09:00', '2024-03-" + std::to_string(1 + i % 28) + " 10:00', 'plan " +
          std::to_string(i) + "', " + (i % 5 == 0 ? "NULL" : "'room'") + ")");
    }
  }

  // The connections a Plan is given: paged, whole, and through ODBC when
  // the SQLite driver is installed.
  std::vector<std::pair<std::string, std::shared_ptr<Connection>>> Providers() {
    std::vector<std::pair<std::string, std::shared_ptr<Connection>>> out = {
        {"embedded, paged", sqlite_}, {"embedded, whole", std::make_shared<ReadWhole>(sqlite_)}};
    const std::string driver = FindSqliteDriver();
    if (!driver.empty()) {
      std::ofstream(dir_ / "odbcinst.ini")
          << "[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=" << driver << "\n";
      std::ofstream(dir_ / "odbc.ini") << "";
      setenv("ODBCSYSINI", dir_.c_str(), 1);
      setenv("ODBCINI", (dir_ / "odbc.ini").c_str(), 1);
      out.emplace_back("odbc", std::make_shared<OdbcConnection>("Driver=SQLite3;Database=" +
                                                                (dir_ / "plans.db").string()));
    }
    return out;
  }

  // Runs every call on every provider and checks that all agree; returns
  // the outcomes of the first.
  std::vector<std::string> Agreed(const std::vector<std::vector<Variant>>& pages,
                                  bool with_all_data) {
    std::vector<std::string> first;
    std::string first_name;
    for (auto& [name, conn] : Providers()) {
      auto plan = CreateObject("Korimba.Plan");
      plan->Call("SetConn", std::vector<Variant>{Variant::Object(conn)});
      std::vector<std::string> outcomes;
      for (const auto& args : pages) outcomes.push_back(Outcome(*plan, "GetPageData", args));
      if (with_all_data) outcomes.push_back(Outcome(*plan, "GetAllData", {}));
      if (first_name.empty()) {
        first = outcomes;
        first_name = name;
        continue;
      }
      for (size_t i = 0; i < outcomes.size(); ++i) {
        EXPECT_EQ(outcomes[i], first[i])
            << "call " << i << ": " << name << " against " << first_name;
      }
    }
    return first;
  }

  fs::path dir_;
  std::shared_ptr<SqliteConnection> sqlite_;
};

TEST_F(PagingOnProviders, PagesAgreeWithTheWholeResult) {
  AddPlans(25);
  const std::vector<std::vector<Variant>> pages = {
      {I(10), I(1)}, {I(10), I(3)},  {T("10"), T("2")}, {T(" 7 "), I(4)}, {Variant::R8(2.5), I(13)},
      {I(25), I(1)}, {I(100), I(1)}, {I(1), I(25)},     {I(0), I(1)},     {I(-3), I(1)},
      {I(10), I(4)}, {I(10), I(0)},  {T("x"), I(1)},    {I(10), T("")},
  };
  const std::vector<std::string> outcomes = Agreed(pages, true);
  ASSERT_EQ(outcomes.size(), pages.size() + 1);
  // The embedded database reads only the page, yet the last page is partial
  // and the errors name the real page count.
  EXPECT_NE(outcomes[1].find("[0..4, 0..8]"), std::string::npos) << outcomes[1];
  EXPECT_NE(outcomes[1].find("plan 25"), std::string::npos) << outcomes[1];
  EXPECT_NE(outcomes[8].find("error"), std::string::npos) << outcomes[8];
  EXPECT_NE(outcomes[10].find("3 pages"), std::string::npos) << outcomes[10];
  EXPECT_NE(outcomes.back().find("[0..25, 0..8]"), std::string::npos);
}

TEST_F(PagingOnProviders, TheEmptyTableHasNoPages) {
  const std::vector<std::string> outcomes =
      Agreed({{I(10), I(1)}, {I(0), I(1)}, {I(10), I(2)}}, true);
  ASSERT_EQ(outcomes.size(), 4u);
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(outcomes[i], "no array") << i;
}

// The record set itself, read a page at a time, against the same statement
// read whole: repositioning after GetRows, field reads and EOF.
TEST_F(PagingOnProviders, APagedRecordSetReadsLikeAWholeOne) {
  AddPlans(12);
  auto walk = [](RecordSet rs) {
    std::string out = std::to_string(rs.RecordCount()) + " records;";
    rs.SetPageSize(5);
    for (int page : {2, 1, 2}) {
      rs.SetAbsolutePage(page);
      out += " p" + std::to_string(page) + ":";
      for (int i = 0; i < 3 && !rs.Eof(); ++i, rs.MoveNext())
        out += " " + rs.Value("PlanContent").DebugString();
    }
    rs.SetAbsolutePage(1);
    out += " rows " + GridString(rs.GetRows());
    rs.SetAbsolutePage(2);
    out += " again " + rs.Value(0).DebugString();
    try {
      rs.SetAbsolutePage(3);
    } catch (const AutomationError& e) {
      out += " " + e.description();
    }
    return out;
  };
  const char* text = "Select * from DATA_Plan where PersonID <> 2 order by PlanContent";
  ReadWhole whole(sqlite_);
  EXPECT_EQ(walk(RecordSet::QueryPaged(*sqlite_, text)), walk(RecordSet::Query(whole, text)));
}

using PageListingOnDatabase = PlanOnDatabase;

TEST_F(PageListingOnDatabase, PagesOverRealRecords) {
  EXPECT_EQ(GridString(Call("GetPageData", {I(10), I(1)})), "no array");
  for (int k = 1; k <= 25; ++k) Add(7, D(2024, 3, k, 9), D(2024, 3, k, 10), std::to_string(k));
  const Variant last = Call("GetPageData", {T("10"), T("3")});
  EXPECT_EQ(last.array()->bounds(), (std::vector<Bound>{{0, 4}, {0, 8}}));
  EXPECT_EQ(Call("GetPageData", {Variant::R8(2.5), I(2)}).array()->bound(1).upper, 1);
  EXPECT_THROW(Call("GetPageData", {I(10), I(4)}), AutomationError);
  EXPECT_NE(Call("GetError", {}).text()->find("4"), std::string::npos);
}

}  // namespace
}  // namespace korimba::testing
