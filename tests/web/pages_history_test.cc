// The received history a page at a time and the copies of one minute's group
// messages, through real HTTP: what each page shows and refuses.
#include <gtest/gtest.h>

#include "frame/value_ops.h"
#include "tests/web/test_site.h"

namespace korimba::web {
namespace {

using testing::Has;
using testing::TestSite;
using testing::Visitor;

class HistoryPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto [id, name] : {std::pair{1, "Ann"}, {2, "Bo"}, {3, "Cy"}}) {
      site_.conn().Execute("INSERT INTO HR_Person (PersonID, PersonName) VALUES (" +
                           std::to_string(id) + ", '" + name + "')");
    }
  }
  void AddMessage(int to, int from, const std::string& content, const std::string& created,
                  int flag = 0) {
    site_.conn().Execute(
        "INSERT INTO DATA_Msg (PersonID, MsgFromPersonID, MsgContent, msgFlag, msgCreatetime) "
        "VALUES (" +
        std::to_string(to) + ", " + std::to_string(from) + ", '" + content + "', " +
        std::to_string(flag) + ", '" + created + "')");
  }

  TestSite site_;
};

TEST_F(HistoryPagesTest, ReceivedMessagesComeTwentyToAPageNewestFirst) {
  // Notes 1 to 45 to Ann, each a minute after the one before; one to Bo.
  for (int i = 1; i <= 45; ++i) {
    char created[32];
    std::snprintf(created, sizeof created, "2025-02-03 %02d:%02d:00", 8 + i / 60, i % 60);
    AddMessage(1, 2, "note " + std::to_string(i) + ".", created);
  }
  AddMessage(2, 1, "for Bo.", "2025-02-03 12:00:00");
  Visitor ann(site_.port());
  ann.SignIn(1);

  auto first = ann.Get("/history");
  ASSERT_EQ(first->status, 200) << first->body;
  EXPECT_TRUE(Has(first, "45 messages received"));
  EXPECT_TRUE(Has(first, "note 45.") && Has(first, "note 26."));
  EXPECT_FALSE(Has(first, "note 25.") || Has(first, "for Bo."));
  EXPECT_TRUE(Has(first, "Page 1 of 3"));
  EXPECT_TRUE(Has(first, "href=\"/history?page=2\""));
  EXPECT_FALSE(Has(first, "?page=0"));

  auto last = ann.Get("/history?page=3");
  ASSERT_EQ(last->status, 200);
  EXPECT_TRUE(Has(last, "note 5.") && Has(last, "note 1."));
  EXPECT_FALSE(Has(last, "note 6."));
  EXPECT_TRUE(Has(last, "href=\"/history?page=2\""));
  EXPECT_FALSE(Has(last, "?page=4"));

  struct Refused {
    const char* path;
    int status;
    const char* says;
  } refused[] = {
      {"/history?page=4", 400, "There is no page 4 of your received messages"},
      {"/history?page=0", 400, "is not a valid page number"},
      {"/history?page=two", 400, "is not a valid page number"},
  };
  for (const Refused& r : refused) {
    auto got = ann.Get(r.path);
    EXPECT_EQ(got->status, r.status) << r.path;
    EXPECT_TRUE(Has(got, r.says)) << r.path << "\n" << got->body;
  }

  // Nothing received: the page says so, and has no pages to turn.
  Visitor cy(site_.port());
  cy.SignIn(3);
  auto none = cy.Get("/history");
  EXPECT_EQ(none->status, 200);
  EXPECT_TRUE(Has(none, "You have received no messages."));
  EXPECT_FALSE(Has(none, "Page 1"));
}

TEST_F(HistoryPagesTest, AMinutesCopiesAreTheSendersOwnWithTheirReadState) {
  const std::string minute = "2025-03-04 10:15";
  AddMessage(2, 1, "【群发消息】meeting", minute + ":05", 1);
  AddMessage(3, 1, "【群发消息】meeting", minute + ":06");
  AddMessage(1, 3, "【群发消息】from Cy", minute + ":07");
  AddMessage(2, 1, "【群发消息】meeting", "2025-03-04 10:16:00");
  Visitor ann(site_.port());
  ann.SignIn(1);
  auto page = ann.Get("/tracking/minute?m=2025-03-04%2010:15");
  ASSERT_EQ(page->status, 200) << page->body;
  EXPECT_TRUE(Has(page, "<strong>1</strong> of 2 copies read")) << page->body;
  EXPECT_TRUE(Has(page, ">Bo<") && Has(page, ">Cy<"));
  EXPECT_FALSE(Has(page, "from Cy"));

  // Bo sent nothing in that minute; Cy's copy there is not his.
  Visitor bo(site_.port());
  bo.SignIn(2);
  auto none = bo.Get("/tracking/minute?m=2025-03-04%2010:15");
  EXPECT_EQ(none->status, 404);
  EXPECT_TRUE(Has(none, "You sent no group message in the minute 2025-03-04 10:15."));
}

}  // namespace
}  // namespace korimba::web
