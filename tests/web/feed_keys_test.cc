// The calendar subscription tokens: stable for a person until renewed, one
// person's renewal leaving the others' alone, seen by every FeedKeys that
// shares the file (as nodes share it), and a damaged key file refused rather
// than replaced.
#include "web/feed_keys.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "host/session_keeper.h"

namespace korimba::web {
namespace {

class FeedKeysTest : public ::testing::Test {
 protected:
  FeedKeysTest()
      : dir_(std::filesystem::temp_directory_path() /
             ("korimba_feed_" + RandomHexId().substr(0, 12))) {
    std::filesystem::create_directories(dir_);
  }
  ~FeedKeysTest() override { std::filesystem::remove_all(dir_); }
  std::string Path() const { return (dir_ / "office.db.feed-key").string(); }
  std::filesystem::path dir_;
};

TEST_F(FeedKeysTest, ATokenHoldsUntilItsPersonRenewsIt) {
  FeedKeys keys(Path());
  const std::string ann = keys.TokenFor(1);
  const std::string bo = keys.TokenFor(2);
  EXPECT_EQ(ann.size(), 64u);
  EXPECT_NE(ann, bo);
  EXPECT_EQ(keys.TokenFor(1), ann);
  EXPECT_TRUE(keys.Matches(1, ann));
  EXPECT_FALSE(keys.Matches(2, ann));
  EXPECT_FALSE(keys.Matches(1, ann.substr(0, 63)));
  EXPECT_FALSE(keys.Matches(1, ""));

  const std::string renewed = keys.Renew(1);
  EXPECT_NE(renewed, ann);
  EXPECT_FALSE(keys.Matches(1, ann));
  EXPECT_TRUE(keys.Matches(1, renewed));
  EXPECT_TRUE(keys.Matches(2, bo));
  EXPECT_NE(keys.Renew(1), renewed);
}

TEST_F(FeedKeysTest, NodesSharingTheFileAgreeAndSeeEachOthersRenewals) {
  FeedKeys first(Path());
  FeedKeys second(Path());
  const std::string token = first.TokenFor(5);
  EXPECT_EQ(second.TokenFor(5), token);
  EXPECT_EQ(first.OfficeId(), second.OfficeId());
  const std::string renewed = second.Renew(5);
  EXPECT_FALSE(first.Matches(5, token));
  EXPECT_TRUE(first.Matches(5, renewed));
  // A new server on the same file keeps every address.
  EXPECT_EQ(FeedKeys(Path()).TokenFor(5), renewed);
  struct stat info {};
  ASSERT_EQ(::stat(Path().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(FeedKeysTest, ADifferentKeyGivesDifferentTokens) {
  const std::string other = (dir_ / "other.feed-key").string();
  EXPECT_NE(FeedKeys(Path()).TokenFor(1), FeedKeys(other).TokenFor(1));
  EXPECT_NE(FeedKeys(Path()).OfficeId(), FeedKeys(other).OfficeId());
}

TEST_F(FeedKeysTest, ADamagedFileIsRefusedAndLeftAsItWas) {
  for (const char* content : {"", "key 12ab\n", "# nothing but a comment\n"}) {
    std::ofstream(Path()) << content;
    FeedKeys keys(Path());
    EXPECT_THROW(keys.TokenFor(1), FeedKeyError) << content;
    EXPECT_THROW(keys.Renew(1), FeedKeyError) << content;
    std::ifstream in(Path());
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), content);
  }
}

TEST(FeedKeyPathTest, SitsBesideAFileDatabase) {
  EXPECT_EQ(DefaultFeedKeyPath("sqlite:/srv/office.db"), "/srv/office.db.feed-key");
  EXPECT_EQ(DefaultFeedKeyPath("sqlite:korimba.db"), "korimba.db.feed-key");
  EXPECT_EQ(DefaultFeedKeyPath("sqlite::memory:"), "feed.key");
  EXPECT_EQ(DefaultFeedKeyPath("odbc:Driver=x;Server=y"), "feed.key");
}

}  // namespace
}  // namespace korimba::web
