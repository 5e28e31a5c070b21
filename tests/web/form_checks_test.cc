// Values a visitor can correct answer 400 naming the field, and long text
// gets through the forms that carry it.
#include "web/form_checks.h"

#include <gtest/gtest.h>

#include "frame/value_ops.h"
#include "tests/web/test_site.h"

namespace korimba::web {
namespace {

using testing::TestSite;
using testing::Visitor;

TEST(FormChecks, LengthCountsWhatTheDatabaseCounts) {
  EXPECT_EQ(StoredLength("abc"), 3u);
  EXPECT_EQ(StoredLength("会议"), 2u);
  EXPECT_EQ(StoredLength("\xF0\x9F\x98\x80"), 2u);  // one emoji: a surrogate pair
}

std::string Repeat(const std::string& piece, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += piece;
  return out;
}

class FormPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto [id, name] : {std::pair{1, "Ann"}, {2, "Bo"}}) {
      site_.conn().Execute("INSERT INTO HR_Person (PersonID, PersonName) VALUES (" +
                           std::to_string(id) + ", '" + name + "')");
    }
    ann_.SignIn(1);
    ann_.Get("/messages?with=2");
  }
  std::string Scalar(const std::string& sql) {
    ResultTable t = site_.conn().Query(sql);
    return t.row_count() == 0 ? "none" : TextForm(t.at(0, 0));
  }
  TestSite site_;
  Visitor ann_{site_.port()};
};

TEST_F(FormPagesTest, ValuesTheColumnsCannotHoldAnswer400NamingTheField) {
  const std::string plan_begin = "2025-01-10T09:00", plan_end = "2025-01-10T10:00";
  struct Case {
    const char* what;
    std::string path;
    httplib::Params params;
    const char* says;
  };
  const std::vector<Case> cases = {
      {"title",
       "/messages/send",
       {{"to", "2"}, {"content", "x"}, {"title", Repeat("题", 201)}},
       "The title is too long: at most 200 characters fit, and it has 201."},
      {"place",
       "/plans/add",
       {{"content", "x"}, {"begin", plan_begin}, {"end", plan_end}, {"place", Repeat("p", 201)}},
       "The place is too long"},
      {"early date",
       "/plans/add",
       {{"content", "x"}, {"begin", "1700-01-10T09:00"}, {"end", plan_end}},
       "The beginning must lie between the years 1753 and 9999."},
  };
  for (const Case& c : cases) {
    auto r = ann_.Post(c.path, c.params);
    ASSERT_TRUE(r) << c.what;
    EXPECT_EQ(r->status, 400) << c.what;
    EXPECT_NE(r->body.find(c.says), std::string::npos) << c.what << "\n" << r->body;
  }
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM DATA_Msg"), "0");
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM DATA_Plan"), "0");
  // At the limit it fits.
  auto fits =
      ann_.Post("/messages/send", {{"to", "2"}, {"content", "x"}, {"title", Repeat("题", 200)}});
  EXPECT_EQ(fits->status, 303) << fits->body;
}

TEST_F(FormPagesTest, CalendarDatesOutsideTheDatabasesYearsAnswer400) {
  for (const char* path : {"/calendar/month?date=1700-01-01", "/calendar/month?date=9999-12-31",
                           "/calendar/week?date=1600-01-01", "/calendar/moment?at=1600-01-01T00:00",
                           "/calendar/moment?at=9999-12-31T23:59"}) {
    auto r = ann_.Get(path);
    ASSERT_TRUE(r) << path;
    EXPECT_EQ(r->status, 400) << path;
    EXPECT_NE(r->body.find("must lie between the years 1753 and 9998"), std::string::npos)
        << path << "\n"
        << r->body;
  }
  EXPECT_EQ(ann_.Get("/calendar/month?date=1753-01-01")->status, 200);
}

TEST_F(FormPagesTest, AChineseVisitorIsToldInChineseWhichFieldItIs) {
  Visitor wang(site_.port(), "zh-CN");
  wang.SignIn(1);
  wang.Get("/messages?with=2");
  auto title =
      wang.Post("/messages/send", {{"to", "2"}, {"content", "x"}, {"title", Repeat("题", 201)}});
  EXPECT_EQ(title->status, 400);
  EXPECT_NE(title->body.find("标题太长：最多只能容纳 200 个字符，现在有 201 个。"),
            std::string::npos)
      << title->body;
  auto date = wang.Get("/calendar/month?date=1700-01-01");
  EXPECT_NE(date->body.find("日期必须在 1753 年到 9998 年之间。"), std::string::npos) << date->body;
}

// The change forms post as multipart, so 1,000 Chinese characters (3,000
// bytes, 9,000 when percent-escaped) are saved; a url-encoded post over the
// library's form limit gets a message that says what happened.
TEST_F(FormPagesTest, LongTextIsSavedThroughTheChangeForm) {
  ASSERT_EQ(ann_.Post("/messages/send", {{"to", "2"}, {"content", "short"}})->status, 303);
  const std::string id = Scalar("SELECT MAX(MsgID) FROM DATA_Msg");
  auto edit = ann_.Get("/messages/edit?id=" + id);
  ASSERT_NE(edit->body.find("enctype=\"multipart/form-data\""), std::string::npos);
  const std::string long_text = Repeat("长", 1000);
  auto saved = ann_.PostMultipart(
      "/messages/update",
      {{"id", id, "", ""}, {"content", long_text, "", ""}, {"title", "t", "", ""}});
  EXPECT_EQ(saved->status, 303) << saved->body;
  EXPECT_EQ(Scalar("SELECT MsgContent FROM DATA_Msg WHERE MsgID = " + id), long_text);

  auto refused = ann_.Post("/messages/update", {{"id", id}, {"content", Repeat("长", 3000)}});
  EXPECT_EQ(refused->status, 413);
  EXPECT_NE(refused->body.find("The form&#39;s text is too long"), std::string::npos)
      << refused->body;
  EXPECT_EQ(refused->body.find("attachments"), std::string::npos) << refused->body;
}

}  // namespace
}  // namespace korimba::web
