// The pool's bounded wait and the health check that rides on it: a request
// that finds every connection lent waits only so long, then the page says
// the office is busy (503) instead of hanging behind slow pages. And its
// upkeep: a connection that died (idle, or seen failing) is replaced before
// it is lent, and a database still down fails one request, not the pool.
// Waiters are served in the order they came, and a page leases a connection
// only when it runs a statement.
#include "web/connection_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <mutex>
#include <thread>

#include "db/open.h"
#include "frame/error.h"
#include "frame/value_ops.h"
#include "tests/support/fake_connection.h"
#include "tests/web/test_site.h"
#include "web/server.h"
#include "web/session_store.h"

namespace korimba::web::testing {
namespace {

using std::chrono::milliseconds;

TEST(ConnectionPoolTest, WaitsForAReturnedConnectionOnlyWithinItsBound) {
  auto conn = std::make_shared<korimba::testing::FakeConnection>();
  ConnectionPool pool({conn}, milliseconds(50));
  auto held = pool.Acquire();
  held->connection()->Execute("one");
  EXPECT_EQ(conn->texts(), std::vector<std::string>{"one"});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(pool.Acquire(), PoolBusy);
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(50));

  // A connection given back while another request waits reaches it.
  ConnectionPool patient({conn}, milliseconds(10'000));
  auto first = patient.Acquire();
  auto waiter = std::async(std::launch::async, [&] { return patient.Acquire(); });
  std::this_thread::sleep_for(milliseconds(20));
  first.reset();
  waiter.get()->connection()->Execute("two");
  EXPECT_EQ(conn->texts(), (std::vector<std::string>{"one", "two"}));
}

// Starts a thread that takes a lease once it is `n`-th in line, notes its
// turn and gives the lease back; returns once that thread waits.
std::thread QueueUp(ConnectionPool& pool, size_t n, std::mutex& mu, std::vector<size_t>& turns) {
  std::thread waiter([&pool, n, &mu, &turns] {
    auto lease = pool.Acquire();
    std::lock_guard lock(mu);
    turns.push_back(n);
  });
  while (pool.waiting() < n + 1) std::this_thread::yield();
  return waiter;
}

TEST(ConnectionPoolTest, WaitersAreServedInTheOrderTheyCame) {
  auto conn = std::make_shared<korimba::testing::FakeConnection>();
  ConnectionPool pool({conn}, milliseconds(60'000));
  auto held = pool.Acquire();
  std::mutex mu;
  std::vector<size_t> turns;
  std::vector<std::thread> waiters;
  for (size_t n = 0; n < 5; ++n) waiters.push_back(QueueUp(pool, n, mu, turns));
  held.reset();
  // A request that comes now finds the connection handed on, not free: it
  // queues behind the five.
  auto last = pool.Acquire();
  turns.push_back(5);
  last.reset();
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(turns, (std::vector<size_t>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(pool.waiting(), 0u);
}

TEST(ConnectionPoolTest, AWaiterThatGaveUpIsNotHandedTheConnection) {
  auto conn = std::make_shared<korimba::testing::FakeConnection>();
  ConnectionPool pool({conn}, milliseconds(20));
  auto held = pool.Acquire();
  EXPECT_THROW(pool.Acquire(), PoolBusy);
  EXPECT_EQ(pool.waiting(), 0u);
  held.reset();
  // The connection went back to the pool, not to the departed waiter.
  EXPECT_NO_THROW(pool.Acquire()->connection()->Execute("after"));
}

TEST(LeaseOnUseTest, LeasesOnTheFirstStatementAndGivesBackAtTheEnd) {
  auto conn = std::make_shared<korimba::testing::FakeConnection>();
  ConnectionPool pool({conn}, milliseconds(20));
  LeaseOnUse page(pool);
  {
    // Nothing run yet: the pool's one connection is free for others.
    auto other = pool.Acquire();
    other->connection()->Execute("other");
  }
  page.Execute("one");
  page.Query("two");
  EXPECT_EQ(page.QueryPaged("three"), nullptr);  // the fake reads no pages
  EXPECT_THROW(pool.Acquire(), PoolBusy);        // held between statements
  EXPECT_FALSE(page.found_busy());
  page.End();
  pool.Acquire()->connection()->Execute("four");
  EXPECT_EQ(conn->texts(), (std::vector<std::string>{"other", "one", "two", "four"}));
  // A statement after the end would run on a connection lent to somebody
  // else: refused.
  EXPECT_THROW(page.Execute("late"), AutomationError);
  EXPECT_EQ(conn->texts().size(), 4u);
}

TEST(LeaseOnUseTest, ABusyPoolIsNotedAndALaterStatementTriesAgain) {
  auto conn = std::make_shared<korimba::testing::FakeConnection>();
  ConnectionPool pool({conn}, milliseconds(20));
  LeaseOnUse page(pool);
  auto held = pool.Acquire();
  EXPECT_THROW(page.Execute("busy"), PoolBusy);
  EXPECT_TRUE(page.found_busy());
  held.reset();
  page.Execute("free");
  EXPECT_EQ(conn->texts(), std::vector<std::string>{"free"});
}

// A database whose connections die together when it goes down (a server
// restart) and that refuses new ones until it is back.
struct FlakyDatabase {
  class Conn final : public Connection {
   public:
    Conn(FlakyDatabase& db, int generation) : db_(db), generation_(generation) {}
    ResultTable Execute(std::string_view statement) override {
      ++db_.statements;
      if (generation_ != db_.generation) ThrowDatabase("Communication link failure");
      ResultTable answer;
      answer.columns = {"n"};
      answer.cells = {Variant::Text(std::string(statement))};
      return answer;
    }

   private:
    FlakyDatabase& db_;
    const int generation_;
  };

  std::shared_ptr<Connection> Open() {
    if (down) ThrowDatabase("Server not reachable");
    ++opened;
    return std::make_shared<Conn>(*this, generation);
  }
  void Restart() { ++generation; }

  std::atomic<int> generation{0};
  std::atomic<int> opened{0};
  std::atomic<int> statements{0};
  bool down = false;
};

ConnectionPool FlakyPool(FlakyDatabase& db, int size, milliseconds idle_check) {
  std::vector<std::shared_ptr<Connection>> connections;
  for (int i = 0; i < size; ++i) connections.push_back(db.Open());
  db.opened = 0;
  return ConnectionPool(std::move(connections), milliseconds(50),
                        {.open = [&db] { return db.Open(); }, .idle_check = idle_check});
}

TEST(ConnectionPoolUpkeepTest, AnIdleConnectionIsProbedAndReplacedWhenLost) {
  FlakyDatabase db;
  ConnectionPool pool = FlakyPool(db, 2, milliseconds(0));
  db.Restart();
  for (int round = 0; round < 3; ++round) {
    auto lease = pool.Acquire();
    EXPECT_EQ(lease->connection()->Query("x").cells.at(0), Variant::Text("x"));
  }
  EXPECT_EQ(db.opened, 1);  // only the lost one that was lent, once
}

TEST(ConnectionPoolUpkeepTest, ABusyConnectionIsLentUncheckedUntilAStatementFails) {
  FlakyDatabase db;
  ConnectionPool pool = FlakyPool(db, 1, std::chrono::hours(1));
  pool.Acquire()->connection()->Query("a");
  EXPECT_EQ(db.statements, 1);  // no probe for a connection just used
  db.Restart();
  EXPECT_THROW(pool.Acquire()->connection()->Query("b"), AutomationError);
  // That failure has the next borrower get a working connection.
  EXPECT_EQ(pool.Acquire()->connection()->Query("c").cells.at(0), Variant::Text("c"));
  EXPECT_EQ(db.opened, 1);
}

TEST(ConnectionPoolUpkeepTest, ADatabaseStillDownFailsTheRequestButKeepsThePlace) {
  FlakyDatabase db;
  ConnectionPool pool = FlakyPool(db, 1, milliseconds(0));
  db.Restart();
  db.down = true;
  for (int i = 0; i < 2; ++i) {
    try {
      pool.Acquire();
      ADD_FAILURE() << "lent a connection to a database that is down";
    } catch (const AutomationError& e) {
      EXPECT_NE(e.description().find("Server not reachable"), std::string::npos);
    }
  }
  db.down = false;
  // The one place of the pool is still there (not PoolBusy) and now works.
  EXPECT_EQ(pool.Acquire()->connection()->Query("d").cells.at(0), Variant::Text("d"));
}

TEST(HealthCheckTest, AnswersOkWithoutASessionAndBusyWhileEveryConnectionIsLent) {
  TestSite site(1, milliseconds(100));
  httplib::Client client("127.0.0.1", site.port());
  auto ok = client.Get("/healthz");
  ASSERT_TRUE(ok);
  EXPECT_EQ(ok->status, 200);
  EXPECT_EQ(ok->body, "ok\n");
  EXPECT_FALSE(ok->has_header("Set-Cookie"));

  auto lease = site.site().pool().Acquire();
  auto busy = client.Get("/healthz");
  ASSERT_TRUE(busy);
  EXPECT_EQ(busy->status, 503);
  EXPECT_NE(busy->body.find("busy"), std::string::npos) << busy->body;
  lease.reset();
  EXPECT_EQ(client.Get("/healthz")->status, 200);
}

// Through the pages: the on-line list runs no statement, so it answers while
// every connection is lent; a page whose statement finds the pool busy says
// so (503), also when the statement ran inside a component method.
TEST(PoolBusyPagesTest, OnlyPagesThatRunStatementsWaitForAConnection) {
  TestSite site(1, milliseconds(50));
  site.conn().Execute("INSERT INTO HR_Person (PersonID, PersonName) VALUES (1, 'Ann')");
  site.conn().Execute("INSERT INTO HR_Person (PersonID, PersonName) VALUES (2, 'Bob')");
  Visitor ann(site.port());
  ann.SignIn(1);
  Visitor bob(site.port());
  bob.Get("/signin");

  auto lease = site.site().pool().Acquire();
  auto online = ann.Get("/online");
  ASSERT_TRUE(online);
  EXPECT_EQ(online->status, 200);
  EXPECT_NE(online->body.find("Ann"), std::string::npos) << online->body;
  auto home = ann.Get("/");  // the page's own count query
  ASSERT_TRUE(home);
  EXPECT_EQ(home->status, 503);
  auto signin = bob.Post("/signin", {{"person", "2"}});  // GetPersonName, in the component
  ASSERT_TRUE(signin);
  EXPECT_EQ(signin->status, 503);
  EXPECT_TRUE(Has(signin, "busy")) << signin->body;
  lease.reset();

  bob.SignIn(2);
  auto both = bob.Get("/online");
  EXPECT_TRUE(Has(both, "Ann") && Has(both, "Bob"));
  EXPECT_EQ(ann.Get("/")->status, 200);
}

TEST(ConnectionPoolUpkeepTest, TheServersPoolFollowsADatabaseFilePutInPlace) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("korimba_pool_" + RandomHexId().substr(0, 8));
  fs::create_directories(dir);
  const std::string db = "sqlite:" + (dir / "office.db").string();
  const std::string other = "sqlite:" + (dir / "restored.db").string();
  OpenConnection(db)->Execute("insert into HR_Person (PersonID, PersonName) values (1, N'old')");
  OpenConnection(other)->Execute("insert into HR_Person (PersonID, PersonName) values (1, N'new')");

  PoolUpkeep upkeep = DatabaseUpkeep(db);
  upkeep.idle_check = milliseconds(0);
  ConnectionPool pool({OpenConnection(db)}, milliseconds(50), upkeep);
  fs::rename(dir / "restored.db", dir / "office.db");
  {
    auto lease = pool.Acquire();
    Connection& conn = *lease->connection();
    EXPECT_EQ(conn.Query("select PersonName from HR_Person").cells.at(0), Variant::Text("new"));
    conn.Execute("update HR_Person set PersonName = N'written' where PersonID = 1");
  }
  EXPECT_EQ(OpenConnection(db)->Query("select PersonName from HR_Person").cells.at(0),
            Variant::Text("written"));
  EXPECT_FALSE(DatabaseUpkeep("sqlite::memory:").open);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace korimba::web::testing
