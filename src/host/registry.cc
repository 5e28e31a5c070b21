#include "host/registry.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "frame/error.h"
#include "message/message.h"
#include "plan/plan.h"

namespace korimba {
namespace {

const ClassInfo kClasses[] = {
    {Message::kProgId, Message::kClassId, Message::kInterfaceId,
     []() -> std::shared_ptr<DispatchObject> { return std::make_shared<Message>(); }},
    {Plan::kProgId, Plan::kClassId, Plan::kInterfaceId,
     []() -> std::shared_ptr<DispatchObject> { return std::make_shared<Plan>(); }},
};

bool SameName(std::string_view a, std::string_view b) {
  return std::ranges::equal(a, b, [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
  });
}

}  // namespace

std::span<const ClassInfo> RegisteredClasses() { return kClasses; }

std::shared_ptr<DispatchObject> CreateObject(std::string_view prog_id) {
  for (const ClassInfo& info : kClasses) {
    if (SameName(info.prog_id, prog_id)) return info.create();
  }
  throw AutomationError(kErrCantCreate,
                        "Cannot create object: no class is registered as '" + std::string(prog_id) + "'");
}

}  // namespace korimba
