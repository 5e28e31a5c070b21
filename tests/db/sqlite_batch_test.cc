// The embedded database running batches: values kept by variables of every
// type exactly as stored, the loop limit, and what a batch does to the
// statement cache and to paged reads.
#include "db/sqlite_batch.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/db/db_test_util.h"

namespace korimba::testing {
namespace {

class SqliteBatchTest : public DbTest {};

// A value assigned to a variable and copied to a second one comes out as it
// went in (shown, and equal to the value written): it passes through the
// splice of a value into a statement twice.
TEST_F(SqliteBatchTest, VariablesKeepTheirValuesExactly) {
  struct Case {
    const char* type;
    const char* value;
    const char* shown;
  };
  const Case cases[] = {
      {"int", "-2147483648", "-2147483648i4"},
      {"int", "2147483647", "2147483647i4"},
      {"smallint", "-32768", "-32768i2"},
      {"bit", "1", "True"},
      {"float", "0.1", "0.1r8"},
      {"float", "-1.7976931348623157e308", "-1.79769313486232E+308r8"},
      {"float", "1e-300", "1E-300r8"},
      {"decimal(10, 3)", "-1234.567", "-1234.567r8"},
      {"datetime", "'9999-12-31 23:59:59.997'", "#9999-12-31 23:59:59#"},
      {"datetime", "'1753-01-01'", "#1753-01-01#"},
      {"date", "'2024-02-29 13:00'", "#2024-02-29#"},
      {"nvarchar(20)", "N'O''Brien 王'", "\"O'Brien 王\""},
      {"varchar(max)", "'  padded  '", "\"  padded  \""},
      {"char(4)", "'ab'", "\"ab  \""},
  };
  for (const Case& c : cases) {
    const std::string sql = std::string("declare @a ") + c.type + " = " + c.value + ", @b " +
                            c.type + "\nset @b = @a\nselect @b as v, case when @b = " + c.value +
                            " then 'kept' else 'changed' end as kept";
    EXPECT_EQ(Show(sql), std::string("v|kept\n") + c.shown + "|\"kept\"\n") << sql;
  }
  EXPECT_EQ(Show("declare @a nvarchar(5) = null, @b int = 1, @c nvarchar(5) = N'x'\n"
                 "set @b = @a set @c = @a\nselect @b as b, @c as c"),
            "b|c\nNull|Null\n");
}

TEST_F(SqliteBatchTest, AssignmentsConvertAsTheVariablesTypeSays) {
  EXPECT_EQ(Show("declare @i int = 2.9, @s nvarchar(2) = 12, @d datetime = '20240301', "
                 "@m decimal(5, 1) = 2.25\nselect @i as i, @s as s, @d + 1 as d, @m as m"),
            "i|s|d|m\n2i4|\"12\"|#2024-03-02#|2.3r8\n");
  EXPECT_EQ(ErrorOf("declare @i int = 'x'"),
            "Conversion failed when converting the varchar value 'x' to data type int.");
  EXPECT_EQ(ErrorOf("declare @i smallint = 40000"),
            "Arithmetic overflow error converting expression to data type smallint.");
}

TEST_F(SqliteBatchTest, ALoopPastTheLimitEndsTheBatchWithAnError) {
  db_->set_loop_limit(50);
  EXPECT_EQ(ErrorOf("declare @i int = 0 while 1 = 1 set @i += 1"),
            "The batch's WHILE loops ran more than 50 times; the embedded database stopped "
            "the batch there.");
  // The limit counts one batch's iterations; the next batch starts afresh.
  EXPECT_EQ(Show("declare @i int = 0 while @i < 50 set @i += 1 select @i as i"), "i\n50i4\n");
}

TEST_F(SqliteBatchTest, RepeatedBatchesWithOtherValuesReuseTheirStatements) {
  for (int i = 0; i < 20; ++i) {
    Run("declare @id int = " + std::to_string(i) +
        "\ninsert into HR_Person (PersonID, PersonName) values (@id, N'p" + std::to_string(i) +
        "')\nif @@rowcount = 1 set @id = @id + 1");
  }
  EXPECT_EQ(Show("select count(*) as n from HR_Person"), "n\n20i4\n");
  // The declaration's value, the insert, the condition and the SET: one
  // shape each, whatever the numbers.
  EXPECT_LE(db_->cached_shapes(), 5u);
}

TEST_F(SqliteBatchTest, ABatchIsReadWholeNotPaged) {
  Run("insert into HR_Person (PersonID, PersonName) values (1, N'a'), (2, N'b')");
  EXPECT_EQ(db_->QueryPaged("declare @n int = 1 select PersonID from HR_Person where PersonID > "
                            "@n"),
            nullptr);
  EXPECT_NE(db_->QueryPaged("select PersonID from HR_Person"), nullptr);
}

}  // namespace
}  // namespace korimba::testing
