// Plan on the embedded database, called by name as a page script calls it:
// what the statements select (month bounds to the end of the last day, week
// to the end of Sunday, plans in progress at a midnight), the null rewrites
// accepted by the database, and paging over real records.
#include <gtest/gtest.h>

#include "classes/registry.h"
#include "db/open.h"
#include "frame/error.h"
#include "frame/value_ops.h"
#include "tests/plan/plan_fixture.h"

namespace korimba::testing {
namespace {

class PlanOnDatabase : public ::testing::Test {
 protected:
  PlanOnDatabase() { Call("SetConn", {Variant::Object(conn)}); }

  Variant Call(std::string_view method, std::vector<Variant> args) {
    return plan->Call(method, args);
  }
  void Add(int person, Date begin, Date end, std::string content, std::string place = "") {
    ASSERT_EQ(
        Call("AddData", {I(person), I(1), I(2), Variant::FromDate(begin), Variant::FromDate(end),
                         T(std::move(content)), Variant::FromDate(begin), T(std::move(place))}),
        Variant::Bool(true));
  }
  // Column `name` of row `row` of a built grid whose row 0 names the columns.
  static Variant Column(const Variant& grid, int32_t row, std::string_view name) {
    const SafeArray& a = *grid.array();
    for (int32_t j = 0; j <= a.bound(2).upper; ++j) {
      if (EqualsLiteralText(a.at({0, j}), name)) return a.at({row, j});
    }
    ADD_FAILURE() << "no column " << name;
    return Variant();
  }
  // Field `field` of every row of a row-set grid, joined by blanks.
  static std::string Fields(const Variant& rows, int32_t field) {
    const SafeArray& a = *rows.array();
    std::string out;
    for (int32_t r = 0; r <= a.bound(2).upper; ++r) {
      if (!out.empty()) out += " ";
      out += TextForm(a.at({field, r}));
    }
    return out;
  }

  std::shared_ptr<Connection> conn = OpenConnection("sqlite::memory:");
  std::shared_ptr<DispatchObject> plan = CreateObject("Korimba.Plan");
};

TEST_F(PlanOnDatabase, RecordsRoundTripWithEmptyValues) {
  Add(7, D(2024, 3, 5, 9), D(2024, 3, 5, 10), "O'Brien's review", "Room 4");
  // Both codes empty: ",null,null," is an insert the database takes.
  EXPECT_EQ(Call("AddData", {I(7), T(""), Variant(), DV(2024, 3, 6, 9), DV(2024, 3, 6, 10),
                             T("a,,b"), Variant(), Variant::Null()}),
            Variant::Bool(true));
  const Variant all = Call("GetAllData", {});
  ASSERT_EQ(all.array()->bound(1).upper, 2);
  EXPECT_EQ(Column(all, 1, "PlanContent"), T("O'Brien's review"));
  EXPECT_EQ(Column(all, 1, "PlanBeginTime"), DV(2024, 3, 5, 9));
  EXPECT_EQ(Column(all, 2, "PlanType"), Variant::Null());
  EXPECT_EQ(Column(all, 2, "PlanClass"), Variant::Null());
  EXPECT_EQ(Column(all, 2, "PlanContent"), T("a,,b"));

  const Variant id = Column(all, 2, "PlanID");
  EXPECT_EQ(Call("UpdateData", {id, Variant(), I(3), I(4), DV(2024, 3, 7, 9), DV(2024, 3, 7, 10),
                                T("x=,y"), DV(2024, 3, 7, 8), T("Hall")}),
            Variant::Bool(true));
  const Variant one = Call("GetData", {id});
  ASSERT_EQ(one.array()->bound(1).upper, 1);
  EXPECT_EQ(Column(one, 1, "PersonID"), Variant::Null());
  EXPECT_EQ(Column(one, 1, "PlanType"), I(3));
  EXPECT_EQ(Column(one, 1, "PlanContent"), T("x=,y"));

  EXPECT_EQ(Call("DelData", {id}), Variant::Bool(true));
  EXPECT_EQ(Call("GetData", {id}).array()->bound(1).upper, 0);
  // Ids that name no plan still succeed; an empty id leaves "PlanID=".
  EXPECT_EQ(Call("DelData", {I(999)}), Variant::Bool(true));
  EXPECT_EQ(Call("UpdateData", {I(999), I(7), I(1), I(1), T(""), T(""), T(""), T(""), T("")}),
            Variant::Bool(true));
  EXPECT_THROW(Call("DelData", {Variant()}), AutomationError);
  EXPECT_EQ(Call("GetAllData", {}).array()->bound(1).upper, 1);
}

TEST_F(PlanOnDatabase, MonthPlanSelectsAndSpreadsEveryOverlappingPlan) {
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

TEST_F(PlanOnDatabase, MonthPlan11TakesPlansWhollyInsideTheMonth) {
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

TEST_F(PlanOnDatabase, WeekPlan11CoversMondayToTheEndOfSunday) {
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

TEST_F(PlanOnDatabase, InProgressAtMidnight) {
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

// Every named column reads the field it names, so that a reordered table or
// SELECT list shows up here and not on a page.
TEST_F(PlanOnDatabase, NamedColumnsReadTheFieldsTheyName) {
  Add(7, D(2024, 3, 5, 9), D(2024, 3, 5, 10), "review", "Room 4");
  const Variant all = Call("GetAllData", {});
  const std::pair<int32_t, const char*> names[] = {
      {PlanColumn::kPlanId, "PlanID"},       {PlanColumn::kPersonId, "PersonID"},
      {PlanColumn::kType, "PlanType"},       {PlanColumn::kClass, "PlanClass"},
      {PlanColumn::kBegin, "PlanBeginTime"}, {PlanColumn::kEnd, "PlanEndTime"},
      {PlanColumn::kAlert, "PlanAlertTime"}, {PlanColumn::kContent, "PlanContent"},
      {PlanColumn::kPlace, "PlanPlace"}};
  EXPECT_EQ(all.array()->bound(2).count(), PlanColumn::kColumns);
  for (auto [column, name] : names) EXPECT_EQ(GridCell(all, 0, column), T(name)) << name;

  const Variant day = Call("GetDayPlan", {I(7), DV(2024, 3, 5, 9, 30)});
  EXPECT_EQ(day.array()->bound(1).count(), PlanColumn::kColumns);
  EXPECT_EQ(GridCell(day, PlanColumn::kPlace, 0), T("Room 4"));
  EXPECT_EQ(GridCell(day, PlanColumn::kBegin, 0), DV(2024, 3, 5, 9));

  const Variant week = Call("GetWeekPlan11", {I(7), DV(2024, 3, 5)});
  EXPECT_EQ(week.array()->bound(1).count(), WeekPlanColumn::kColumns);
  EXPECT_EQ(GridCell(week, WeekPlanColumn::kBegin, 0), DV(2024, 3, 5, 9));
  EXPECT_EQ(GridCell(week, WeekPlanColumn::kEnd, 0), DV(2024, 3, 5, 10));
  EXPECT_EQ(GridCell(week, WeekPlanColumn::kContent, 0), T("review"));
}

TEST_F(PlanOnDatabase, PagesOverRealRecords) {
  EXPECT_EQ(GridString(Call("GetPageData", {I(10), I(1)})), "no array");
  for (int k = 1; k <= 25; ++k) Add(7, D(2024, 3, k, 9), D(2024, 3, k, 10), std::to_string(k));
  const Variant last = Call("GetPageData", {T("10"), T("3")});
  EXPECT_EQ(last.array()->bounds(), (std::vector<Bound>{{0, 4}, {0, 8}}));
  EXPECT_EQ(Call("GetPageData", {Variant::R8(2.5), I(2)}).array()->bound(1).upper, 1);
  EXPECT_THROW(Call("GetPageData", {I(10), I(4)}), AutomationError);
  EXPECT_NE(Call("GetError", {}).text()->find("4"), std::string::npos);
}

TEST_F(PlanOnDatabase, PersonNameIsMessagesLookUp) {
  conn->Execute("insert into HR_Person(PersonID,PersonName) values (7,' Ann Lee ')");
  EXPECT_EQ(Call("GetPersonName", {I(7)}), T("Ann Lee"));
  EXPECT_EQ(Call("GetPersonName", {T("8")}), T(""));
}

}  // namespace
}  // namespace korimba::testing
