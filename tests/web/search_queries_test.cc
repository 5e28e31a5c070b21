// Search over the embedded database, which translates the statements exactly
// as it does the component's: hostile search texts match only themselves,
// another person's messages and plans never come back, and the merged list
// is newest first, page by page. Also the two helpers of the search text.
#include "web/search_queries.h"

#include <gtest/gtest.h>

#include <sstream>

#include "db/open.h"
#include "db/sqlite_connection.h"
#include "frame/statement.h"
#include "frame/value_ops.h"
#include "tests/support/query_plan.h"
#include "tests/support/recording_connection.h"
#include "web/search_text.h"

namespace korimba::web {
namespace {

TEST(SearchTextTest, PatternWrapsEachWildcardInBrackets) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"plain", "%plain%"}, {"50%", "%50[%]%"}, {"a_b", "%a[_]b%"}, {"[x]", "%[[]x]%"},
      {"it's", "%it's%"},   {"", "%%"},         {"会议", "%会议%"}, {"\\", "%\\%"},
  };
  for (const auto& [text, pattern] : cases) EXPECT_EQ(ContainsPattern(text), pattern) << text;
}

TEST(SearchTextTest, HighlightEscapesFirstAndMarksEveryOccurrence) {
  const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
      {"Budget and budget", "BUDGET", "<mark>Budget</mark> and <mark>budget</mark>"},
      {"<b>x</b>", "b", "&lt;<mark>b</mark>&gt;x&lt;/<mark>b</mark>&gt;"},
      {"a & b", "amp", "a &amp; b"},
      {"a & b", "&", "a <mark>&amp;</mark> b"},
      {"aaa", "aa", "<mark>aa</mark>a"},
      {"季度会议纪要", "会议", "季度<mark>会议</mark>纪要"},
      {"x\"y'", "", "x&quot;y&#39;"},
      {"short", "longer than text", "short"},
  };
  for (const auto& [text, needle, html] : cases) {
    EXPECT_EQ(HighlightHtml(text, needle), html) << text << " / " << needle;
  }
}

class SearchQueriesTest : public ::testing::Test {
 protected:
  void Message(int to, int from, const std::string& title, const std::string& content,
               const std::string& created) {
    StatementBuilder sql;
    const Variant t = Variant::Text(title), c = Variant::Text(content);
    const Variant when = Variant::Text(created);
    sql << Lit{"INSERT INTO DATA_Msg (PersonID, MsgFromPersonID, MsgTitle, MsgContent, "
               "msgCreatetime) VALUES ("}
        << Int{to} << Lit{", "} << Int{from} << Lit{", N'"} << Quoted{t} << Lit{"', N'"}
        << Quoted{c} << Lit{"', '"} << Quoted{when} << Lit{"')"};
    conn_->Execute(sql.text());
  }
  void Plan(int person, const std::string& content, const std::string& place,
            const std::string& begin) {
    StatementBuilder sql;
    const Variant c = Variant::Text(content), p = Variant::Text(place);
    const Variant b = Variant::Text(begin);
    sql << Lit{"INSERT INTO DATA_Plan (PersonID, PlanType, PlanClass, PlanBeginTime, "
               "PlanEndTime, PlanContent, PlanPlace) VALUES ("}
        << Int{person} << Lit{", 1, 1, '"} << Quoted{b} << Lit{"', '"} << Quoted{b} << Lit{"', N'"}
        << Quoted{c} << Lit{"', N'"} << Quoted{p} << Lit{"')"};
    conn_->Execute(sql.text());
  }
  // The hits of a search as "m:content" / "p:content" in order.
  std::string Found(int person, const std::string& text, int page = 1, int per_page = 50) {
    std::string out;
    for (const SearchHit& hit : Search(*conn_, person, text, page, per_page).hits) {
      out += (hit.kind == SearchHit::Kind::kMessage ? "m:" : "p:") + TextForm(hit.text) + ";";
    }
    return out;
  }
  std::shared_ptr<Connection> conn_ = OpenConnection("sqlite::memory:");
};

TEST_F(SearchQueriesTest, HostileTextsMatchOnlyThemselves) {
  conn_->Execute("INSERT INTO HR_Person (PersonID, PersonName) VALUES (1, 'Ann'), (2, 'Bo')");
  const std::vector<std::string> contents = {
      "rise of 50% today", "rise of 500 today", "file a_b.txt",   "file axb.txt",
      "see [draft] notes", "see draft notes",   "O'Brien called", "OBrien called",
      "back\\slash",       "plain words"};
  for (size_t i = 0; i < contents.size(); ++i) {
    Message(2, 1, "", contents[i], "2025-01-01 09:" + std::to_string(10 + i));
  }
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"50%", "m:rise of 50% today;"},     {"%", "m:rise of 50% today;"},
      {"a_b", "m:file a_b.txt;"},          {"_", "m:file a_b.txt;"},
      {"[draft]", "m:see [draft] notes;"}, {"[", "m:see [draft] notes;"},
      {"]", "m:see [draft] notes;"},       {"O'Brien", "m:O'Brien called;"},
      {"'", "m:O'Brien called;"},          {"\\", "m:back\\slash;"},
      {"PLAIN", "m:plain words;"},         {"' OR 1=1 --", ""},
      {std::string(100, 'x'), ""},         {"", ""},
  };
  for (const auto& [text, found] : cases) {
    EXPECT_EQ(Found(1, text), found) << text;  // the sender
    EXPECT_EQ(Found(2, text), found) << text;  // the recipient
  }
}

TEST_F(SearchQueriesTest, OnlyThePersonsOwnMessagesAndPlansNewestFirst) {
  conn_->Execute(
      "INSERT INTO HR_Person (PersonID, PersonName) VALUES (1, 'Ann'), (2, 'Bo'), (3, 'Cy')");
  Message(2, 1, "budget", "first", "2025-01-01 09:00");      // Ann to Bo
  Message(1, 3, "", "budget second", "2025-01-03 09:00");    // Cy to Ann
  Message(3, 2, "budget", "not Ann's", "2025-01-05 09:00");  // Bo to Cy
  Plan(1, "budget review", "", "2025-01-02 10:00");
  Plan(1, "lunch", "Budget room", "2025-01-04 12:00");
  Plan(2, "Bo's budget", "", "2025-01-06 10:00");
  EXPECT_EQ(Found(1, "budget"), "p:lunch;m:budget second;p:budget review;m:first;");
  EXPECT_EQ(Found(3, "budget"), "m:not Ann's;m:budget second;");
  EXPECT_EQ(Found(4, "budget"), "");

  SearchResults ann = Search(*conn_, 1, "budget", 1, 50);
  ASSERT_EQ(ann.hits.size(), 4u);
  EXPECT_EQ(TextForm(ann.hits[1].other), "Cy");
  EXPECT_FALSE(ann.hits[1].sent);
  EXPECT_EQ(TextForm(ann.hits[3].other), "Bo");
  EXPECT_TRUE(ann.hits[3].sent);
  EXPECT_EQ(TextForm(ann.hits[0].place), "Budget room");
}

TEST_F(SearchQueriesTest, PagesCutTheMergedListInOrder) {
  for (int i = 0; i < 7; ++i) {
    const std::string day = "2025-02-" + std::to_string(10 + i);
    if (i % 3 == 0) {
      Plan(1, "item " + std::to_string(i), "", day);
    } else {
      Message(2, 1, "", "item " + std::to_string(i), day);
    }
  }
  Message(1, 2, "", "other text", "2025-03-01");
  SearchResults first = Search(*conn_, 1, "item", 1, 3);
  EXPECT_EQ(first.total, 7);
  EXPECT_EQ(first.pages, 3);
  EXPECT_EQ(Found(1, "item", 1, 3), "p:item 6;m:item 5;m:item 4;");
  EXPECT_EQ(Found(1, "item", 2, 3), "p:item 3;m:item 2;m:item 1;");
  EXPECT_EQ(Found(1, "item", 3, 3), "p:item 0;");
  EXPECT_EQ(Found(1, "item", 4, 3), "");
  EXPECT_EQ(Found(1, "item", 0, 3), "");
  EXPECT_EQ(Search(*conn_, 1, "item", kMaxSearchPages + 1, 1).hits.size(), 0u);
}

// Hits of one time keep one order on every page: messages before plans, and
// within each kind the later written first, so no hit is shown twice or lost
// across a page boundary.
TEST_F(SearchQueriesTest, EqualTimesKeepMessagesFirstAndLaterWrittenFirst) {
  for (int i = 0; i < 3; ++i) {
    Plan(1, "tie plan " + std::to_string(i), "", "2025-04-01 10:00");
    Message(2, 1, "", "tie message " + std::to_string(i), "2025-04-01 10:00");
  }
  Message(1, 2, "tie", "later", "2025-04-01 10:00:00.003");
  Plan(1, "tie earlier", "", "2025-04-01 09:59:59.997");
  const std::string all =
      "m:later;m:tie message 2;m:tie message 1;m:tie message 0;p:tie plan 2;p:tie plan 1;"
      "p:tie plan 0;p:tie earlier;";
  EXPECT_EQ(Found(1, "tie"), all);
  std::string paged;
  for (int page = 1; page <= 3; ++page) paged += Found(1, "tie", page, 3);
  EXPECT_EQ(paged, all);
  SearchResults last = Search(*conn_, 1, "tie", 3, 3);
  EXPECT_EQ(last.total, 8);
  EXPECT_EQ(last.pages, 3);
  ASSERT_EQ(last.hits.size(), 2u);
  EXPECT_EQ(last.hits[1].kind, SearchHit::Kind::kPlan);
  EXPECT_EQ(TextForm(last.hits[1].text), "tie earlier");
}

// The matching reads the person's entries of covering indexes only: each
// branch is one index search with the texts in the index, never a visit to
// the table per row (which cost most of a search) nor a scan.
TEST(SearchPlanTest, MatchesReadOnlyCoveringIndexes) {
  std::shared_ptr<SqliteConnection> db = SqliteConnection::Open(":memory:");
  testing::RecordingConnection recorder(db);
  Search(recorder, 1, "report", 1, 20);
  const std::vector<std::string> sent = recorder.Take();
  ASSERT_FALSE(sent.empty());
  const std::string sql = SqliteConnection::TranslateText(sent.front()).sql;
  std::string searches;
  std::istringstream steps(testing::QueryPlanOf(db->handle(), sql));
  for (std::string step; std::getline(steps, step);) {
    if (step.rfind("SEARCH", 0) == 0 || step.rfind("SCAN", 0) == 0) {
      searches += step.substr(0, step.find(" (")) + "\n";
    }
  }
  EXPECT_EQ(searches,
            "SEARCH t0 USING COVERING INDEX IX_DATA_Msg_InboxCover\n"
            "SEARCH t1 USING COVERING INDEX IX_DATA_Msg_InboxTitle\n"
            "SEARCH t2 USING COVERING INDEX IX_DATA_Msg_Sent\n"
            "SEARCH t3 USING COVERING INDEX IX_DATA_Plan_Begin\n")
      << sql;
}

}  // namespace
}  // namespace korimba::web
