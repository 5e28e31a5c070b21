#include "cli/script_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "cli/json_value.h"
#include "frame/clock.h"
#include "frame/error.h"
#include "frame/value_ops.h"
#include "tests/support/fake_connection.h"

namespace korimba::cli {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class ScriptHostTest : public ::testing::Test {
 protected:
  std::shared_ptr<testing::FakeConnection> db_ = std::make_shared<testing::FakeConnection>();

  // Answers of a whole run over `script`, one per answered line.
  std::vector<std::string> Run(const std::string& script, bool trace = false) {
    ScriptHost host(db_, {.trace = trace});
    std::istringstream in(script);
    std::ostringstream out;
    host.Run(in, out);
    std::vector<std::string> answers;
    std::istringstream lines(out.str());
    for (std::string line; std::getline(lines, line);) answers.push_back(line);
    return answers;
  }
};

TEST_F(ScriptHostTest, BlankLinesAreSkippedAndBadLinesAnsweredWithoutStoppingTheRun) {
  const std::vector<std::string> answers =
      Run("\n   \r\n"
          "{not json\n"
          "[1, 2]\n"
          "{\"op\": \"fly\"}\n"
          "{\"obj\": \"p\"}\n"
          "{\"op\": \"create\", \"obj\": 5, \"progid\": \"Korimba.Plan\"}\n"
          "{\"op\": \"call\", \"obj\": \"nobody\", \"method\": \"YY\"}\n"
          "{\"op\": \"create\", \"obj\": \"x\", \"progid\": \"Korimba.Nothing\"}\n"
          "{\"op\":\"create\",\"obj\":\"p\",\"progid\":\"korimba.plan\"}\r\n");
  ASSERT_EQ(answers.size(), 8u);
  EXPECT_THAT(
      answers[0],
      StartsWith(
          R"({"ok":false,"error":{"number":5,"description":"Malformed request: parse error)"));
  EXPECT_THAT(answers[1], HasSubstr("a request is one JSON object per line"));
  EXPECT_THAT(answers[2], HasSubstr(R"(unknown op \"fly\")"));
  EXPECT_THAT(answers[3], HasSubstr(R"(\"op\" is missing)"));
  EXPECT_THAT(answers[4], HasSubstr(R"(\"obj\" must be a text)"));
  EXPECT_THAT(answers[5], HasSubstr(R"({"number":91,)"));
  EXPECT_THAT(answers[5], HasSubstr(R"(no object named \"nobody\")"));
  EXPECT_THAT(answers[6], HasSubstr(R"({"number":429,)"));
  EXPECT_EQ(answers[7], R"({"ok":true})");
}

// The trace lists what the component sent during the request, by route;
// requests that send nothing carry an empty list, and "sql" requests are the
// script's own statements, not the component's.
TEST_F(ScriptHostTest, TraceShowsTheComponentsStatementsOfEachRequest) {
  const std::vector<std::string> answers =
      Run(R"({"op":"create","obj":"p","progid":"Korimba.Plan"})"
          "\n"
          R"({"op":"connect","obj":"p"})"
          "\n"
          R"({"op":"call","obj":"p","method":"DelData","args":[7]})"
          "\n"
          R"({"op":"call","obj":"p","method":"GetData","args":[-5]})"
          "\n"
          R"({"op":"sql","text":"delete from DATA_Plan"})"
          "\n",
          /*trace=*/true);
  ASSERT_EQ(answers.size(), 5u);
  EXPECT_EQ(answers[0], R"({"ok":true,"sql":[]})");
  EXPECT_EQ(answers[1], R"({"ok":true,"sql":[]})");
  EXPECT_EQ(
      answers[2],
      R"({"ok":true,"result":true,"sql":[{"via":"execute","text":"Delete from DATA_Plan where PlanID=7"}]})");
  EXPECT_THAT(
      answers[3],
      HasSubstr(R"("sql":[{"via":"open","text":"Select * From DATA_Plan Where PlanID=-5"}])"));
  EXPECT_EQ(answers[4], R"({"ok":true,"sql":[]})");
  ASSERT_EQ(db_->sent().size(), 3u);
  EXPECT_EQ(db_->sent()[2].text, "delete from DATA_Plan");
}

TEST_F(ScriptHostTest, SqlAnswersColumnsAndRowsForAQueryAndNothingForACommand) {
  ResultTable table;
  table.columns = {"PersonID", "PersonName"};
  table.cells = {Variant::I4(1), Variant::Text("王芳"), Variant::I4(2), Variant::Null()};
  db_->QueueResult(table);
  db_->QueueError("no such table: HR_Nobody");
  const std::vector<std::string> answers =
      Run(R"({"op":"sql","text":"select PersonID, PersonName from HR_Person"})"
          "\n"
          R"({"op":"sql","text":"select * from HR_Nobody"})"
          "\n"
          R"({"op":"sql","text":"update HR_Person set PersonName=N'x' where 1=0"})");
  ASSERT_EQ(answers.size(), 3u);
  EXPECT_EQ(answers[0], R"({"ok":true,"result":{"columns":["PersonID","PersonName"],)"
                        R"("rows":[[{"$i4":1},"王芳"],[{"$i4":2},null]]}})");
  EXPECT_EQ(
      answers[1],
      R"({"ok":false,"error":{"number":-2147217900,"description":"no such table: HR_Nobody"}})");
  EXPECT_EQ(answers[2], R"({"ok":true})");
}

TEST_F(ScriptHostTest, SessionAndApplicationValuesAreStoredAndReadByName) {
  const std::vector<std::string> answers =
      Run(R"({"op":"session","session":"s","values":{"personid":3,"PersonName":"张敏"}})"
          "\n"
          R"({"op":"get","session":"s","name":"PERSONID"})"
          "\n"
          R"({"op":"get","session":"s","name":"MyListID"})"
          "\n"
          R"({"op":"get","session":"t","name":"personid"})"
          "\n"
          R"({"op":"session","session":"s","values":{"personid":4,"bad":{"$i2":99999}}})"
          "\n"
          R"({"op":"get","session":"s","name":"personid"})"
          "\n"
          R"({"op":"get","application":true,"name":"OnlineList"})");
  EXPECT_THAT(
      answers,
      ElementsAre(R"({"ok":true})", R"({"ok":true,"result":{"$i2":3}})",
                  R"({"ok":true,"result":{"$empty":true}})", HasSubstr(R"(no session named \"t\")"),
                  HasSubstr("$i2 needs a whole number"),
                  // The refused request stored none of its values.
                  R"({"ok":true,"result":{"$i2":3}})", R"({"ok":true,"result":{"$empty":true}})"));
}

TEST_F(ScriptHostTest, ClockIsFrozenMovedAndReleasedAndTheRealOneReturnsAfterTheRun) {
  {
    ScriptHost host(db_, {});
    EXPECT_EQ(*host.HandleLine(R"({"op":"clock","set":"2024-03-05 09:07:00"})"), R"({"ok":true})");
    EXPECT_EQ(FormatDate(Now()), "2024-03-05 09:07:00");
    EXPECT_EQ(*host.HandleLine(R"({"op":"clock","advance":90.25})"), R"({"ok":true})");
    EXPECT_EQ(SplitDate(Now()).millisecond, 250);
    EXPECT_EQ(FormatDate(Now()), "2024-03-05 09:08:30");
    EXPECT_THAT(*host.HandleLine(R"({"op":"clock","set":"2024-02-30 00:00:00"})"),
                HasSubstr("not a valid date"));
    EXPECT_THAT(*host.HandleLine(R"({"op":"clock","set":"2024-03-05 00:00:00","real":true})"),
                HasSubstr("exactly one of"));
    EXPECT_EQ(FormatDate(Now()), "2024-03-05 09:08:30");
    EXPECT_EQ(*host.HandleLine(R"({"op":"clock","real":true})"), R"({"ok":true})");
    EXPECT_GT(YearOf(Now()), 2024);
    EXPECT_EQ(*host.HandleLine(R"({"op":"clock","set":"2001-01-01 00:00:00"})"), R"({"ok":true})");
  }
  EXPECT_GT(YearOf(Now()), 2024);
  // A clock installed around the host (as a test or the demo data does) is
  // the one in force again once the host is gone.
  ScopedClockOverride outer(*MakeDate({2010, 6, 1, 12, 0, 0, 0}));
  {
    ScriptHost host(db_, {});
    EXPECT_EQ(*host.HandleLine(R"({"op":"clock","set":"2024-03-05 09:07:00"})"), R"({"ok":true})");
  }
  EXPECT_EQ(FormatDate(Now()), "2010-06-01 12:00:00");
}

// Nesting far past any value's needs is refused as a malformed line, early
// and without recursion (70,000 levels once crashed the host); the run goes
// on, and a value nested up to the limit is still read.
TEST_F(ScriptHostTest, DeeplyNestedLinesAreRefusedAndTheRunGoesOn) {
  const std::string deep_args =
      "{\"op\":\"call\",\"obj\":\"p\",\"method\":\"YY\",\"args\":" + std::string(70000, '[') +
      std::string(70000, ']') + "}";
  const std::string deep_object = std::string(70000, '[') + "{\"a\":" + std::string(70000, '{');
  std::string allowed_value =
      std::string(kMaxJsonDepth - 2, '[') + std::string(kMaxJsonDepth - 2, ']');
  const std::vector<std::string> answers =
      Run(deep_args + "\n" + deep_object + "\n" +
          "{\"op\":\"session\",\"session\":\"s\",\"values\":{\"v\":" + allowed_value + "}}\n" +
          "{\"op\":\"create\",\"obj\":\"p\",\"progid\":\"Korimba.Plan\"}\n");
  ASSERT_EQ(answers.size(), 4u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_THAT(answers[i], HasSubstr("Malformed request")) << i;
    EXPECT_THAT(answers[i], HasSubstr("more than 100 levels deep")) << i;
    EXPECT_LT(answers[i].size(), 400u) << i;
  }
  // Read, then refused as a value (a plain list is none): quoted briefly.
  EXPECT_THAT(answers[2], HasSubstr("\"ok\":false"));
  EXPECT_LT(answers[2].size(), 600u);
  EXPECT_EQ(answers[3], "{\"ok\":true}");
}

// A value built deeper than any line may carry is quoted without recursing.
TEST(JsonDepth, DeepValuesAreMeasuredAndQuotedWithoutRecursion) {
  Json deep = Json::array();
  for (int i = 0; i < 100000; ++i) deep = Json::array({std::move(deep)});
  EXPECT_EQ(JsonDepth(deep), 100001u);
  EXPECT_EQ(JsonDepth(Json(5)), 0u);
  EXPECT_EQ(JsonDepth(Json::parse(R"({"a":[1,{"b":[]}]})")), 4u);
  try {
    Json form = Json::object();
    form["$r8"] = std::move(deep);  // moved: a copy would recurse
    JsonToVariant(form);
    ADD_FAILURE() << "accepted";
  } catch (const AutomationError& e) {
    EXPECT_THAT(e.description(), HasSubstr("nested more than 100 levels deep"));
  }
}

}  // namespace
}  // namespace korimba::cli
