#include "frame/dispatch.h"

#include <array>
#include <cmath>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "frame/error.h"
#include "frame/names.h"
#include "frame/safe_array.h"
#include "frame/value_ops.h"

namespace korimba {
namespace {

[[noreturn]] void ThrowNoSuchMember(std::string_view name, std::string_view why = {}) {
  std::string description =
      "Object doesn't support this property or method: '" + std::string(name) + "'";
  if (!why.empty()) description += " (" + std::string(why) + ")";
  throw AutomationError(kErrNoSuchMember, std::move(description));
}

// A byte array from an array of Variants holding whole numbers 0..255; the
// array keeps its lower bound, as a page's byte array would.
Variant BytesFromVariants(const SafeArray& array) {
  if (array.dims() != 1) ThrowTypeMismatch("an array of bytes must have one dimension");
  ByteArray out;
  out.lbound = array.bound(1).lower;
  out.bytes.reserve(array.cells().size());
  for (const Variant& cell : array.cells()) {
    if (!cell.is_number()) ThrowTypeMismatch("an array of bytes may hold only numbers 0 to 255");
    double value = ToDouble(cell);
    if (value != std::floor(value)) {
      ThrowTypeMismatch("an array of bytes may hold only whole numbers 0 to 255");
    }
    if (value < 0 || value > 255) ThrowOverflow("a byte must lie between 0 and 255");
    out.bytes.push_back(static_cast<uint8_t>(value));
  }
  return Variant::Bytes(std::move(out));
}

Variant ConvertToBytes(const Variant& value) {
  switch (value.kind()) {
    case VarKind::kBytes:
    case VarKind::kEmpty:
    case VarKind::kMissing:
    case VarKind::kNull:
      return value;
    case VarKind::kArray:
      if (const SafeArray* array = value.array()) return BytesFromVariants(*array);
      ThrowTypeMismatch("an array of bytes was expected, not an array that was never created");
    default:
      ThrowTypeMismatch("an array of bytes was expected");
  }
}

// Runs `body`, turning every failure into an AutomationError that is recorded
// as the thread's last error before it leaves.
template <typename Body>
auto Guarded(Body&& body) -> decltype(body()) {
  try {
    return body();
  } catch (const AutomationError& e) {
    SetLastErrorDescription(e.description());
    throw;
  } catch (const std::bad_alloc&) {
    AutomationError error(kErrOutOfMemory, "Out of memory");
    SetLastErrorDescription(error.description());
    throw error;
  } catch (const std::exception& e) {
    AutomationError error(kErrInternal, std::string("Internal error: ") + e.what());
    SetLastErrorDescription(error.description());
    throw error;
  } catch (...) {
    AutomationError error(kErrInternal, "Internal error: an unknown failure");
    SetLastErrorDescription(error.description());
    throw error;
  }
}

// ConvertArgument, with the argument and the method named in a refusal so the
// page author knows which value was wrong.
Variant ConvertNamed(const MethodSpec& method, const ParamSpec& param, const Variant& value) {
  try {
    return ConvertArgument(param, value);
  } catch (const AutomationError& e) {
    throw AutomationError(e.number(), e.description() + " (argument '" + std::string(param.name) +
                                          "' of '" + std::string(method.name) + "')");
  }
}

}  // namespace

const MethodSpec* InterfaceInfo::Find(std::string_view method_name) const {
  for (const MethodSpec& method : methods) {
    if (method.name.size() == method_name.size() && SameName(method.name, method_name)) {
      return &method;
    }
  }
  return nullptr;
}

Variant ConvertArgument(const ParamSpec& param, const Variant& value) {
  switch (param.kind) {
    case ArgKind::kVariant:
      return value;
    case ArgKind::kI2:
      return Variant::I2(ToI2(value));
    case ArgKind::kI4:
      return Variant::I4(ToI4(value));
    case ArgKind::kText:
      return Variant::Text(ToText(value));
    case ArgKind::kBytes:
      return ConvertToBytes(value);
    case ArgKind::kObject: {
      const ObjectRef* object = value.object();
      if (object == nullptr) ThrowTypeMismatch("an object was expected");
      if (*object == nullptr) ThrowObjectNotSet();
      return value;
    }
  }
  ThrowTypeMismatch("unknown parameter kind");
}

Variant DispatchObject::Call(std::string_view method, std::span<const Variant> args) {
  return Guarded([&]() -> Variant {
    const MethodSpec* entry = Interface().Find(method);
    if (entry == nullptr) ThrowNoSuchMember(method);
    if (entry->property_put) {
      ThrowNoSuchMember(method, "it is a write-only property: assign a value to it");
    }
    if (args.size() != entry->params.size()) {
      throw AutomationError(kErrWrongArgCount,
                            "Wrong number of arguments or invalid property assignment: '" +
                                std::string(entry->name) + "' takes " +
                                std::to_string(entry->params.size()) + " argument" +
                                (entry->params.size() == 1 ? "" : "s") + ", " +
                                std::to_string(args.size()) + " given");
    }
    // Every argument is converted before the method runs, so a refused
    // argument leaves no trace of the call.
    // A few arguments are converted in place, so that most calls allocate
    // nothing for them.
    constexpr size_t kInlineArgs = 4;
    std::array<Variant, kInlineArgs> inline_args;
    std::vector<Variant> more_args;
    std::span<const Variant> converted;
    if (args.size() <= kInlineArgs) {
      for (size_t i = 0; i < args.size(); ++i) {
        inline_args[i] = ConvertNamed(*entry, entry->params[i], args[i]);
      }
      converted = std::span<const Variant>(inline_args.data(), args.size());
    } else {
      more_args.reserve(args.size());
      for (size_t i = 0; i < args.size(); ++i) {
        more_args.push_back(ConvertNamed(*entry, entry->params[i], args[i]));
      }
      converted = more_args;
    }
    Variant result = entry->invoke(*this, converted);
    if (entry->result == ResultKind::kNone) return Variant();
    return result;
  });
}

void DispatchObject::Put(std::string_view property, const Variant& value) {
  Guarded([&]() {
    const MethodSpec* entry = Interface().Find(property);
    if (entry == nullptr) ThrowNoSuchMember(property);
    if (!entry->property_put) {
      ThrowNoSuchMember(property, "it is a method and cannot be assigned a value");
    }
    Variant converted = ConvertNamed(*entry, entry->params[0], value);
    entry->invoke(*this, std::span<const Variant>(&converted, 1));
  });
}

}  // namespace korimba
