// What every page host promises the component and the pages, run against the
// in-memory host and the Redis host alike: values keep their kinds, names
// match without regard to case, the Application lock excludes every other
// holder (of this process or another node) and is released at page end with
// what the page wrote under it stored, and sessions keep their token, end
// after their idle time unless used, and never share values.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include "frame/error.h"
#include "frame/value_ops.h"
#include "host/page_host.h"
#include "host/redis_state.h"
#include "host/session_keeper.h"
#include "tests/host/every_kind.h"
#include "tests/support/redis_server.h"

namespace korimba {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

// One process: both "nodes" are the same objects; time is a manual clock.
class InMemoryHost {
 public:
  static bool Available(std::string*) { return true; }
  InMemoryHost() = default;

  std::shared_ptr<HostApplication> application(int /*node*/) { return application_; }
  SessionKeeper& sessions(int /*node*/) { return sessions_; }
  double idle() const { return SessionKeeper::kDefaultIdleSeconds; }
  void Pass(double seconds) { clock_->Advance(seconds); }

 private:
  std::shared_ptr<ManualClock> clock_ =
      std::make_shared<ManualClock>(*MakeDate(CivilDateTime{2024, 3, 5, 9, 0, 0}));
  std::shared_ptr<InMemoryApplication> application_ = std::make_shared<InMemoryApplication>();
  InMemorySessionKeeper sessions_{clock_};
};

// Two nodes, each with its own client and objects, on one private Redis;
// the idle time is a second, since Redis keeps real time.
class RedisHost {
 public:
  static bool Available(std::string* why) {
    if (!Server().available()) *why = Server().why();
    return Server().available();
  }
  RedisHost() {
    for (int node = 0; node < 2; ++node) {
      auto client = std::make_shared<RedisClient>(*ParseRedisAddress(Server().url(), nullptr));
      if (node == 0) client->Run({"FLUSHALL"});
      applications_[node] = std::make_shared<RedisApplication>(client);
      sessions_[node] = std::make_unique<RedisSessionKeeper>(client, idle());
    }
  }

  std::shared_ptr<HostApplication> application(int node) { return applications_[node]; }
  SessionKeeper& sessions(int node) { return *sessions_[node]; }
  double idle() const { return 1.0; }
  void Pass(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

 private:
  static testing::RedisServer& Server() {
    static testing::RedisServer server;  // one for the whole run, stopped at exit
    return server;
  }
  std::shared_ptr<RedisApplication> applications_[2];
  std::unique_ptr<RedisSessionKeeper> sessions_[2];
};

std::shared_ptr<ApplicationObject> ApplicationOf(Page& page) {
  return std::dynamic_pointer_cast<ApplicationObject>(page.context()->Application());
}

// Another thread calling `app->Lock()` (and UnLock at once once it has it).
// The caller must free the lock before the attempt is destroyed.
class LockAttempt {
 public:
  explicit LockAttempt(std::shared_ptr<ApplicationObject> app)
      : done_(locked_.get_future()), thread_([this, app] {
          app->Lock();
          locked_.set_value();
          app->UnLock();
        }) {}
  ~LockAttempt() { thread_.join(); }

  bool Got(std::chrono::milliseconds wait) {
    return done_.wait_for(wait) == std::future_status::ready;
  }

 private:
  std::promise<void> locked_;
  std::future<void> done_;
  std::thread thread_;
};

template <typename Host>
class PageHostContractTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    if (!Host::Available(&why)) GTEST_SKIP() << why;
    host_ = std::make_unique<Host>();
  }
  Page NewPage(int node, std::shared_ptr<SessionObject> session = nullptr) {
    if (session == nullptr) session = std::make_shared<InMemorySession>();
    return Page(host_->application(node), std::move(session), {});
  }
  std::unique_ptr<Host> host_;
};

using Hosts = ::testing::Types<InMemoryHost, RedisHost>;
class HostNames {
 public:
  template <typename T>
  static std::string GetName(int) {
    return std::is_same_v<T, InMemoryHost> ? "InMemory" : "Redis";
  }
};
TYPED_TEST_SUITE(PageHostContractTest, Hosts, HostNames);

TYPED_TEST(PageHostContractTest, ValuesKeepTheirKindsAndNamesMatchWithoutCase) {
  auto app = this->host_->application(0);
  auto other_node = this->host_->application(1);
  KeptSession session = this->host_->sessions(0).Create();
  const std::vector<Variant> values = EveryKind();
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string name = "Value" + std::to_string(i);
    app->SetValue(name, values[i]);
    session.values->SetValue(name, values[i]);
  }
  // The visitor's next request, on the other node.
  auto same_session = this->host_->sessions(1).Find(session.id);
  ASSERT_NE(same_session, nullptr);
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string folded = "VALUE" + std::to_string(i);
    for (const Variant& got : {other_node->Value(folded), same_session->values->Value(folded)}) {
      EXPECT_EQ(got.kind(), values[i].kind()) << values[i].DebugString();
      EXPECT_EQ(got.DebugString(), values[i].DebugString());
    }
  }
  EXPECT_TRUE(app->Value("never set").is_empty());
  EXPECT_TRUE(session.values->Value("never set").is_empty());
  // One value per name whatever its case: the last write wins.
  app->SetValue("onlinelist", Variant::I4(1));
  app->SetValue("OnlineList", Variant::I4(2));
  EXPECT_EQ(other_node->Value("ONLINELIST"), Variant::I4(2));
}

TYPED_TEST(PageHostContractTest, LockExcludesEveryOtherHolderOnEveryNode) {
  this->host_->application(0)->SetValue("Counter", Variant::I4(0));
  constexpr int kThreads = 4;
  constexpr int kRounds = 50;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      Page page = this->NewPage(t % 2);
      auto app = ApplicationOf(page);
      for (int i = 0; i < kRounds; ++i) {
        // A read-modify-write with a pause inside: without the lock, updates
        // from other threads would be lost.
        app->Lock();
        int32_t value = ToI4(app->Value("counter"));
        std::this_thread::yield();
        app->SetValue("COUNTER", Variant::I4(value + 1));
        app->UnLock();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(this->host_->application(1)->Value("Counter"), Variant::I4(kThreads * kRounds));
}

TYPED_TEST(PageHostContractTest, UnderTheLockAHolderReadsTheLatestValuesAndItsOwnWrites) {
  auto app = this->host_->application(0);
  auto other_node = this->host_->application(1);
  app->SetValue("Seen", Variant::I4(1));
  // From the second round on, the lock brings "Seen" along with it.
  for (int32_t round = 1; round <= 3; ++round) {
    app->Lock();
    EXPECT_EQ(app->Value("seen"), Variant::I4(round));
    app->SetValue("SEEN", Variant::I4(round + 1));
    EXPECT_EQ(app->Value("Seen"), Variant::I4(round + 1));
    app->UnLock();
  }
  app->Lock();
  app->SetValue("Seen", Variant::I4(9));  // written before it is read
  EXPECT_EQ(app->Value("Seen"), Variant::I4(9));
  app->UnLock();
  other_node->SetValue("Seen", Variant::I4(10));  // between two locks, elsewhere
  app->Lock();
  EXPECT_EQ(app->Value("Seen"), Variant::I4(10));
  app->UnLock();
}

TYPED_TEST(PageHostContractTest, UnderTheLockASessionReadsWhatTheLastHolderLeftThere) {
  KeptSession kept = this->host_->sessions(0).Create();
  // Two requests of one visitor (two tabs), on two nodes, looked up before
  // either of them enters the on-line list.
  auto first = this->host_->sessions(0).Find(kept.id);
  auto second = this->host_->sessions(1).Find(kept.id);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  Page one = this->NewPage(0, first->values);
  Page two = this->NewPage(1, second->values);
  ApplicationOf(one)->Lock();
  EXPECT_TRUE(first->values->Value("MyListID").is_empty());
  first->values->SetValue("MyListID", Variant::I4(3));
  ApplicationOf(one)->UnLock();
  ApplicationOf(two)->Lock();
  EXPECT_EQ(second->values->Value("mylistid"), Variant::I4(3)) << "both tabs would enter";
  ApplicationOf(two)->UnLock();
}

TYPED_TEST(PageHostContractTest, LockIsReentrantForOnePageAndOnlyItsHolderUnlocks) {
  Page holder = this->NewPage(0);
  Page same_node = this->NewPage(0);
  Page other_node = this->NewPage(1);
  auto app = ApplicationOf(holder);

  app->Lock();
  app->Lock();
  for (Page* other : {&same_node, &other_node}) {
    try {
      ApplicationOf(*other)->UnLock();
      ADD_FAILURE() << "a page unlocked a lock it does not hold";
    } catch (const AutomationError& e) {
      EXPECT_THAT(e.description(), HasSubstr("not locked by this page"));
    }
  }
  app->UnLock();
  {
    LockAttempt near(ApplicationOf(same_node));
    LockAttempt far(ApplicationOf(other_node));
    EXPECT_FALSE(near.Got(50ms)) << "released after one UnLock of two";
    EXPECT_FALSE(far.Got(1ms)) << "another node got the lock while it was held";
    app->UnLock();
    EXPECT_TRUE(near.Got(5s));
    EXPECT_TRUE(far.Got(5s));
  }
  EXPECT_THROW(app->UnLock(), AutomationError);
}

TYPED_TEST(PageHostContractTest, PageEndReleasesALockAFailedCallLeftHeld) {
  auto application = this->host_->application(0);
  std::shared_ptr<ApplicationObject> kept;  // as a component that never got OnEndPage
  {
    Page page = this->NewPage(0);
    kept = ApplicationOf(page);
    try {
      kept->Lock();
      kept->SetValue("OnlineT", Variant::R4(12.5f));
      throw AutomationError(kErrDatabase, "lost connection");  // the call fails here
    } catch (const AutomationError&) {
    }
    EXPECT_TRUE(application->IsHeldBy(kept.get()));
  }
  for (int node : {0, 1}) {
    Page next = this->NewPage(node);
    LockAttempt attempt(ApplicationOf(next));
    bool got = attempt.Got(5s);
    if (!got) application->ReleaseAll(kept.get());  // let the attempt finish
    EXPECT_TRUE(got) << "the ended page still holds the lock (node " << node << ")";
  }
  // What the page wrote before it failed is stored, as if it had unlocked.
  EXPECT_EQ(this->host_->application(1)->Value("onlinet"), Variant::R4(12.5f));
  // The ended page's view can no longer take a lock nobody would release.
  try {
    kept->Lock();
    FAIL() << "locked through an ended page";
  } catch (const AutomationError& e) {
    EXPECT_THAT(e.description(), HasSubstr("ended"));
  }
}

TYPED_TEST(PageHostContractTest, EndReleasesTheLockOnceAndTheDestructorAfterIsHarmless) {
  auto application = this->host_->application(0);
  Page page = this->NewPage(0);
  auto app = ApplicationOf(page);
  app->Lock();
  page.End();
  EXPECT_FALSE(application->IsHeldBy(app.get()));
  application->Lock();  // an anonymous holder gets it
  page.End();
  EXPECT_TRUE(application->IsHeldBy(application.get())) << "End released someone else's lock";
  application->UnLock();
}

TYPED_TEST(PageHostContractTest, SessionsKeepTheirTokenAndEndWhenIdleUnlessUsed) {
  SessionKeeper& node0 = this->host_->sessions(0);
  SessionKeeper& node1 = this->host_->sessions(1);
  const double idle = this->host_->idle();
  KeptSession used = node0.Create();
  KeptSession unused = node0.Create();
  EXPECT_EQ(used.id.size(), 32u);
  EXPECT_NE(used.id, unused.id);
  EXPECT_NE(used.token, used.id);

  this->host_->Pass(idle * 0.6);
  auto found = node1.Find(used.id);  // renews `used` only
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->token, used.token);
  EXPECT_TRUE(SessionKeeper::TokenMatches(*found, used.token));
  EXPECT_FALSE(SessionKeeper::TokenMatches(*found, unused.token));

  this->host_->Pass(idle * 0.6);  // `unused` idle for 1.2 idle times, `used` 0.6
  EXPECT_EQ(node0.Find(unused.id), nullptr);
  EXPECT_NE(node0.Find(used.id), nullptr);
  this->host_->Pass(idle * 1.5);
  EXPECT_EQ(node1.Find(used.id), nullptr);
}

TYPED_TEST(PageHostContractTest, SessionsNeverShareValuesAndRemovedOnesAreGone) {
  SessionKeeper& node0 = this->host_->sessions(0);
  SessionKeeper& node1 = this->host_->sessions(1);
  KeptSession ann = node0.Create();
  KeptSession bob = node1.Create();
  ann.values->SetValue("PersonID", Variant::I4(7));
  bob.values->SetValue("PersonID", Variant::I4(8));
  EXPECT_EQ(node1.Find(ann.id)->values->Value("personid"), Variant::I4(7));
  EXPECT_EQ(node0.Find(bob.id)->values->Value("personid"), Variant::I4(8));

  node1.Remove(ann.id);
  EXPECT_EQ(node0.Find(ann.id), nullptr);
  EXPECT_EQ(node0.Find(""), nullptr);
  EXPECT_EQ(node0.Find("not-a-session"), nullptr);
  // A page still running for the removed session writes a value: that must
  // not bring the session back.
  ann.values->SetValue("MyListID", Variant::I4(3));
  EXPECT_EQ(node1.Find(ann.id), nullptr);
  EXPECT_NE(node1.Find(bob.id), nullptr);
}

TYPED_TEST(PageHostContractTest, AKeptDraftKeepsTheValuesItWasGiven) {
  auto draft = SessionKeeper::Draft();
  draft->values->SetValue("PageLanguage", Variant::Text("en"));
  EXPECT_EQ(this->host_->sessions(1).Find(draft->id), nullptr) << "a draft is stored";
  auto kept = this->host_->sessions(0).Keep(draft);
  auto found = this->host_->sessions(1).Find(draft->id);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->token, draft->token);
  EXPECT_EQ(found->values->Value("pagelanguage"), Variant::Text("en"));
  kept->values->SetValue("PersonID", Variant::I4(2));
  EXPECT_EQ(kept->values->Value("PersonID"), Variant::I4(2));
  EXPECT_EQ(this->host_->sessions(1).Find(draft->id)->values->Value("PersonID"), Variant::I4(2));
}

}  // namespace
}  // namespace korimba
