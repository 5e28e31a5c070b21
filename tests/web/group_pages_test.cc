// A group message changed and deleted as a whole from the tracking page: every
// copy and only those copies, the marker kept outside the edit box and put
// back, the read flags (and so tracking's count) left as they were.
#include <gtest/gtest.h>

#include "frame/clock.h"
#include "frame/date.h"
#include "frame/value_ops.h"
#include "tests/web/test_site.h"
#include "web/group_message.h"

namespace korimba::web {
namespace {

using testing::Has;
using testing::TestSite;
using testing::Visitor;

constexpr char kMinute[] = "2026-03-02 09:00";

class GroupPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_.conn().Execute(
        "INSERT INTO HR_Person (PersonID, PersonName) VALUES (1, 'Ann'), (2, 'Bo'), (3, 'Cy'), "
        "(4, 'Di')");
    ann_.SignIn(1);
  }

  // Ann's group message to Bo, Cy and Di; Bo has read his copy.
  void SendAndLetBoRead(const std::string& text) {
    ann_.Get("/messages/group");
    auto sent =
        ann_.Post("/messages/group",
                  {{"to", "2"}, {"to", "3"}, {"to", "4"}, {"title", "T"}, {"content", text}});
    ASSERT_EQ(sent->status, 303) << sent->body;
    site_.conn().Execute(
        "UPDATE DATA_Msg SET MsgFlag = 1 WHERE PersonID = 2 AND MsgFromPersonID = 1");
  }

  // Each copy as "recipient:flag:title:content", by recipient.
  std::string Copies(int sender = 1) {
    ResultTable t = site_.conn().Query(
        "SELECT PersonID, MsgFlag, MsgTitle, MsgContent FROM DATA_Msg WHERE MsgFromPersonID = " +
        std::to_string(sender) + " ORDER BY PersonID, MsgContent");
    std::string out;
    for (size_t r = 0; r < t.row_count(); ++r) {
      out += TextForm(t.at(r, 0)) + ":" + TextForm(t.at(r, 1)) + ":" + TextForm(t.at(r, 2)) + ":" +
             TextForm(t.at(r, 3)) + "\n";
    }
    return out;
  }

  std::string EditAddress(const std::string& content) {
    return std::string("/messages/group/edit?m=2026-03-02%2009%3A00&k=") + GroupKey(content);
  }

  ScopedClockOverride clock_{*ParseDateText("2026-03-02 09:00:10")};
  TestSite site_;
  Visitor ann_{site_.port()};
};

TEST_F(GroupPagesTest, ChangingFromTrackingChangesEveryCopyAndKeepsTheCount) {
  SendAndLetBoRead("Lunch at <12>");
  auto tracking = ann_.Get("/tracking");
  EXPECT_TRUE(Has(tracking, "&amp;k=" + GroupKey("【群发消息】Lunch at <12>") + "\""));
  auto edit = ann_.Get(EditAddress("【群发消息】Lunch at <12>"));
  ASSERT_EQ(edit->status, 200) << edit->body;
  EXPECT_TRUE(Has(edit, ">Lunch at &lt;12&gt;</textarea>"));
  EXPECT_TRUE(Has(edit, "<span lang=\"zh-CN\">【群发消息】</span>"));
  EXPECT_TRUE(
      Has(edit, "<strong id=\"group-read\">1</strong> of <span id=\"group-total\">3</span>"));
  EXPECT_TRUE(Has(edit, "data-confirm=\"Delete this group message for all 3 persons?\""));

  auto saved = ann_.Post("/messages/group/update", {{"m", kMinute},
                                                    {"k", GroupKey("【群发消息】Lunch at <12>")},
                                                    {"title", "T2"},
                                                    {"content", "Lunch at 1"}});
  ASSERT_EQ(saved->status, 303) << saved->body;
  // httplib's client hands Location over decoded.
  EXPECT_EQ(saved->get_header_value("Location"), "/tracking/minute?m=2026-03-02 09:00&done=saved");
  EXPECT_EQ(Copies(),
            "2:1:T2:【群发消息】Lunch at 1\n"
            "3:0:T2:【群发消息】Lunch at 1\n"
            "4:0:T2:【群发消息】Lunch at 1\n");
  auto track = ann_.Get("/tracking/minute?m=2026-03-02%2009%3A00");
  EXPECT_TRUE(Has(track, "<strong>1</strong> of 3 copies read"));
  // The old text names nothing any more; the new one does.
  EXPECT_EQ(ann_.Get(EditAddress("【群发消息】Lunch at <12>"))->status, 404);
  EXPECT_EQ(ann_.Get(EditAddress("【群发消息】Lunch at 1"))->status, 200);
}

TEST_F(GroupPagesTest, OnlyTheCopiesOfThatSenderAndTextAreTouched) {
  SendAndLetBoRead("Lunch");
  ann_.Post("/messages/group", {{"to", "2"}, {"content", "Other"}});
  Visitor bo(site_.port());
  bo.SignIn(2);
  bo.Post("/messages/group", {{"to", "3"}, {"content", "Lunch"}});

  // Bo cannot reach Ann's copies, not even with the same text in the same minute.
  const std::string key = GroupKey("【群发消息】Lunch");
  ASSERT_EQ(bo.Post("/messages/group/delete", {{"m", kMinute}, {"k", key}})->status, 303);
  EXPECT_EQ(Copies(2), "");
  EXPECT_EQ(bo.Post("/messages/group/delete", {{"m", kMinute}, {"k", key}})->status, 404);

  ASSERT_EQ(ann_.Post("/messages/group/update",
                      {{"m", kMinute}, {"k", key}, {"content", "【群发消息】Soup"}})
                ->status,
            303);
  EXPECT_EQ(Copies(),
            "2:0::【群发消息】Other\n"
            "2:1::【群发消息】Soup\n"
            "3:0::【群发消息】Soup\n"
            "4:0::【群发消息】Soup\n");
}

TEST_F(GroupPagesTest, DeletingRemovesEveryCopyWithItsFile) {
  ann_.Get("/messages/group");
  auto sent = ann_.PostMultipart("/messages/group", {{"to", "2", "", ""},
                                                     {"to", "3", "", ""},
                                                     {"content", "Report", "", ""},
                                                     {"file", "bytes", "r.txt", "text/plain"}});
  ASSERT_EQ(sent->status, 303) << sent->body;
  ASSERT_EQ(std::distance(std::filesystem::directory_iterator(site_.files()),
                          std::filesystem::directory_iterator()),
            2);
  auto deleted =
      ann_.Post("/messages/group/delete", {{"m", kMinute}, {"k", GroupKey("【群发消息】Report")}});
  ASSERT_EQ(deleted->status, 303) << deleted->body;
  EXPECT_EQ(deleted->get_header_value("Location"), "/tracking?done=deleted");
  EXPECT_EQ(Copies(), "");
  EXPECT_TRUE(std::filesystem::is_empty(site_.files()));
}

TEST_F(GroupPagesTest, RefusesBadMinutesTextsAndKeys) {
  SendAndLetBoRead("Lunch");
  const std::string key = GroupKey("【群发消息】Lunch");
  struct Case {
    std::string path;
    httplib::Params params;
    int status;
    std::string says;
  };
  const std::vector<Case> cases = {
      {"/messages/group/update",
       {{"m", "yesterday"}, {"k", key}, {"content", "x"}},
       400,
       "is not a minute"},
      {"/messages/group/update",
       {{"m", kMinute}, {"k", key}, {"content", " \n"}},
       400,
       "Please write the message"},
      {"/messages/group/update",
       {{"m", "2026-03-02 09:01"}, {"k", key}, {"content", "x"}},
       404,
       "no group message"},
      {"/messages/group/delete",
       {{"m", kMinute}, {"k", GroupKey("Lunch")}},
       404,
       "no group message"},
  };
  for (const Case& c : cases) {
    auto r = ann_.Post(c.path, c.params);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->status, c.status) << c.path << " " << r->body;
    EXPECT_TRUE(Has(r, c.says)) << c.path;
  }
  EXPECT_EQ(Copies(),
            "2:1:T:【群发消息】Lunch\n"
            "3:0:T:【群发消息】Lunch\n"
            "4:0:T:【群发消息】Lunch\n");
}

TEST_F(GroupPagesTest, OneCopyEditedAloneKeepsItsMarker) {
  SendAndLetBoRead("Lunch");
  const std::string id =
      TextForm(site_.conn().Query("SELECT MsgID FROM DATA_Msg WHERE PersonID = 3").at(0, 0));
  auto edit = ann_.Get("/messages/edit?id=" + id);
  EXPECT_TRUE(Has(edit, ">Lunch</textarea>"));
  EXPECT_TRUE(Has(edit, "id=\"group-marker\""));
  ASSERT_EQ(ann_.Post("/messages/update", {{"id", id}, {"content", "Soup"}})->status, 303);
  EXPECT_EQ(
      TextForm(site_.conn().Query("SELECT MsgContent FROM DATA_Msg WHERE MsgID = " + id).at(0, 0)),
      "【群发消息】Soup");
}

}  // namespace
}  // namespace korimba::web
