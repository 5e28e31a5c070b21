// The pages' own lookups against the embedded database, each checked
// against the answer worked out from every row: the unread count against
// InceptMsg's read flags, and every page of a person's plans against all
// plans sorted by begin time (ties in insertion order) among other persons'
// plans, pages past the last included.
#include "web/page_queries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "classes/registry.h"
#include "db/open.h"
#include "frame/grid.h"
#include "frame/safe_array.h"
#include "frame/value_ops.h"
#include "host/page_host.h"

namespace korimba::web {
namespace {

class PageQueriesTest : public ::testing::Test {
 protected:
  std::shared_ptr<Connection> conn_ = OpenConnection("sqlite::memory:");
};

TEST_F(PageQueriesTest, UnreadCountIsTheInboxsUnreadFlags) {
  const int flags[] = {0, 1, 0, 0, 1, 7, 0};
  for (int i = 0; i < 7; ++i) {
    for (int to : {3, 4}) {
      conn_->Execute(
          "INSERT INTO DATA_Msg (PersonID, MsgFromPersonID, MsgContent, msgFlag) "
          "VALUES (" +
          std::to_string(to) + ", 9, 'm', " +
          (i == 6 ? std::string("NULL") : std::to_string(flags[i] + (to == 4))) + ")");
    }
  }
  auto message = CreateObject("Korimba.Message");
  message->Call("SetConn", std::vector<Variant>{Variant::Object(conn_)});
  for (int person : {3, 4, 5}) {
    const Variant inbox = message->Call("InceptMsg", std::vector<Variant>{Variant::I4(person)});
    const SafeArray& a = *inbox.array();
    int64_t unread = 0;
    for (int32_t row = 1; row <= a.bound(1).upper; ++row) {
      const Variant& flag = a.at({row, 4});
      if (flag.is_number() && ToDouble(flag) == 0) ++unread;
    }
    EXPECT_EQ(UnreadCount(*conn_, person), unread) << "person " << person;
  }
  EXPECT_EQ(UnreadCount(*conn_, 3), 3);
}

TEST_F(PageQueriesTest, EveryPageOfOnesPlansInBeginOrder) {
  // Person 2's plans among others', begin times out of insertion order
  // with ties.
  std::vector<std::tuple<std::string, int, std::string>> mine;  // begin, id, content
  for (int i = 1; i <= 60; ++i) {
    const int person = i % 5 == 0 || i % 3 == 0 ? 2 : 1 + i % 7;
    const std::string begin =
        "2025-0" + std::to_string(1 + (i * 7) % 9) + "-1" + std::to_string(i % 4) + " 09:00:00.000";
    const std::string content = "plan " + std::to_string(i);
    conn_->Execute(
        "INSERT INTO DATA_Plan (PersonID, PlanType, PlanClass, PlanBeginTime, PlanEndTime, "
        "PlanContent) VALUES (" +
        std::to_string(person) + ", 1, 1, '" + begin + "', '" + begin + "', '" + content + "')");
    if (person == 2) mine.emplace_back(begin, i, content);
  }
  std::sort(mine.begin(), mine.end());
  ASSERT_EQ(mine.size(), 33u);

  for (int32_t per_page : {10, 7, 33, 50}) {
    const int64_t pages = (static_cast<int64_t>(mine.size()) + per_page - 1) / per_page;
    for (int32_t page = 1; page <= pages + 1; ++page) {
      const PersonPlanPage got = ReadPersonPlanPage(*conn_, 2, page, per_page);
      EXPECT_EQ(got.total, 33);
      EXPECT_EQ(got.pages, pages);
      std::string want, have;
      for (size_t k = static_cast<size_t>(page - 1) * per_page;
           k < mine.size() && k < static_cast<size_t>(page) * per_page; ++k) {
        want += std::get<2>(mine[k]) + ";";
      }
      const size_t content = 7;  // PlanContent
      ASSERT_TRUE(got.rows.row_count() == 0 || got.rows.columns[content] == "PlanContent");
      for (size_t r = 0; r < got.rows.row_count(); ++r) {
        have += TextForm(got.rows.at(r, content)) + ";";
        EXPECT_EQ(ToI4(got.rows.at(r, 1)), 2);
      }
      EXPECT_EQ(have, want) << per_page << " per page, page " << page;
    }
  }
  const PersonPlanPage none = ReadPersonPlanPage(*conn_, 99, 1, 10);
  EXPECT_EQ(none.total, 0);
  EXPECT_EQ(none.pages, 0);
  EXPECT_EQ(none.rows.row_count(), 0u);
}

}  // namespace
}  // namespace korimba::web
