// The tokenizer of the SQL Server dialect subset, in two forms:
//  - ShapeStatement (translator.h) scans statement text once, copies it into
//    a shape key with every literal replaced by a one-byte marker, and keeps
//    the literals' values. It runs on every call, so it is a single pass
//    with no allocation once the output's buffers have grown.
//  - Lexer reads a shape key back as tokens for the parser: markers become
//    literal tokens numbered in order.
// Plain values; any thread.
#ifndef KORIMBA_DB_SQL_LEXER_H_
#define KORIMBA_DB_SQL_LEXER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "db/sql_types.h"

namespace korimba::sql {

// Marker bytes that stand for literals in a shape key.
inline constexpr char kStringMarker = '\x01';
inline constexpr char kIntegerMarker = '\x02';
inline constexpr char kDecimalMarker = '\x03';
inline constexpr char kFloatMarker = '\x04';

enum class TokenKind {
  kEnd,
  kIdent,        // a regular identifier or keyword (compare without regard to case)
  kQuotedIdent,  // [name] or "name": never a keyword; text without the quotes
  kLiteral,      // a marker: literal_index says which literal
  kOp,           // punctuation and operators: ( ) , . ; * = <> != < <= > >= !< !> + - / %
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  std::string text;  // identifier (unquoted) or operator
  int literal_index = -1;
  char marker = 0;
  size_t offset = 0;  // byte offset in the key, for messages
};

// Splits a shape key into tokens (ending with one kEnd token). Throws
// AutomationError(kErrDatabase) on a character that starts no token.
std::vector<Token> TokenizeKey(std::string_view key);

// The value of an integer literal's digits, capped at kIntegerLiteralCap so
// that a literal too long for any integer (a type length, a style, an ORDER BY
// position) is judged "out of range" by its reader instead of overflowing.
inline constexpr int64_t kIntegerLiteralCap = 1'000'000'000'000'000'000;
int64_t IntegerLiteralValue(std::string_view digits);

}  // namespace korimba::sql

#endif  // KORIMBA_DB_SQL_LEXER_H_
