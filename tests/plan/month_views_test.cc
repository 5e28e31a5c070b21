// Month views on a recording connection: statement texts, the two week-row
// layouts for months that begin on different weekdays, the spreading of
// plans over the days they cover, and the "<br>" joins; on the embedded
// database, which plans each month statement selects.
#include <gtest/gtest.h>

#include "frame/error.h"
#include "frame/value_ops.h"
#include "tests/plan/plan_db_fixture.h"
#include "tests/plan/plan_fixture.h"

namespace korimba::testing {
namespace {

using MonthViews = PlanOnFake;

const std::vector<std::string> kMonthColumns = {
    "PlanID", "PersonID", "PlanBeginTime", "BeginDay", "EndDay", "PlanContent", "PlanEndTime"};
const std::vector<std::string> kMonth11Columns = {"PLanID",    "PersonID",      "PlanContent",
                                                  "PlanPlace", "PlanBeginTime", "PlanEndTime"};

struct PlanRow {
  Date begin;
  Date end;
  Variant text;  // PlanContent for GetMonthPlan, PlanPlace for GetMonthPlan11
};

ResultTable MonthRows(const std::vector<PlanRow>& plans) {
  ResultTable t;
  t.columns = kMonthColumns;
  int id = 0;
  for (const PlanRow& p : plans) {
    const std::vector<Variant> row = {
        I(++id),         I(7),   Variant::FromDate(p.begin), I(DayOf(p.begin)),
        I(DayOf(p.end)), p.text, Variant::FromDate(p.end)};
    t.cells.insert(t.cells.end(), row.begin(), row.end());
  }
  return t;
}

ResultTable Month11Rows(const std::vector<PlanRow>& plans) {
  ResultTable t;
  t.columns = kMonth11Columns;
  int id = 0;
  for (const PlanRow& p : plans) {
    const std::vector<Variant> row = {
        I(++id), I(7), T("content"), p.text, Variant::FromDate(p.begin), Variant::FromDate(p.end)};
    t.cells.insert(t.cells.end(), row.begin(), row.end());
  }
  return t;
}

// One plan on each day of the month, its text the day number.
std::vector<PlanRow> OnePlanPerDay(int y, int m) {
  std::vector<PlanRow> plans;
  for (int d = 1; d <= DaysInMonth(y, m); ++d) {
    plans.push_back({D(y, m, d, 9), D(y, m, d, 10), T(std::to_string(d))});
  }
  return plans;
}

struct LayoutCase {
  const char* name;
  int year, month;
  std::string sunday_first;  // GetMonthPlan
  std::string monday_first;  // GetMonthPlan11
};

TEST_F(MonthViews, LayoutsFollowTheWeekdayOfTheFirst) {
  const LayoutCase cases[] = {
      {"31 days, begins on a Saturday", 2025, 3,
       "0: . . . . . . . 1 .\n"
       "1: . 2 3 4 5 6 7 8 .\n"
       "2: . 9 10 11 12 13 14 15 .\n"
       "3: . 16 17 18 19 20 21 22 .\n"
       "4: . 23 24 25 26 27 28 29 .\n"
       "5: . 30 31 . . . . . .\n",
       "0: . 2 . . . . . 1\n"
       "1: . 9 3 4 5 6 7 8\n"
       "2: . 16 10 11 12 13 14 15\n"
       "3: . 23 17 18 19 20 21 22\n"
       "4: . 30 24 25 26 27 28 29\n"
       "5: . . 31 . . . . .\n"},
      {"31 days, begins on a Friday", 2024, 3,
       "0: . . . . . . 1 2 .\n"
       "1: . 3 4 5 6 7 8 9 .\n"
       "2: . 10 11 12 13 14 15 16 .\n"
       "3: . 17 18 19 20 21 22 23 .\n"
       "4: . 24 25 26 27 28 29 30 .\n"
       "5: . 31 . . . . . . .\n",
       "0: . 3 . . . . 1 2\n"
       "1: . 10 4 5 6 7 8 9\n"
       "2: . 17 11 12 13 14 15 16\n"
       "3: . 24 18 19 20 21 22 23\n"
       "4: . 31 25 26 27 28 29 30\n"
       "5: . . . . . . . .\n"},
      {"common February, begins on a Sunday", 2015, 2,
       "0: . 1 2 3 4 5 6 7 .\n"
       "1: . 8 9 10 11 12 13 14 .\n"
       "2: . 15 16 17 18 19 20 21 .\n"
       "3: . 22 23 24 25 26 27 28 .\n"
       "4: . . . . . . . . .\n"
       "5: . . . . . . . . .\n",
       "0: . 1 . . . . . .\n"
       "1: . 8 2 3 4 5 6 7\n"
       "2: . 15 9 10 11 12 13 14\n"
       "3: . 22 16 17 18 19 20 21\n"
       "4: . . 23 24 25 26 27 28\n"
       "5: . . . . . . . .\n"},
      {"leap February", 2024, 2,
       "0: . . . . . 1 2 3 .\n"
       "1: . 4 5 6 7 8 9 10 .\n"
       "2: . 11 12 13 14 15 16 17 .\n"
       "3: . 18 19 20 21 22 23 24 .\n"
       "4: . 25 26 27 28 29 . . .\n"
       "5: . . . . . . . . .\n",
       "0: . 4 . . . 1 2 3\n"
       "1: . 11 5 6 7 8 9 10\n"
       "2: . 18 12 13 14 15 16 17\n"
       "3: . 25 19 20 21 22 23 24\n"
       "4: . . 26 27 28 29 . .\n"
       "5: . . . . . . . .\n"},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    conn->QueueResult(MonthRows(OnePlanPerDay(c.year, c.month)));
    conn->QueueResult(Month11Rows(OnePlanPerDay(c.year, c.month)));
    const Variant date = DV(c.year, c.month, 15);
    EXPECT_EQ(MonthLines(plan->GetMonthPlan(I(7), date)), c.sunday_first);
    EXPECT_EQ(MonthLines(plan->GetMonthPlan11(I(7), date)), c.monday_first);
  }
}

TEST_F(MonthViews, DaysWithoutPlansHoldEmptyStringsOtherCellsStayEmpty) {
  EXPECT_EQ(MonthLines(plan->GetMonthPlan11(I(7), DV(2015, 2, 3))),
            "0: . '' . . . . . .\n"
            "1: . '' '' '' '' '' '' ''\n"
            "2: . '' '' '' '' '' '' ''\n"
            "3: . '' '' '' '' '' '' ''\n"
            "4: . . '' '' '' '' '' ''\n"
            "5: . . . . . . . .\n");
}

TEST_F(MonthViews, GetMonthPlanBoundsTheMonthByTheEndOfItsLastDay) {
  // Any date of the month, with or without a time, gives the same statement.
  for (const Variant& date :
       {DV(2024, 3, 1), DV(2024, 3, 15, 13, 45), DV(2024, 3, 31, 23, 59), T("2024-3-31")}) {
    plan->GetMonthPlan(T("7"), date);
  }
  const std::string expected =
      "SELECT PlanID, PersonID, PlanBeginTime, DAY(PlanBeginTime) AS BeginDay,        "
      "DAY(PlanEndTime) AS EndDay, PlanContent, PlanEndTime From DATA_Plan "
      "WHERE (((PlanBeginTime >= '2024-3-1') AND (PlanEndTime <= '2024-03-31 23:59:59')) OR "
      "      ((PlanBeginTime >= '2024-3-1') AND (PlanEndTime > '2024-03-31 23:59:59') AND "
      "      (PlanBeginTime <= '2024-03-31 23:59:59')) OR "
      "      ((PlanBeginTime < '2024-3-1') AND (PlanEndTime > '2024-03-31 23:59:59')) OR "
      "      ((PlanBeginTime < '2024-3-1') AND (PlanEndTime >= '2024-3-1') AND "
      "      (PlanEndTime <= '2024-03-31 23:59:59'))) AND ((PersonID = 7)) "
      "ORDER BY PlanBeginTime";
  EXPECT_EQ(conn->texts(), std::vector<std::string>(4, expected));
  EXPECT_EQ(conn->sent()[0].via, "query");
}

TEST_F(MonthViews, GetMonthPlan11KeepsTheTextOfThe28thOnlyForA28DayFebruary) {
  plan->GetMonthPlan11(I(7), DV(2023, 2, 10));
  plan->GetMonthPlan11(I(7), DV(2024, 2, 10));
  plan->GetMonthPlan11(I(7), T("2024-4-30 08:00"));
  const std::string head =
      "select PLanID,PersonID,PlanContent,PlanPlace,PlanBeginTime,PlanEndTime from Data_Plan "
      "where PersonID= 7 and DateDiff(dd,PlanBeginTime,'";
  EXPECT_EQ(conn->texts(),
            (std::vector<std::string>{
                head + "2023-2-1' ) <=0 and datediff(dd,PlanEndTime,'2023-2-28'  )>=0 order by "
                       "PlanBeginTime",
                head + "2024-2-1' ) <=0 and datediff(dd,PlanEndTime,'2024-02-29'  )>=0 order by "
                       "PlanBeginTime",
                head + "2024-4-1' ) <=0 and datediff(dd,PlanEndTime,'2024-04-30'  )>=0 order by "
                       "PlanBeginTime",
            }));
}

TEST_F(MonthViews, BadDatesAndPersonsFailBeforeAnyStatement) {
  EXPECT_THROW(plan->GetMonthPlan(I(7), T("not a date")), AutomationError);
  EXPECT_THROW(plan->GetMonthPlan11(I(7), Variant::Null()), AutomationError);
  EXPECT_THROW(plan->GetMonthPlan(T("7) OR (1=1"), DV(2024, 3, 1)), AutomationError);
  EXPECT_TRUE(conn->texts().empty());
}

struct SpreadCase {
  const char* name;
  std::vector<PlanRow> plans;  // in begin-time order, as the query returns them
  std::string days;            // DayTexts of March 2024
};

// Spreading over the days of the month against the real selection is in
// plan_db_test.cc; here the cases the database cannot tell apart.
TEST_F(MonthViews, GetMonthPlanComparesMonthsWithYearsAndJoinsTheFirstTen) {
  const Variant null = Variant::Null();
  std::vector<PlanRow> eleven, twelve;
  for (int k = 1; k <= 12; ++k) {
    PlanRow p{D(2024, 3, 6, 8, k), D(2024, 3, 6, 20), T("p" + std::to_string(k))};
    if (k <= 11) eleven.push_back(p);
    twelve.push_back(p);
  }
  const std::string first_ten = "6=p1<br>p2<br>p3<br>p4<br>p5<br>p6<br>p7<br>p8<br>p9<br>p10";
  const SpreadCase cases[] = {
      {"the same month a year earlier to the 5th",
       {{D(2023, 3, 20), D(2024, 3, 5), T("d")}},
       "1=d 2=d 3=d 4=d 5=d"},
      {"the 25th to the same month a year later",
       {{D(2024, 3, 25), D(2025, 3, 2), T("f")}},
       "25=f 26=f 27=f 28=f 29=f 30=f 31=f"},
      {"a text, an empty text and a text",
       {{D(2024, 3, 6, 8), D(2024, 3, 6, 9), T("a")},
        {D(2024, 3, 6, 9), D(2024, 3, 6, 10), T("")},
        {D(2024, 3, 6, 10), D(2024, 3, 6, 11), T("b")}},
       "6=a<br>b"},
      {"a Null content first",
       {{D(2024, 3, 6, 8), D(2024, 3, 6, 9), null}, {D(2024, 3, 6, 9), D(2024, 3, 6, 10), T("b")}},
       "6=b"},
      {"a Null content after a text",
       {{D(2024, 3, 6, 8), D(2024, 3, 6, 9), T("a")}, {D(2024, 3, 6, 9), D(2024, 3, 6, 10), null}},
       "6=a"},
      {"only empty and Null contents",
       {{D(2024, 3, 6, 8), D(2024, 3, 6, 9), T("")}, {D(2024, 3, 6, 9), D(2024, 3, 6, 10), null}},
       ""},
      {"eleven plans on a day show the first ten", eleven, first_ten},
      {"twelve plans on a day show the first ten", twelve, first_ten},
  };
  for (const SpreadCase& c : cases) {
    SCOPED_TRACE(c.name);
    conn->QueueResult(MonthRows(c.plans));
    EXPECT_EQ(DayTexts(plan->GetMonthPlan(I(7), DV(2024, 3, 1)), false), c.days);
  }
}

TEST_F(MonthViews, GetMonthPlan11ShowsThePlaceOfTheDaysLastPlan) {
  conn->QueueResult(Month11Rows({
      {D(2024, 3, 1, 0), D(2024, 3, 1, 1), Variant::Null()},
      {D(2024, 3, 10, 9), D(2024, 3, 12, 10), T("Hall")},
      {D(2024, 3, 11, 9), D(2024, 3, 11, 10), T("Room 4")},
      {D(2024, 3, 12, 11), D(2024, 3, 12, 12), T("")},
      {D(2024, 3, 31, 9), D(2024, 3, 31, 23), T("Roof")},
  }));
  EXPECT_EQ(DayTexts(plan->GetMonthPlan11(I(7), DV(2024, 3, 1)), true),
            "10=Hall 11=Room 4 31=Roof");
}

using MonthViewsOnDatabase = PlanOnDatabase;

TEST_F(MonthViewsOnDatabase, MonthPlanSelectsAndSpreadsEveryOverlappingPlan) {
  Add(7, D(2023, 3, 20), D(2024, 3, 5), "year");       // same month a year apart
  Add(7, D(2024, 2, 1), D(2024, 5, 1), "whole");       // covers the month
  Add(7, D(2024, 2, 20), D(2024, 3, 3, 12), "start");  // crosses the start
  Add(7, D(2024, 3, 10, 9), D(2024, 3, 12, 10), "inside");
  Add(7, D(2024, 3, 28, 9), D(2024, 4, 2), "end");         // crosses the end
  Add(7, D(2024, 3, 31, 10), D(2024, 3, 31, 11), "last");  // on the last day after midnight
  Add(7, D(2024, 3, 31, 22), D(2024, 4, 1, 2), "night");   // begins late on the last day
  Add(8, D(2024, 3, 15, 9), D(2024, 3, 15, 10), "other person");
  Add(7, D(2024, 2, 1), D(2024, 2, 29, 23), "february");
  Add(7, D(2024, 4, 1), D(2024, 4, 2), "april");

  std::string expected;
  for (int d = 1; d <= 31; ++d) {
    std::string text = d <= 5 ? "year<br>whole" : "whole";
    if (d <= 3) text += "<br>start";
    if (d >= 10 && d <= 12) text += "<br>inside";
    if (d >= 28) text += "<br>end";
    if (d == 31) text += "<br>last<br>night";
    expected += (d > 1 ? " " : "") + std::to_string(d) + "=" + text;
  }
  EXPECT_EQ(DayTexts(Call("GetMonthPlan", {I(7), DV(2024, 3, 15)}), false), expected);
}

TEST_F(MonthViewsOnDatabase, MonthPlan11TakesPlansWhollyInsideTheMonth) {
  Add(7, D(2024, 2, 20), D(2024, 3, 3), "x", "crosses start");
  Add(7, D(2024, 3, 10, 9), D(2024, 3, 12, 10), "x", "Hall");
  Add(7, D(2024, 3, 11, 9), D(2024, 3, 11, 10), "x", "Room 4");
  Add(7, D(2024, 3, 30, 9), D(2024, 4, 1), "x", "crosses end");
  Add(7, D(2024, 3, 31, 20), D(2024, 3, 31, 23), "x", "Roof");
  Add(8, D(2024, 3, 20, 9), D(2024, 3, 20, 10), "x", "other person");
  EXPECT_EQ(DayTexts(Call("GetMonthPlan11", {I(7), DV(2024, 3, 1)}), true),
            "10=Hall 11=Room 4 12=Hall 31=Roof");
  // A common February: the last day spliced as the text of the 28th.
  Add(7, D(2023, 2, 28, 15), D(2023, 2, 28, 16), "x", "Cellar");
  EXPECT_EQ(DayTexts(Call("GetMonthPlan11", {I(7), DV(2023, 2, 1)}), true), "28=Cellar");
}

}  // namespace
}  // namespace korimba::testing
