#include "frame/names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korimba {
namespace {

// Names meet whatever the case of their ASCII letters; every other byte,
// UTF-8 text included, must match exactly, so two different column aliases
// never meet and a lookup never depends on the process locale.
TEST(NamesTest, OnlyAsciiLettersFoldAndFoldNameAgreesWithSameName) {
  struct Case {
    std::string a, b;
    bool same;
  };
  const std::vector<Case> cases = {
      {"PersonID", "personid", true},
      {"MSGCREATETIME", "msgCreatetime", true},
      {"HTTP_USER_AGENT", "http_user_agent", true},
      {"姓名", "姓名", true},
      {"阅读标志", "姓名", false},
      {"Äpfel", "äpfel", false},  // not an ASCII letter: exact bytes only
      {"ÉTÉ", "été", false},
      {"[x]", "{x}", false},  // '[' and '{' are 32 apart but not letters
      {"@_^", "`\x7f~", false},
      {"MsgID", "MsgID ", false},
      {"", "", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SameName(c.a, c.b), c.same) << c.a << " / " << c.b;
    EXPECT_EQ(FoldName(c.a) == FoldName(c.b), c.same) << c.a << " / " << c.b;
  }
  EXPECT_EQ(FoldName("Korimba.Message"), "korimba.message");
  EXPECT_EQ(FoldName("内容=MsgContent"), "内容=msgcontent");
}

}  // namespace
}  // namespace korimba
