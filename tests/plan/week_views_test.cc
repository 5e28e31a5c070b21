// Week and day views on a recording connection: the Monday-to-Sunday week
// of a date, the joins of in-progress contents, the row-set results and YY;
// on the embedded database, the week to the end of Sunday and plans in
// progress at a midnight.
#include <gtest/gtest.h>

#include "classes/registry.h"
#include "frame/error.h"
#include "tests/plan/plan_db_fixture.h"
#include "tests/plan/plan_fixture.h"

namespace korimba::testing {
namespace {

using WeekViews = PlanOnFake;

TEST_F(WeekViews, WeekPlan11RunsFromMondayToTheEndOfSunday) {
  plan->GetWeekPlan11(I(7), DV(2025, 1, 1));
  EXPECT_EQ(conn->texts().at(0),
            "SELECT PlanBeginTime,PlanEndTime,PlanContent FROM data_Plan WHERE  (personID = 7) "
            "AND ((PlanBeginTime BETWEEN '2024-12-30'AND '2025-01-05 23:59:59' ) OR (PlanEndTime "
            "BETWEEN '2024-12-30' AND '2025-01-05 23:59:59')) ORDER BY PlanBeginTime");

  struct Case {
    const char* name;
    Variant date;
    std::string bounds;
  };
  const Case cases[] = {
      {"a Monday", DV(2024, 3, 4), "'2024-3-4'AND '2024-03-10 23:59:59'"},
      {"a Sunday belongs to the week it ends", DV(2024, 3, 10),
       "'2024-3-4'AND '2024-03-10 23:59:59'"},
      {"a Saturday with a time of day", DV(2024, 3, 9, 23, 30),
       "'2024-3-4'AND '2024-03-10 23:59:59'"},
      {"a date as text", T("2024-3-11 8:00"), "'2024-3-11'AND '2024-03-17 23:59:59'"},
      {"a week across the end of February", DV(2024, 3, 1), "'2024-2-26'AND '2024-03-03 23:59:59'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    plan->GetWeekPlan11(I(7), c.date);
    EXPECT_NE(conn->texts().back().find("BETWEEN " + c.bounds), std::string::npos)
        << conn->texts().back();
  }
}

TEST_F(WeekViews, WeekPlan11RefusesNonDatesBeforeAnyStatement) {
  EXPECT_THROW(plan->GetWeekPlan11(I(7), T("soon")), AutomationError);
  EXPECT_THROW(plan->GetWeekPlan11(I(7), Variant::Null()), AutomationError);
  EXPECT_TRUE(conn->texts().empty());
}

TEST_F(WeekViews, RowSetViewsGiveTheOneCellGridWhenNothingMatches) {
  EXPECT_EQ(GridString(plan->GetWeekPlan11(I(7), DV(2025, 1, 1))), "[0..0, 0..0]\n0: Empty");
  EXPECT_EQ(GridString(plan->GetDayPlan(I(7), DV(2025, 1, 1))), "[0..0, 0..0]\n0: Empty");

  conn->QueueResult(Table({"PlanBeginTime", "PlanEndTime", "PlanContent"},
                          {{DV(2025, 1, 1, 9), DV(2025, 1, 1, 10), T("a")},
                           {DV(2025, 1, 2, 9), DV(2025, 1, 2, 10), Variant::Null()}}));
  EXPECT_EQ(GridString(plan->GetWeekPlan11(I(7), DV(2025, 1, 1))),
            "[0..2, 0..1]\n"
            "0: #2025-01-01 09:00:00# | #2025-01-02 09:00:00#\n"
            "1: #2025-01-01 10:00:00# | #2025-01-02 10:00:00#\n"
            "2: \"a\" | Null");
}

TEST_F(WeekViews, InProgressStatementsSpliceTheMomentAsGiven) {
  plan->GetWeekPlan(I(7), DV(2024, 3, 5));
  plan->GetDayPlan(I(7), DV(2024, 3, 5, 9, 30));
  plan->GetDayPlan(T("7"), T("2024-3-5 9:30"));
  EXPECT_EQ(conn->texts(),
            (std::vector<std::string>{
                "SELECT PlanContent From DATA_Plan  WHERE (PlanBeginTime <= '2024-03-05') AND "
                "(PlanEndTime >= '2024-03-05') AND       (PersonID = 7) ORDER BY PlanBeginTime ",
                "SELECT * FROM DATA_Plan WHERE (PlanBeginTime <= '2024-03-05 09:30:00') AND "
                "(PlanEndTime >= '2024-03-05 09:30:00') AND PersonID = 7 ORDER BY PlanBeginTime",
                "SELECT * FROM DATA_Plan WHERE (PlanBeginTime <= '2024-3-5 9:30') AND "
                "(PlanEndTime >= '2024-3-5 9:30') AND PersonID = 7 ORDER BY PlanBeginTime",
            }));
}

TEST_F(WeekViews, WeekPlanJoinsContentsInBeginTimeOrder) {
  struct Case {
    const char* name;
    std::vector<Variant> contents;
    std::string joined;  // DebugString of the result
  };
  const Variant null = Variant::Null();
  const Case cases[] = {
      {"no plan in progress", {}, "Empty"},
      {"one plan", {T("a")}, "\"a\""},
      {"a text, an empty text and a text", {T("a"), T(""), T("b")}, "\"a<br><br>b\""},
      {"an empty text first", {T(""), T("b")}, "\"b\""},
      {"a Null content first", {null, T("b")}, "\"b\""},
      {"a Null content after a text", {T("a"), null}, "\"a<br>\""},
      {"only an empty content", {T("")}, "\"\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResultTable t;
    t.columns = {"planContent"};
    t.cells = c.contents;
    conn->QueueResult(t);
    EXPECT_EQ(plan->GetWeekPlan(I(7), DV(2024, 3, 5, 12)).DebugString(), c.joined);
  }
}

TEST_F(WeekViews, YYIsTheSameFixedArrayWithoutAConnection) {
  std::shared_ptr<DispatchObject> obj = CreateObject("Korimba.Plan");
  const std::string expected =
      "[0..10]\n0i2 | 1i2 | 2i2 | 3i2 | 4i2 | 5i2 | 6i2 | 7i2 | 8i2 | 9i2 | Empty";
  EXPECT_EQ(GridString(obj->Call("yy", {})), expected);
  EXPECT_EQ(GridString(obj->Call("YY", {})), expected);
}

using WeekViewsOnDatabase = PlanOnDatabase;

TEST_F(WeekViewsOnDatabase, WeekPlan11CoversMondayToTheEndOfSunday) {
  // The week of Wednesday 1 January 2025: Monday 30 December to Sunday 5 January.
  Add(7, D(2024, 12, 29, 23), D(2024, 12, 29, 23, 30), "sunday before");
  Add(7, D(2024, 12, 29, 9), D(2025, 1, 6, 9), "around the week");
  Add(7, D(2024, 12, 30), D(2024, 12, 30, 1), "monday midnight");
  Add(7, D(2024, 12, 28), D(2024, 12, 31), "ends in the week");
  Add(7, D(2025, 1, 4, 9), D(2025, 1, 7, 9), "saturday to tuesday");
  Add(7, D(2025, 1, 5, 14), D(2025, 1, 5, 15), "sunday afternoon");
  Add(7, D(2025, 1, 6), D(2025, 1, 6, 1), "next monday");
  Add(8, D(2025, 1, 1, 9), D(2025, 1, 1, 10), "other person");
  EXPECT_EQ(Fields(Call("GetWeekPlan11", {I(7), DV(2025, 1, 1, 16, 30)}), WeekPlanColumn::kContent),
            "ends in the week monday midnight saturday to tuesday sunday afternoon");
}

TEST_F(WeekViewsOnDatabase, InProgressAtMidnight) {
  Add(7, D(2024, 3, 5, 9), D(2024, 3, 5, 10), "morning");
  Add(7, D(2024, 3, 4, 9), D(2024, 3, 6, 9), "three days");
  Add(7, D(2024, 3, 4, 22), D(2024, 3, 5), "until midnight");
  Add(7, D(2024, 3, 5), D(2024, 3, 5, 1), "from midnight");
  Add(8, D(2024, 3, 4), D(2024, 3, 6), "other person");
  EXPECT_EQ(Call("GetWeekPlan", {I(7), DV(2024, 3, 5)}),
            T("three days<br>until midnight<br>from midnight"));
  EXPECT_EQ(Fields(Call("GetDayPlan", {I(7), T("2024-3-5")}), PlanColumn::kContent),
            "three days until midnight from midnight");
  EXPECT_EQ(Call("GetWeekPlan", {I(7), DV(2024, 3, 7)}), Variant());
}

}  // namespace
}  // namespace korimba::testing
