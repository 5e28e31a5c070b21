#include "host/page_host.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <mutex>
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

// Holders waiting for the Application lock get it in the order they came,
// and one that comes as the lock is released queues behind them rather than
// taking it first.
TEST(PageHostTest, TheLockGoesToWaitersInTheOrderTheyCame) {
  InMemoryApplication app;
  int first = 0;
  int holders[6];
  std::mutex mu;
  std::vector<int> turns;
  auto turn = [&](int n) {
    app.Acquire(&holders[n], nullptr);
    {
      std::lock_guard lock(mu);
      turns.push_back(n);
    }
    app.Release(&holders[n]);
  };
  app.Acquire(&first, nullptr);
  std::vector<std::thread> waiters;
  for (int n = 0; n < 5; ++n) {
    waiters.emplace_back(turn, n);
    while (app.waiting() < static_cast<size_t>(n + 1)) std::this_thread::yield();
  }
  app.Release(&first);
  turn(5);
  for (auto& waiter : waiters) waiter.join();
  EXPECT_EQ(turns, (std::vector<int>{0, 1, 2, 3, 4, 5}));
  EXPECT_EQ(app.waiting(), 0u);
}

}  // namespace
}  // namespace korimba
