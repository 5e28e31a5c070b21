#include "host/page_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "frame/error.h"
#include "frame/value_ops.h"

namespace korimba {
namespace {

using namespace std::chrono_literals;
using ::testing::HasSubstr;

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

TEST(PageHostTest, NamesMatchWithoutRegardToCase) {
  auto application = std::make_shared<InMemoryApplication>();
  auto session = std::make_shared<InMemorySession>();
  Page page(application, session, {{"URL", "/msg/list.asp"}, {"Remote_Addr", "10.0.0.9"}});
  auto context = page.context();
  auto request = std::dynamic_pointer_cast<RequestObject>(context->Request());
  auto app_view = ApplicationOf(page);
  auto session_view = std::dynamic_pointer_cast<SessionObject>(context->Session());

  session->SetValue("PersonID", Variant::I4(12));
  app_view->SetValue("onlinelist", Variant::Text("list"));
  struct Case {
    Variant got;
    Variant want;
  };
  const Case cases[] = {
      {session_view->Value("personid"), Variant::I4(12)},
      {session_view->Value("PERSONID"), Variant::I4(12)},
      {session_view->Value("PersonName"), Variant()},
      {application->Value("OnlineList"), Variant::Text("list")},
      {app_view->Value("ONLINELIST"), Variant::Text("list")},
      {request->ServerVariable("url"), Variant::Text("/msg/list.asp")},
      {request->ServerVariable("REMOTE_ADDR"), Variant::Text("10.0.0.9")},
      {request->ServerVariable("HTTP_HOST"), Variant()},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(cases[i].got, cases[i].want) << "case " << i << ": " << cases[i].got.DebugString();
  }

  // One value per name whatever its case: the last write wins.
  session->SetValue("personid", Variant::I4(13));
  EXPECT_EQ(session->Value("PersonID"), Variant::I4(13));
}

TEST(PageHostTest, ApplicationLockIsMutualExclusionAcrossThreads) {
  auto application = std::make_shared<InMemoryApplication>();
  application->SetValue("Counter", Variant::I4(0));
  constexpr int kThreads = 4;
  constexpr int kRounds = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      Page page(application, std::make_shared<InMemorySession>(), {});
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
  EXPECT_EQ(application->Value("Counter"), Variant::I4(kThreads * kRounds));
}

TEST(PageHostTest, LockIsReentrantForOnePageAndOnlyItsHolderUnlocks) {
  auto application = std::make_shared<InMemoryApplication>();
  Page holder(application, std::make_shared<InMemorySession>(), {});
  Page other(application, std::make_shared<InMemorySession>(), {});
  auto app = ApplicationOf(holder);

  app->Lock();
  app->Lock();
  try {
    ApplicationOf(other)->UnLock();
    FAIL() << "a page unlocked a lock it does not hold";
  } catch (const AutomationError& e) {
    EXPECT_THAT(e.description(), HasSubstr("not locked by this page"));
  }
  app->UnLock();
  {
    LockAttempt attempt(ApplicationOf(other));
    EXPECT_FALSE(attempt.Got(50ms)) << "released after one UnLock of two";
    app->UnLock();
    EXPECT_TRUE(attempt.Got(5s));
  }
  EXPECT_THROW(app->UnLock(), AutomationError);
}

TEST(PageHostTest, PageEndReleasesALockAFailedCallLeftHeld) {
  auto application = std::make_shared<InMemoryApplication>();
  std::shared_ptr<ApplicationObject> kept;  // as a component that never got OnEndPage
  {
    Page page(application, std::make_shared<InMemorySession>(), {});
    kept = ApplicationOf(page);
    try {
      kept->Lock();
      throw AutomationError(kErrDatabase, "lost connection");  // the call fails here
    } catch (const AutomationError&) {
    }
    EXPECT_TRUE(application->IsHeldBy(kept.get()));
  }
  Page next(application, std::make_shared<InMemorySession>(), {});
  {
    LockAttempt attempt(ApplicationOf(next));
    bool got = attempt.Got(5s);
    if (!got) application->ReleaseAll(kept.get());  // let the attempt finish
    EXPECT_TRUE(got) << "the ended page still holds the lock";
  }

  // The ended page's view can no longer take a lock nobody would release.
  try {
    kept->Lock();
    FAIL() << "locked through an ended page";
  } catch (const AutomationError& e) {
    EXPECT_THAT(e.description(), HasSubstr("ended"));
  }
}

TEST(PageHostTest, EndReleasesTheLockOnceAndTheDestructorAfterIsHarmless) {
  auto application = std::make_shared<InMemoryApplication>();
  Page page(application, std::make_shared<InMemorySession>(), {});
  auto app = ApplicationOf(page);
  app->Lock();
  page.End();
  EXPECT_FALSE(application->IsHeldBy(app.get()));
  application->Lock();  // an anonymous holder gets it
  page.End();
  EXPECT_TRUE(application->IsHeldBy(application.get())) << "End released someone else's lock";
  application->UnLock();
}

}  // namespace
}  // namespace korimba
