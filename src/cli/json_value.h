// Conversion between Variants and the JSON values of the script host's
// protocol. Plain JSON covers the kinds that JSON has (null is Null, true and
// false are Boolean, a string is text, a number is a 16-bit integer when it is
// whole and fits, else a 32-bit integer when whole and fits, else a double);
// every other kind has a tagged form, accepted on input and always used on
// output:
//   {"$empty": true}  {"$missing": true}  {"$i2": n}  {"$i4": n}
//   {"$r4": x}  {"$r8": x}  (x may also be "inf", "-inf" or "nan")
//   {"$date": "2024-03-05 09:07:00"}  (".fff" only when milliseconds != 0)
//   {"$bytes": "<base64>", "lbound": n}
//   {"$array": {"bounds": [[lo, hi], ...], "cells": [...]}}  cells nested by
//     the first index, then the second, ...;  {"$array": null} is no array
//   {"$object": "<kind>"}  (output only)
// Free functions; any thread.
#ifndef KORIMBA_CLI_JSON_VALUE_H_
#define KORIMBA_CLI_JSON_VALUE_H_

#include <cstdint>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "frame/variant.h"

namespace korimba::cli {

// Insertion-ordered, so that answers read {"ok": ..., "result": ...}.
using Json = nlohmann::ordered_json;

// How deeply lists and objects may nest in a request: far beyond what any
// value needs (arrays of Variants nest once per dimension), far below what
// recursion over the value could survive.
inline constexpr size_t kMaxJsonDepth = 100;

class JsonTooDeep : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Parses one JSON text, refusing with JsonTooDeep as soon as it nests more
// than kMaxJsonDepth levels; other faults raise nlohmann's parse_error.
Json ParseJsonLine(std::string_view text);
// The nesting depth of a value (a scalar is 0, [] and [1] are 1), found
// without recursion.
size_t JsonDepth(const Json& json);

// The JSON form of a value.
Json VariantToJson(const Variant& value);
// The value a JSON form stands for. A form that is not one of the above (an
// unknown tag, a wrong field type, cells that do not match the bounds, bad
// base64, a malformed date) raises AutomationError(kErrInvalidCall) naming
// the problem.
Variant JsonToVariant(const Json& json);

// Standard base64 (RFC 4648, with padding); decoding refuses anything else.
std::string EncodeBase64(const std::vector<uint8_t>& bytes);
bool DecodeBase64(std::string_view text, std::vector<uint8_t>* bytes);

}  // namespace korimba::cli

#endif  // KORIMBA_CLI_JSON_VALUE_H_
