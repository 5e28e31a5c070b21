#include "frame/variant.h"

#include <sstream>

#include "frame/error.h"
#include "frame/grid.h"
#include "frame/safe_array.h"
#include "frame/value_ops.h"

namespace korimba {

Variant Variant::Bytes(ByteArray v) {
  return Variant(Storage(BytesBox{std::make_shared<const ByteArray>(std::move(v))}));
}

bool Variant::is_number() const {
  switch (kind()) {
    case VarKind::kI2:
    case VarKind::kI4:
    case VarKind::kR4:
    case VarKind::kR8:
      return true;
    default:
      return false;
  }
}

const SafeArray* Variant::array() const {
  const ArrayBox* box = std::get_if<ArrayBox>(&storage_);
  return box ? box->array.get() : nullptr;
}

SafeArray& Variant::MutableArray() {
  ArrayBox* box = std::get_if<ArrayBox>(&storage_);
  if (box == nullptr || box->array == nullptr) ThrowTypeMismatch("not an array");
  // Another Variant shares the cells: copy them before writing.
  if (box->array.use_count() > 1) box->array = std::make_shared<SafeArray>(*box->array);
  return *box->array;
}

const ByteArray* Variant::bytes() const {
  const BytesBox* box = std::get_if<BytesBox>(&storage_);
  return box ? box->bytes.get() : nullptr;
}

std::string Variant::DebugString() const {
  struct Visitor {
    std::string operator()(EmptyTag) const { return "Empty"; }
    std::string operator()(NullTag) const { return "Null"; }
    std::string operator()(MissingTag) const { return "Missing"; }
    std::string operator()(int16_t v) const { return std::to_string(v) + "i2"; }
    std::string operator()(int32_t v) const { return std::to_string(v) + "i4"; }
    std::string operator()(float v) const { return TextForm(Variant::R4(v)) + "r4"; }
    std::string operator()(double v) const { return TextForm(Variant::R8(v)) + "r8"; }
    std::string operator()(Date v) const { return "#" + FormatDate(v) + "#"; }
    std::string operator()(const std::string& v) const { return "\"" + v + "\""; }
    std::string operator()(bool v) const { return v ? "True" : "False"; }
    std::string operator()(const ObjectRef& v) const {
      return v ? "<" + std::string(v->KindName()) + ">" : "Nothing";
    }
    std::string operator()(const ArrayBox& v) const {
      return v.array ? GridString(Variant::Array(v.array)) : "no array";
    }
    std::string operator()(const BytesBox& v) const {
      std::ostringstream out;
      out << "bytes(lbound " << v.bytes->lbound << ", " << v.bytes->bytes.size() << ")";
      return out.str();
    }
  };
  return std::visit(Visitor{}, storage_);
}

bool operator==(const Variant& a, const Variant& b) {
  if (a.storage_.index() != b.storage_.index()) return false;
  if (const ArrayBox* x = std::get_if<ArrayBox>(&a.storage_)) {
    const ArrayBox& y = std::get<ArrayBox>(b.storage_);
    if (!x->array || !y.array) return x->array == y.array;
    return *x->array == *y.array;
  }
  if (const BytesBox* x = std::get_if<BytesBox>(&a.storage_)) {
    return *x->bytes == *std::get<BytesBox>(b.storage_).bytes;
  }
  return a.storage_ == b.storage_;
}

}  // namespace korimba
