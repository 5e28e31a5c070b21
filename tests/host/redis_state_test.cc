// What only the Redis host has to get right: a lock left by a node that died
// expires, waiting for a lock is bounded, the lock key is freed only by its
// owner (and a holder whose lock expired stores nothing), a release hands
// the lock to a waiting node before the releasing node's next page once the
// node has passed it among its own pages as long or as often as allowed,
// what passes from page to page in the process (writes, sessions), the
// hand-over's wire form is read strictly, scripts Redis forgot are given
// again, the idle timeout is the key's expiry, and Redis going away makes
// calls fail as unavailable until it is back, then work again on their own.
#include "host/redis_state.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "frame/value_ops.h"
#include "host/redis_lock_scripts.h"
#include "tests/support/redis_server.h"

namespace korimba {
namespace {

using ::testing::HasSubstr;
using Clock = std::chrono::steady_clock;

class RedisStateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server_.available()) GTEST_SKIP() << server_.why();
  }
  std::shared_ptr<RedisClient> NewClient() {
    return std::make_shared<RedisClient>(*ParseRedisAddress(server_.url(), nullptr), 0.5);
  }
  testing::RedisServer server_;
};

TEST(RedisAddressTest, ReadsHostPortAndDatabase) {
  struct Case {
    const char* text;
    const char* want;  // Text() of the address, or the reason it is refused
  };
  const Case cases[] = {
      {"redis://10.0.0.5:6380/2", "redis://10.0.0.5:6380/2"},
      {"redis://cache.office", "redis://cache.office:6379/0"},
      {"redis://cache.office:7000", "redis://cache.office:7000/0"},
      {"redis://h:6379/", "redis://h:6379/0"},
      {"http://h:6379", "does not start with redis://"},
      {"redis://:6379", "names no host"},
      {"redis://h:70000", "port"},
      {"redis://h:port", "port"},
      {"redis://h:6379/x", "database"},
  };
  for (const Case& c : cases) {
    std::string error;
    auto address = ParseRedisAddress(c.text, &error);
    EXPECT_THAT(address ? address->Text() : error, HasSubstr(c.want)) << c.text;
  }
}

TEST_F(RedisStateTest, ALockLeftByADeadNodeExpiresAndWaitingIsBounded) {
  const RedisLockTimes times{0.4, 2.0};
  // A node takes the lock and is killed before it can release it.
  const pid_t node = fork();
  if (node == 0) {
    try {
      RedisApplication dying(NewClient(), times);
      dying.Lock();
    } catch (...) {
      _exit(1);
    }
    raise(SIGKILL);
  }
  int status = 0;
  ASSERT_EQ(waitpid(node, &status, 0), node);
  ASSERT_TRUE(WIFSIGNALED(status));

  RedisApplication survivor(NewClient(), times);
  const auto start = Clock::now();
  survivor.Lock();  // waits for the dead node's lock to expire, no longer
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(2));

  // While it is held, another node's wait ends with a readable failure.
  RedisApplication other(NewClient(), RedisLockTimes{10, 0.2});
  try {
    other.Lock();
    ADD_FAILURE() << "locked while another node held the lock";
  } catch (const AutomationError& e) {
    EXPECT_THAT(e.description(), HasSubstr("kept the Application locked"));
  }
  survivor.UnLock();
  other.Lock();
  other.UnLock();
}

TEST_F(RedisStateTest, AnExpiredHolderNeverFreesTheLockOfTheNext) {
  auto client = NewClient();
  RedisApplication slow(client, RedisLockTimes{0.2, 5});
  RedisApplication next(NewClient(), RedisLockTimes{10, 5});
  slow.Lock();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));  // its key expired
  next.Lock();
  slow.UnLock();  // late: must leave `next`'s key alone
  EXPECT_FALSE(client->Run({"GET", "korimba:lock"}).is_nil());
  next.UnLock();
  EXPECT_TRUE(client->Run({"GET", "korimba:lock"}).is_nil());
}

TEST_F(RedisStateTest, AHolderWhoseLockExpiredStoresNothingAndIsToldSo) {
  RedisApplication slow(NewClient(), RedisLockTimes{0.2, 5});
  RedisApplication next(NewClient(), RedisLockTimes{10, 5});
  slow.SetValue("Counter", Variant::I4(1));
  slow.Lock();
  slow.SetValue("Counter", Variant::I4(2));
  std::this_thread::sleep_for(std::chrono::milliseconds(400));  // its key expired
  next.Lock();
  next.SetValue("Counter", Variant::I4(3));
  next.UnLock();
  try {
    slow.UnLock();
    ADD_FAILURE() << "a release after the lock expired stored its writes silently";
  } catch (const AutomationError& e) {
    EXPECT_THAT(e.description(), HasSubstr("expired before it was released"));
  }
  EXPECT_EQ(next.Value("counter"), Variant::I4(3)) << "the late holder overwrote the next one";
  slow.Lock();  // the failed release left nothing held
  slow.UnLock();
}

// Node 0 holds the lock with one more page of its own waiting, and node 1
// waits too: the release hands the lock to node 1 first, so a busy node
// cannot keep the lock among its own pages.
TEST_F(RedisStateTest, AReleaseHandsTheLockToAWaitingNodeBeforeItsOwnNextPage) {
  auto client = NewClient();
  RedisApplication node0(client);
  RedisApplication node1(NewClient());
  std::mutex mu;
  std::vector<std::string> order;
  auto take = [&](RedisApplication& app, const void* holder, std::string who) {
    return std::thread([&app, holder, who, &mu, &order] {
      app.Acquire(holder, nullptr);
      {
        std::lock_guard lock(mu);
        order.push_back(who);
      }
      app.Release(holder);
    });
  };
  int first = 0, second = 0, far = 0;
  node0.Acquire(&first, nullptr);
  std::thread other_node = take(node1, &far, "node 1");
  for (int i = 0; i < 200 && client->Run({"LLEN", "korimba:lock:queue"}).integer == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::thread same_node = take(node0, &second, "node 0");
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  node0.Release(&first);
  other_node.join();
  same_node.join();
  EXPECT_EQ(order, (std::vector<std::string>{"node 1", "node 0"}));
}

// Waits until `app` has `n` pages of its own in line.
void UntilWaiting(const RedisApplication& app, size_t n) {
  while (app.waiting() < n) std::this_thread::yield();
}

// Times under which the lock passes in the process as long as pages wait
// (up to `pages` of them), never for lack of time.
RedisLockTimes PassingInProcess(int pages) {
  RedisLockTimes times;
  times.expiry_seconds = 600;
  times.wait_seconds = 60;
  times.local_hold_seconds = 60;
  times.local_hand_offs = pages;
  return times;
}

long long ScriptCalls(RedisClient& client) {
  const std::string stats = client.Run({"INFO", "commandstats"}).text;
  const size_t at = stats.find("cmdstat_evalsha:calls=");
  return at == std::string::npos ? 0 : std::stoll(stats.substr(at + 22));
}

// Node 1 waits while node 0 passes the lock among its own 10 waiting pages:
// it gets the lock right after the allowed 4 of them, and every page's
// increment under the lock (carried from page to page, stored by the
// releases through Redis) is kept.
TEST_F(RedisStateTest, ANodePassesTheLockAmongItsPagesOnlyAsOftenAsAllowed) {
  auto client = NewClient();
  RedisApplication node0(client, PassingInProcess(4));
  RedisApplication node1(NewClient());
  node0.SetValue("Counter", Variant::I4(0));
  std::mutex mu;
  std::vector<std::string> order;
  auto take = [&](RedisApplication& app, const void* holder, std::string who) {
    return std::thread([&app, holder, who, &mu, &order] {
      app.Acquire(holder, nullptr);
      app.SetValue("counter", Variant::I4(ToI4(app.Value("Counter")) + 1));
      {
        std::lock_guard lock(mu);
        order.push_back(who);
      }
      app.Release(holder);
    });
  };
  int first = 0, far = 0;
  int pages[10];
  node0.Acquire(&first, nullptr);
  std::thread other_node = take(node1, &far, "node 1");
  for (int i = 0; i < 200 && client->Run({"LLEN", "korimba:lock:queue"}).integer == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::vector<std::thread> same_node;
  for (int i = 0; i < 10; ++i) {
    same_node.push_back(take(node0, &pages[i], "node 0"));
    UntilWaiting(node0, i + 1);
  }
  node0.Release(&first);
  other_node.join();
  for (auto& page : same_node) page.join();
  ASSERT_EQ(order.size(), 11u);
  EXPECT_EQ(std::find(order.begin(), order.end(), "node 1") - order.begin(), 4);
  EXPECT_EQ(node1.Value("Counter"), Variant::I4(11));
}

// Two requests of one visitor on one node, the second waiting while the
// first holds the lock and enters the list: handed the lock in the process,
// the second reads what the first left in the session, whether it was looked
// up before the lock was taken or after. The hand-over itself asks Redis
// nothing: one script takes the lock, one releases it.
TEST_F(RedisStateTest, APageHandedTheLockInTheProcessReadsTheSessionAsLeft) {
  for (bool looked_up_first : {true, false}) {
    SCOPED_TRACE(looked_up_first ? "looked up before the lock" : "looked up under it");
    auto client = NewClient();
    client->Run({"FLUSHALL"});
    RedisApplication app(client, PassingInProcess(16));
    RedisSessionKeeper sessions(client);
    const std::string id = sessions.Create().id;
    auto one = sessions.Find(id);
    std::shared_ptr<const KeptSession> two;
    if (looked_up_first) two = sessions.Find(id);
    client->Run({"CONFIG", "RESETSTAT"});
    int first = 0, second = 0;
    app.Acquire(&first, one->values.get());
    if (!looked_up_first) two = sessions.Find(id);
    Variant seen;
    std::thread tab([&] {
      app.Acquire(&second, two->values.get());
      seen = two->values->Value("MyListID");
      app.Release(&second);
    });
    UntilWaiting(app, 1);
    one->values->SetValue("MyListID", Variant::I4(3));
    app.Release(&first);
    tab.join();
    EXPECT_EQ(seen, Variant::I4(3)) << "both tabs would enter";
    EXPECT_EQ(ScriptCalls(*client), 2);
  }
}

TEST(RedisHandOverTest, ReadsTheTokenValueAndSessionAndRefusesDamagedForms) {
  struct Case {
    const char* text;
    const char* want;  // token|value|session names and values, or "refused"
  };
  const Case cases[] = {
      {"3:tok1:14:abcd2:v:1:x", "tok|abcd|v:,x"},
      {"3:tok1:00:", "tok|(none)|"},
      {"3:tok1:10:", "tok||"},  // stored, and empty
      {"3:tok1:03:abc", "tok|(none)|"},
      {"", "refused"},
      {"3:tok", "refused"},           // no value
      {"3:tok1:20:", "refused"},      // neither stored nor not
      {"3:tok1:10:2:v:", "refused"},  // a name without its value
      {"9:tok1:10:", "refused"},      // longer than what follows
      {"x:tok1:10:", "refused"},      // not a length
      {"0:1:10:", "refused"},         // no token
      {"3tok1:10:", "refused"},       // no colon after the length
  };
  for (const Case& c : cases) {
    auto handed = ParseHandOver(c.text);
    std::string got = "refused";
    if (handed) {
      got = handed->first + "|" + handed->second.value.value_or("(none)") + "|";
      for (size_t i = 0; i < handed->second.session.elements.size(); ++i) {
        got += (i > 0 ? "," : "") + handed->second.session.elements[i].text;
      }
    }
    EXPECT_EQ(got, c.want) << c.text;
  }
}

TEST_F(RedisStateTest, ScriptsRedisForgotAreGivenAgain) {
  auto client = NewClient();
  RedisApplication app(client);
  app.Lock();
  app.UnLock();
  client->Run({"SCRIPT", "FLUSH"});  // as after a restart
  app.Lock();
  app.SetValue("OnlineT", Variant::R4(3.5f));
  app.UnLock();
  EXPECT_EQ(app.Value("OnlineT"), Variant::R4(3.5f));
}

TEST_F(RedisStateTest, TheIdleTimeoutIsTheSessionKeysExpiry) {
  auto client = NewClient();
  RedisSessionKeeper keeper(client);
  KeptSession session = keeper.Create();
  const long long ttl = client->Run({"PTTL", "korimba:session:" + session.id}).integer;
  EXPECT_GT(ttl, 19 * 60 * 1000);
  EXPECT_LE(ttl, 20 * 60 * 1000);
}

TEST_F(RedisStateTest, RedisGoneFailsAsUnavailableAndComesBackByItself) {
  auto client = NewClient();
  RedisSessionKeeper keeper(client);
  RedisApplication app(client);
  KeptSession session = keeper.Create();
  app.SetValue("OnlineT", Variant::R4(1.5f));
  server_.Stop();
  for (int attempt = 0; attempt < 2; ++attempt) {  // a dropped and a fresh connection
    EXPECT_THROW(keeper.Find(session.id), StateUnavailable);
    EXPECT_THROW(app.Value("OnlineT"), StateUnavailable);
    EXPECT_THROW(app.Lock(), StateUnavailable);
  }
  EXPECT_THAT(client->Problem(), HasSubstr("cannot be reached"));

  server_.Start();  // empty: it keeps nothing on disk
  ASSERT_TRUE(server_.available());
  EXPECT_EQ(client->Problem(), "");
  EXPECT_EQ(keeper.Find(session.id), nullptr);
  app.Lock();  // the failed attempts left nothing held in this process
  app.SetValue("OnlineT", Variant::R4(2.5f));
  EXPECT_EQ(app.Value("onlinet"), Variant::R4(2.5f));
  app.UnLock();
}

}  // namespace
}  // namespace korimba
