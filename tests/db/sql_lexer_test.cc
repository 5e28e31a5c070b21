// The shape key: what ShapeStatement keeps of a statement and what it takes
// out as literals.
#include "db/sql_lexer.h"

#include <gtest/gtest.h>

#include "db/translator.h"
#include "frame/error.h"

namespace korimba::sql {
namespace {

std::string KeyOf(std::string_view text) {
  ShapedStatement s;
  ShapeStatement(text, s);
  std::string readable;
  for (char c : s.key)
    readable += c >= 1 && c <= 4 ? "<" + std::to_string(int(c)) + ">" : std::string(1, c);
  return readable;
}

TEST(ShapeTest, LiteralsAreTakenOutAndNamesKept) {
  ShapedStatement s;
  ShapeStatement(
      "select col1 from t9 where a=-12 and b='it''s'and c=N'中文' and d=1.5e3 /* x */ -- y", s);
  EXPECT_EQ(
      KeyOf("select col1 from t9 where a=-12 and b='it''s'and c=N'中文' and d=1.5e3 /* x */ -- y"),
      "select col1 from t9 where a=-<2> and b=<1>and c=<1> and d=<4>    ");
  ASSERT_EQ(s.literals.size(), 4u);
  EXPECT_EQ(s.literals[1].text, "it's");
  EXPECT_EQ(s.literals[2].kind, Literal::Kind::kNString);
  EXPECT_EQ(s.literals[2].text, "中文");
  EXPECT_EQ(s.literals[3].kind, Literal::Kind::kFloat);
  // Statements that differ only in values share a key; spelling is kept
  // (it decides the reported column names).
  EXPECT_EQ(KeyOf("select a from t where x='2024-3-1' and y=7"),
            KeyOf("select a from t where x='' and y=123456"));
  EXPECT_NE(KeyOf("select a from t"), KeyOf("select A from t"));
  // A literal inside brackets or quotes is part of a name.
  EXPECT_EQ(KeyOf("select [a'1], \"b 2\" from t"), "select [a'1], \"b 2\" from t");
  for (const char* bad : {"select 'abc", "select [abc", "select 1 /* open"}) {
    EXPECT_THROW(ShapeStatement(bad, s), AutomationError) << bad;
  }
}

}  // namespace
}  // namespace korimba::sql
