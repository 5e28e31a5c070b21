#include "web/html.h"

#include <gtest/gtest.h>

#include "web/templates.h"

namespace korimba::web {
namespace {

TEST(HtmlTest, EscapesEveryCharacterThatCanLeaveTextOrAttribute) {
  EXPECT_EQ(HtmlEscape(R"(<a href="x" onclick='y'>&amp;</a>)"),
            "&lt;a href=&quot;x&quot; onclick=&#39;y&#39;&gt;&amp;amp;&lt;/a&gt;");
  EXPECT_EQ(HtmlEscape("张三 plain"), "张三 plain");
}

TEST(HtmlTest, JoinedContentsKeepOnlyTheJoinsAsLineBreaks) {
  struct Case {
    const char* joined;
    const char* html;
  } cases[] = {
      {"", ""},
      {"Lunch", "Lunch"},
      {"Lunch<br>Review", "Lunch<br>Review"},
      // Markup inside one content stays text.
      {"<b>bold</b><br>a & b", "&lt;b&gt;bold&lt;/b&gt;<br>a &amp; b"},
      {"<script>x()</script>", "&lt;script&gt;x()&lt;/script&gt;"},
      // Only the exact join is a break; other spellings are content.
      {"a<BR>b<br/>c", "a&lt;BR&gt;b&lt;br/&gt;c"},
      // Empty contents between joins keep their breaks.
      {"a<br><br>b", "a<br><br>b"},
      {"<br>a", "<br>a"},
      // A join split over an escape never produces a tag.
      {"<<br>br>", "&lt;<br>br&gt;"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JoinedContentsHtml(c.joined), c.html) << c.joined;
  }
}

TEST(HtmlTest, DownloadNamesAreSafeInTheHeader) {
  EXPECT_EQ(PercentEncode("report 1.pdf"), "report%201.pdf");
  EXPECT_EQ(PercentEncode("报告.txt"), "%E6%8A%A5%E5%91%8A.txt");
  EXPECT_EQ(AsciiFileName("a\"b\\c/d.txt"), "a_b_c_d.txt");
  EXPECT_EQ(AsciiFileName("\r\nx"), "__x");
  EXPECT_EQ(AsciiFileName(""), "attachment");
}

TEST(HtmlTest, TemplatesEscapeValuesWithTheSameRule) {
  mstch::map context{{"message", std::string("<img src=x onerror='alert(1)'>")}};
  std::string page = RenderTemplate("error", context);
  EXPECT_NE(page.find("&lt;img src=x onerror=&#39;alert(1)&#39;&gt;"), std::string::npos) << page;
  EXPECT_EQ(page.find("<img"), std::string::npos) << page;
}

}  // namespace
}  // namespace korimba::web
