// Every statement the component sends must reach DATA_Msg and DATA_Plan
// through an index: the query plans of the translated statements, taken
// from a call of every method, may not scan either table, except where the
// statement asks for every row.
#include "tests/support/query_plan.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <map>
#include <regex>
#include <set>

#include "db/sqlite_connection.h"
#include "tests/support/method_tour.h"

namespace korimba::testing {
namespace {

// Statements that read every row by definition (a page of the whole table
// is read by count and offset on that one statement).
const std::set<std::string> kScanAllowed = {"Plan.GetAllData", "Plan.GetPageData"};

TEST(QueryPlanTest, EveryFilteringStatementUsesAnIndex) {
  auto db = SqliteConnection::Open(":memory:");
  // The detector itself: a filter on an unindexed column scans.
  ASSERT_NE(
      QueryPlanOf(db->handle(),
                  SqliteConnection::TranslateText("select * from DATA_Msg where MsgTitle='x'").sql)
          .find("SCAN t0"),
      std::string::npos);
  const std::vector<SentStatement> sent = TourEveryMethod();
  ASSERT_GT(sent.size(), 30u);
  for (const auto& [name, text] : sent) {
    const std::string sql = SqliteConnection::TranslateText(text).sql;
    // Which table each alias stands for.
    std::map<std::string, std::string> tables = {{"DATA_Msg", "DATA_Msg"},
                                                 {"DATA_Plan", "DATA_Plan"}};
    static const std::regex alias(R"re("(\w+)" AS (t\d+))re");
    for (std::sregex_iterator it(sql.begin(), sql.end(), alias), end; it != end; ++it) {
      tables[(*it)[2]] = (*it)[1];
    }
    const std::string plan = QueryPlanOf(db->handle(), sql);
    static const std::regex scan(R"(SCAN (\w+))");
    for (std::sregex_iterator it(plan.begin(), plan.end(), scan), end; it != end; ++it) {
      const std::string table = tables.count((*it)[1]) ? tables[(*it)[1]] : std::string((*it)[1]);
      if (table == "DATA_Msg" || table == "DATA_Plan") {
        EXPECT_TRUE(kScanAllowed.count(name)) << name << " scans " << table << ":\n"
                                              << sql << "\n"
                                              << plan;
      }
    }
  }
}

// The statements that read many rows of one person or one minute are
// answered from an index alone, without a visit to the table per row.
TEST(QueryPlanTest, PersonListsReadOnlyTheirIndex) {
  auto db = SqliteConnection::Open(":memory:");
  std::set<std::string> checked;
  for (const auto& [name, text] : TourEveryMethod()) {
    if (name != "Message.InceptMsg" && name != "Message.trackMsg" && name != "Message.track" &&
        name != "Message.GetFriendList") {
      continue;
    }
    checked.insert(name);
    const std::string sql = SqliteConnection::TranslateText(text).sql;
    const std::string plan = QueryPlanOf(db->handle(), sql);
    EXPECT_NE(plan.find("SEARCH t0 USING COVERING INDEX"), std::string::npos) << name << ":\n"
                                                                              << plan;
  }
  EXPECT_EQ(checked.size(), 4u);
}

// The group-message statements read only the group messages: their LIKE
// condition is the one the partial indexes hold.
TEST(QueryPlanTest, GroupMessagesAreReadFromTheirPartialIndexes) {
  auto db = SqliteConnection::Open(":memory:");
  const std::map<std::string, std::string> expected = {
      {"Message.trackMsg", "COVERING INDEX IX_DATA_Msg_GroupSent"},
      {"Message.track", "COVERING INDEX IX_DATA_Msg_GroupMinute"}};
  std::set<std::string> checked;
  for (const auto& [name, text] : TourEveryMethod()) {
    auto it = expected.find(name);
    if (it == expected.end()) continue;
    checked.insert(name);
    const std::string plan = QueryPlanOf(db->handle(), SqliteConnection::TranslateText(text).sql);
    EXPECT_NE(plan.find(it->second), std::string::npos) << name << ":\n" << plan;
  }
  EXPECT_EQ(checked.size(), 2u);
}

// The oldest unread message is sought on both of its conditions; an index
// covering "select *" by person alone would have SQLite walk the person's
// whole inbox for it instead (without statistics, as in a new office).
TEST(QueryPlanTest, OldestUnreadSeeksPersonAndFlag) {
  auto db = SqliteConnection::Open(":memory:");
  bool checked = false;
  for (const auto& [name, text] : TourEveryMethod()) {
    if (name != "Message.noread") continue;
    checked = true;
    const std::string plan = QueryPlanOf(db->handle(), SqliteConnection::TranslateText(text).sql);
    EXPECT_NE(plan.find("IX_DATA_Msg_Unread (PersonID=? AND msgFlag=?)"), std::string::npos)
        << plan;
  }
  EXPECT_TRUE(checked);
}

}  // namespace
}  // namespace korimba::testing
