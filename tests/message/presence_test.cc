// The shared on-line list over a clock the test moves: entry, renewal, the
// 15-second drop (also across midnight), slot reuse, a full list, and the
// Application lock on failing paths. Two or more visitors share one
// Application, each with a session of their own.
#include "message/presence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <string>

#include "frame/clock.h"
#include "frame/error.h"
#include "frame/grid.h"
#include "frame/safe_array.h"
#include "frame/value_ops.h"
#include "tests/message/message_harness.h"
#include "tests/support/fake_connection.h"

namespace korimba::testing {
namespace {

Date At(int year, int month, int day, int hour, int minute, int second) {
  return *MakeDate({year, month, day, hour, minute, second, 0});
}

class OnlineListTest : public ::testing::Test {
 protected:
  // A visitor with a page of their own on the shared application.
  std::unique_ptr<MessageHarness> Visitor(int32_t id, const std::string& name,
                                          const std::string& url = "/msg.asp") {
    auto h = std::make_unique<MessageHarness>(std::make_shared<FakeConnection>(), app_);
    auto session = std::make_shared<InMemorySession>();
    session->SetValue("PersonID", I(id));
    session->SetValue("PersonName", T(name));
    h->StartPage(session, url);
    return h;
  }

  // Column 0 of each row of a grid, e.g. "1 2 Empty".
  static std::string Ids(const Variant& grid) {
    std::string out;
    const Bound rows = grid.array()->bound(1);
    for (int32_t r = rows.lower; r <= rows.upper; ++r) {
      if (!out.empty()) out += ' ';
      const Variant& id = GridCell(grid, r, OnlineColumn::kPersonId);
      out += id.is_empty() ? "Empty" : TextForm(id);
    }
    return out;
  }

  std::string ChangeTime() { return app_->Value("OnlineT").DebugString(); }

  ScopedClockOverride clock_{At(2024, 3, 5, 9, 0, 0)};
  std::shared_ptr<InMemoryApplication> app_ = std::make_shared<InMemoryApplication>();
};

TEST_F(OnlineListTest, FirstCallCreatesTheListAndEntersTheCaller) {
  auto ann = Visitor(1, "Ann", "/office/msg.asp");
  const Variant grid = ann->Call("GetOnlineList");
  EXPECT_EQ(
      GridString(grid),
      "[0..1, 0..8]\n"
      "0: 1i4 | \"Ann\" | 32400r4 | #2024-03-05# | \"/office/msg.asp\" | Empty | Empty | Empty "
      "| Empty\n"
      "1: Empty | Empty | Empty | Empty | Empty | Empty | Empty | Empty | Empty");
  EXPECT_EQ(ann->session().Value("MyListID").DebugString(), "0i4");
  EXPECT_EQ(ChangeTime(), "32400r4");
  const SafeArray* list = app_->Value("OnlineList").array();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->bound(1), (Bound{0, 100}));
  EXPECT_EQ(list->bound(2), (Bound{0, 8}));
  EXPECT_EQ(list->at({1, 0}).DebugString(), "Null");
}

TEST_F(OnlineListTest, EntriesRenewAndDropOnlyAfterFifteenSeconds) {
  auto ann = Visitor(1, "Ann");
  auto bob = Visitor(2, "Bob");
  ann->Call("GetOnlineList");
  EXPECT_EQ(Ids(bob->Call("GetOnlineList")), "1 2 Empty");

  clock_->Advance(10);
  EXPECT_EQ(Ids(ann->Call("GetOnlineList")), "1 2 Empty");  // renewal: no change time
  EXPECT_EQ(ChangeTime(), "32400r4");

  clock_->Advance(5);  // Bob's last renewal exactly 15 s ago: still on line
  EXPECT_EQ(Ids(ann->Call("GetOnlineList")), "1 2 Empty");

  clock_->Advance(1);  // 16 s: dropped at anybody's call, with a new change time
  EXPECT_EQ(Ids(ann->Call("GetOnlineList")), "1 Empty");
  EXPECT_EQ(ChangeTime(), "32416r4");
  EXPECT_EQ(app_->Value("OnlineList").array()->at({1, 0}).DebugString(), "Null");
  // The dropped slot keeps its other columns until it is taken again.
  EXPECT_EQ(app_->Value("OnlineList").array()->at({1, 1}).DebugString(), "\"Bob\"");
}

TEST_F(OnlineListTest, DroppedPersonReturnsToTheSameSlotKeepingEntryColumns) {
  auto ann = Visitor(1, "Ann", "/first.asp");
  auto bob = Visitor(2, "Bob");
  ann->Call("GetOnlineList");
  clock_->Advance(20);
  EXPECT_EQ(Ids(bob->Call("GetOnlineList")), "2 Empty");  // Ann dropped, Bob in slot 1

  clock_->Set(At(2024, 3, 6, 9, 0, 0));
  ann->StartPage(ann->session_ref(), "/second.asp");
  const Variant grid = ann->Call("GetOnlineList");  // Bob is stale by now
  EXPECT_EQ(GridString(grid),
            "[0..1, 0..8]\n"
            "0: 1i4 | \"Ann\" | 32400r4 | #2024-03-05# | \"/first.asp\" | Empty | Empty | Empty "
            "| Empty\n"
            "1: Empty | Empty | Empty | Empty | Empty | Empty | Empty | Empty | Empty");
  EXPECT_EQ(ann->session().Value("MyListID").DebugString(), "0i4");

  // A newcomer takes the lowest free slot: Bob's.
  auto cay = Visitor(3, "Cay");
  EXPECT_EQ(Ids(cay->Call("GetOnlineList")), "1 3 Empty");
  EXPECT_EQ(cay->session().Value("MyListID").DebugString(), "1i4");
}

// A dropped person whose slot a newcomer has taken enters again in the
// lowest free slot instead of renewing the newcomer's entry.
TEST_F(OnlineListTest, DroppedPersonWhoseSlotWasTakenEntersAgain) {
  auto ann = Visitor(1, "Ann", "/first.asp");
  auto bob = Visitor(2, "Bob");
  ann->Call("GetOnlineList");
  bob->Call("GetOnlineList");
  clock_->Advance(20);
  EXPECT_EQ(Ids(bob->Call("GetOnlineList")), "2 Empty");  // Ann dropped from slot 0
  auto cay = Visitor(3, "Cay");
  clock_->Advance(1);
  EXPECT_EQ(Ids(cay->Call("GetOnlineList")), "3 2 Empty");  // Cay in slot 0

  clock_->Advance(1);
  ann->StartPage(ann->session_ref(), "/second.asp");
  const Variant grid = ann->Call("GetOnlineList");
  EXPECT_EQ(Ids(grid), "3 2 1 Empty");
  EXPECT_EQ(ann->session().Value("MyListID").DebugString(), "2i4");
  EXPECT_EQ(ChangeTime(), "32422r4");  // an entry, so a change time
  // A new entry: this page and this day, not the old slot's columns.
  EXPECT_EQ(GridCell(grid, 2, OnlineColumn::kEntryPage).DebugString(), "\"/second.asp\"");
  EXPECT_EQ(GridCell(grid, 0, OnlineColumn::kName).DebugString(), "\"Cay\"");

  // From now on each renews their own slot.
  for (int round = 0; round < 3; ++round) {
    clock_->Advance(5);
    for (auto* v : {ann.get(), bob.get(), cay.get()}) v->Call("GetOnlineList");
  }
  EXPECT_EQ(Ids(ann->Call("GetOnlineList")), "3 2 1 Empty");
  EXPECT_EQ(ChangeTime(), "32422r4");
}

// Many people coming and going: everybody who polls is listed exactly once.
TEST_F(OnlineListTest, ChurnListsEveryActivePersonOnce) {
  std::vector<std::unique_ptr<MessageHarness>> people;
  for (int32_t id = 1; id <= 30; ++id) people.push_back(Visitor(id, "P" + std::to_string(id)));
  auto poll = [&](int32_t from, int32_t to) {
    Variant grid;
    for (int32_t id = from; id <= to; ++id) grid = people[id - 1]->Call("GetOnlineList");
    return grid;
  };
  poll(1, 20);
  clock_->Advance(20);
  poll(11, 30);  // 1..10 dropped; 21..30 take their slots
  clock_->Advance(5);
  const Variant grid = poll(1, 30);  // 1..10 come back
  std::vector<std::string> ids;
  for (int32_t r = 0; r < grid.array()->bound(1).upper; ++r) {
    ids.push_back(TextForm(GridCell(grid, r, OnlineColumn::kPersonId)));
  }
  std::sort(ids.begin(), ids.end());
  std::vector<std::string> expected;
  for (int32_t id = 1; id <= 30; ++id) expected.push_back(std::to_string(id));
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(ids, expected);
}

TEST_F(OnlineListTest, EntryRenewedBeforeMidnightIsDroppedAfterIt) {
  clock_->Set(At(2024, 3, 5, 23, 59, 58));
  auto ann = Visitor(1, "Ann");
  auto bob = Visitor(2, "Bob");
  ann->Call("GetOnlineList");
  clock_->Set(At(2024, 3, 6, 0, 0, 5));  // 7 s later, but the stamp is 86398
  EXPECT_EQ(Ids(bob->Call("GetOnlineList")), "2 Empty");
  clock_->Advance(1);
  EXPECT_EQ(Ids(ann->Call("GetOnlineList")), "1 2 Empty");  // back through MyListID
}

TEST_F(OnlineListTest, FullListEntersNobodyAndOverwritesNobody) {
  // 101 live entries, stamped now.
  Variant full = MakeGrid(OnlineList::kSlots, OnlineColumn::kColumns);
  for (int32_t s = 0; s < 101; ++s) {
    GridCell(full, s, OnlineColumn::kPersonId) = I(1000 + s);
    GridCell(full, s, OnlineColumn::kName) = T("P" + std::to_string(s));
    GridCell(full, s, OnlineColumn::kRenewed) = Variant::R4(32400);
  }
  app_->SetValue("OnlineList", full);
  auto dan = Visitor(4, "Dan");
  const Variant grid = dan->Call("GetOnlineList");
  EXPECT_EQ(grid.array()->bound(1), (Bound{0, 101}));
  EXPECT_EQ(GridCell(grid, 0, OnlineColumn::kPersonId).DebugString(), "1000i4");
  EXPECT_EQ(GridCell(grid, 0, OnlineColumn::kName).DebugString(), "\"P0\"");
  EXPECT_EQ(dan->session().Value("MyListID").DebugString(), "Empty");
  EXPECT_EQ(ChangeTime(), "Empty");

  // Once a slot frees up, the next call enters him there.
  GridCell(full, 50, OnlineColumn::kPersonId) = Variant::Null();
  app_->SetValue("OnlineList", full);
  dan->Call("GetOnlineList");
  EXPECT_EQ(dan->session().Value("MyListID").DebugString(), "50i4");
}

// A failing call must not keep the Application locked while its page is
// still running: another visitor's call on another thread gets through.
TEST_F(OnlineListTest, FailingCallsReleaseTheLock) {
  auto ann = Visitor(1, "Ann");
  auto bob = Visitor(2, "Bob");
  for (const Variant& bad : {T("abc"), I(500)}) {
    ann->session().SetValue("MyListID", bad);
    EXPECT_THROW(ann->Call("GetOnlineList"), AutomationError);
    auto other = std::async(std::launch::async, [&] { return bob->Call("GetOnlineList"); });
    const bool finished = other.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!finished) ann->EndPage();  // unblock the other thread before failing
    ASSERT_TRUE(finished) << "lock still held after " << bad.DebugString();
    EXPECT_EQ(Ids(other.get()), "2 Empty");
  }
}

TEST_F(OnlineListTest, NullSlotNumberNeitherEntersNorRenews) {
  auto ann = Visitor(1, "Ann");
  ann->session().SetValue("MyListID", Variant::Null());
  EXPECT_EQ(Ids(ann->Call("GetOnlineList")), "Empty");
}

}  // namespace
}  // namespace korimba::testing
