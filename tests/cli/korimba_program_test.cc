// End-to-end runs of the built korimba program (KORIMBA_BINARY_DIR/korimba):
// scripts piped through `korimba script`, init-db on a real file, --help.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/run_korimba.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Json = nlohmann::ordered_json;

std::string EnvOr(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value ? value : fallback;
}

class KorimbaProgramTest : public korimba::testing::ProgramTest {
 protected:
  // The answers of `korimba script ARGS` to the requests, one per line.
  std::vector<std::string> Script(const std::vector<std::string>& requests,
                                  const std::string& args = "") {
    std::string input;
    for (const std::string& r : requests) input += r + "\n";
    std::istringstream out(RunStdout("script " + args, input));
    std::vector<std::string> answers;
    for (std::string line; std::getline(out, line);) answers.push_back(line);
    EXPECT_EQ(exit_code_, 0);
    return answers;
  }
};

// Two persons and a conversation partner: the setting of most scripts here.
const std::vector<std::string> kOffice = {
    R"({"op":"clock","set":"2024-03-05 09:07:00"})",
    R"j({"op":"sql","text":"insert into HR_Person (PersonID, PersonName) values (1, N'王芳')"})j",
    R"j({"op":"sql","text":"insert into HR_Person (PersonID, PersonName) values (2, N'李伟')"})j",
};

std::vector<std::string> With(std::vector<std::string> head, const std::vector<std::string>& tail) {
  head.insert(head.end(), tail.begin(), tail.end());
  return head;
}

TEST_F(KorimbaProgramTest, ObjectLifeFromCreateToDrop) {
  const std::vector<std::string> answers = Script(
      With(kOffice,
           {
               R"({"op":"create","obj":"m","progid":"Korimba.Message"})",
               R"({"op":"session","session":"wang","values":{"personid":1}})",
               R"({"op":"start","obj":"m","session":"wang","url":"/msg/list.asp"})",
               R"({"op":"connect","obj":"m"})",
               R"({"op":"call","obj":"m","method":"AddData","args":[1,"明天九点开会",2,"会议"]})",
               R"({"op":"call","obj":"m","method":"noread"})",
               R"({"op":"end","obj":"m"})",
               R"({"op":"call","obj":"m","method":"noread"})",
               R"({"op":"call","obj":"m","method":"GetPersonName","args":[2]})",
               R"({"op":"drop","obj":"m"})",
               R"({"op":"call","obj":"m","method":"GetPersonName","args":[2]})",
           }));
  ASSERT_EQ(answers.size(), 14u);
  EXPECT_THAT(std::vector(answers.begin(), answers.begin() + 7), testing::Each(R"({"ok":true})"));
  EXPECT_EQ(answers[7], R"({"ok":true,"result":true})");
  EXPECT_EQ(answers[8], R"({"ok":true,"result":{"$i4":1}})");
  EXPECT_EQ(answers[9], R"({"ok":true})");
  // After the page ended the session is gone, the connection is not.
  EXPECT_THAT(answers[10], HasSubstr(R"("ok":false)"));
  EXPECT_EQ(answers[11], R"({"ok":true,"result":"李伟"})");
  EXPECT_EQ(answers[12], R"({"ok":true})");
  EXPECT_THAT(answers[13], HasSubstr(R"(no object named \"m\")"));
}

TEST_F(KorimbaProgramTest, GetErrorRepeatsTheLastFailureOfEitherClass) {
  const std::vector<std::string> answers = Script({
      R"({"op":"create","obj":"m","progid":"Korimba.Message"})",
      R"({"op":"create","obj":"p","progid":"Korimba.Plan"})",
      R"({"op":"call","obj":"p","method":"GetError"})",
      R"({"op":"call","obj":"m","method":"AddData","args":[1,"x",2,"t"]})",
      R"({"op":"call","obj":"p","method":"GetError"})",
      R"({"op":"call","obj":"p","method":"GetData","args":["abc"]})",
      R"({"op":"call","obj":"m","method":"GetError"})",
      R"({"op":"call","obj":"m","method":"NoSuchMethod"})",
  });
  ASSERT_EQ(answers.size(), 8u);
  EXPECT_EQ(answers[2], R"({"ok":true,"result":""})");
  const Json not_connected = Json::parse(answers[3]);
  ASSERT_EQ(not_connected["ok"], false);
  EXPECT_EQ(Json::parse(answers[4])["result"], not_connected["error"]["description"]);
  const Json mismatch = Json::parse(answers[5]);
  EXPECT_EQ(mismatch["error"]["number"], 13);
  EXPECT_EQ(Json::parse(answers[6])["result"], mismatch["error"]["description"]);
  EXPECT_EQ(Json::parse(answers[7])["error"]["number"], 438);
}

// Every tagged kind goes in through a session value and comes back out
// unchanged; plain numbers come back with the kind they were read as.
TEST_F(KorimbaProgramTest, ValuesRoundTripThroughTheProgram) {
  const std::vector<std::string> values = {
      R"(null)",
      R"(true)",
      R"("群发消息")",
      R"({"$empty":true})",
      R"({"$missing":true})",
      R"({"$i2":-7})",
      R"({"$i4":7})",
      R"({"$r4":1.5})",
      R"({"$r8":0.1})",
      R"({"$date":"2024-03-05 09:07:00"})",
      R"({"$date":"2024-03-05 09:07:00.125"})",
      R"({"$bytes":"SGk=","lbound":1})",
      R"({"$array":null})",
      R"({"$array":{"bounds":[[0,1],[1,2]],"cells":[[{"$i2":1},"b"],[null,{"$array":null}]]}})",
  };
  std::vector<std::string> requests;
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string name = "v" + std::to_string(i);
    requests.push_back(R"({"op":"session","session":"s","values":{")" + name + R"(":)" + values[i] +
                       "}}");
    requests.push_back(R"({"op":"get","session":"s","name":")" + name + R"("})");
  }
  requests.push_back(R"({"op":"session","session":"s","values":{"n":70000,"h":2.5,"w":12.0}})");
  for (const char* name : {"n", "h", "w"}) {
    requests.push_back(std::string(R"({"op":"get","session":"s","name":")") + name + R"("})");
  }
  const std::vector<std::string> answers = Script(requests);
  ASSERT_EQ(answers.size(), requests.size());
  for (size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(answers[2 * i], R"({"ok":true})") << values[i];
    EXPECT_EQ(answers[2 * i + 1], R"({"ok":true,"result":)" + values[i] + "}");
  }
  EXPECT_THAT(
      std::vector(answers.end() - 3, answers.end()),
      ElementsAre(R"({"ok":true,"result":{"$i4":70000}})", R"({"ok":true,"result":{"$r8":2.5}})",
                  R"({"ok":true,"result":{"$i2":12}})"));
}

TEST_F(KorimbaProgramTest, AMalformedLineIsAnsweredAndTheRunGoesOn) {
  const std::vector<std::string> answers = Script({
      R"({"op":"create","obj":"p","progid":"Korimba.Plan"})",
      R"({"op":"call","obj":"p","method":"YY"})",
      "{\"op\": \"call\", \"obj\": \"p\"",
      "",
      R"({"op":"call","obj":"p","method":"GetError"})",
  });
  ASSERT_EQ(answers.size(), 4u);
  EXPECT_EQ(answers[1],
            R"({"ok":true,"result":{"$array":{"bounds":[[0,10]],"cells":[{"$i2":0},{"$i2":1},)"
            R"({"$i2":2},{"$i2":3},{"$i2":4},{"$i2":5},{"$i2":6},{"$i2":7},{"$i2":8},{"$i2":9},)"
            R"({"$empty":true}]}}})");
  EXPECT_THAT(answers[2],
              HasSubstr(R"({"ok":false,"error":{"number":5,"description":"Malformed request)"));
  // A line the host could not read is no error of the component.
  EXPECT_EQ(answers[3], R"({"ok":true,"result":""})");
}

TEST_F(KorimbaProgramTest, TraceListsTheStatementsOfOneMethod) {
  const std::vector<std::string> answers =
      Script(With(kOffice,
                  {
                      R"({"op":"create","obj":"p","progid":"Korimba.Plan"})",
                      R"({"op":"connect","obj":"p"})",
                      R"({"op":"call","obj":"p","method":"GetData","args":[3]})",
                      R"({"op":"create","obj":"m","progid":"Korimba.Message"})",
                      R"({"op":"connect","obj":"m"})",
                      R"({"op":"call","obj":"m","method":"AddData","args":[1,"hi",2,"t"]})",
                  }),
             "--trace");
  ASSERT_EQ(answers.size(), 9u);
  EXPECT_EQ(Json::parse(answers[1])["sql"], Json::array());  // the script's own statement
  EXPECT_EQ(Json::parse(answers[5])["sql"].dump(),
            R"([{"via":"open","text":"Select * From DATA_Plan Where PlanID=3"}])");
  const Json posting = Json::parse(answers[8])["sql"];
  ASSERT_EQ(posting.size(), 2u) << posting.dump();
  EXPECT_EQ(posting[0]["via"], "execute");
  EXPECT_THAT(posting[0]["text"].get<std::string>(), HasSubstr("into DATA_Msg("));
  EXPECT_THAT(posting[0]["text"].get<std::string>(), HasSubstr("'hi'"));
  EXPECT_EQ(posting[1]["via"], "execute");
}

// The component's clock and the database's current time are one clock.
TEST_F(KorimbaProgramTest, ClockStampsMessagesAndTheDatabaseFollowsIt) {
  const std::vector<std::string> answers = Script(With(
      kOffice,
      {
          R"({"op":"create","obj":"m","progid":"Korimba.Message"})",
          R"({"op":"connect","obj":"m"})",
          R"({"op":"call","obj":"m","method":"AddData","args":[1,"first",2,"t"]})",
          R"({"op":"clock","advance":61.25})",
          R"({"op":"call","obj":"m","method":"AddData","args":[1,"second",2,"t"]})",
          R"({"op":"sql","text":"select MsgContent, msgCreatetime from DATA_Msg order by MsgID"})",
          R"j({"op":"sql","text":"select CONVERT(char(16), GETDATE(), 120)"})j",
          R"({"op":"clock","real":true})",
          R"j({"op":"sql","text":"select CONVERT(char(4), GETDATE(), 120)"})j",
      }));
  ASSERT_EQ(answers.size(), 12u);
  EXPECT_EQ(
      Json::parse(answers[8])["result"]["rows"].dump(),
      R"([["first",{"$date":"2024-03-05 09:07:00"}],["second",{"$date":"2024-03-05 09:08:01.250"}]])");
  EXPECT_EQ(Json::parse(answers[9])["result"]["rows"].dump(), R"([["2024-03-05 09:08"]])");
  EXPECT_GT(std::stoi(Json::parse(answers[11])["result"]["rows"][0][0].get<std::string>()), 2024);
}

TEST_F(KorimbaProgramTest, InitDbTwiceKeepsTheDataAndAddsTheDemoOnce) {
  const std::string db = "--db sqlite:" + (dir_ / "office.db").string();
  const std::string first = Run("init-db " + db + " --demo");
  EXPECT_EQ(exit_code_, 0) << first;
  EXPECT_THAT(first, HasSubstr("Demo data added: 12 persons"));

  const std::vector<std::string> count = {
      R"j({"op":"sql","text":"select (select count(*) from HR_Person), (select count(*) from DATA_Msg), (select count(*) from DATA_Plan)"})j"};
  const std::string before = Script(count, db).at(0);

  const std::string second = Run("init-db " + db + " --demo");
  EXPECT_EQ(exit_code_, 0) << second;
  EXPECT_THAT(second, HasSubstr("Schema: complete, nothing created"));
  EXPECT_THAT(second, HasSubstr("Demo data skipped: HR_Person already holds 12 persons"));
  EXPECT_EQ(Script(count, db).at(0), before);
  EXPECT_THAT(before, HasSubstr(R"([[{"$i4":12},)"));
}

// The demo office is usable as it stands: the first group message of 王芳 is
// tracked as one entry whose six copies share a minute, three of them read.
TEST_F(KorimbaProgramTest, DemoOfficeHasTrackableGroupMessages) {
  const std::string db = "--db sqlite:" + (dir_ / "office.db").string();
  RunStdout("init-db " + db + " --demo");
  ASSERT_EQ(exit_code_, 0);
  const std::vector<std::string> answers = Script(
      {
          R"({"op":"create","obj":"m","progid":"Korimba.Message"})",
          R"({"op":"connect","obj":"m"})",
          R"({"op":"call","obj":"m","method":"trackMsg","args":[1]})",
          R"({"op":"sql","text":"select count(*), sum(msgFlag) from DATA_Msg where MsgContent like N'%群发消息%' and MsgFromPersonID=1"})",
          R"({"op":"sql","text":"select count(*) from DATA_Msg where left(MsgContent,3)='(广播'"})",
      },
      db);
  ASSERT_EQ(answers.size(), 5u);
  const Json entries = Json::parse(answers[2])["result"]["$array"];
  ASSERT_EQ(entries["bounds"].dump(), "[[0,1],[0,0]]") << answers[2];
  const std::string minute = entries["cells"][1][0].get<std::string>();
  EXPECT_EQ(Json::parse(answers[3])["result"]["rows"].dump(), R"([[{"$i4":6},{"$i4":3}]])");
  EXPECT_EQ(Json::parse(answers[4])["result"]["rows"].dump(), R"([[{"$i4":21}]])");

  const Json copies = Json::parse(Script(
      {
          R"({"op":"create","obj":"m","progid":"Korimba.Message"})",
          R"({"op":"connect","obj":"m"})",
          R"({"op":"call","obj":"m","method":"track","args":[")" + minute + R"("]})",
      },
      db)[2])["result"]["$array"];
  EXPECT_EQ(copies["bounds"][1].dump(), "[0,5]") << copies.dump();
}

// The worked example of the README's "Script host" section, run as written:
// its first code block is a `korimba script` here-document, the next one the
// answers.
TEST_F(KorimbaProgramTest, ReadmeWorkedExampleAnswersAsDocumented) {
  std::ifstream readme(EnvOr("KORIMBA_SOURCE_DIR", KORIMBA_TEST_SOURCE_DIR) + "/README.md");
  ASSERT_TRUE(readme) << "README.md not found";
  std::vector<std::string> requests, expected;
  enum { kBefore, kInSection, kRequests, kBetween, kAnswers, kDone } state = kBefore;
  for (std::string line; state != kDone && std::getline(readme, line);) {
    if (state == kBefore) {
      if (line == "## Script host") state = kInSection;
    } else if (line.starts_with("## ")) {
      break;
    } else if (state == kInSection) {
      if (line.starts_with("$ korimba script")) state = kRequests;
    } else if (state == kRequests) {
      if (line == "EOF") {
        state = kBetween;
      } else {
        requests.push_back(line);
      }
    } else if (state == kBetween) {
      if (line.starts_with("```") && line != "```") state = kAnswers;
    } else if (line.starts_with("```")) {
      state = kDone;
    } else {
      expected.push_back(line);
    }
  }
  ASSERT_EQ(state, kDone) << "no worked example (here-document and answers) in README.md";
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(Script(requests), expected);
}

TEST_F(KorimbaProgramTest, EveryCommandHasHelp) {
  for (const char* command : {"", "init-db", "script", "serve"}) {
    const std::string help = RunStdout(std::string(command) + " --help");
    EXPECT_EQ(exit_code_, 0) << command;
    EXPECT_THAT(help, HasSubstr("--help")) << command;
  }
  EXPECT_THAT(RunStdout("script --help"), HasSubstr("--trace"));
  EXPECT_THAT(RunStdout("init-db --help"), HasSubstr("--demo"));
  Run("init-db --db sqlite:" + (dir_ / "missing" / "x.db").string());
  EXPECT_NE(exit_code_, 0);
}

}  // namespace
