// The parser's bounds: deep nesting and long flat chains are refused with a
// clear message (they used to overflow the stack), while statements of an
// ordinary depth still run.
#include "db/sql_parser.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/db/db_test_util.h"

namespace korimba::testing {
namespace {

std::string Repeat(std::string_view piece, int n) {
  std::string out;
  out.reserve(piece.size() * n);
  for (int i = 0; i < n; ++i) out += piece;
  return out;
}

// `n` levels of `open` ... `close` around `inner`.
std::string Nested(std::string_view open, std::string_view inner, std::string_view close, int n) {
  return Repeat(open, n) + std::string(inner) + Repeat(close, n);
}

// "x op x op ... x", `n` terms.
std::string Chain(std::string_view term, std::string_view op, int n) {
  std::string out(term);
  for (int i = 1; i < n; ++i) (out += op) += term;
  return out;
}

class SqlDepthTest : public DbTest {};

constexpr const char* kTooDeep = "nested too deeply";

TEST_F(SqlDepthTest, DeepInputIsRefusedWithAMessage) {
  const struct {
    const char* what;
    std::string sql;
  } cases[] = {
      {"parentheses", "select " + Nested("(", "1", ")", 10000)},
      {"subqueries", "select " + Nested("(select ", "1", ")", 10000)},
      {"EXISTS", "select 1 where " + Nested("exists (select 1 where ", "1=1", ")", 5000)},
      {"IN subqueries", "select 1 where 1 in " + Nested("(select 1 where 1 in ", "(1)", ")", 5000)},
      {"function calls", "select " + Nested("len(", "'a'", ")", 10000)},
      {"CAST", "select " + Nested("cast(", "1", " as int)", 10000)},
      {"NOT", "select 1 where " + Repeat("not ", 10000) + "1=1"},
      {"minus", "select " + Repeat("- ", 10000) + "1"},
      {"plus", "select " + Repeat("+", 10000) + "1"},
      {"additions", "select " + Chain("1", "+", 50000)},
      {"products", "select " + Chain("1", "*", 5000)},
      {"OR terms", "select 1 where " + Chain("1=1", " or ", 50000)},
      {"AND terms", "select 1 where " + Chain("1=1", " and ", 5000)},
      {"text concatenation", "select " + Chain("'a'", "+", 5000)},
      {"chain in a subquery",
       "select (select " + Chain("1", "+", 600) + ") + " + Chain("1", "+", 600)},
      {"UPDATE value", "update DATA_Msg set msgFlag = " + Chain("1", "-", 5000)},
      {"INSERT value",
       "insert into HR_Person (PersonID, PersonName) values (" + Chain("1", "+", 5000) + ", 'a')"},
  };
  for (const auto& c : cases) {
    EXPECT_NE(ErrorOf(c.sql).find(kTooDeep), std::string::npos) << c.what;
  }
}

TEST_F(SqlDepthTest, OrdinaryDepthsStillRun) {
  EXPECT_EQ(Show("select " + Nested("(", "1", ")", 60) + " as n"), "n\n1i4\n");
  EXPECT_EQ(Show("select " + Nested("(select top 1 ", "2", ")", 12) + " as n"), "n\n2i4\n");
  EXPECT_EQ(Show("select " + Chain("1", "+", 500) + " as n"), "n\n500i4\n");
  EXPECT_EQ(Show("select count(*) as n from HR_Person where " + Chain("PersonID=1", " or ", 400)),
            "n\n0i4\n");
  EXPECT_EQ(Show("select " + Nested("ltrim(", "' a'", ")", 30) + " as t"), "t\n\"a\"\n");
}

TEST_F(SqlDepthTest, RepeatedOperandsCannotGrowTheTranslationWithoutBound) {
  // CAST to bit tests its operand twice, so each level doubles the text.
  const std::string error =
      ErrorOf("select " + Nested("cast(", "PersonID", " as bit)", 60) + " from HR_Person");
  EXPECT_NE(error.find("too complex"), std::string::npos) << error;
}

TEST_F(SqlDepthTest, TheConnectionKeepsWorkingAfterARefusal) {
  ErrorOf("select " + Nested("(", "1", ")", 10000));
  EXPECT_EQ(Show("select 7 as n"), "n\n7i4\n");
}

}  // namespace
}  // namespace korimba::testing
