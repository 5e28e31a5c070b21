// What only the Redis host has to get right: a lock left by a node that died
// expires, waiting for a lock is bounded, the lock key is freed only by its
// owner, the idle timeout is the key's expiry, and Redis going away makes
// calls fail as unavailable until it is back, then work again on their own.
#include "host/redis_state.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

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
