// The pages' language through real HTTP: the browser's choice, the switch
// kept in the session, and error pages that keep the navigation.
#include <gtest/gtest.h>

#include "tests/web/test_site.h"

namespace korimba::web {
namespace {

using testing::Has;
using testing::TestSite;
using testing::Visitor;

class LanguagePagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_.conn().Execute("INSERT INTO HR_Person (PersonID, PersonName) VALUES (1, 'Ann')");
  }
  TestSite site_;
};

TEST_F(LanguagePagesTest, BrowserChoiceSetsLangAndTexts) {
  struct Case {
    const char* accept;
    const char* lang;
    const char* home;
  } cases[] = {
      {"zh-CN,zh;q=0.9,en;q=0.8", "zh-CN", "首页"},
      {"", "zh-CN", "首页"},
      {"fr", "zh-CN", "首页"},
      {"en-US,en;q=0.9", "en", ">Home<"},
  };
  for (const Case& c : cases) {
    Visitor v(site_.port(), c.accept);
    v.SignIn(1);
    auto home = v.Get("/");
    ASSERT_TRUE(home) << c.accept;
    EXPECT_TRUE(Has(home, std::string("<html lang=\"") + c.lang + "\">")) << c.accept;
    EXPECT_TRUE(Has(home, c.home)) << c.accept;
    // The weekday names of the calendar follow the page's language too.
    auto month = v.Get("/calendar/month?date=2024-03-05");
    EXPECT_TRUE(Has(month, std::string(c.lang) == "en" ? ">Sun<" : ">周日<")) << c.accept;
  }
}

TEST_F(LanguagePagesTest, SwitchIsKeptInTheSessionAndOnlyReturnsToThisSite) {
  Visitor v(site_.port(), "zh-CN");
  v.SignIn(1);
  auto to_en = v.Get("/language?to=en&back=%2Fplans%3Fpage%3D1");
  ASSERT_TRUE(to_en);
  EXPECT_EQ(to_en->status, 303);
  EXPECT_EQ(to_en->get_header_value("Location"), "/plans?page=1");
  auto home = v.Get("/");
  EXPECT_TRUE(Has(home, "<html lang=\"en\">"));
  EXPECT_TRUE(Has(home, "href=\"/language?to=zh-CN&amp;back=%2F\""));

  for (const char* back : {"%2F%2Fevil.example%2Fx", "https%3A%2F%2Fevil.example", "%2F%5Cevil"}) {
    auto r = v.Get(std::string("/language?to=zh-CN&back=") + back);
    EXPECT_EQ(r->get_header_value("Location"), "/") << back;
  }
  EXPECT_TRUE(Has(v.Get("/"), "<html lang=\"zh-CN\">"));

  // A visitor not signed in keeps the choice too (a session starts for it).
  Visitor anonymous(site_.port(), "zh-CN");
  auto r = anonymous.Get("/language?to=en&back=%2Fsignin");
  EXPECT_FALSE(r->get_header_value("Set-Cookie").empty());
  EXPECT_TRUE(Has(anonymous.Get("/signin"), "<html lang=\"en\">"));
}

TEST_F(LanguagePagesTest, ErrorPagesKeepNavigationLanguageAndAWayBack) {
  Visitor v(site_.port(), "zh-CN");
  v.SignIn(1);
  auto missing = v.Get("/no/such/page");
  ASSERT_TRUE(missing);
  EXPECT_EQ(missing->status, 404);
  EXPECT_TRUE(Has(missing, "没有这个页面。"));
  EXPECT_TRUE(Has(missing, "<nav"));
  EXPECT_TRUE(Has(missing, "id=\"back\""));
  auto bad = v.Get("/plans/view?id=x");
  EXPECT_EQ(bad->status, 400);
  EXPECT_TRUE(Has(bad, "<nav"));
  EXPECT_TRUE(Has(bad, "<html lang=\"zh-CN\">"));
  // The page's own messages speak its language; typed input stays escaped.
  EXPECT_TRUE(Has(v.Get("/plans/view?id=999"), "您没有 999 号日程。"));
  EXPECT_TRUE(Has(v.Get("/plans/view?id=x"), "“x”不是有效的日程编号。"));
  EXPECT_TRUE(Has(v.Get("/plans/view"), "缺少日程编号。"));
  EXPECT_TRUE(
      Has(v.Get("/calendar/month?date=%3Cx%3E"), "“&lt;x&gt;”不是 2024-03-05 形式的日期。"));
}

TEST_F(LanguagePagesTest, GroupSendingRefusalsSpeakThePagesLanguage) {
  Visitor v(site_.port(), "zh-CN");
  v.SignIn(1);
  ASSERT_TRUE(v.Get("/messages/group"));
  auto bad = v.Post("/messages/group", {{"to", "x"}, {"content", "你好"}});
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->status, 400);
  EXPECT_TRUE(Has(bad, "有一位收件人不是有效的人员编号。"));
  httplib::Params many{{"content", "你好"}};
  for (int id = 1; id <= 201; ++id) many.emplace("to", std::to_string(id));
  auto crowd = v.Post("/messages/group", many);
  ASSERT_TRUE(crowd);
  EXPECT_EQ(crowd->status, 400);
  EXPECT_TRUE(Has(crowd, "群发消息最多可发给 200 人；已选择 201 人。"));
}

}  // namespace
}  // namespace korimba::web
