#include "web/catalog.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "web/site.h"

namespace korimba::web {
namespace {

TEST(CatalogTest, BothLanguagesHaveTheSameKeysAndNoEmptyChineseText) {
  const Catalog& zh = Catalog::For(Language::kChinese);
  const Catalog& en = Catalog::For(Language::kEnglish);
  EXPECT_EQ(zh.Keys(), en.Keys());
  EXPECT_GT(zh.Keys().size(), 50u);
  EXPECT_EQ(zh.Text("nav.home"), "首页");
  EXPECT_EQ(en.Text("nav.home"), "Home");
  // Templates place texts unescaped, inside attributes too; only error
  // messages (always shown as escaped values) may quote.
  for (const Catalog* c : {&zh, &en}) {
    for (const std::string& key : c->Keys()) {
      const std::string text = c->Text(key);
      EXPECT_EQ(text.find_first_of(key.starts_with("error.") ? "<>&" : "\"<>&"), std::string::npos)
          << key;
      EXPECT_EQ(text.find("{{"), std::string::npos) << key;
    }
  }
}

TEST(CatalogTest, ToldErrorsSpeakThePageLanguageAndPlainOnesStayAsGiven) {
  const NotFound told("error.no_plan", {"7"});
  EXPECT_STREQ(told.what(), "There is no plan number 7 of yours.");
  EXPECT_EQ(told.In(Catalog::For(Language::kChinese)), "您没有 7 号日程。");
  const BadInput plain("The place is too long.");
  EXPECT_EQ(plain.In(Catalog::For(Language::kChinese)), "The place is too long.");
}

TEST(CatalogTest, ParsesLinesFormatsPlaceholdersAndShowsMissingKeys) {
  Catalog c("# comment\n\n a.b = One {1} and {2} \r\nempty =\nx = a = b\n");
  EXPECT_EQ(c.Text("a.b"), "One {1} and {2}");
  EXPECT_EQ(c.Format("a.b", {"x", "y"}), "One x and y");
  EXPECT_EQ(c.Format("a.b", {"x"}), "One x and ");
  EXPECT_EQ(c.Text("empty"), "");
  EXPECT_EQ(c.Text("x"), "a = b");
  EXPECT_EQ(c.Text("no.such"), "no.such");
  EXPECT_THROW(Catalog("just text\n"), std::logic_error);
  EXPECT_THROW(Catalog(" = text\n"), std::logic_error);
}

TEST(CatalogTest, ChoosesChineseUnlessEnglishRanksAboveIt) {
  struct Case {
    const char* header;
    Language want;
  } cases[] = {
      {"", Language::kChinese},
      {"fr-FR,de;q=0.8", Language::kChinese},
      {"*", Language::kChinese},
      {"zh-CN,zh;q=0.9,en;q=0.8", Language::kChinese},
      {"en-US,en;q=0.9,zh-CN;q=0.8", Language::kEnglish},
      {"EN", Language::kEnglish},
      {"fr,en;q=0.5", Language::kEnglish},
      {"en;q=0.5,zh;q=0.9", Language::kChinese},
      {"en,zh", Language::kEnglish},
      {"zh,en", Language::kChinese},
      {"en;q=0,fr", Language::kChinese},
      {"en;q=abc,zh;q=0.1", Language::kChinese},
      {"eng", Language::kChinese},
      {"zh-TW;q=0.3, en-GB;q=0.2", Language::kChinese},
  };
  for (const Case& c : cases) EXPECT_EQ(ChooseLanguage(c.header), c.want) << c.header;
  EXPECT_EQ(LanguageFromTag("en"), Language::kEnglish);
  EXPECT_EQ(LanguageFromTag("zh-CN"), Language::kChinese);
  EXPECT_EQ(LanguageFromTag("<script>"), Language::kChinese);
}

}  // namespace
}  // namespace korimba::web
