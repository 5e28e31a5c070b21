#include "classes/registry.h"

#include <string>

#include "frame/error.h"
#include "frame/names.h"
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

}  // namespace

std::span<const ClassInfo> RegisteredClasses() { return kClasses; }

std::shared_ptr<DispatchObject> CreateObject(std::string_view prog_id) {
  for (const ClassInfo& info : kClasses) {
    if (SameName(info.prog_id, prog_id)) return info.create();
  }
  throw AutomationError(kErrCantCreate, "Cannot create object: no class is registered as '" +
                                            std::string(prog_id) + "'");
}

}  // namespace korimba
