// The pages through real HTTP on 127.0.0.1: sign-in, the form token, access
// to others' messages and plans, escaping, bad input, attachments, and the
// shared Application under concurrent on-line polls.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>

#include "frame/grid.h"
#include "frame/value_ops.h"
#include "tests/web/test_site.h"

namespace korimba::web {
namespace {

using testing::Has;
using testing::TestSite;
using testing::Visitor;

std::string Scalar(Connection& conn, const std::string& sql) {
  ResultTable t = conn.Query(sql);
  return t.row_count() == 0 ? "none" : TextForm(t.at(0, 0));
}

class PagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (auto [id, name] : {std::pair{1, "Ann"}, {2, "Bo"}, {3, "Cy"}}) {
      site_.conn().Execute("INSERT INTO HR_Person (PersonID, PersonName) VALUES (" +
                           std::to_string(id) + ", '" + name + "')");
    }
  }
  // The id of the newest message.
  std::string LastMsgId() { return Scalar(site_.conn(), "SELECT MAX(MsgID) FROM DATA_Msg"); }

  TestSite site_;
};

TEST_F(PagesTest, SigningInStoresThePersonInAFreshSession) {
  Visitor ann(site_.port());
  auto page = ann.Get("/");
  ASSERT_TRUE(page);
  EXPECT_EQ(page->status, 303);  // not signed in yet
  ann.Get("/signin");
  std::string before = ann.token();
  ann.Post("/signin", {{"person", "1"}});
  auto home = ann.Get("/");
  ASSERT_TRUE(home);
  EXPECT_EQ(home->status, 200) << home->body;
  EXPECT_TRUE(Has(home, "<span id=\"me\">Ann</span>"));
  EXPECT_NE(ann.token(), before);  // the session before sign-in is worth nothing after it

  Visitor nobody(site_.port());
  nobody.Get("/signin");
  auto refused = nobody.Post("/signin", {{"person", "99"}});
  EXPECT_EQ(refused->status, 400);
  EXPECT_TRUE(Has(refused, "There is no person with the number 99."));
}

TEST_F(PagesTest, FormsWithoutTheSessionTokenChangeNothing) {
  Visitor ann(site_.port());
  Visitor bo(site_.port());
  ann.SignIn(1);
  bo.SignIn(2);
  struct Case {
    const char* path;
    httplib::Params params;
  } cases[] = {
      {"/messages/send", {{"to", "2"}, {"content", "hello"}}},
      {"/messages/group", {{"to", "2"}, {"content", "hello"}}},
      {"/plans/add",
       {{"content", "x"}, {"begin", "2025-01-31T09:00"}, {"end", "2025-01-31T10:00"}}},
  };
  for (const Case& c : cases) {
    auto missing = ann.Post(c.path, c.params, /*with_token=*/false);
    EXPECT_EQ(missing->status, 403) << c.path;
    EXPECT_TRUE(Has(missing, "nothing was changed")) << c.path;
    httplib::Params foreign = c.params;
    foreign.emplace("token", bo.token());  // another session's token
    EXPECT_EQ(ann.Post(c.path, foreign, false)->status, 403) << c.path;
  }
  EXPECT_EQ(Scalar(site_.conn(), "SELECT COUNT(*) FROM DATA_Msg"), "0");
  EXPECT_EQ(Scalar(site_.conn(), "SELECT COUNT(*) FROM DATA_Plan"), "0");
  // The same form with its token goes through.
  EXPECT_EQ(ann.Post("/messages/send", {{"to", "2"}, {"content", "hello"}})->status, 303);
  EXPECT_EQ(Scalar(site_.conn(), "SELECT COUNT(*) FROM DATA_Msg"), "1");
}

TEST_F(PagesTest, OthersMessagesAndPlansCannotBeReachedById) {
  Visitor ann(site_.port()), bo(site_.port()), cy(site_.port());
  ann.SignIn(1);
  bo.SignIn(2);
  cy.SignIn(3);
  ann.Post("/messages/send", {{"to", "2"}, {"content", "for Bo only"}});
  const std::string id = LastMsgId();
  ann.Post("/plans/add",
           {{"content", "Ann's plan"}, {"begin", "2025-01-10T09:00"}, {"end", "2025-01-10T10:00"}});
  const std::string plan = Scalar(site_.conn(), "SELECT MAX(PlanID) FROM DATA_Plan");

  for (const std::string path :
       {"/messages/open?id=", "/messages/edit?id=", "/messages/attachment?id="}) {
    auto r = cy.Get(path + id);
    EXPECT_EQ(r->status, 404) << path;
    EXPECT_FALSE(Has(r, "for Bo only")) << path;
  }
  EXPECT_EQ(cy.Get("/plans/view?id=" + plan)->status, 404);
  EXPECT_FALSE(Has(cy.Get("/plans"), "Ann&#39;s plan"));
  cy.Get("/");
  EXPECT_EQ(cy.Post("/messages/delete", {{"id", id}})->status, 404);
  EXPECT_EQ(cy.Post("/plans/delete", {{"id", plan}})->status, 404);
  // The recipient reads but may not change or delete what Ann wrote.
  EXPECT_EQ(bo.Post("/messages/update", {{"id", id}, {"content", "changed"}})->status, 404);
  EXPECT_EQ(Scalar(site_.conn(), "SELECT MsgContent FROM DATA_Msg WHERE MsgID=" + id),
            "for Bo only");
  EXPECT_EQ(Scalar(site_.conn(), "SELECT COUNT(*) FROM DATA_Plan"), "1");

  // The sender looking at her message leaves it unread; the recipient opening
  // it marks it read.
  EXPECT_TRUE(Has(ann.Get("/messages/open?id=" + id), "for Bo only"));
  EXPECT_EQ(Scalar(site_.conn(), "SELECT msgFlag FROM DATA_Msg WHERE MsgID=" + id), "0");
  EXPECT_TRUE(Has(bo.Get("/messages/open?id=" + id), "for Bo only"));
  EXPECT_EQ(Scalar(site_.conn(), "SELECT msgFlag FROM DATA_Msg WHERE MsgID=" + id), "1");
  // The sender changes it, then deletes it.
  ann.Get("/");
  EXPECT_EQ(ann.Post("/messages/update", {{"id", id}, {"content", "changed"}})->status, 303);
  EXPECT_EQ(Scalar(site_.conn(), "SELECT MsgContent FROM DATA_Msg WHERE MsgID=" + id), "changed");
  EXPECT_EQ(ann.Post("/messages/delete", {{"id", id}})->status, 303);
  EXPECT_EQ(Scalar(site_.conn(), "SELECT COUNT(*) FROM DATA_Msg"), "0");
}

TEST_F(PagesTest, BadInputGivesAReadableMessage) {
  Visitor ann(site_.port());
  ann.SignIn(1);
  struct Case {
    const char* path;
    int status;
    const char* says;
  } cases[] = {
      {"/messages?with=abc", 400, "is not a valid person number"},
      {"/messages?with=", 400, "The person number is missing."},
      {"/messages?with=77", 404, "There is no person with the number 77."},
      {"/messages/open", 400, "The message number is missing."},
      {"/messages/open?id=12abc", 400, "is not a valid message number"},
      {"/messages/open?id=-3", 400, "is not a valid message number"},
      {"/messages/open?id=99999", 404, "There is no message number 99999 for you."},
      {"/plans?page=0", 400, "is not a valid page number"},
      {"/plans?page=5", 400, "There is no page 5 of your plans"},
      {"/plans/view?id=x", 400, "is not a valid plan number"},
      {"/calendar/month?date=2024-13-01", 400, "is not a date"},
      {"/calendar/moment?at=yesterday", 400, "is not a moment"},
      {"/tracking/minute?m=%27%20or%20%271", 400, "is not a minute"},
      {"/no/such/page", 404, "There is no such page."},
  };
  for (const Case& c : cases) {
    auto r = ann.Get(c.path);
    ASSERT_TRUE(r) << c.path;
    EXPECT_EQ(r->status, c.status) << c.path;
    EXPECT_TRUE(Has(r, c.says)) << c.path << "\n" << r->body;
    EXPECT_TRUE(Has(r, "class=\"notice error\"")) << c.path;
  }
  auto r = ann.Post("/plans/add",
                    {{"content", "x"}, {"begin", "2025-01-31T10:00"}, {"end", "2025-01-31T09:00"}});
  EXPECT_EQ(r->status, 400);
  EXPECT_TRUE(Has(r, "The plan ends before it begins."));
  // Before 1899-12-30 the order of times is the same.
  r = ann.Post("/plans/add",
               {{"content", "x"}, {"begin", "1800-06-01T10:00"}, {"end", "1800-06-01T09:00"}});
  EXPECT_EQ(r->status, 400);
  r = ann.Post("/plans/add",
               {{"content", "x"}, {"begin", "1800-06-01T09:00"}, {"end", "1800-06-01T10:00"}});
  EXPECT_EQ(r->status, 303) << r->body;
}

TEST_F(PagesTest, ValuesAreEscapedAndOnlyTheCalendarJoinsBreakLines) {
  site_.conn().Execute("UPDATE HR_Person SET PersonName = '<b>Bo</b>' WHERE PersonID = 2");
  Visitor ann(site_.port()), bo(site_.port());
  bo.SignIn(2);
  ann.SignIn(1);
  ann.Post("/messages/send", {{"to", "2"}, {"content", "<script>alert('x')</script>"}});
  auto talk = ann.Get("/messages?with=2");
  EXPECT_TRUE(Has(talk, "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"));
  EXPECT_FALSE(Has(talk, "<script>alert"));
  EXPECT_TRUE(Has(talk, "&lt;b&gt;Bo&lt;/b&gt;"));
  EXPECT_FALSE(Has(ann.Get("/online"), "<b>Bo</b>"));

  for (const char* content : {"<i>first</i>", "second & last"}) {
    ann.Post("/plans/add",
             {{"content", content}, {"begin", "2025-01-15T09:00"}, {"end", "2025-01-15T10:00"}});
  }
  auto month = ann.Get("/calendar/month?date=2025-01-01");
  // Each entry is a link of its own; the join between them is the only break.
  EXPECT_TRUE(Has(month, "&lt;i&gt;first&lt;/i&gt;</a><br><a class=\"entry\"")) << month->body;
  EXPECT_TRUE(Has(month, "second &amp; last</a>")) << month->body;
  EXPECT_FALSE(Has(month, "<i>first"));
}

TEST_F(PagesTest, AttachmentsComeBackByteForByteAndLargeOnesAreRefused) {
  Visitor ann(site_.port()), bo(site_.port());
  ann.SignIn(1);
  bo.SignIn(2);
  std::string bytes;
  for (int i = 0; i < 70000; ++i) bytes += static_cast<char>(i * 7 % 256);
  ann.Get("/messages?with=2");
  auto sent = ann.PostMultipart("/messages/send",
                                {{"to", "2", "", ""},
                                 {"content", "see file", "", ""},
                                 {"file", bytes, "报告 \"Q1\".bin", "application/octet-stream"}});
  ASSERT_EQ(sent->status, 303) << sent->body;
  auto file = bo.Get("/messages/attachment?id=" + LastMsgId());
  ASSERT_EQ(file->status, 200);
  EXPECT_EQ(file->body, bytes);
  // (The client library undoes the percent escapes of filename* on reading.)
  EXPECT_EQ(file->get_header_value("Content-Disposition"),
            "attachment; filename=\"______ _Q1_.bin\"; filename*=UTF-8''报告 \"Q1\".bin");

  const std::string big(kMaxUploadBytes + 10, 'x');
  auto refused = ann.PostMultipart(
      "/messages/send",
      {{"to", "2", "", ""}, {"content", "too big", "", ""}, {"file", big, "big.bin", ""}});
  EXPECT_EQ(refused->status, 400);
  EXPECT_TRUE(Has(refused, "is larger than 10 MiB"));
  const std::string huge(kMaxUploadBytes + 2 * 1024 * 1024, 'x');
  auto cut = ann.PostMultipart(
      "/messages/send",
      {{"to", "2", "", ""}, {"content", "too big", "", ""}, {"file", huge, "huge.bin", ""}});
  EXPECT_EQ(cut->status, 413);
  EXPECT_TRUE(Has(cut, "attachments may be at most 10 MiB"));
  EXPECT_EQ(Scalar(site_.conn(), "SELECT COUNT(*) FROM DATA_Msg"), "1");
}

// The list pages through every person's plans (GetPageData) and shows only
// the signed-in person's, ten to a page, in table order.
TEST_F(PagesTest, PlanListPagesThroughOnlyOnesOwnPlans) {
  for (int i = 0; i < 85; ++i) {
    const int owner = i % 3 == 0 ? 1 : 2;  // 29 of Ann's among Bo's
    site_.conn().Execute(
        "INSERT INTO DATA_Plan (PersonID, PlanType, PlanClass, PlanBeginTime, PlanEndTime, "
        "PlanContent, PlanPlace) VALUES (" +
        std::to_string(owner) + ", 1, 1, '2025-01-10 09:00', '2025-01-10 10:00', 'plan " +
        std::to_string(owner) + "-" + std::to_string(i) + "', '')");
  }
  Visitor ann(site_.port());
  ann.SignIn(1);
  auto count = [](const std::string& body, const std::string& what) {
    int n = 0;
    for (size_t at = body.find(what); at != std::string::npos; at = body.find(what, at + 1)) ++n;
    return n;
  };
  auto first = ann.Get("/plans");
  EXPECT_EQ(count(first->body, "plan 1-"), 10);
  EXPECT_TRUE(Has(first, "plan 1-0<") && Has(first, "plan 1-27<"));
  EXPECT_TRUE(Has(first, "/plans?page=2"));
  auto last = ann.Get("/plans?page=3");
  EXPECT_EQ(count(last->body, "plan 1-"), 9);
  EXPECT_TRUE(Has(last, "plan 1-84<"));
  EXPECT_FALSE(Has(last, "/plans?page=4"));
  EXPECT_EQ(count(first->body + last->body, "plan 2-"), 0);
  auto beyond = ann.Get("/plans?page=4");
  EXPECT_EQ(beyond->status, 400);
  EXPECT_TRUE(Has(beyond, "you have 29 plans"));
}

// Many sessions poll the on-line list at once: GetOnlineList's read, change
// and write of the shared list under the Application lock must keep every
// person exactly once, each in a slot of their own.
TEST_F(PagesTest, ConcurrentOnlinePollsKeepEveryPersonOnce) {
  constexpr int kPersons = 12;
  constexpr int kPolls = 15;
  for (int id = 10; id < 10 + kPersons; ++id) {
    site_.conn().Execute("INSERT INTO HR_Person (PersonID, PersonName) VALUES (" +
                         std::to_string(id) + ", 'P" + std::to_string(id) + "')");
  }
  std::vector<std::unique_ptr<Visitor>> visitors;
  for (int i = 0; i < kPersons; ++i) {
    visitors.push_back(std::make_unique<Visitor>(site_.port()));
    visitors.back()->SignIn(10 + i);
  }
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kPersons; ++i) {
    threads.emplace_back([&, i] {
      for (int poll = 0; poll < kPolls; ++poll) {
        auto r = visitors[i]->Get("/online");
        if (!r || r->status != 200) ++failures;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);

  auto list = visitors[0]->Get("/online");
  for (int id = 10; id < 10 + kPersons; ++id) {
    const std::string entry = "data-person=\"" + std::to_string(id) + "\"";
    size_t first = list->body.find(entry);
    EXPECT_NE(first, std::string::npos) << id;
    EXPECT_EQ(list->body.find(entry, first + 1), std::string::npos) << id;
  }
  // No page still holds the Application lock.
  std::thread probe([&] {
    site_.site().application()->Lock();
    site_.site().application()->UnLock();
  });
  probe.join();
}

}  // namespace
}  // namespace korimba::web
