// The stylesheet and script over HTTP: a strong ETag that names the bytes
// served, a caching lifetime, and 304 without a body for a request that
// already holds the current copy (alone, in a list, or weakly compared).
#include "web/static_files.h"

#include <gtest/gtest.h>

#include "tests/web/test_site.h"
#include "web/templates.h"

namespace korimba::web::testing {
namespace {

TEST(StaticFilesTest, TagsNameTheBytesAndRevalidateWithout200) {
  TestSite site;
  httplib::Client client("127.0.0.1", site.port());
  auto first = client.Get("/static/style.css");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->status, 200);
  const std::string tag = first->get_header_value("ETag");
  EXPECT_EQ(tag, StaticETag(*EmbeddedAsset("style.css")));
  EXPECT_NE(first->get_header_value("Cache-Control").find("max-age="), std::string::npos);
  EXPECT_EQ(first->body, std::string(*EmbeddedAsset("style.css")));
  // Different bytes, different tags.
  EXPECT_NE(StaticETag("a"), StaticETag("b"));
  EXPECT_NE(client.Get("/static/online.js")->get_header_value("ETag"), tag);

  struct Case {
    std::string if_none_match;
    int status;
  };
  const Case cases[] = {
      {tag, 304}, {"\"0000000000000000\", " + tag, 304}, {"W/" + tag, 304},
      {"*", 304}, {"\"0000000000000000\"", 200},         {tag.substr(1), 200},
  };
  for (const Case& c : cases) {
    auto r = client.Get("/static/style.css", {{"If-None-Match", c.if_none_match}});
    ASSERT_TRUE(r) << c.if_none_match;
    EXPECT_EQ(r->status, c.status) << c.if_none_match;
    EXPECT_EQ(r->get_header_value("ETag"), tag) << c.if_none_match;
    EXPECT_EQ(r->body.empty(), c.status == 304) << c.if_none_match;
  }
}

}  // namespace
}  // namespace korimba::web::testing
