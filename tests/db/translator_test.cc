// The translator's own contracts: a cached translation serves only the
// shapes whose deciding literals it was made for.
#include "db/translator.h"

#include <gtest/gtest.h>

namespace korimba::sql {
namespace {

TEST(ShapeTest, FixedLiteralsKeepTranslationsApart) {
  ShapedStatement a, b;
  ShapeStatement("select CONVERT(char(16), msgCreatetime, 120) from DATA_Msg", a);
  ShapeStatement("select CONVERT(char(10), msgCreatetime, 120) from DATA_Msg", b);
  ASSERT_EQ(a.key, b.key);
  Translation t = Translate(a);
  EXPECT_TRUE(t.Matches(a));
  EXPECT_FALSE(t.Matches(b));
  EXPECT_NE(t.sql.find("substr(t0.\"msgCreatetime\", 1, 16)"), std::string::npos) << t.sql;
}

}  // namespace
}  // namespace korimba::sql
