// The in-process class registry: creation of the component's objects by
// ProgID ("Korimba.Message", "Korimba.Plan", matched without regard to case),
// each creation a new, independent object, and the fixed identities of the
// library, its classes and interfaces. Read-only after start-up; any thread.
#ifndef KORIMBA_CLASSES_REGISTRY_H_
#define KORIMBA_CLASSES_REGISTRY_H_

#include <memory>
#include <span>
#include <string_view>

#include "frame/dispatch.h"

namespace korimba {

inline constexpr std::string_view kLibraryName = "Korimba";
inline constexpr std::string_view kLibraryId = "{6B1E0C52-3A7D-4F08-9C2E-81D4A5F7B001}";

struct ClassInfo {
  std::string_view prog_id;
  std::string_view class_id;
  std::string_view interface_id;
  std::shared_ptr<DispatchObject> (*create)();
};

// Every creatable class.
std::span<const ClassInfo> RegisteredClasses();
// A new object of the class registered under `prog_id`; fails with error
// kErrCantCreate naming the ProgID when no class has that name.
std::shared_ptr<DispatchObject> CreateObject(std::string_view prog_id);

}  // namespace korimba

#endif  // KORIMBA_CLASSES_REGISTRY_H_
