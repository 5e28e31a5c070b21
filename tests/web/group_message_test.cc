// The group marker taken off for editing and put back once, and the digest
// that names a group message's content in links.
#include "web/group_message.h"

#include <gtest/gtest.h>

namespace korimba::web {
namespace {

TEST(GroupMarkerTest, IsTakenOffForEditingAndPutBackOnce) {
  EXPECT_EQ(WithoutGroupMarker("【群发消息】午饭"), "午饭");
  EXPECT_EQ(WithoutGroupMarker("午饭 群发消息"), "午饭 群发消息");
  EXPECT_EQ(WithGroupMarker("午饭"), "【群发消息】午饭");
  EXPECT_EQ(WithGroupMarker("【群发消息】午饭"), "【群发消息】午饭");
  EXPECT_EQ(GroupKey("a").size(), 32u);
  EXPECT_EQ(GroupKey("a"), GroupKey("a"));
  EXPECT_NE(GroupKey("a"), GroupKey("A"));
}

}  // namespace
}  // namespace korimba::web
