// The search page as a visitor sees it: sign-in required, hits marked with
// their text escaped, another person's messages and plans absent, and a
// refused text kept in the box.
#include <gtest/gtest.h>

#include "tests/web/test_site.h"

namespace korimba::web {
namespace {

using testing::Has;
using testing::TestSite;
using testing::Visitor;

class SearchPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_.conn().Execute(
        "INSERT INTO HR_Person (PersonID, PersonName) VALUES (1, 'Ann'), (2, 'Bo'), (3, 'Cy')");
    site_.conn().Execute(
        "INSERT INTO DATA_Msg (PersonID, MsgFromPersonID, MsgTitle, MsgContent) VALUES "
        "(2, 1, 'Q1', 'the <b>budget</b> & more'), (3, 2, '', 'budget of Bo and Cy')");
    site_.conn().Execute(
        "INSERT INTO DATA_Plan (PersonID, PlanType, PlanClass, PlanBeginTime, PlanEndTime, "
        "PlanContent, PlanPlace) VALUES (1, 1, 1, '2025-01-02 10:00', '2025-01-02 11:00', "
        "'review', 'Budget room'), (3, 1, 1, '2025-01-02 10:00', '2025-01-02 11:00', "
        "'Cy budget plan', '')");
  }
  TestSite site_;
};

TEST_F(SearchPagesTest, FindsOnlyWhatThePersonMaySeeWithMatchesMarked) {
  Visitor anonymous(site_.port());
  auto r = anonymous.Get("/search?q=budget");
  EXPECT_EQ(r->status, 303);
  EXPECT_EQ(r->get_header_value("Location"), "/signin");

  Visitor ann(site_.port());
  ann.SignIn(1);
  r = ann.Get("/search?q=budget");
  ASSERT_EQ(r->status, 200) << r->body;
  EXPECT_TRUE(Has(r, "the &lt;b&gt;<mark>budget</mark>&lt;/b&gt; &amp; more"));
  EXPECT_TRUE(Has(r, "<mark>Budget</mark> room"));
  EXPECT_TRUE(Has(r, "Found: 2"));
  EXPECT_FALSE(Has(r, "Bo and Cy"));
  EXPECT_FALSE(Has(r, "Cy budget plan"));
  // The layout's box sends here on every page.
  EXPECT_TRUE(Has(ann.Get("/"), "action=\"/search\""));

  Visitor bo(site_.port(), "zh-CN");
  bo.SignIn(2);
  r = bo.Get("/search?q=%25");
  EXPECT_TRUE(Has(r, "共找到 0 条"));
  r = bo.Get("/search?q=budget");
  EXPECT_TRUE(Has(r, "Bo and Cy"));
  EXPECT_TRUE(Has(r, "共找到 2 条"));
  EXPECT_FALSE(Has(r, "review"));
}

TEST_F(SearchPagesTest, EmptyLongAndOddTextsAreAnsweredCalmly) {
  Visitor ann(site_.port());
  ann.SignIn(1);
  auto r = ann.Get("/search?q=%20%20%09");
  EXPECT_EQ(r->status, 200);
  EXPECT_FALSE(Has(r, "id=\"search-count\""));
  r = ann.Get("/search?q=" + std::string(101, 'x'));
  EXPECT_EQ(r->status, 400);
  EXPECT_TRUE(Has(r, "longer than 100 characters"));
  EXPECT_TRUE(Has(r, "value=\"" + std::string(101, 'x') + "\""));
  r = ann.Get("/search?q=%3Cscript%3E");
  EXPECT_EQ(r->status, 200);
  EXPECT_TRUE(Has(r, "value=\"&lt;script&gt;\""));
  EXPECT_FALSE(Has(r, "value=\"<script>"));
  EXPECT_EQ(ann.Get("/search?q=budget&page=x")->status, 400);
  EXPECT_TRUE(Has(ann.Get("/search?q=budget&page=9"), "no more results"));
}

}  // namespace
}  // namespace korimba::web
