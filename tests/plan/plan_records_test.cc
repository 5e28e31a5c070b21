// Statements of the plan writes (null rewrites, quoting, number guard) and
// the built grids of GetAllData/GetData, checked on a recording connection;
// and records round-tripped through the embedded database.
#include <gtest/gtest.h>

#include "classes/registry.h"
#include "frame/error.h"
#include "tests/plan/plan_db_fixture.h"
#include "tests/plan/plan_fixture.h"

namespace korimba::testing {
namespace {

using PlanRecords = PlanOnFake;

constexpr const char* kInsertHead =
    "Insert into DATA_Plan(PersonID,PlanType,PlanClass,PlanBeginTime,PlanEndTime,PlanContent,"
    "PlanalertTime,PlanPlace) values (";

struct InsertCase {
  const char* name;
  Variant person, type, klass, content, place;
  std::string values;  // the statement after kInsertHead
};

TEST_F(PlanRecords, InsertRewritesEmptyNumbersAndKeepsEmptyTexts) {
  const Variant begin = T("2024-03-05 09:00:00");
  const Variant end = T("2024-03-05 10:00:00");
  const Variant alert = T("2024-03-05 08:45:00");
  const InsertCase cases[] = {
      {"ordinary", I(7), I(2), I(1), T("Meeting"), T("Room 4"),
       "7,2,1,'2024-03-05 09:00:00','2024-03-05 10:00:00','Meeting','2024-03-05 08:45:00',"
       "'Room 4') "},
      {"empty person", Variant(), I(2), I(1), T("x"), T("y"),
       "null,2,1,'2024-03-05 09:00:00','2024-03-05 10:00:00','x','2024-03-05 08:45:00','y') "},
      {"null type", I(7), Variant::Null(), I(1), T("x"), T("y"),
       "7,null,1,'2024-03-05 09:00:00','2024-03-05 10:00:00','x','2024-03-05 08:45:00','y') "},
      {"type and class empty", I(7), T(""), Variant(), T("x"), T("y"),
       "7,null,null,'2024-03-05 09:00:00','2024-03-05 10:00:00','x','2024-03-05 08:45:00','y') "},
      {"all numbers empty", Variant(), Variant(), Variant(), T("x"), T("y"),
       "null,null,null,'2024-03-05 09:00:00','2024-03-05 10:00:00','x','2024-03-05 08:45:00',"
       "'y') "},
      {"empty texts stay empty texts", I(7), I(2), I(1), Variant(), Variant::Null(),
       "7,2,1,'2024-03-05 09:00:00','2024-03-05 10:00:00','','2024-03-05 08:45:00','') "},
      {"quoted values are not rewritten", I(7), I(2), I(1), T("a,,b (,x ,)"), T("O'Brien"),
       "7,2,1,'2024-03-05 09:00:00','2024-03-05 10:00:00','a,,b (,x ,)','2024-03-05 08:45:00',"
       "'O''Brien') "},
  };
  for (const InsertCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto fake = std::make_shared<FakeConnection>();
    plan->SetConn(Variant::Object(fake));
    EXPECT_TRUE(plan->AddData(c.person, c.type, c.klass, begin, end, c.content, alert, c.place));
    ASSERT_EQ(fake->sent().size(), 1u);
    EXPECT_EQ(fake->sent()[0].via, "execute");
    EXPECT_EQ(fake->sent()[0].text, kInsertHead + c.values);
  }
}

TEST_F(PlanRecords, UpdateRewritesEmptyPersonAndQuotesCodes) {
  plan->UpdateData(I(12), I(7), I(2), I(1), DV(2024, 3, 5, 9), DV(2024, 3, 5), T("c"),
                   DV(2024, 3, 5, 8, 45), T("p"));
  plan->UpdateData(I(12), Variant(), Variant(), Variant::Null(), T(""), T(""), T(""), T(""), T(""));
  EXPECT_EQ(conn->texts(),
            (std::vector<std::string>{
                "update DATA_Plan set PersonID =7,PlanType='2',PlanClass= '1' ,PlanBeginTime="
                "'2024-03-05 09:00:00',PlanEndTime='2024-03-05',PlanContent='c',PlanAlertTime="
                "'2024-03-05 08:45:00',PlanPlace='p' where PlanID=12",
                "update DATA_Plan set PersonID =null,PlanType='',PlanClass= '' ,PlanBeginTime=''"
                ",PlanEndTime='',PlanContent='',PlanAlertTime='',PlanPlace='' where PlanID=12",
            }));
}

TEST_F(PlanRecords, HostileNumbersAreRefusedBeforeAnythingRuns) {
  const Variant e = T("");
  EXPECT_THROW(plan->DelData(T("7 or 1=1")), AutomationError);
  EXPECT_THROW(plan->AddData(T("7; delete from DATA_Plan"), I(1), I(1), e, e, e, e, e),
               AutomationError);
  EXPECT_THROW(plan->UpdateData(T("1 or 1=1"), I(7), I(1), I(1), e, e, e, e, e), AutomationError);
  EXPECT_THROW(plan->UpdateData(I(1), Variant::Bool(true), I(1), I(1), e, e, e, e, e),
               AutomationError);
  // Blank text is no number either; it must not become a null person or code.
  EXPECT_THROW(plan->AddData(T("  "), I(1), I(1), e, e, e, e, e), AutomationError);
  EXPECT_THROW(plan->AddData(I(7), T(" "), I(1), e, e, e, e, e), AutomationError);
  EXPECT_THROW(plan->AddData(I(7), I(1), T("\t"), e, e, e, e, e), AutomationError);
  EXPECT_THROW(plan->UpdateData(I(1), T("   "), I(1), I(1), e, e, e, e, e), AutomationError);
  EXPECT_TRUE(conn->texts().empty());
  // Blanks around a number are allowed and spliced as they are.
  plan->DelData(T(" 42 "));
  EXPECT_EQ(conn->texts().back(), "Delete from DATA_Plan where PlanID= 42 ");
}

TEST_F(PlanRecords, GetDataTakesA32BitIdByName) {
  std::shared_ptr<DispatchObject> obj = CreateObject("korimba.plan");
  obj->Call("SetConn", std::vector<Variant>{Variant::Object(conn)});
  obj->Call("getdata", std::vector<Variant>{I(70000)});
  obj->Call("GetData", std::vector<Variant>{T("-5")});
  EXPECT_EQ(conn->texts(), (std::vector<std::string>{
                               "Select * From DATA_Plan Where PlanID=70000",
                               "Select * From DATA_Plan Where PlanID=-5",
                           }));
  EXPECT_THROW(obj->Call("GetData", std::vector<Variant>{Variant::R8(2147483648.0)}),
               AutomationError);
  EXPECT_EQ(conn->texts().size(), 2u);
}

TEST_F(PlanRecords, BuiltGridsHaveAHeaderRowAndASizeFromTheRecordCount) {
  const std::vector<std::string> columns = {"PlanID", "PersonID", "PlanContent"};
  conn->QueueResult(Table(columns, {{I(1), I(7), T("a")}, {I(2), I(8), Variant::Null()}}));
  conn->QueueResult(Table(columns, {}));
  conn->QueueResult(Table(columns, {{I(5), I(7), T("b")}}));
  conn->QueueResult(Table(columns, {}));
  // A result that (against the key) holds two rows: only the first is copied.
  conn->QueueResult(Table(columns, {{I(5), I(7), T("b")}, {I(6), I(7), T("c")}}));

  EXPECT_EQ(GridString(plan->GetAllData()),
            "[0..2, 0..2]\n"
            "0: \"PlanID\" | \"PersonID\" | \"PlanContent\"\n"
            "1: 1i4 | 7i4 | \"a\"\n"
            "2: 2i4 | 8i4 | Null");
  EXPECT_EQ(GridString(plan->GetAllData()),
            "[0..0, 0..2]\n0: \"PlanID\" | \"PersonID\" | \"PlanContent\"");
  EXPECT_EQ(GridString(plan->GetData(5)),
            "[0..1, 0..2]\n0: \"PlanID\" | \"PersonID\" | \"PlanContent\"\n1: 5i4 | 7i4 | \"b\"");
  EXPECT_EQ(GridString(plan->GetData(9)),
            "[0..0, 0..2]\n0: \"PlanID\" | \"PersonID\" | \"PlanContent\"");
  EXPECT_EQ(GridString(plan->GetData(5)),
            "[0..2, 0..2]\n0: \"PlanID\" | \"PersonID\" | \"PlanContent\"\n1: 5i4 | 7i4 | \"b\"\n"
            "2: Empty | Empty | Empty");
  EXPECT_EQ(conn->sent()[0].via, "query");
  EXPECT_EQ(conn->texts()[0], "Select * from DATA_Plan");
}

using PlanRecordsOnDatabase = PlanOnDatabase;

TEST_F(PlanRecordsOnDatabase, RecordsRoundTripWithEmptyValues) {
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

}  // namespace
}  // namespace korimba::testing
