#include "frame/statement.h"

#include <algorithm>
#include <cmath>

#include "frame/error.h"
#include "frame/value_ops.h"

namespace korimba {
namespace {

// Applies `pass` to every stretch of `statement` outside quoted values, copying
// the quoted values ('...' with '' as an apostrophe inside) unchanged. An
// unterminated quote runs to the end of the text.
template <typename Pass>
std::string OutsideQuotes(std::string_view statement, Pass pass) {
  std::string out;
  out.reserve(statement.size() + 16);
  size_t pos = 0;
  while (pos < statement.size()) {
    const size_t open = statement.find('\'', pos);
    out += pass(statement.substr(pos, open == std::string_view::npos ? open : open - pos));
    if (open == std::string_view::npos) break;
    // Find the closing apostrophe, stepping over doubled ones.
    size_t close = open + 1;
    while (true) {
      close = statement.find('\'', close);
      if (close == std::string_view::npos || close + 1 >= statement.size() ||
          statement[close + 1] != '\'') {
        break;
      }
      close += 2;
    }
    const size_t end = close == std::string_view::npos ? statement.size() : close + 1;
    out.append(statement, open, end - open);
    pos = end;
  }
  return out;
}

std::string ReplaceOutsideQuotes(std::string_view statement, std::string_view search,
                                 std::string_view replacement) {
  return OutsideQuotes(statement,
                       [&](std::string_view run) { return ReplaceAll(run, search, replacement); });
}

}  // namespace

StatementBuilder& StatementBuilder::operator<<(Lit piece) {
  // Statements are a few hundred characters built from several pieces: one
  // allocation up front instead of one per growth step.
  if (text_.empty()) text_.reserve(std::max<size_t>(256, 2 * piece.text.size()));
  text_ += piece.text;
  return *this;
}

StatementBuilder& StatementBuilder::operator<<(Quoted piece) {
  // A text value is read in place, and every value is appended as it is
  // scanned: no copies of the value on the way into the statement.
  auto append_doubled = [this](std::string_view value) {
    for (size_t pos = 0;;) {
      const size_t quote = value.find('\'', pos);
      text_.append(value, pos, quote == std::string_view::npos ? quote : quote + 1 - pos);
      if (quote == std::string_view::npos) return;
      text_ += '\'';
      pos = quote + 1;
    }
  };
  if (const std::string* text = piece.value.text()) {
    append_doubled(*text);
  } else {
    append_doubled(TextForm(piece.value));
  }
  return *this;
}

StatementBuilder& StatementBuilder::operator<<(Number piece) {
  const Variant& v = piece.value;
  switch (v.kind()) {
    case VarKind::kEmpty:
    case VarKind::kNull:
      return *this;
    case VarKind::kI2:
    case VarKind::kI4:
    case VarKind::kR4:
    case VarKind::kR8: {
      const std::string text = TextForm(v);
      if (!std::isfinite(ToDouble(v))) ThrowOverflow("no number to write: " + text);
      text_ += text;
      return *this;
    }
    case VarKind::kText: {
      // The empty text is an empty value, which the null rewrites make null.
      // Blank text is not: it reads as no number, so it is refused like any
      // other text that is not one, rather than silently becoming null.
      if (v.text()->empty()) return *this;
      // Only checked: the text goes in as the page passed it, blanks
      // around the number included (" 1" gives "MsgID= 1").
      const std::optional<std::string_view> number = NumberText(*v.text());
      if (!number) ThrowTypeMismatch("not a number: " + v.DebugString());
      if (!std::isfinite(*ParseNumber(*number))) ThrowOverflow("number too large: " + *v.text());
      text_ += *v.text();
      return *this;
    }
    default:
      ThrowTypeMismatch("not a number: " + v.DebugString());
  }
}

StatementBuilder& StatementBuilder::operator<<(Int piece) {
  text_ += std::to_string(piece.value);
  return *this;
}

std::string StatementBuilder::InsertText() const { return InsertNullRewrite(text_); }
std::string StatementBuilder::UpdateText() const { return UpdateNullRewrite(text_); }

std::string InsertNullRewrite(std::string_view statement) {
  // Repeated until no ",," is left, so that ",,," becomes ",null,null,".
  std::string text = OutsideQuotes(statement, [](std::string_view run) {
    std::string s(run);
    while (s.find(",,") != std::string::npos) s = ReplaceAll(s, ",,", ",null,");
    return s;
  });
  text = ReplaceOutsideQuotes(text, "(,", "(null,");
  return ReplaceOutsideQuotes(text, ",)", ",null)");
}

std::string UpdateNullRewrite(std::string_view statement) {
  const std::string text = ReplaceOutsideQuotes(statement, "=,", "=null,");
  return ReplaceOutsideQuotes(text, "= where", "=null where");
}

}  // namespace korimba
