#include "db/sql_lexer.h"

#include <cstdint>
#include <cstring>

#include "db/translator.h"
#include "frame/error.h"

namespace korimba::sql {
namespace {

constexpr bool IsIdentStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '@' || c == '#' ||
         c >= 0x80;
}
constexpr bool IsIdentPart(unsigned char c) {
  return IsIdentStart(c) || (c >= '0' && c <= '9') || c == '$';
}
constexpr bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
bool IsSpace(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}
constexpr bool IsMarker(unsigned char c) { return c >= 0x01 && c <= 0x04; }

// Character classes for the shaping scan, which sees every character of
// every statement: one table lookup instead of a chain of comparisons.
constexpr uint8_t kClassStart = 1;    // starts a name
constexpr uint8_t kClassPart = 2;     // continues a name
constexpr uint8_t kClassSpecial = 4;  // may start a literal, a quoted name or a comment
struct CharClasses {
  uint8_t of[256] = {};
  constexpr CharClasses() {
    for (int c = 0; c < 256; ++c) {
      const auto u = static_cast<unsigned char>(c);
      if (IsIdentStart(u)) of[c] |= kClassStart;
      if (IsIdentPart(u)) of[c] |= kClassPart;
      if (IsDigit(u) || IsMarker(u) || u == '\'' || u == '.' || u == '[' || u == '"' || u == '-' ||
          u == '/') {
        of[c] |= kClassSpecial;
      }
    }
  }
};
constexpr CharClasses kClasses;
uint8_t ClassOf(char c) { return kClasses.of[static_cast<unsigned char>(c)]; }

[[noreturn]] void Unterminated(std::string_view what) {
  ThrowDatabase("Unclosed " + std::string(what) + " in the statement.");
}

// Skips a comment starting at text[i] ("--" or "/*"); returns the index after it.
size_t SkipComment(std::string_view text, size_t i) {
  if (text[i] == '-') {
    while (i < text.size() && text[i] != '\n') ++i;
    return i;
  }
  int depth = 0;  // block comments nest
  while (i + 1 < text.size()) {
    if (text[i] == '/' && text[i + 1] == '*') {
      ++depth;
      i += 2;
    } else if (text[i] == '*' && text[i + 1] == '/') {
      i += 2;
      if (--depth == 0) return i;
    } else {
      ++i;
    }
  }
  Unterminated("comment");
}

// Index after a closing `close` starting inside a quoted part that began
// at `i` (the opening character); a doubled closer is part of the text.
size_t SkipQuoted(std::string_view text, size_t i, char close, std::string_view what) {
  ++i;
  while (true) {
    size_t j = text.find(close, i);
    if (j == std::string_view::npos) Unterminated(what);
    if (j + 1 < text.size() && text[j + 1] == close) {
      i = j + 2;
      continue;
    }
    return j + 1;
  }
}

}  // namespace

void ShapeStatement(std::string_view text, ShapedStatement& out) {
  // The key is never longer than the text (markers and the blank for a
  // comment replace at least as many characters), so it is written in place
  // and cut to its length at the end.
  out.key.resize(text.size());
  char* w = out.key.data();
  auto put = [&w](char ch) { *w++ = ch; };
  auto put_text = [&w](std::string_view part) {
    std::memcpy(w, part.data(), part.size());
    w += part.size();
  };
  size_t count = 0;
  auto next_literal = [&]() -> Literal& {
    if (count == out.literals.size()) out.literals.emplace_back();
    Literal& lit = out.literals[count++];
    lit.text.clear();
    return lit;
  };
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    const unsigned char c = text[i];
    const uint8_t cls = ClassOf(text[i]);
    if ((cls & (kClassStart | kClassSpecial)) == 0) {
      // Blanks, operators and punctuation go over as they are, a run at a time.
      size_t j = i + 1;
      while (j < n && (ClassOf(text[j]) & (kClassStart | kClassSpecial)) == 0) ++j;
      put_text(text.substr(i, j - i));
      i = j;
    } else if (cls & kClassStart) {
      size_t j = i + 1;
      while (j < n && (ClassOf(text[j]) & kClassPart)) ++j;
      // N'...' is a Unicode string literal: the N is a prefix, not a name.
      if (j == i + 1 && (c == 'N' || c == 'n') && j < n && text[j] == '\'') {
        size_t end = SkipQuoted(text, j, '\'', "quotation mark");
        Literal& lit = next_literal();
        lit.kind = Literal::Kind::kNString;
        for (size_t k = j + 1; k + 1 < end; ++k) {
          lit.text.push_back(text[k]);
          if (text[k] == '\'') ++k;
        }
        put(kStringMarker);
        i = end;
        continue;
      }
      put_text(text.substr(i, j - i));
      i = j;
    } else if (c == '\'') {
      size_t end = SkipQuoted(text, i, '\'', "quotation mark");
      Literal& lit = next_literal();
      lit.kind = Literal::Kind::kString;
      for (size_t k = i + 1; k + 1 < end; ++k) {
        lit.text.push_back(text[k]);
        if (text[k] == '\'') ++k;
      }
      put(kStringMarker);
      i = end;
    } else if (IsDigit(c) || (c == '.' && i + 1 < n && IsDigit(text[i + 1]))) {
      if (c == '0' && i + 1 < n && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        ThrowDatabase("Binary literals (0x...) are not supported by the embedded database.");
      }
      size_t j = i;
      Literal::Kind kind = Literal::Kind::kInteger;
      while (j < n && IsDigit(text[j])) ++j;
      if (j < n && text[j] == '.') {
        kind = Literal::Kind::kDecimal;
        ++j;
        while (j < n && IsDigit(text[j])) ++j;
      }
      if (j + 1 < n && (text[j] == 'e' || text[j] == 'E') &&
          (IsDigit(text[j + 1]) ||
           ((text[j + 1] == '+' || text[j + 1] == '-') && j + 2 < n && IsDigit(text[j + 2])))) {
        kind = Literal::Kind::kFloat;
        j += 2;
        while (j < n && IsDigit(text[j])) ++j;
      }
      Literal& lit = next_literal();
      lit.kind = kind;
      lit.text.assign(text.substr(i, j - i));
      put(kind == Literal::Kind::kInteger   ? kIntegerMarker
          : kind == Literal::Kind::kDecimal ? kDecimalMarker
                                            : kFloatMarker);
      i = j;
    } else if (c == '[') {
      size_t end = SkipQuoted(text, i, ']', "bracketed name");
      put_text(text.substr(i, end - i));
      i = end;
    } else if (c == '"') {
      size_t end = SkipQuoted(text, i, '"', "quoted name");
      put_text(text.substr(i, end - i));
      i = end;
    } else if ((c == '-' && i + 1 < n && text[i + 1] == '-') ||
               (c == '/' && i + 1 < n && text[i + 1] == '*')) {
      i = SkipComment(text, i);
      put(' ');
    } else if (IsMarker(c)) {
      ThrowDatabase("Invalid character in the statement.");
    } else {
      put(static_cast<char>(c));
      ++i;
    }
  }
  out.key.resize(static_cast<size_t>(w - out.key.data()));
  out.literals.resize(count);
}

std::vector<Token> TokenizeKey(std::string_view key) {
  std::vector<Token> tokens;
  int literal_count = 0;
  size_t i = 0;
  const size_t n = key.size();
  while (i < n) {
    const unsigned char c = key[i];
    Token t;
    t.offset = i;
    if (IsSpace(c)) {
      ++i;
      continue;
    }
    if (IsMarker(c)) {
      t.kind = TokenKind::kLiteral;
      t.marker = static_cast<char>(c);
      t.literal_index = literal_count++;
      ++i;
    } else if (IsIdentStart(c)) {
      size_t j = i + 1;
      while (j < n && IsIdentPart(key[j])) ++j;
      t.kind = TokenKind::kIdent;
      t.text.assign(key.substr(i, j - i));
      i = j;
    } else if (c == '[' || c == '"') {
      const char close = c == '[' ? ']' : '"';
      size_t end = SkipQuoted(key, i, close, c == '[' ? "bracketed name" : "quoted name");
      t.kind = TokenKind::kQuotedIdent;
      for (size_t k = i + 1; k + 1 < end; ++k) {
        t.text.push_back(key[k]);
        if (key[k] == close) ++k;
      }
      i = end;
    } else {
      t.kind = TokenKind::kOp;
      std::string_view two = key.substr(i, 2);
      if (two == "<>" || two == "!=" || two == "<=" || two == ">=" || two == "!<" || two == "!>") {
        t.text.assign(two);
        i += 2;
      } else if (std::string_view("(),.;*=<>+-/%").find(static_cast<char>(c)) !=
                 std::string_view::npos) {
        t.text.assign(1, static_cast<char>(c));
        ++i;
      } else {
        ThrowDatabase("Incorrect syntax near '" + std::string(1, static_cast<char>(c)) + "'.");
      }
    }
    tokens.push_back(std::move(t));
  }
  Token end;
  end.offset = n;
  tokens.push_back(std::move(end));
  return tokens;
}

int64_t IntegerLiteralValue(std::string_view digits) {
  int64_t value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') continue;
    // Checked before the multiplication, so the value never overflows.
    if (value >= kIntegerLiteralCap / 10) return kIntegerLiteralCap;
    value = value * 10 + (c - '0');
  }
  return value;
}

}  // namespace korimba::sql
