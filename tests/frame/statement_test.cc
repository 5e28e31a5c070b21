#include "frame/statement.h"

#include <gtest/gtest.h>

#include "frame/error.h"
#include "frame/grid.h"

namespace korimba {
namespace {

Variant T(const char* s) { return Variant::Text(s); }

TEST(StatementTest, PiecesSpliceTextForms) {
  const Variant id = Variant::I4(-32768), title = T("O'Brien's"), empty, null = Variant::Null();
  const Variant when = Variant::FromDate(MakeDate({2024, 3, 5, 9, 7, 0, 0}).value());
  StatementBuilder b;
  b << Lit{"update T set A='"} << Quoted{title} << Lit{"',B="} << Number{id} << Lit{",C='"}
    << Quoted{when} << Lit{"',D='"} << Quoted{null} << Lit{"',E="} << Number{empty}
    << Lit{" where F="} << Int{7};
  EXPECT_EQ(b.text(),
            "update T set A='O''Brien''s',B=-32768,C='2024-03-05 09:07:00',D='',E= where F=7");
}

TEST(StatementTest, QuotedDoublesEveryApostropheWhereverItStands) {
  const struct {
    const char* value;
    const char* spliced;
  } cases[] = {
      {"", "''"},         {"'", "''''"},        {"''", "''''''"},
      {"'x'", "'''x'''"}, {"a''b", "'a''''b'"}, {"no quote", "'no quote'"},
  };
  for (const auto& c : cases) {
    StatementBuilder b;
    b << Lit{"'"} << Quoted{T(c.value)} << Lit{"'"};
    EXPECT_EQ(b.text(), c.spliced) << c.value;
  }
}

TEST(StatementTest, NumberPositionTakesOnlyNumbers) {
  const struct {
    Variant value;
    const char* spliced;
  } accepted[] = {
      {Variant(), ""},
      {Variant::Null(), ""},
      {T(""), ""},
      {T(" 42 "), " 42 "},
      {T("\t1"), "\t1"},
      {T("-7"), "-7"},
      {T("1.5e3"), "1.5e3"},
      {Variant::I2(5), "5"},
      {Variant::R8(2.5), "2.5"},
      {Variant::R4(0.5f), "0.5"},
  };
  for (const auto& c : accepted) {
    StatementBuilder b;
    b << Lit{"x="} << Number{c.value};
    EXPECT_EQ(b.text(), std::string("x=") + c.spliced) << c.value.DebugString();
  }

  const Variant refused[] = {
      T("7 or 1=1"),
      T("7; delete from DATA_Msg"),
      T("   "),
      T("\t"),
      T("7'"),
      T("0x10"),
      T("1,2"),
      Variant::Bool(true),
      Variant::FromDate(Date{45356}),
      MakeOneCellGrid(),
      Variant::Missing(),
  };
  for (const Variant& v : refused) {
    StatementBuilder b;
    try {
      b << Number{v};
      ADD_FAILURE() << "accepted " << v.DebugString();
    } catch (const AutomationError& e) {
      EXPECT_EQ(e.number(), kErrTypeMismatch);
      if (v.is_text()) {
        EXPECT_NE(e.description().find(*v.text()), std::string::npos);
      }
    }
  }
}

TEST(StatementTest, InsertRewrite) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      // The plain passes, for values without apostrophes or searched pairs.
      {"insert into T (a,b,c) values(,'x',)", "insert into T (a,b,c) values(null,'x',null)"},
      {"values('a',,'b')", "values('a',null,'b')"},
      // Repeated empties all become null, not just the first of each run.
      {"values(1,,,2)", "values(1,null,null,2)"},
      {"values(,,,,)", "values(null,null,null,null,null)"},
      // Quoted values keep the pairs they hold; an empty text stays ''.
      {"values(1,'a,,b','(,',',)')", "values(1,'a,,b','(,',',)')"},
      {"values(,'it''s ,, here',)", "values(null,'it''s ,, here',null)"},
      {"values('',,'')", "values('',null,'')"},
      {"values(1,'unterminated ,,", "values(1,'unterminated ,,"},
  };
  for (const auto& c : cases) EXPECT_EQ(InsertNullRewrite(c.in), c.out) << c.in;
}

TEST(StatementTest, UpdateRewrite) {
  const struct {
    const char* in;
    const char* out;
  } cases[] = {
      {"update T set a=,b='x',c= where id=1", "update T set a=null,b='x',c=null where id=1"},
      // A blank after "=" is not the searched pair.
      {"update T set a= ,b=1 where id=2", "update T set a= ,b=1 where id=2"},
      {"update T set m='x=,y',n='= where' where id=3",
       "update T set m='x=,y',n='= where' where id=3"},
  };
  for (const auto& c : cases) EXPECT_EQ(UpdateNullRewrite(c.in), c.out) << c.in;
}

TEST(StatementTest, BuilderRewritesKeepHostileValuesInside) {
  const Variant person = Variant(), from = Variant::I4(3), text = T("a,,b'),(1,");
  StatementBuilder b;
  b << Lit{"insert into DATA_Msg (PersonID,MsgFromPersonID,MsgContent) values("} << Number{person}
    << Lit{","} << Number{from} << Lit{",'"} << Quoted{text} << Lit{"')"};
  EXPECT_EQ(
      b.InsertText(),
      "insert into DATA_Msg (PersonID,MsgFromPersonID,MsgContent) values(null,3,'a,,b''),(1,')");

  StatementBuilder u;
  u << Lit{"update DATA_Plan set PlanType="} << Number{person} << Lit{",PlanContent='"}
    << Quoted{T("x=,y")} << Lit{"',PlanClass="} << Number{person} << Lit{" where PlanID="}
    << Int{9};
  EXPECT_EQ(u.UpdateText(),
            "update DATA_Plan set PlanType=null,PlanContent='x=,y',PlanClass=null where PlanID=9");
}

}  // namespace
}  // namespace korimba
