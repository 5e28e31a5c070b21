// The access log: one line per request with the fields an administrator
// reads, the query never written (its values may be private).
#include "web/access_log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/web/test_site.h"

namespace korimba::web::testing {
namespace {

TEST(AccessLogTest, LinesKeepOneFieldPerBlankSeparatedWord) {
  const struct {
    AccessLine line;
    const char* text;
  } cases[] = {
      {{"2024-03-05T09:07:00+0800", "127.0.0.1", "7", "GET", "/plans", 200, 512, 3.25},
       "2024-03-05T09:07:00+0800 127.0.0.1 7 GET /plans 200 512 3.2ms"},
      {{"t", "::1", "-", "POST", "/a b\nc", 413, 0, -1}, "t ::1 - POST /a%20b_c 413 0 -"},
      {{"t", "", "", "GET", "", 500, 1, 0}, "t - - GET - 500 1 0.0ms"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatAccessLine(c.line), c.text);
}

TEST(AccessLogTest, EveryAnsweredRequestIsLoggedWithoutItsQuery) {
  TestSite site;
  const auto path = std::filesystem::temp_directory_path() /
                    ("korimba_access_" + RandomHexId().substr(0, 12) + ".log");
  InstallAccessLog(site.server(), site.site(), std::make_shared<AccessLog>(path.string()));
  httplib::Client client("127.0.0.1", site.port());
  ASSERT_TRUE(client.Get("/healthz?token=secret"));
  ASSERT_TRUE(client.Get("/no/such/page?q=private"));
  // The server writes a line once its answer is sent, so the last line may
  // come a moment after the client has its answer.
  std::string log;
  for (int i = 0; i < 500 && log.find("/no/such/page") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    log = all.str();
  }
  std::filesystem::remove(path);
  EXPECT_EQ(log.find("secret"), std::string::npos) << log;
  EXPECT_EQ(log.find("private"), std::string::npos) << log;
  const std::regex healthz(R"(\S+ 127\.0\.0\.1 - GET /healthz 200 3 \d+\.\dms\n)");
  const std::regex missing(R"(\S+ 127\.0\.0\.1 - GET /no/such/page 404 \d+ \d+\.\dms\n)");
  EXPECT_TRUE(std::regex_search(log, healthz)) << log;
  EXPECT_TRUE(std::regex_search(log, missing)) << log;
  EXPECT_THROW(AccessLog("/nonexistent-dir/x.log"), std::runtime_error);
}

}  // namespace
}  // namespace korimba::web::testing
