// The operations on Variants that the component's methods use, one named
// function per operation, with the automation rules:
//  - Concat: text forms joined; Null counts as "" unless every operand is
//    Null, which gives Null.
//  - Add: numbers (and dates) add as numbers, texts join, a number and a text
//    add as numbers when the text reads as one (else type mismatch), Null
//    gives Null, Empty gives the other operand.
//  - Compare: numbers by value; texts binary; Empty is 0 or ""; Null is never
//    equal/less/greater; a number ranks below any text. CompareWithLiteral*
//    are the comparisons against a constant written in the program.
//  - ToText refuses Null (invalid use of Null); TextForm is the text form used
//    when a value is spliced or concatenated (Null and Empty give "").
//  - ToI2/ToI4 round halves to even, overflow outside the range, type mismatch
//    for text that does not read as a number, invalid use of Null for Null.
// Failures throw AutomationError. Free functions; any thread.
#ifndef KORIMBA_FRAME_VALUE_OPS_H_
#define KORIMBA_FRAME_VALUE_OPS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "frame/calendar.h"
#include "frame/variant.h"

namespace korimba {

// Text form: Empty/Null -> "", text itself, integers in decimal, doubles with
// at most 15 significant digits (exponent form when very large or small),
// singles with at most 7, dates as FormatDate, Booleans "True"/"False",
// objects fail (type mismatch) unless they have a default value; missing,
// arrays and byte arrays fail with a type mismatch.
std::string TextForm(const Variant& v);
// Conversion to text: as TextForm, but Null raises invalid use of Null.
std::string ToText(const Variant& v);

Variant Concat(const Variant& a, const Variant& b);
Variant Add(const Variant& a, const Variant& b);

enum class Ordering { kLess, kEqual, kGreater, kNull };
// Comparison of two values (see header comment). kNull when either is Null.
Ordering Compare(const Variant& a, const Variant& b);
bool IsEqual(const Variant& a, const Variant& b);    // Compare == kEqual
bool IsLess(const Variant& a, const Variant& b);     // Compare == kLess
bool IsGreater(const Variant& a, const Variant& b);  // Compare == kGreater
// Comparison with a text written in the program: the value's text form is
// compared as text (Empty is ""). Null is never equal.
bool EqualsLiteralText(const Variant& v, std::string_view literal);
// Comparison with a number written in the program: a text value is read as a
// number (type mismatch when it does not read as one). kNull for Null.
Ordering CompareWithLiteralNumber(const Variant& v, double literal);

Variant Trim(const Variant& v);  // blanks (U+0020) only; Null stays Null
bool IsNull(const Variant& v);
// One left-to-right, non-overlapping pass, binary comparison; the inserted
// replacement is never searched again.
std::string ReplaceAll(std::string_view text, std::string_view search,
                       std::string_view replacement);

// Reads text as a number the way conversions do: optional blanks around an
// optional sign, digits with an optional decimal point and exponent.
std::optional<double> ParseNumber(std::string_view text);
// The number as written, without the blanks around it, when `text` reads as
// a number (same syntax as ParseNumber); nullopt otherwise.
std::optional<std::string_view> NumberText(std::string_view text);

int16_t ToI2(const Variant& v);
int32_t ToI4(const Variant& v);
double ToDouble(const Variant& v);
// Text in a date form (see date.h), a date, or a number of days; anything
// else is a type mismatch, Null is invalid use of Null.
Date ToDate(const Variant& v);

}  // namespace korimba

#endif  // KORIMBA_FRAME_VALUE_OPS_H_
