// The grids Plan returns read by their named columns on the embedded
// database, and the person-name lookup Plan shares with Message.
#include "plan/plan.h"

#include <gtest/gtest.h>

#include "frame/error.h"
#include "frame/grid.h"
#include "frame/value_ops.h"
#include "tests/plan/plan_db_fixture.h"

namespace korimba::testing {
namespace {

using PlanOnDatabaseTest = PlanOnDatabase;

// Every named column reads the field it names, so that a reordered table or
// SELECT list shows up here and not on a page.
TEST_F(PlanOnDatabaseTest, NamedColumnsReadTheFieldsTheyName) {
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

TEST_F(PlanOnDatabaseTest, PersonNameIsMessagesLookUp) {
  conn->Execute("insert into HR_Person(PersonID,PersonName) values (7,' Ann Lee ')");
  EXPECT_EQ(Call("GetPersonName", {I(7)}), T("Ann Lee"));
  EXPECT_EQ(Call("GetPersonName", {T("8")}), T(""));
}

}  // namespace
}  // namespace korimba::testing
