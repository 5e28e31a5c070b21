// Variant is the value that carries its own kind: the currency of every call
// by name, of every grid cell and of every database value. The kinds are
// exactly those the component's boundary needs: Empty, Null, 16- and 32-bit
// integers, single and double floating point, date, text (UTF-8), Boolean,
// object, array of Variants (possibly "no array"), array of bytes, and the
// missing-argument marker.
//
// Arrays have value semantics, shared until written: copying a Variant that
// holds an array shares the cells, and MutableArray() copies them first when
// another Variant still shares them. Byte arrays are immutable once made.
// A Variant is a plain value; distinct Variants may be used on distinct
// threads. The operations on values (concatenation, comparison, conversions,
// text form...) live in value_ops.h.
#ifndef KORIMBA_FRAME_VARIANT_H_
#define KORIMBA_FRAME_VARIANT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "frame/date.h"
#include "frame/object.h"

namespace korimba {

class SafeArray;

// An array of bytes with its lower bound (0 as a rule; attachments keep the
// bound the page's array had).
struct ByteArray {
  std::vector<uint8_t> bytes;
  int32_t lbound = 0;
  friend bool operator==(const ByteArray&, const ByteArray&) = default;
};

enum class VarKind {
  kEmpty,
  kNull,
  kI2,
  kI4,
  kR4,
  kR8,
  kDate,
  kText,
  kBool,
  kObject,
  kArray,
  kBytes,
  kMissing,
};

struct EmptyTag {
  friend bool operator==(EmptyTag, EmptyTag) { return true; }
};
struct NullTag {
  friend bool operator==(NullTag, NullTag) { return true; }
};
struct MissingTag {
  friend bool operator==(MissingTag, MissingTag) { return true; }
};
// An array of Variants; a null pointer is "no array" (declared, never
// created: asking for its bounds fails).
struct ArrayBox {
  std::shared_ptr<SafeArray> array;
  // Identity only; Variant's operator== compares the cells.
  friend bool operator==(const ArrayBox& a, const ArrayBox& b) { return a.array == b.array; }
};
struct BytesBox {
  std::shared_ptr<const ByteArray> bytes;
  friend bool operator==(const BytesBox& a, const BytesBox& b) { return a.bytes == b.bytes; }
};

class Variant {
 public:
  // Alternatives in VarKind order, so that index() == VarKind.
  using Storage = std::variant<EmptyTag, NullTag, int16_t, int32_t, float, double, Date,
                               std::string, bool, ObjectRef, ArrayBox, BytesBox, MissingTag>;

  Variant() = default;  // Empty

  static Variant Null() { return Variant(Storage(NullTag{})); }
  static Variant Missing() { return Variant(Storage(MissingTag{})); }
  static Variant I2(int16_t v) { return Variant(Storage(v)); }
  static Variant I4(int32_t v) { return Variant(Storage(v)); }
  static Variant R4(float v) { return Variant(Storage(v)); }
  static Variant R8(double v) { return Variant(Storage(v)); }
  static Variant FromDate(Date v) { return Variant(Storage(v)); }
  static Variant Text(std::string v) { return Variant(Storage(std::move(v))); }
  static Variant Bool(bool v) { return Variant(Storage(v)); }
  static Variant Object(ObjectRef v) { return Variant(Storage(std::move(v))); }
  static Variant Array(std::shared_ptr<SafeArray> v) {
    return Variant(Storage(ArrayBox{std::move(v)}));
  }
  static Variant NoArray() { return Variant(Storage(ArrayBox{})); }
  static Variant Bytes(ByteArray v);

  VarKind kind() const { return static_cast<VarKind>(storage_.index()); }
  const Storage& storage() const { return storage_; }

  bool is_empty() const { return kind() == VarKind::kEmpty; }
  bool is_null() const { return kind() == VarKind::kNull; }
  bool is_missing() const { return kind() == VarKind::kMissing; }
  bool is_text() const { return kind() == VarKind::kText; }
  bool is_array() const { return kind() == VarKind::kArray; }
  // True for the kinds that hold a number: I2, I4, R4, R8 (dates and
  // Booleans are not numbers here).
  bool is_number() const;

  // Exact-kind accessors: nullptr when the Variant holds another kind.
  const std::string* text() const { return std::get_if<std::string>(&storage_); }
  const Date* date() const { return std::get_if<Date>(&storage_); }
  const bool* boolean() const { return std::get_if<bool>(&storage_); }
  const int16_t* i2() const { return std::get_if<int16_t>(&storage_); }
  const int32_t* i4() const { return std::get_if<int32_t>(&storage_); }
  const ObjectRef* object() const { return std::get_if<ObjectRef>(&storage_); }
  // The array, or nullptr when this is not an array or is "no array".
  const SafeArray* array() const;
  // The array for writing; copies the cells first when they are shared.
  // Fails with a type mismatch when this is not a created array.
  SafeArray& MutableArray();
  const ByteArray* bytes() const;

  // A readable, kind-tagged form for tests and logs: Empty, Null, 5i2,
  // 70000i4, 1.5r4, 2.5r8, #2024-03-05 09:07:00#, "text", True, <Message>,
  // an array as its bounds and rows.
  std::string DebugString() const;

  friend bool operator==(const Variant& a, const Variant& b);

 private:
  explicit Variant(Storage s) : storage_(std::move(s)) {}
  Storage storage_;
};

}  // namespace korimba

#endif  // KORIMBA_FRAME_VARIANT_H_
