// The plan span R*Tree only changes how the calendar views reach their
// rows: the same statements on a copy of the database without it must give
// exactly the same results, for plans at day and minute edges, without a
// begin or an end, ending before they begin, moved and deleted, and for
// values written around the provider.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "db/open.h"
#include "db/sqlite_connection.h"
#include "frame/date.h"
#include "frame/grid.h"
#include "plan/plan.h"
#include "tests/db/db_test_util.h"
#include "tests/support/method_tour.h"

namespace korimba::testing {
namespace {

namespace fs = std::filesystem;

void RawExec(sqlite3* db, const std::string& sql) {
  char* error = nullptr;
  ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK)
      << sql << ": " << (error ? error : "");
  sqlite3_free(error);
}

void RawExecFile(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  RawExec(db, sql);
  sqlite3_close(db);
}

std::string Two(int n) { return (n < 10 ? "0" : "") + std::to_string(n); }

// "2024-03-dd hh:mm:ss.fff" from a day of March (0 and below reach into
// February, 32 and above into April) and a millisecond of that day.
std::string Moment(int day, int ms_of_day) {
  const Date d{At(2024, 3, 1).serial + (day - 1) + ms_of_day / 86400000.0};
  const CivilDateTime c = SplitDate(d);
  return std::to_string(c.year) + "-" + Two(c.month) + "-" + Two(c.day) + " " + Two(c.hour) + ":" +
         Two(c.minute) + ":" + Two(c.second) + "." + std::to_string(1000 + c.millisecond).substr(1);
}

class PlanSpanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() /
        ("korimba-plan-span-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "-" + std::to_string(reinterpret_cast<uintptr_t>(this)));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    spans_ = SqliteConnection::Open((dir_ / "spans.db").string());
    ASSERT_TRUE(spans_->translator_options().plan_spans);
    Fill();
    // A copy made the way an older database looks: no span index at all.
    RawExec(spans_->handle(), "VACUUM INTO '" + (dir_ / "plain.db").string() + "'");
    RawExecFile((dir_ / "plain.db").string(),
                "DROP TRIGGER DATA_Plan_Days_Insert; DROP TRIGGER DATA_Plan_Days_Update; "
                "DROP TRIGGER DATA_Plan_Days_Delete; DROP TABLE DATA_Plan_Days;");
    plain_ = SqliteConnection::Open((dir_ / "plain.db").string());
    ASSERT_FALSE(plain_->translator_options().plan_spans);
  }
  void TearDown() override {
    spans_.reset();
    plain_.reset();
    fs::remove_all(dir_);
  }

  void Add(const std::string& person, const std::string& begin, const std::string& end) {
    spans_->Execute(
        "insert into DATA_Plan(PersonID, PlanBeginTime, PlanEndTime, PlanContent) "
        "values (" +
        person + ", " + begin + ", " + end + ", 'c')");
  }

  void Fill() {
    std::mt19937 rng(7);
    auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    // Begin and end on whole days, minutes and milliseconds, lasting from
    // nothing to forty days, some ending before they begin.
    const int kUnits[] = {86400000, 60000, 1000, 1};
    for (int i = 0; i < 400; ++i) {
      const int unit = kUnits[pick(0, 3)];
      const int begin_day = pick(-35, 66);
      const int begin_ms = pick(0, 86400000 / unit - 1) * unit;
      const int length_ms = pick(-2, 20) * (pick(0, 3) == 0 ? 86400000 : 3600000) / unit * unit +
                            (pick(0, 4) == 0 ? -1 : 0);
      const int end_day =
          begin_day + (begin_ms + length_ms) / 86400000 - (begin_ms + length_ms < 0);
      const int end_ms = ((begin_ms + length_ms) % 86400000 + 86400000) % 86400000;
      Add(std::to_string(pick(1, 3)), "'" + Moment(begin_day, begin_ms) + "'",
          "'" + Moment(end_day, end_ms) + "'");
    }
    // Within one day, after its midnight (the last of a month among them).
    Add("1", "'2024-03-30 10:00'", "'2024-03-31 12:00'");
    Add("1", "'2024-03-31 10:00'", "'2024-03-31 12:00'");
    Add("1", "'2024-03-05 08:00'", "'2024-03-05 09:00'");
    // A missing begin or end, or both; a missing person.
    Add("1", "null", "'2024-03-05 10:00'");
    Add("1", "'2024-03-05 10:00'", "null");
    Add("1", "null", "null");
    Add("null", "'2024-03-05 10:00'", "'2024-03-05 11:00'");
    // Moved to another person and time, and deleted.
    spans_->Execute(
        "update DATA_Plan set PersonID = 2, PlanBeginTime = '2024-3-31 23:00', "
        "PlanEndTime = '2024-4-1 1:00' where PlanID = 5");
    spans_->Execute("update DATA_Plan set PlanEndTime = null where PlanID = 6");
    spans_->Execute(
        "update DATA_Plan set PersonID = 1, PlanEndTime = '2024-4-30' where PlanID = 10");
    spans_->Execute("update DATA_Plan set PlanEndTime = '2024-3-25' where PlanID = 10");
    spans_->Execute("update DATA_Plan set PlanContent = 'moved nowhere' where PlanID = 7");
    // And as the component changes a plan.
    Plan plan;
    plan.SetConn(Variant::Object(spans_));
    plan.UpdateData(Variant::I4(9), Variant::Text("3"), Variant::Text("1"), Variant::Text("2"),
                    Variant::Text("2024-3-9 9:00"), Variant::Text("2024-3-20 18:00"),
                    Variant::Text("c"), Variant::Text(""), Variant::Text("p"));
    spans_->Execute("delete from DATA_Plan where PlanID = 8");
    // Values only a writer around the provider can store: texts in other
    // forms (a day that does not exist among them), numbers, a text person.
    RawExec(spans_->handle(),
            "INSERT INTO DATA_Plan (PersonID, PlanBeginTime, PlanEndTime) VALUES "
            "(1, '2024-03-05', '2024-03-05T10:00'), (1, '2024-02-30 10:00:00.000', "
            "'2024-03-01 00:00:00.000'), (1, 45000.5, '2024-03-09 00:00:00.000'), "
            "(1, '2024-03-09 00:00:00.000', 'soon'), ('two', '2024-03-05 10:00:00.000', "
            "'2024-03-05 11:00:00.000'), (2.0, '2024-03-05 10:00:00.000', "
            "'2024-03-05 11:00:00.000')");
  }

  // Every statement on both databases; returns how many rows they found.
  size_t ExpectSame(const std::vector<std::string>& statements) {
    size_t rows = 0;
    for (const std::string& sql : statements) {
      const std::string expected = TableString(plain_->Execute(sql));
      EXPECT_EQ(TableString(spans_->Execute(sql)), expected) << sql;
      rows += plain_->Execute(sql).row_count();
    }
    return rows;
  }

  fs::path dir_;
  std::shared_ptr<SqliteConnection> spans_;
  std::shared_ptr<SqliteConnection> plain_;
};

// The calendar views as the component sends them, for every person, month,
// week and a moment at each kind of edge: the Plan's own statements, sent
// to an empty database (the rows here include values no view could show)
// and recorded on their way.
TEST_F(PlanSpanTest, CalendarViewsFindTheSameRows) {
  auto recorder = std::make_shared<RecordingConnection>(OpenConnection("sqlite::memory:"));
  Plan plan;
  plan.SetConn(Variant::Object(recorder));
  const char* kDays[] = {"2024-02-15", "2024-03-01", "2024-03-31 23:59:59", "2024-03-05",
                         "2024-02-28"};
  const char* kMoments[] = {
      "2024-03-05", "2024-03-05 10:00",    "2024-03-05 10:00:00.001", "2024-03-05 09:59:59.999",
      "2024-3-9",   "2024-02-29 23:59:59", "2024-04-01 00:00:00"};
  for (int p = 1; p <= 3; ++p) {
    const Variant person = Variant::I4(p);
    for (const char* day : kDays) {
      plan.GetMonthPlan(person, Variant::Text(day));
      plan.GetMonthPlan11(person, Variant::Text(day));
      plan.GetWeekPlan11(person, Variant::Text(day));
    }
    for (const char* moment : kMoments) {
      plan.GetWeekPlan(person, Variant::Text(moment));
      plan.GetDayPlan(person, Variant::Text(moment));
    }
  }
  const std::vector<std::string> statements = recorder->Take();
  EXPECT_GE(statements.size(), 3u * (3 * std::size(kDays) + 2 * std::size(kMoments)));
  EXPECT_GT(ExpectSame(statements), 300u);
}

// Other conditions the bounds are read from: reversed comparisons, BETWEEN,
// DATEDIFF either way round with other day counts, a person given as text,
// and conditions that give no complete bound (no span is used for those).
TEST_F(PlanSpanTest, OtherBoundingConditionsFindTheSameRows) {
  const std::string kSelect = "select PlanID, PersonID, PlanBeginTime, PlanEndTime from DATA_Plan ";
  const char* kWheres[] = {
      "where '2024-03-05 10:00' >= PlanBeginTime and '2024-3-5 10:00' <= PlanEndTime and 1 = "
      "PersonID",
      "where PersonID = '1' and PlanBeginTime = '2024-03-05 10:00' and PlanEndTime > '2024-3-1'",
      "where PersonID = 2 and PlanBeginTime between '2024-3-1' and '2024-3-2' and PlanEndTime < "
      "'2024-3-9'",
      "where PersonID = 1 and datediff(dd, '2024-3-5', PlanBeginTime) >= -2 and datediff(day, "
      "'2024-3-5', PlanEndTime) < 1",
      "where PersonID = 1 and datediff(dd, '2024-3-5', PlanBeginTime) >= 0 and datediff(dd, "
      "'2024-3-5 23:00', PlanEndTime) <= 0",
      "where PersonID = 1 and PlanBeginTime = '2024-03-05 10:00'",
      "where PersonID = 3 and datediff(dd, PlanBeginTime, '2024-3-10') > 0 and datediff(d, "
      "PlanEndTime, '2024-3-10 18:00') <= 3",
      "where PersonID = 1 and datediff(dd, PlanBeginTime, '2024-3-10') = 1 and PlanEndTime >= "
      "'2024-3-1'",
      "where PersonID = -1 and PlanBeginTime <= '2024-3-5' and PlanEndTime >= '2024-3-5'",
      "where (PersonID = 1 or PersonID = 2) and PlanBeginTime <= '2024-3-5' and PlanEndTime >= "
      "'2024-3-5'",
      "where PersonID = 1 and (PlanBeginTime <= '2024-3-5' or PlanEndTime >= '2024-3-5')",
      "where PersonID = 1 and PlanBeginTime not between '2024-3-1' and '2024-3-31' and "
      "PlanEndTime between '2024-3-1' and '2024-3-31'",
      "where PersonID = 1 and not (PlanBeginTime > '2024-3-5') and PlanEndTime >= '2024-3-5'",
      "where PersonID = 1 and PlanBeginTime <= '2024-3-5' and PlanEndTime >= '2024-3-5' and "
      "PlanID in (select PlanID from DATA_Plan where PersonID = 1 and PlanEndTime <= '2024-3-9' "
      "and PlanBeginTime >= '2024-3-1')",
  };
  std::vector<std::string> statements;
  for (const char* where : kWheres) statements.push_back(kSelect + where + " order by PlanID");
  statements.push_back(
      "select count(*) from DATA_Plan where PersonID = 1 and PlanBeginTime <= "
      "'2024-3-9' and PlanEndTime >= '2024-3-1'");
  EXPECT_GT(ExpectSame(statements), 30u);

  // Which statements reach the rows through the spans.
  auto uses_spans = [&](const std::string& where) {
    return SqliteConnection::TranslateText(kSelect + where).sql.find("DATA_Plan_Days") !=
           std::string::npos;
  };
  EXPECT_TRUE(uses_spans(kWheres[0]));
  EXPECT_TRUE(uses_spans(kWheres[4]));
  EXPECT_TRUE(uses_spans(kWheres[5])) << "an equal time bounds both sides";
  EXPECT_TRUE(uses_spans(kWheres[9])) << "either equality bounds the person";
  EXPECT_FALSE(
      uses_spans("where PersonID > 0 and PlanBeginTime <= '2024-3-5' and "
                 "PlanEndTime >= '2024-3-5'"))
      << "the person is bounded by equality only";
  EXPECT_FALSE(uses_spans(kWheres[10])) << "the time is bounded on one side only";
  EXPECT_FALSE(uses_spans("where PersonID = 1 and PlanBeginTime <= '2024-3-5'"));
}

// An existing database gets the span index from EnsureSchema, filled from
// the rows it already holds, and uses it from then on.
TEST_F(PlanSpanTest, EnsureSchemaAddsTheSpansToAnExistingDatabase) {
  const std::string path = (dir_ / "plain.db").string();
  plain_.reset();
  RawExecFile(path, "DROP INDEX IX_DATA_Plan_End");
  auto upgraded = SqliteConnection::Open(path);
  EXPECT_FALSE(upgraded->translator_options().plan_spans);
  const std::vector<std::string> created = EnsureSchema(*upgraded);
  EXPECT_EQ(created,
            (std::vector<std::string>{"IX_DATA_Plan_End", "DATA_Plan_Days", "DATA_Plan_Days_Insert",
                                      "DATA_Plan_Days_Update", "DATA_Plan_Days_Delete"}));
  EXPECT_TRUE(upgraded->translator_options().plan_spans);
  const std::string count = "select count(*) from DATA_Plan_Days";
  sqlite3_stmt* stmt = nullptr;
  auto count_of = [&stmt, count](sqlite3* db) {
    EXPECT_EQ(sqlite3_prepare_v2(db, count.c_str(), -1, &stmt, nullptr), SQLITE_OK);
    sqlite3_step(stmt);
    const int n = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    return n;
  };
  EXPECT_EQ(count_of(upgraded->handle()), count_of(spans_->handle()));
  auto day_of = [](const std::shared_ptr<SqliteConnection>& conn) {
    Plan plan;
    plan.SetConn(Variant::Object(conn));
    return GridString(plan.GetDayPlan(Variant::I4(1), Variant::Text("2024-03-05 10:00")));
  };
  EXPECT_EQ(day_of(upgraded), day_of(spans_));
  EXPECT_NE(day_of(spans_).find("2024"), std::string::npos);
}

// Each calendar view reads the R*Tree first and then its plans by key.
TEST(PlanSpanPlanTest, CalendarViewsLeadWithTheSpans) {
  auto db = SqliteConnection::Open(":memory:");
  const std::set<std::string> views = {"Plan.GetMonthPlan", "Plan.GetMonthPlan11",
                                       "Plan.GetWeekPlan11", "Plan.GetWeekPlan", "Plan.GetDayPlan"};
  std::set<std::string> seen;
  for (const auto& [name, text] : TourEveryMethod()) {
    if (!views.count(name)) continue;
    seen.insert(name);
    const std::string sql = "EXPLAIN QUERY PLAN " + SqliteConnection::TranslateText(text).sql;
    sqlite3_stmt* stmt = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db->handle(), sql.c_str(), -1, &stmt, nullptr), SQLITE_OK);
    std::string plan;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      plan += reinterpret_cast<const char*>(sqlite3_column_text(stmt, 3));
      plan += "\n";
    }
    sqlite3_finalize(stmt);
    EXPECT_EQ(plan.rfind("SCAN s1 VIRTUAL TABLE INDEX 2:B0D1B2D3\n"
                         "SEARCH t0 USING INTEGER PRIMARY KEY (rowid=?)\n",
                         0),
              0u)
        << name << ":\n"
        << plan;
  }
  EXPECT_EQ(seen, views);
}

}  // namespace
}  // namespace korimba::testing
