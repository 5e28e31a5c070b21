// Runs the statement files of tests/db/sql: each *.test file is one area of
// the dialect, run on a fresh in-memory database with the component clock
// frozen at 2024-03-01 09:05:07.123. A file is a list of blocks separated
// by blank lines; lines starting with '#' are comments.
//
//   statement ok            the statement runs
//   <sql lines>
//
//   query                   the statement answers exactly this table: a
//   <sql lines>             header line, then one line per row, cells
//   ----                    separated by '|' and written as
//   a|b                     Variant::DebugString writes them (3i4 an int,
//   3i4|"x"                 2i2 a smallint, "x" a text, Null ...)
//
//   query                   the statement fails; the database's message
//   <sql lines>             contains the text after "error:"
//   ----
//   error: <text>
//
//   refused                 the embedded database refuses the statement
//   <sql lines>             with a message containing <text> (SQL Server
//   ----                    would answer it); counted apart, so the share
//   error: <text>           of statements answered can be reported
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tests/db/db_test_util.h"

namespace korimba::testing {
namespace {

namespace fs = std::filesystem;

struct Block {
  enum class Kind { kStatement, kQuery, kRefused } kind = Kind::kStatement;
  int line = 0;
  std::string sql;
  std::vector<std::string> expected;  // after "----"
};

std::vector<Block> ReadBlocks(const fs::path& path) {
  std::ifstream in(path);
  std::vector<Block> blocks;
  std::string line;
  int number = 0;
  Block* open = nullptr;
  bool in_expected = false;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) {
      open = nullptr;
      in_expected = false;
      continue;
    }
    if (line[0] == '#' && !in_expected) continue;
    if (!open) {
      Block b;
      b.line = number;
      if (line == "statement ok") {
        b.kind = Block::Kind::kStatement;
      } else if (line == "query") {
        b.kind = Block::Kind::kQuery;
      } else if (line == "refused") {
        b.kind = Block::Kind::kRefused;
      } else {
        ADD_FAILURE() << path << ":" << number << ": a block starts with 'statement ok', 'query' "
                      << "or 'refused', not '" << line << "'";
        continue;
      }
      blocks.push_back(std::move(b));
      open = &blocks.back();
      in_expected = false;
      continue;
    }
    if (line == "----" && !in_expected) {
      in_expected = true;
    } else if (in_expected) {
      open->expected.push_back(line);
    } else {
      if (!open->sql.empty()) open->sql += "\n";
      open->sql += line;
    }
  }
  return blocks;
}

std::vector<std::string> Lines(const ResultTable& t) {
  std::vector<std::string> out;
  std::string header;
  for (size_t c = 0; c < t.column_count(); ++c) header += (c ? "|" : "") + t.columns[c];
  out.push_back(header);
  for (size_t r = 0; r < t.row_count(); ++r) {
    std::string row;
    for (size_t c = 0; c < t.column_count(); ++c) row += (c ? "|" : "") + t.at(r, c).DebugString();
    out.push_back(row);
  }
  return out;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& l : lines) out += l + "\n";
  return out;
}

class SqlScriptTest : public DbTest, public ::testing::WithParamInterface<std::string> {};

TEST_P(SqlScriptTest, AnswersAsWritten) {
  const fs::path path = fs::path(KORIMBA_TEST_SOURCE_DIR) / "tests/db/sql" / GetParam();
  const std::vector<Block> blocks = ReadBlocks(path);
  ASSERT_FALSE(blocks.empty()) << path;
  int answered = 0, refused = 0;
  for (const Block& b : blocks) {
    const std::string where = path.filename().string() + ":" + std::to_string(b.line);
    std::string error;
    std::vector<std::string> got;
    try {
      got = Lines(db_->Execute(b.sql));
    } catch (const AutomationError& e) {
      error = e.description();
    }
    const bool wants_error = b.expected.size() == 1 && b.expected[0].rfind("error:", 0) == 0;
    std::string wanted_error;
    if (wants_error) {
      wanted_error = b.expected[0].substr(6);
      wanted_error.erase(0, wanted_error.find_first_not_of(' '));
    }
    switch (b.kind) {
      case Block::Kind::kStatement:
        EXPECT_EQ(error, "") << where << "\n" << b.sql;
        break;
      case Block::Kind::kRefused:
        ++refused;
        EXPECT_TRUE(wants_error) << where << ": a refused block names the expected message";
        EXPECT_NE(error.find(wanted_error), std::string::npos) << where << "\n"
                                                               << b.sql << "\nerror: " << error;
        EXPECT_FALSE(error.empty()) << where << ": now answered; make it a query block";
        break;
      case Block::Kind::kQuery:
        ++answered;
        if (wants_error) {
          EXPECT_FALSE(error.empty()) << where << "\n" << b.sql << "\nanswered:\n" << Joined(got);
          EXPECT_NE(error.find(wanted_error), std::string::npos) << where << "\n"
                                                                 << b.sql << "\nerror: " << error;
        } else {
          EXPECT_EQ(error, "") << where << "\n" << b.sql;
          EXPECT_EQ(Joined(got), Joined(b.expected)) << where << "\n" << b.sql;
        }
        break;
    }
  }
  if (refused > 0) {
    std::cout << GetParam() << ": " << answered << " of " << answered + refused
              << " statements answered, " << refused << " refused\n";
  }
}

std::vector<std::string> ScriptFiles() {
  std::vector<std::string> names;
  for (const auto& entry :
       fs::directory_iterator(fs::path(KORIMBA_TEST_SOURCE_DIR) / "tests/db/sql")) {
    if (entry.path().extension() == ".test") names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

INSTANTIATE_TEST_SUITE_P(Files, SqlScriptTest, ::testing::ValuesIn(ScriptFiles()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                           std::string name = fs::path(info.param).stem().string();
                           for (char& c : name) {
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace korimba::testing
