#include "web/session_store.h"

#include <gtest/gtest.h>

#include <set>

namespace korimba::web {
namespace {

class SessionStoreTest : public ::testing::Test {
 protected:
  std::shared_ptr<ManualClock> clock_ =
      std::make_shared<ManualClock>(*MakeDate(CivilDateTime{2024, 3, 5, 9, 0, 0}));
  SessionStore store_{clock_};
};

TEST_F(SessionStoreTest, IdleSessionsEndAfterTwentyMinutesAndUseRenewsThem) {
  WebSession a = store_.Create();
  WebSession b = store_.Create();
  clock_->Advance(19 * 60);
  ASSERT_NE(store_.Find(a.id), nullptr);  // renews a only
  clock_->Advance(2 * 60);                // b idle 21 minutes, a 2 minutes
  EXPECT_EQ(store_.Find(b.id), nullptr);
  EXPECT_NE(store_.Find(a.id), nullptr);
  clock_->Advance(20 * 60 + 1);
  EXPECT_EQ(store_.Find(a.id), nullptr);
  EXPECT_EQ(store_.size(), 0u);
}

TEST_F(SessionStoreTest, ExpiredSessionsAreSweptWithoutBeingLookedUp) {
  for (int i = 0; i < 5; ++i) store_.Create();
  clock_->Advance(21 * 60);
  store_.Create();
  EXPECT_EQ(store_.size(), 1u);
}

TEST_F(SessionStoreTest, ValuesAreSharedByEveryLookupAndNamedWithoutCase) {
  WebSession s = store_.Create();
  s.values->SetValue("PersonID", Variant::I4(7));
  s.values->SetValue("PersonName", Variant::Text("Ann"));
  auto found = store_.Find(s.id);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(found->values->Value("personid").DebugString(), "7i4");
  EXPECT_EQ(found->values->Value("PERSONNAME").DebugString(), "\"Ann\"");
  found->values->SetValue("mylistid", Variant::I4(3));
  EXPECT_EQ(s.values->Value("MyListID").DebugString(), "3i4");
}

TEST_F(SessionStoreTest, RemovedAndUnknownIdsFindNothing) {
  WebSession s = store_.Create();
  store_.Remove(s.id);
  EXPECT_EQ(store_.Find(s.id), nullptr);
  EXPECT_EQ(store_.Find(""), nullptr);
  EXPECT_EQ(store_.Find("not-a-session"), nullptr);
}

TEST_F(SessionStoreTest, IdsAndTokensAreLongRandomAndDistinct) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    WebSession s = store_.Create();
    EXPECT_EQ(s.id.size(), 32u);
    EXPECT_NE(s.id, s.token);
    EXPECT_TRUE(seen.insert(s.id).second);
    EXPECT_TRUE(seen.insert(s.token).second);
  }
}

TEST_F(SessionStoreTest, TokenMustMatchExactly) {
  WebSession s = store_.Create();
  WebSession other = store_.Create();
  EXPECT_TRUE(SessionStore::TokenMatches(s, s.token));
  EXPECT_FALSE(SessionStore::TokenMatches(s, ""));
  EXPECT_FALSE(SessionStore::TokenMatches(s, other.token));
  EXPECT_FALSE(SessionStore::TokenMatches(s, s.token.substr(1)));
  EXPECT_FALSE(SessionStore::TokenMatches(s, s.token + "0"));
}

}  // namespace
}  // namespace korimba::web
