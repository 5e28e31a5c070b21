#include "db/sql_variables.h"

#include <charconv>
#include <cmath>
#include <string>
#include <variant>

#include "db/sql_lexer.h"

namespace korimba::sql {
namespace {

void AppendLiteral(Literal::Kind kind, std::string text, ShapedStatement& out) {
  out.key.push_back(kind == Literal::Kind::kInteger   ? kIntegerMarker
                    : kind == Literal::Kind::kDecimal ? kDecimalMarker
                    : kind == Literal::Kind::kFloat   ? kFloatMarker
                                                      : kStringMarker);
  out.literals.push_back(Literal{kind, std::move(text)});
}

int64_t AsInteger(const BoundValue& value) {
  if (const auto* i = std::get_if<int64_t>(&value)) return *i;
  if (const auto* d = std::get_if<double>(&value)) return static_cast<int64_t>(std::llround(*d));
  return 0;
}

double AsDouble(const BoundValue& value) {
  if (const auto* d = std::get_if<double>(&value)) return *d;
  if (const auto* i = std::get_if<int64_t>(&value)) return static_cast<double>(*i);
  return 0;
}

// The digits of |d|: the shortest text that reads back as the same double,
// or, with a scale, that many decimals.
std::string Digits(double d, int scale) {
  char buffer[400];
  const auto result = scale < 0 ? std::to_chars(buffer, buffer + sizeof buffer, std::fabs(d))
                                : std::to_chars(buffer, buffer + sizeof buffer, std::fabs(d),
                                                std::chars_format::fixed, scale);
  return std::string(buffer, result.ptr);
}

}  // namespace

void AppendCastEnd(const TypeName& type, ShapedStatement& out) {
  out.key += " AS ";
  out.key += type.name;
  if (type.type == SqlType::kDecimal) {
    out.key += "(";
    AppendLiteral(Literal::Kind::kInteger, std::to_string(type.length), out);
    out.key += ",";
    AppendLiteral(Literal::Kind::kInteger, std::to_string(type.scale), out);
    out.key += ")";
  } else if (type.type == SqlType::kTime) {
    out.key += "(";
    AppendLiteral(Literal::Kind::kInteger, std::to_string(type.length), out);
    out.key += ")";
  } else if (type.type == SqlType::kText && type.length == 0) {
    out.key += "(max)";
  } else if (type.type == SqlType::kText && type.length > 0) {
    out.key += "(";
    AppendLiteral(Literal::Kind::kInteger, std::to_string(type.length), out);
    out.key += ")";
  }
  out.key += ")";
}

void AppendVariableValue(const TypeName& type, const BoundValue& value, ShapedStatement& out) {
  if (std::holds_alternative<std::monostate>(value)) {
    // A text's Null is bare, as a text's value is: the translator converts
    // a text expression into fewer types than a text literal.
    if (type.type == SqlType::kText) {
      out.key += "NULL";
      return;
    }
    out.key += "CAST(NULL";
    AppendCastEnd(type, out);
    return;
  }
  switch (type.type) {
    case SqlType::kInt: {
      // A negative number is a minus and a literal, which alone would be
      // typed by the literal (2147483648 is a decimal).
      const int64_t v = AsInteger(value);
      if (v >= 0) {
        AppendLiteral(Literal::Kind::kInteger, std::to_string(v), out);
        return;
      }
      out.key += "CAST(-";
      AppendLiteral(Literal::Kind::kInteger, std::to_string(-v), out);
      break;
    }
    case SqlType::kSmallInt:
    case SqlType::kBit: {
      const int64_t v = AsInteger(value);
      out.key += v < 0 ? "CAST(-" : "CAST(";
      AppendLiteral(Literal::Kind::kInteger, std::to_string(v < 0 ? -v : v), out);
      break;
    }
    case SqlType::kFloat:
    case SqlType::kReal:
    case SqlType::kDecimal: {
      const double d = AsDouble(value);
      out.key += d < 0 ? "CAST(-" : "CAST(";
      if (type.type == SqlType::kDecimal) {
        AppendLiteral(Literal::Kind::kDecimal, Digits(d, type.scale), out);
      } else {
        AppendLiteral(Literal::Kind::kFloat, Digits(d, -1), out);
      }
      break;
    }
    case SqlType::kText: {
      const auto* s = std::get_if<std::string>(&value);
      const bool unicode = !type.name.empty() && type.name[0] == 'n';
      AppendLiteral(unicode ? Literal::Kind::kNString : Literal::Kind::kString,
                    s ? *s : Digits(AsDouble(value), -1), out);
      return;
    }
    default: {
      const auto* s = std::get_if<std::string>(&value);
      out.key += "CAST(";
      AppendLiteral(Literal::Kind::kString, s ? *s : std::string(), out);
      break;
    }
  }
  AppendCastEnd(type, out);
}

}  // namespace korimba::sql
