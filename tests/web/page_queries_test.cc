// The pages' own lookups, each checked against the answer worked out from
// every row and against the component's own method for the same rows: the
// unread count against InceptMsg's read flags, every page of a person's plans
// and of their received messages against all of them sorted (pages past the
// last included), and the copies of one minute's group messages against
// track's rows of that minute sent by the person. Each runs on the embedded
// database and, where the SQLite ODBC driver is installed, through the ODBC
// provider on the same file.
#include "web/page_queries.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <tuple>

#include "classes/registry.h"
#include "db/odbc_connection.h"
#include "db/sqlite_connection.h"
#include "frame/grid.h"
#include "frame/safe_array.h"
#include "frame/value_ops.h"
#include "message/message.h"
#include "tests/support/query_plan.h"
#include "tests/support/recording_connection.h"
#include "tests/support/sqlite_odbc_driver.h"

namespace korimba::web {
namespace {

namespace fs = std::filesystem;

class PageQueriesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("korimba_page_queries_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    conn_ = SqliteConnection::Open((dir_ / "office.db").string());
  }
  void TearDown() override {
    conn_.reset();
    fs::remove_all(dir_);
  }

  // Runs `check` on the embedded connection, then through ODBC on the same
  // file when the driver is there.
  void OnEachProvider(const std::function<void(Connection&)>& check) {
    {
      SCOPED_TRACE("embedded");
      shared_ = conn_;
      check(*conn_);
    }
    const std::string driver = testing::FindSqliteDriver();
    if (driver.empty()) return;
    std::ofstream(dir_ / "odbcinst.ini")
        << "[SQLite3]\nDescription=SQLite3 ODBC Driver\nDriver=" << driver << "\n";
    std::ofstream(dir_ / "odbc.ini") << "";
    setenv("ODBCSYSINI", dir_.c_str(), 1);
    setenv("ODBCINI", (dir_ / "odbc.ini").c_str(), 1);
    shared_ = std::make_shared<OdbcConnection>("Driver=SQLite3;SyncPragma=OFF;Database=" +
                                               (dir_ / "office.db").string());
    SCOPED_TRACE("odbc");
    check(*shared_);
    shared_.reset();
  }

  void AddPerson(int id, const std::string& name) {
    conn_->Execute("INSERT INTO HR_Person (PersonID, PersonName) VALUES (" + std::to_string(id) +
                   ", '" + name + "')");
  }
  // Returns the new MsgID.
  int AddMessage(int to, int from, const std::string& content, const std::string& created,
                 const std::string& file = "", int flag = 0) {
    conn_->Execute(
        "INSERT INTO DATA_Msg (PersonID, MsgFromPersonID, MsgContent, msgFlag, msgCreatetime, "
        "MsgFileName) VALUES (" +
        std::to_string(to) + ", " + std::to_string(from) + ", '" + content + "', " +
        std::to_string(flag) + ", '" + created + "', " +
        (file.empty() ? std::string("NULL") : "'" + file + "'") + ")");
    return ToI4(conn_->Query("SELECT MAX(MsgID) FROM DATA_Msg").at(0, 0));
  }

  // A Message object on the provider OnEachProvider is checking.
  std::shared_ptr<DispatchObject> Message() {
    auto message = CreateObject("Korimba.Message");
    message->Call("SetConn", std::vector<Variant>{Variant::Object(shared_)});
    return message;
  }

  fs::path dir_;
  std::shared_ptr<SqliteConnection> conn_;
  std::shared_ptr<Connection> shared_;
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
  OnEachProvider([&](Connection& conn) {
    auto message = Message();
    for (int person : {3, 4, 5}) {
      const Variant inbox = message->Call("InceptMsg", std::vector<Variant>{Variant::I4(person)});
      const SafeArray& a = *inbox.array();
      int64_t unread = 0;
      for (int32_t row = 1; row <= a.bound(1).upper; ++row) {
        const Variant& flag = a.at({row, 4});
        if (flag.is_number() && ToDouble(flag) == 0) ++unread;
      }
      EXPECT_EQ(UnreadCount(conn, person), unread) << "person " << person;
    }
    EXPECT_EQ(UnreadCount(conn, 3), 3);
  });
}

// The ids of `rows`' column `id_column`, in order, as "12 7 9".
std::string IdsOf(const ResultTable& rows, size_t id_column) {
  std::string out;
  for (size_t r = 0; r < rows.row_count(); ++r) {
    out += (r ? " " : "") + TextForm(rows.at(r, id_column));
  }
  return out;
}

// The slice [from, to) of `ids` as IdsOf writes it.
std::string Slice(const std::vector<int>& ids, size_t from, size_t to) {
  std::string out;
  for (size_t k = from; k < ids.size() && k < to; ++k) {
    out += (k > from ? " " : "") + std::to_string(ids[k]);
  }
  return out;
}

TEST_F(PageQueriesTest, EveryPageOfOnesPlansInBeginOrder) {
  // Person 2's plans among others', begin times out of insertion order
  // with ties.
  std::vector<std::tuple<std::string, int>> mine;  // begin, id
  for (int i = 1; i <= 60; ++i) {
    const int person = i % 5 == 0 || i % 3 == 0 ? 2 : 1 + i % 7;
    const std::string begin =
        "2025-0" + std::to_string(1 + (i * 7) % 9) + "-1" + std::to_string(i % 4) + " 09:00:00.000";
    conn_->Execute(
        "INSERT INTO DATA_Plan (PersonID, PlanType, PlanClass, PlanBeginTime, PlanEndTime, "
        "PlanContent) VALUES (" +
        std::to_string(person) + ", 1, 1, '" + begin + "', '" + begin + "', 'plan " +
        std::to_string(i) + "')");
    if (person == 2) mine.emplace_back(begin, i);
  }
  std::sort(mine.begin(), mine.end());
  ASSERT_EQ(mine.size(), 33u);
  std::vector<int> ids;
  for (const auto& [begin, id] : mine) ids.push_back(id);

  OnEachProvider([&](Connection& conn) {
    for (int32_t per_page : {10, 7, 33, 50}) {
      const int64_t pages = (static_cast<int64_t>(ids.size()) + per_page - 1) / per_page;
      for (int32_t page = 1; page <= pages + 1; ++page) {
        const PersonPlanPage got = ReadPersonPlanPage(conn, 2, page, per_page);
        EXPECT_EQ(got.total, 33);
        EXPECT_EQ(got.pages, pages);
        const size_t from = static_cast<size_t>(page - 1) * per_page;
        EXPECT_EQ(IdsOf(got.rows, 0), Slice(ids, from, from + per_page))
            << per_page << " per page, page " << page;
        if (got.rows.row_count() > 0) {
          EXPECT_EQ(got.rows.columns[7], "PlanContent");
          EXPECT_EQ(TextForm(got.rows.at(0, 7)), "plan " + std::to_string(ids[from]));
        }
      }
    }
    const PersonPlanPage none = ReadPersonPlanPage(conn, 99, 1, 10);
    EXPECT_EQ(none.total, 0);
    EXPECT_EQ(none.pages, 0);
    EXPECT_EQ(none.rows.row_count(), 0u);
  });
}

TEST_F(PageQueriesTest, EveryPageOfOnesInboxNewestFirstHoldsInceptMsgsRows) {
  AddPerson(1, "Ann");
  AddPerson(3, "Cy");
  // Person 2's messages among others', times out of insertion order with
  // ties (the later written first), from a sender with no person row (9),
  // some with a file.
  std::vector<std::tuple<std::string, int>> mine;  // created, id
  for (int i = 1; i <= 47; ++i) {
    const int to = i % 4 == 0 ? 5 : 2;
    const int from = i % 6 == 0 ? 9 : 1 + 2 * (i % 2);
    const std::string created = "2025-03-" + std::to_string(10 + (i * 11) % 13) + " 0" +
                                std::to_string(i % 3) + ":15:00.000";
    const int id = AddMessage(to, from, "note " + std::to_string(i), created,
                              i % 5 == 0 ? "a.txt" : "", i % 2);
    if (to == 2) mine.emplace_back(created, id);
  }
  std::sort(mine.rbegin(), mine.rend());
  std::vector<int> ids;
  for (const auto& [created, id] : mine) ids.push_back(id);
  ASSERT_EQ(ids.size(), 36u);

  OnEachProvider([&](Connection& conn) {
    // The rows InceptMsg lists for the person are the rows the pages hold.
    const Variant inbox = Message()->Call("InceptMsg", std::vector<Variant>{Variant::I4(2)});
    std::set<int> listed;
    for (int32_t row = 1; row <= inbox.array()->bound(1).upper; ++row) {
      listed.insert(ToI4(inbox.array()->at({row, ReceivedColumn::kMsgId})));
    }
    EXPECT_EQ(listed, std::set<int>(ids.begin(), ids.end()));

    for (int32_t per_page : {20, 7, 36}) {
      const int64_t pages = (static_cast<int64_t>(ids.size()) + per_page - 1) / per_page;
      for (int32_t page = 1; page <= pages + 1; ++page) {
        const PagedRows got = ReadInboxPage(conn, 2, page, per_page);
        EXPECT_EQ(got.total, 36);
        EXPECT_EQ(got.pages, pages);
        const size_t from = static_cast<size_t>(page - 1) * per_page;
        EXPECT_EQ(IdsOf(got.rows, InboxColumn::kMsgId), Slice(ids, from, from + per_page))
            << per_page << " per page, page " << page;
      }
    }
    // Each column as InceptMsg gives it, a missing sender as Null.
    const PagedRows all = ReadInboxPage(conn, 2, 1, 36);
    for (size_t r = 0; r < all.rows.row_count(); ++r) {
      const int id = ToI4(all.rows.at(r, InboxColumn::kMsgId));
      const int i = std::stoi(TextForm(all.rows.at(r, InboxColumn::kContent)).substr(5));
      const Variant& name = all.rows.at(r, InboxColumn::kSenderName);
      const std::string want_name = i % 6 == 0 ? "Null" : i % 2 ? "Cy" : "Ann";
      EXPECT_EQ(name.is_null() ? "Null" : TextForm(name), want_name) << "message " << id;
      EXPECT_EQ(ToI4(all.rows.at(r, InboxColumn::kFlag)), i % 2) << "message " << id;
      EXPECT_EQ(TextForm(all.rows.at(r, InboxColumn::kFileName)), i % 5 == 0 ? "a.txt" : "");
      EXPECT_NE(all.rows.at(r, InboxColumn::kSent).date(), nullptr);
    }
    EXPECT_EQ(all.rows.row_count(), 36u);
    EXPECT_EQ(ReadInboxPage(conn, 4, 1, 20).total, 0);
    EXPECT_EQ(ReadInboxPage(conn, 4, 1, 20).rows.row_count(), 0u);
  });
}

TEST_F(PageQueriesTest, SentGroupCopiesAreTracksRowsOfTheMinuteFromTheSender) {
  AddPerson(1, "Ann");
  AddPerson(2, "Bo");
  AddPerson(3, "Cy");
  const std::string minute = "2025-03-04 10:15";
  std::set<int> want;
  // Ann's group message to Bo, Cy and a recipient with no person row, the
  // last copy written at the minute's last moment.
  want.insert(AddMessage(2, 1, "【群发消息】meeting", minute + ":00.000"));
  want.insert(AddMessage(3, 1, "【群发消息】meeting", minute + ":20.000", "plan.pdf", 1));
  want.insert(AddMessage(8, 1, "【群发消息】meeting", minute + ":59.997"));
  // A second group message of hers in the minute, the phrase mid-text.
  want.insert(AddMessage(2, 1, "about 群发消息 too", minute + ":30.000", "", 1));
  // Not hers, or not of the minute, or no group message.
  AddMessage(1, 3, "【群发消息】from Cy", minute + ":10.000");
  AddMessage(3, 1, "【群发消息】meeting", "2025-03-04 10:16:00.000");
  AddMessage(3, 1, "【群发消息】meeting", "2025-03-04 10:14:59.997");
  AddMessage(2, 1, "plain note", minute + ":40.000");
  const int tie[] = {AddMessage(3, 1, "【群发消息】at once", "2025-03-04 11:00:05.000"),
                     AddMessage(2, 1, "【群发消息】at once", "2025-03-04 11:00:05.000"),
                     AddMessage(8, 1, "【群发消息】at once", "2025-03-04 11:00:05.000")};

  OnEachProvider([&](Connection& conn) {
    const ResultTable got = ReadSentGroupCopies(conn, 1, minute);
    // track's rows of the minute whose sender is Ann.
    const Variant tracked = Message()->Call("track", std::vector<Variant>{Variant::Text(minute)});
    std::set<int> from_track;
    for (int32_t r = 0; r <= tracked.array()->bound(2).upper; ++r) {
      const Variant& id = tracked.array()->at({GroupCopyColumn::kMsgId, r});
      const ResultTable sender =
          conn.Query("SELECT MsgFromPersonID FROM DATA_Msg WHERE MsgID = " + TextForm(id));
      if (ToI4(sender.at(0, 0)) == 1) from_track.insert(ToI4(id));
    }
    EXPECT_EQ(from_track, want);
    std::set<int> ids;
    std::string rows;
    for (size_t r = 0; r < got.row_count(); ++r) {
      ids.insert(ToI4(got.at(r, GroupCopyRowColumn::kMsgId)));
      const Variant& name = got.at(r, GroupCopyRowColumn::kRecipientName);
      const Variant& file = got.at(r, GroupCopyRowColumn::kFileName);
      rows += (name.is_null() ? std::string("Null") : TextForm(name)) + " " +
              TextForm(got.at(r, GroupCopyRowColumn::kRecipientId)) + " " +
              TextForm(got.at(r, GroupCopyRowColumn::kContent)) + " " +
              TextForm(got.at(r, GroupCopyRowColumn::kFlag)) + " " +
              (file.is_null() ? std::string("-") : TextForm(file)) + "\n";
    }
    EXPECT_EQ(ids, want);
    // Newest first.
    EXPECT_EQ(rows,
              "Null 8 【群发消息】meeting 0 -\n"
              "Bo 2 about 群发消息 too 1 -\n"
              "Cy 3 【群发消息】meeting 1 plan.pdf\n"
              "Bo 2 【群发消息】meeting 0 -\n");
    EXPECT_EQ(ReadSentGroupCopies(conn, 2, minute).row_count(), 0u);
    // Copies written at one moment come in the order written, as track
    // lists them.
    const ResultTable tied = ReadSentGroupCopies(conn, 1, "2025-03-04 11:00");
    ASSERT_EQ(tied.row_count(), 3u);
    for (size_t r = 0; r < tied.row_count(); ++r) {
      EXPECT_EQ(ToI4(tied.at(r, GroupCopyRowColumn::kMsgId)), tie[r]) << r;
    }
    EXPECT_EQ(ReadSentGroupCopies(conn, 1, "2025-03-04 10:17").row_count(), 0u);
  });
}

// A late page of one's plans or inbox costs about what the first does: the
// statements walk the person's index entries in the page's order, so that
// neither the count nor the page sorts the person's rows or scans the table.
TEST(PageQueryPlanTest, PersonListsWalkTheirIndexInOrder) {
  std::shared_ptr<SqliteConnection> db = SqliteConnection::Open(":memory:");
  testing::RecordingConnection recorder(db);
  db->Execute("INSERT INTO DATA_Plan (PersonID, PlanBeginTime) VALUES (1, '2025-01-01')");
  db->Execute("INSERT INTO DATA_Msg (PersonID, MsgFromPersonID, MsgContent) VALUES (1, 2, 'x')");
  ReadPersonPlanPage(recorder, 1, 1, 10);
  ReadInboxPage(recorder, 1, 1, 10);
  const std::vector<std::string> sent = recorder.Take();
  ASSERT_EQ(sent.size(), 4u);
  for (const std::string& text : sent) {
    const std::string sql = SqliteConnection::TranslateText(text).sql;
    const std::string plan = testing::QueryPlanOf(db->handle(), sql);
    EXPECT_NE(plan.find("SEARCH t0 USING"), std::string::npos) << sql << "\n" << plan;
    EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << sql << "\n" << plan;
    EXPECT_EQ(plan.find("SCAN"), std::string::npos) << sql << "\n" << plan;
  }
}

}  // namespace
}  // namespace korimba::web
