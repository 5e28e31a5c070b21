// The pool's bounded wait and the health check that rides on it: a request
// that finds every connection lent waits only so long, then the page says
// the office is busy (503) instead of hanging behind slow pages.
#include "web/connection_pool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "tests/support/fake_connection.h"
#include "tests/web/test_site.h"

namespace korimba::web::testing {
namespace {

using std::chrono::milliseconds;

TEST(ConnectionPoolTest, WaitsForAReturnedConnectionOnlyWithinItsBound) {
  auto conn = std::make_shared<korimba::testing::FakeConnection>();
  ConnectionPool pool({conn}, milliseconds(50));
  auto held = pool.Acquire();
  EXPECT_EQ(held->connection().get(), conn.get());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_THROW(pool.Acquire(), PoolBusy);
  EXPECT_GE(std::chrono::steady_clock::now() - start, milliseconds(50));

  // A connection given back while another request waits reaches it.
  ConnectionPool patient({conn}, milliseconds(10'000));
  auto first = patient.Acquire();
  auto waiter = std::async(std::launch::async, [&] { return patient.Acquire(); });
  std::this_thread::sleep_for(milliseconds(20));
  first.reset();
  EXPECT_EQ(waiter.get()->connection().get(), conn.get());
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

}  // namespace
}  // namespace korimba::web::testing
