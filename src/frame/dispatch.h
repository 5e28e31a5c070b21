// The automation call layer. Each interface has exactly one method table, in
// call-table order: name, parameters (kind, by value or by reference), result
// kind, and a thunk that unpacks the converted arguments and calls the typed
// C++ member function. The table drives the calls by name (DispatchObject::
// Call/Put) and is the only list of the interface's methods.
//
// A call by name matches the name without regard to case, checks the argument
// count, converts every argument to its declared kind before the method runs
// (overflow and type mismatch refuse the call), and runs the thunk. Any error
// that leaves a call is an AutomationError whose description becomes the
// calling thread's last error (GetError). Objects are apartment-threaded: one
// thread calls an object at a time.
#ifndef KORIMBA_FRAME_DISPATCH_H_
#define KORIMBA_FRAME_DISPATCH_H_

#include <span>
#include <string_view>

#include "frame/object.h"
#include "frame/variant.h"

namespace korimba {

enum class ArgKind {
  kVariant,  // any value, unchanged
  kI2,       // 16-bit integer
  kI4,       // 32-bit integer
  kText,     // string
  kBytes,    // array of bytes (see ConvertArgument)
  kObject,   // an object reference
};
enum class Pass { kByValue, kByRef };
enum class ResultKind { kNone, kVariant, kBool, kText, kI2, kI4, kGrid };

struct ParamSpec {
  std::string_view name;
  ArgKind kind;
  Pass pass;
};

class DispatchObject;
// Receives the arguments already converted to their declared kinds.
using Thunk = Variant (*)(DispatchObject& self, std::span<const Variant> args);

struct MethodSpec {
  std::string_view name;
  std::span<const ParamSpec> params;
  ResultKind result;
  bool property_put;  // a write-only property (`obj.Name = value`)
  Thunk invoke;
};

struct InterfaceInfo {
  std::string_view name;  // "_Message"
  std::string_view iid;   // fixed GUID, "{...}"
  std::span<const MethodSpec> methods;

  // The method (or property) of that name, without regard to case; nullptr
  // when there is none.
  const MethodSpec* Find(std::string_view method_name) const;
};

// Converts a caller's value to a parameter's declared kind: kI2/kI4 as the
// integer conversions do (overflow, type mismatch, invalid use of Null),
// kText as ToText, kObject requires an object. kBytes passes a byte array
// through, converts an array of Variants holding whole numbers 0..255, and
// passes Empty, Missing and Null unchanged for the method to judge; anything
// else is a type mismatch. The same rules hold by value and by reference.
Variant ConvertArgument(const ParamSpec& param, const Variant& value);

class DispatchObject : public Object {
 public:
  virtual const InterfaceInfo& Interface() const = 0;

  // Calls a method by name. Throws AutomationError (and records it as the
  // thread's last error) on any failure.
  Variant Call(std::string_view method, std::span<const Variant> args);
  // Sets a write-only property by name.
  void Put(std::string_view property, const Variant& value);
};

}  // namespace korimba

#endif  // KORIMBA_FRAME_DISPATCH_H_
