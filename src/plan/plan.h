// Plan is the class behind ProgID "Korimba.Plan" (interface _Plan): each
// person's schedule entries and their calendar views. Its method table in
// plan.cc lists every method in call-table order. Apartment-threaded.
#ifndef KORIMBA_PLAN_PLAN_H_
#define KORIMBA_PLAN_PLAN_H_

#include <string_view>

#include "frame/component.h"

namespace korimba {

class Plan final : public Component {
 public:
  static constexpr std::string_view kProgId = "Korimba.Plan";
  static constexpr std::string_view kClassId = "{6B1E0C52-3A7D-4F08-9C2E-81D4A5F7B401}";
  static constexpr std::string_view kInterfaceId = "{6B1E0C52-3A7D-4F08-9C2E-81D4A5F7B402}";

  Plan() = default;

  std::string_view KindName() const override { return "Plan"; }
  const InterfaceInfo& Interface() const override;
};

}  // namespace korimba

#endif  // KORIMBA_PLAN_PLAN_H_
