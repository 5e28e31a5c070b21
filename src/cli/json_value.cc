#include "cli/json_value.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <optional>

#include "frame/date.h"
#include "frame/error.h"
#include "frame/safe_array.h"

namespace korimba::cli {
namespace {

[[noreturn]] void Refuse(const std::string& what) {
  throw AutomationError(kErrInvalidCall, "Invalid value: " + what);
}

constexpr size_t kMaxShownChars = 200;

// A value as an error message quotes it: cut short, and never the deep
// recursion of dumping a value nested too deeply.
std::string Shown(const Json& json) {
  if (JsonDepth(json) > kMaxJsonDepth) {
    return "(a value nested more than " + std::to_string(kMaxJsonDepth) + " levels deep)";
  }
  std::string text = json.dump(-1, ' ', false, Json::error_handler_t::replace);
  if (text.size() > kMaxShownChars) text = text.substr(0, kMaxShownChars) + "...";
  return text;
}

// ---- numbers ---------------------------------------------------------------

// Non-finite doubles have no JSON number; they travel as these texts.
Json RealToJson(double x) {
  if (std::isnan(x)) return "nan";
  if (std::isinf(x)) return x > 0 ? "inf" : "-inf";
  return x;
}

// A single as the double with the same shortest decimal form, so that 0.1f is
// written 0.1 rather than 0.10000000149011612.
Json SingleToJson(float x) {
  if (!std::isfinite(x)) return RealToJson(x);
  char buffer[32];
  auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, x);
  (void)ec;
  return std::strtod(std::string(buffer, end).c_str(), nullptr);
}

double RealFromJson(const Json& json, const char* tag) {
  if (json.is_number()) return json.get<double>();
  if (json.is_string()) {
    const std::string& s = json.get_ref<const std::string&>();
    if (s == "inf") return std::numeric_limits<double>::infinity();
    if (s == "-inf") return -std::numeric_limits<double>::infinity();
    if (s == "nan") return std::numeric_limits<double>::quiet_NaN();
  }
  Refuse(std::string(tag) + " needs a number, got " + Shown(json));
}

// The whole number a JSON number holds, when it holds one in int64 range.
std::optional<int64_t> WholeNumber(const Json& json) {
  if (json.is_number_integer() && !json.is_number_unsigned()) return json.get<int64_t>();
  if (json.is_number_unsigned()) {
    uint64_t u = json.get<uint64_t>();
    if (u > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
    return static_cast<int64_t>(u);
  }
  if (json.is_number_float()) {
    double d = json.get<double>();
    if (std::isfinite(d) && d == std::trunc(d) && std::fabs(d) < 9.0e18) {
      return static_cast<int64_t>(d);
    }
  }
  return std::nullopt;
}

Variant PlainNumber(const Json& json) {
  if (std::optional<int64_t> n = WholeNumber(json)) {
    if (*n >= INT16_MIN && *n <= INT16_MAX) return Variant::I2(static_cast<int16_t>(*n));
    if (*n >= INT32_MIN && *n <= INT32_MAX) return Variant::I4(static_cast<int32_t>(*n));
  }
  return Variant::R8(json.get<double>());
}

int64_t IntegerIn(const Json& json, int64_t lo, int64_t hi, const char* tag) {
  std::optional<int64_t> n = json.is_number() ? WholeNumber(json) : std::nullopt;
  if (!n || *n < lo || *n > hi) {
    Refuse(std::string(tag) + " needs a whole number from " + std::to_string(lo) + " to " +
           std::to_string(hi) + ", got " + Shown(json));
  }
  return *n;
}

// ---- dates -----------------------------------------------------------------

std::string DateToText(Date date) {
  CivilDateTime p = SplitDate(date);
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", p.year, p.month, p.day,
                p.hour, p.minute, p.second);
  std::string text = buffer;
  if (p.millisecond != 0) {
    std::snprintf(buffer, sizeof buffer, ".%03d", p.millisecond);
    text += buffer;
  }
  return text;
}

// "yyyy-mm-dd hh:mm:ss" with an optional ".fff"; other date texts the
// component reads ("2024-3-1", "2024-03-05") are accepted as well.
Date DateFromText(const std::string& text) {
  CivilDateTime p;
  int consumed = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%n", &p.year, &p.month, &p.day, &p.hour,
                  &p.minute, &p.second, &consumed) == 6) {
    std::string_view rest = std::string_view(text).substr(consumed);
    bool ok = rest.empty();
    if (rest.size() == 4 && rest[0] == '.') {
      auto [ptr, ec] = std::from_chars(rest.data() + 1, rest.data() + 4, p.millisecond);
      ok = ec == std::errc() && ptr == rest.data() + 4;
    }
    if (ok) {
      if (std::optional<Date> d = MakeDate(p)) return *d;
    }
    Refuse("$date \"" + text + "\" is not a valid date and time");
  }
  if (std::optional<Date> d = ParseDateText(text)) return *d;
  Refuse("$date \"" + text + "\" is not a date (expected yyyy-mm-dd hh:mm:ss[.fff])");
}

// ---- arrays ----------------------------------------------------------------

Json CellsToJson(const SafeArray& array, size_t dim, std::vector<int32_t>& index) {
  Json list = Json::array();
  const Bound& bound = array.bounds()[dim];
  for (int32_t i = bound.lower; i <= bound.upper; ++i) {
    index[dim] = i;
    list.push_back(dim + 1 == index.size() ? VariantToJson(array.at(index))
                                           : CellsToJson(array, dim + 1, index));
  }
  return list;
}

Json ArrayToJson(const SafeArray* array) {
  Json box = Json::object();
  if (array == nullptr) {
    box["$array"] = nullptr;
    return box;
  }
  Json bounds = Json::array();
  for (const Bound& b : array->bounds()) bounds.push_back({b.lower, b.upper});
  std::vector<int32_t> index(array->bounds().size());
  Json cells = index.empty() ? Json::array() : CellsToJson(*array, 0, index);
  box["$array"] = {{"bounds", std::move(bounds)}, {"cells", std::move(cells)}};
  return box;
}

// Checks that the nesting of `cells` matches the bounds before anything is
// allocated, so that bounds claiming a huge array cost nothing.
void CheckShape(const Json& cells, const std::vector<Bound>& bounds, size_t dim) {
  // In 64 bits: bounds such as [0, 2147483647] overflow Bound::count().
  const int64_t count = int64_t{bounds[dim].upper} - bounds[dim].lower + 1;
  if (!cells.is_array() || static_cast<int64_t>(cells.size()) != count) {
    Refuse("$array cells at depth " + std::to_string(dim + 1) + " should be a list of " +
           std::to_string(count) + " entries");
  }
  if (dim + 1 < bounds.size()) {
    for (const Json& inner : cells) CheckShape(inner, bounds, dim + 1);
  }
}

void FillCells(const Json& cells, SafeArray& array, size_t dim, std::vector<int32_t>& index) {
  int32_t i = array.bounds()[dim].lower;
  for (const Json& inner : cells) {
    index[dim] = i++;
    if (dim + 1 == index.size()) {
      array.at(index) = JsonToVariant(inner);
    } else {
      FillCells(inner, array, dim + 1, index);
    }
  }
}

// Arrays held in the cells of arrays, counted so that a hostile line cannot
// exhaust the stack.
constexpr int kMaxArrayNesting = 32;
thread_local int array_nesting = 0;

struct NestingGuard {
  NestingGuard() {
    if (++array_nesting > kMaxArrayNesting) {
      --array_nesting;
      Refuse("arrays nested more than " + std::to_string(kMaxArrayNesting) + " deep");
    }
  }
  ~NestingGuard() { --array_nesting; }
  NestingGuard(const NestingGuard&) = delete;
  NestingGuard& operator=(const NestingGuard&) = delete;
};

Variant ArrayFromJson(const Json& body) {
  if (body.is_null()) return Variant::NoArray();
  NestingGuard guard;
  if (!body.is_object() || !body.contains("bounds") || !body.contains("cells") ||
      body.size() != 2) {
    Refuse("$array needs null or {\"bounds\": [[lo, hi], ...], \"cells\": [...]}");
  }
  const Json& bounds_json = body["bounds"];
  if (!bounds_json.is_array() || bounds_json.empty()) {
    Refuse("$array bounds must be a non-empty list of [lo, hi] pairs");
  }
  std::vector<Bound> bounds;
  for (const Json& pair : bounds_json) {
    if (!pair.is_array() || pair.size() != 2)
      Refuse("$array bound " + Shown(pair) + " is no [lo, hi] pair");
    Bound b{static_cast<int32_t>(IntegerIn(pair[0], INT32_MIN, INT32_MAX, "$array bound")),
            static_cast<int32_t>(IntegerIn(pair[1], INT32_MIN, INT32_MAX, "$array bound"))};
    const int64_t count = int64_t{b.upper} - b.lower + 1;
    if (count < 0) Refuse("$array bound " + Shown(pair) + " has its upper bound below lower - 1");
    // An array dimension counts its cells in 32 bits.
    if (count > INT32_MAX) Refuse("$array bound " + Shown(pair) + " spans too many cells");
    bounds.push_back(b);
  }
  CheckShape(body["cells"], bounds, 0);
  auto array = std::make_shared<SafeArray>(bounds);
  std::vector<int32_t> index(bounds.size());
  FillCells(body["cells"], *array, 0, index);
  return Variant::Array(std::move(array));
}

// ---- tagged forms ----------------------------------------------------------

Variant TaggedFromJson(const Json& json) {
  auto only = [&](size_t fields, const char* tag) {
    if (json.size() != fields)
      Refuse(std::string(tag) + " form has unexpected fields: " + Shown(json));
  };
  if (json.contains("$empty") || json.contains("$missing")) {
    const char* tag = json.contains("$empty") ? "$empty" : "$missing";
    only(1, tag);
    if (json[tag] != true) Refuse(std::string(tag) + " must be true");
    return json.contains("$empty") ? Variant() : Variant::Missing();
  }
  if (json.contains("$i2")) {
    only(1, "$i2");
    return Variant::I2(static_cast<int16_t>(IntegerIn(json["$i2"], INT16_MIN, INT16_MAX, "$i2")));
  }
  if (json.contains("$i4")) {
    only(1, "$i4");
    return Variant::I4(static_cast<int32_t>(IntegerIn(json["$i4"], INT32_MIN, INT32_MAX, "$i4")));
  }
  if (json.contains("$r4")) {
    only(1, "$r4");
    return Variant::R4(static_cast<float>(RealFromJson(json["$r4"], "$r4")));
  }
  if (json.contains("$r8")) {
    only(1, "$r8");
    return Variant::R8(RealFromJson(json["$r8"], "$r8"));
  }
  if (json.contains("$date")) {
    only(1, "$date");
    if (!json["$date"].is_string()) Refuse("$date needs a text");
    return Variant::FromDate(DateFromText(json["$date"].get<std::string>()));
  }
  if (json.contains("$bytes")) {
    ByteArray bytes;
    if (json.contains("lbound")) {
      only(2, "$bytes");
      bytes.lbound =
          static_cast<int32_t>(IntegerIn(json["lbound"], INT32_MIN, INT32_MAX, "lbound"));
    } else {
      only(1, "$bytes");
    }
    if (!json["$bytes"].is_string() ||
        !DecodeBase64(json["$bytes"].get_ref<const std::string&>(), &bytes.bytes)) {
      Refuse("$bytes needs base64 text");
    }
    return Variant::Bytes(std::move(bytes));
  }
  if (json.contains("$array")) {
    only(1, "$array");
    return ArrayFromJson(json["$array"]);
  }
  if (json.contains("$object")) Refuse("objects cannot be passed as values");
  Refuse("unknown value form " + Shown(json));
}

constexpr char kBase64Alphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

size_t JsonDepth(const Json& json) {
  // Depth-first with a stack of its own: the depth asked about may be far
  // beyond what recursion survives.
  std::vector<std::pair<const Json*, size_t>> stack{{&json, 1}};
  size_t deepest = 0;
  while (!stack.empty()) {
    auto [value, depth] = stack.back();
    stack.pop_back();
    if (!value->is_structured()) {
      deepest = std::max(deepest, depth - 1);
      continue;
    }
    deepest = std::max(deepest, depth);
    for (const Json& inner : *value) stack.push_back({&inner, depth + 1});
  }
  return deepest;
}

Json ParseJsonLine(std::string_view text) {
  auto guard = [](int depth, Json::parse_event_t event, Json&) {
    if ((event == Json::parse_event_t::object_start || event == Json::parse_event_t::array_start) &&
        static_cast<size_t>(depth) >= kMaxJsonDepth) {
      throw JsonTooDeep("the request nests lists and objects more than " +
                        std::to_string(kMaxJsonDepth) + " levels deep");
    }
    return true;
  };
  return Json::parse(text, guard);
}

Json VariantToJson(const Variant& value) {
  auto tagged = [](const char* tag, Json v) {
    Json out = Json::object();
    out[tag] = std::move(v);
    return out;
  };
  switch (value.kind()) {
    case VarKind::kEmpty:
      return tagged("$empty", true);
    case VarKind::kMissing:
      return tagged("$missing", true);
    case VarKind::kNull:
      return nullptr;
    case VarKind::kBool:
      return *value.boolean();
    case VarKind::kText:
      return *value.text();
    case VarKind::kI2:
      return tagged("$i2", *value.i2());
    case VarKind::kI4:
      return tagged("$i4", *value.i4());
    case VarKind::kR4:
      return tagged("$r4", SingleToJson(std::get<float>(value.storage())));
    case VarKind::kR8:
      return tagged("$r8", RealToJson(std::get<double>(value.storage())));
    case VarKind::kDate:
      return tagged("$date", DateToText(*value.date()));
    case VarKind::kBytes: {
      Json out = tagged("$bytes", EncodeBase64(value.bytes()->bytes));
      out["lbound"] = value.bytes()->lbound;
      return out;
    }
    case VarKind::kArray:
      return ArrayToJson(value.array());
    case VarKind::kObject: {
      const ObjectRef& object = *value.object();
      return tagged("$object", object ? std::string(object->KindName()) : std::string("Nothing"));
    }
  }
  return nullptr;
}

Variant JsonToVariant(const Json& json) {
  switch (json.type()) {
    case Json::value_t::null:
      return Variant::Null();
    case Json::value_t::boolean:
      return Variant::Bool(json.get<bool>());
    case Json::value_t::string:
      return Variant::Text(json.get<std::string>());
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float:
      return PlainNumber(json);
    case Json::value_t::object:
      return TaggedFromJson(json);
    default:
      Refuse("a JSON list is no value; arrays travel as {\"$array\": ...}");
  }
}

std::string EncodeBase64(const std::vector<uint8_t>& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t chunk = bytes[i] << 16;
    if (i + 1 < bytes.size()) chunk |= bytes[i + 1] << 8;
    if (i + 2 < bytes.size()) chunk |= bytes[i + 2];
    out += kBase64Alphabet[(chunk >> 18) & 63];
    out += kBase64Alphabet[(chunk >> 12) & 63];
    out += i + 1 < bytes.size() ? kBase64Alphabet[(chunk >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kBase64Alphabet[chunk & 63] : '=';
  }
  return out;
}

bool DecodeBase64(std::string_view text, std::vector<uint8_t>* bytes) {
  bytes->clear();
  if (text.size() % 4 != 0) return false;
  for (size_t i = 0; i < text.size(); i += 4) {
    uint32_t chunk = 0;
    int padding = 0;
    for (size_t j = 0; j < 4; ++j) {
      char c = text[i + j];
      int value;
      if (c == '=') {
        // Padding only in the last group, only at its end.
        if (i + 4 != text.size() || j < 2) return false;
        ++padding;
        value = 0;
      } else {
        if (padding > 0) return false;
        const char* at = std::char_traits<char>::find(kBase64Alphabet, 64, c);
        if (at == nullptr) return false;
        value = static_cast<int>(at - kBase64Alphabet);
      }
      chunk = (chunk << 6) | static_cast<uint32_t>(value);
    }
    bytes->push_back(static_cast<uint8_t>(chunk >> 16));
    if (padding < 2) bytes->push_back(static_cast<uint8_t>(chunk >> 8));
    if (padding < 1) bytes->push_back(static_cast<uint8_t>(chunk));
  }
  return true;
}

}  // namespace korimba::cli
