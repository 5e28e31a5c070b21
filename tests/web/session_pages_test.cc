// When the pages store a session: not for anonymous requests that need
// none, not for a refused post, and never so that a refused post replaces
// the visitor's own session cookie.
#include <gtest/gtest.h>

#include "tests/web/test_site.h"

namespace korimba::web {
namespace {

using testing::TestSite;
using testing::Visitor;

class SessionPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    site_.conn().Execute("INSERT INTO HR_Person (PersonID, PersonName) VALUES (1, 'Ann')");
  }
  TestSite site_;
};

TEST_F(SessionPagesTest, AnonymousRequestsStoreNoSessionUntilAFormNeedsOne) {
  httplib::Client client("127.0.0.1", site_.port());
  for (int i = 0; i < 20; ++i) {
    for (const char* path : {"/", "/messages?with=1", "/static/style.css", "/nowhere"}) {
      auto r = client.Get(path);
      ASSERT_TRUE(r) << path;
      EXPECT_FALSE(r->has_header("Set-Cookie")) << path;
    }
    auto post =
        client.Post("/messages/send", "to=1&content=x", "application/x-www-form-urlencoded");
    ASSERT_TRUE(post);
    EXPECT_EQ(post->status, 403);
    EXPECT_FALSE(post->has_header("Set-Cookie"));
  }
  EXPECT_EQ(dynamic_cast<SessionStore&>(site_.site().sessions()).size(), 0u);
  // The sign-in form carries a token, so its session is kept.
  auto signin = client.Get("/signin");
  ASSERT_TRUE(signin);
  EXPECT_TRUE(signin->has_header("Set-Cookie"));
  EXPECT_EQ(dynamic_cast<SessionStore&>(site_.site().sessions()).size(), 1u);
}

TEST_F(SessionPagesTest, RefusedPostsLeaveTheVisitorSignedIn) {
  Visitor ann(site_.port());
  ann.SignIn(1);
  ASSERT_EQ(ann.Get("/")->status, 200);
  // From another site: the browser sends the form without the Lax cookie.
  httplib::Client other("127.0.0.1", site_.port());
  auto cross = other.Post("/signout", "token=x", "application/x-www-form-urlencoded");
  ASSERT_TRUE(cross);
  EXPECT_EQ(cross->status, 403);
  EXPECT_FALSE(cross->has_header("Set-Cookie"));
  // With the cookie but without the token (or with a wrong one).
  for (const char* token : {"", "0123"}) {
    auto refused = ann.Post("/signout", {{"token", token}}, /*with_token=*/false);
    EXPECT_EQ(refused->status, 403);
    EXPECT_FALSE(refused->has_header("Set-Cookie"));
  }
  EXPECT_EQ(ann.Get("/")->status, 200);
}

}  // namespace
}  // namespace korimba::web
