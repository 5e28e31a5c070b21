// StatementBuilder makes SQL statement text from typed pieces, the only way
// the component builds statements:
//  - Lit: a literal piece written in the program; it carries every apostrophe
//    and blank of the statement.
//  - Quoted: a value spliced between the apostrophes of the literal pieces
//    around it: its text form (Null and Empty give ""), with every apostrophe
//    doubled so that O'Brien is stored as O'Brien.
//  - Number: a value spliced without quotes (ids, person ids, codes). It must
//    be Empty, Null, the empty text (all three spliced as nothing), a number,
//    or text that reads as a number (blanks around it allowed, and spliced
//    with the text unchanged); anything else
//    ("7 or 1=1", blank text, True, a date) is refused with a type mismatch,
//    so a call builds all its statements before it runs the first one.
//  - Int: an integer the component already holds, in decimal.
// The insert and update null rewrites turn empty numeric values into null,
// looking only at the text outside quoted values; the first insert pass is
// repeated until no ",," is left, so ",,," becomes ",null,null,".
// A builder is a plain value used by one call on one thread.
#ifndef KORIMBA_FRAME_STATEMENT_H_
#define KORIMBA_FRAME_STATEMENT_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "frame/variant.h"

namespace korimba {

struct Lit {
  std::string_view text;
};
struct Quoted {
  const Variant& value;
};
struct Number {
  const Variant& value;
};
struct Int {
  int64_t value;
};

class StatementBuilder {
 public:
  StatementBuilder() = default;

  StatementBuilder& operator<<(Lit piece);
  StatementBuilder& operator<<(Quoted piece);
  StatementBuilder& operator<<(Number piece);
  StatementBuilder& operator<<(Int piece);

  // The statement as built.
  const std::string& text() const { return text_; }
  // The statement after the insert null rewrite.
  std::string InsertText() const;
  // The statement after the update null rewrite.
  std::string UpdateText() const;

 private:
  std::string text_;
};

// The rewrites themselves, on any statement text (quoted values skipped).
std::string InsertNullRewrite(std::string_view statement);
std::string UpdateNullRewrite(std::string_view statement);

}  // namespace korimba

#endif  // KORIMBA_FRAME_STATEMENT_H_
