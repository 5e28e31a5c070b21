// What a visitor is told after acting: the notice after sending, saving and
// deleting, the question before a delete, and the favicon.
#include <gtest/gtest.h>

#include "frame/value_ops.h"
#include "tests/web/test_site.h"

namespace korimba::web {
namespace {

using testing::Has;
using testing::TestSite;
using testing::Visitor;

class FeedbackPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_.conn().Execute(
        "INSERT INTO HR_Person (PersonID, PersonName) VALUES (1, 'Ann'), (2, 'Bo')");
  }
  TestSite site_;
};

TEST_F(FeedbackPagesTest, EachActionLeadsToItsNoticeInThePageLanguage) {
  Visitor ann(site_.port(), "zh-CN");
  ann.SignIn(1);
  auto sent = ann.Post("/messages/send", {{"to", "2"}, {"content", "hello"}});
  ASSERT_EQ(sent->status, 303) << sent->body;
  const std::string to = sent->get_header_value("Location");
  EXPECT_EQ(to, "/messages?with=2&done=sent");
  auto page = ann.Get(to);
  EXPECT_TRUE(Has(page, "<p class=\"notice ok\" id=\"notice\" role=\"status\">已发送</p>"));
  EXPECT_TRUE(Has(page, "data-confirm=\"确定删除这条消息吗？\""));

  const std::string id = TextForm(site_.conn().Query("SELECT MAX(MsgID) FROM DATA_Msg").at(0, 0));
  auto deleted = ann.Post("/messages/delete", {{"id", id}});
  EXPECT_EQ(deleted->get_header_value("Location"), "/messages?with=2&done=deleted");

  auto added = ann.Post(
      "/plans/add", {{"content", "x"}, {"begin", "2025-01-31T09:00"}, {"end", "2025-01-31T10:00"}});
  EXPECT_EQ(added->get_header_value("Location"), "/calendar/month?date=2025-01-31&done=saved");

  // Only known notices show, never the parameter's own text.
  for (const char* done : {"%3Cb%3Ex", "Sent", ""}) {
    auto r = ann.Get(std::string("/?done=") + done);
    EXPECT_FALSE(Has(r, "id=\"notice\"")) << done;
  }
  Visitor bo(site_.port(), "en");
  bo.SignIn(2);
  EXPECT_TRUE(Has(bo.Get("/plans?done=deleted"), ">Deleted</p>"));
}

TEST_F(FeedbackPagesTest, ARefusedPlanFormComesBackWithWhatWasTyped) {
  Visitor ann(site_.port(), "zh-CN");
  ann.SignIn(1);
  auto r = ann.Post("/plans/add", {{"content", "季度<总结>"},
                                   {"begin", "2025-01-31T10:00"},
                                   {"end", "2025-01-31T09:00"},
                                   {"place", "二号会议室"}});
  EXPECT_EQ(r->status, 400);
  EXPECT_TRUE(Has(r, "日程的结束时间早于开始时间。"));
  EXPECT_TRUE(Has(r, ">季度&lt;总结&gt;</textarea>"));
  EXPECT_TRUE(Has(r, "value=\"2025-01-31T10:00\""));
  EXPECT_TRUE(Has(r, "value=\"二号会议室\""));
  EXPECT_TRUE(Has(r, "action=\"/plans/add\""));
  EXPECT_EQ(TextForm(site_.conn().Query("SELECT COUNT(*) FROM DATA_Plan").at(0, 0)), "0");
}

TEST_F(FeedbackPagesTest, FaviconAndPageScriptAreServed) {
  Visitor v(site_.port());
  auto icon = v.Get("/favicon.ico");
  ASSERT_TRUE(icon);
  EXPECT_EQ(icon->status, 200);
  EXPECT_EQ(icon->get_header_value("Content-Type"), "image/svg+xml");
  EXPECT_TRUE(Has(icon, "<svg"));
  auto script = v.Get("/static/pages.js");
  EXPECT_EQ(script->status, 200);
  EXPECT_TRUE(Has(script, "data-confirm"));
}

}  // namespace
}  // namespace korimba::web
