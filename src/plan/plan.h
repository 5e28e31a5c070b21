// Plan is the class behind ProgID "Korimba.Plan" (interface _Plan): each
// person's schedule entries (rows of DATA_Plan) and their calendar views.
// Its method table in plan.cc lists every method in call-table order and calls
// the typed member functions below; the members are spread over files by
// concept (plan_records.cc, page_listing.cc, month_views.cc, week_views.cc).
// A Plan holds only what Component holds (the connection and the page
// objects); every call builds its statements and results afresh.
// Apartment-threaded: one thread calls an object at a time.
#ifndef KORIMBA_PLAN_PLAN_H_
#define KORIMBA_PLAN_PLAN_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "frame/component.h"
#include "frame/variant.h"

namespace korimba {

// The column numbers of the grids Plan returns, named once for the methods
// that build them, their tests and the pages. A built grid is indexed (row,
// column); a row set (column, row).

// The columns of DATA_Plan in the order the schema creates them: the columns
// of "Select *" in GetAllData and GetData (built grids, row 0 the names),
// GetPageData (a built grid without the names) and GetDayPlan (a row set).
struct PlanColumn {
  static constexpr int32_t kPlanId = 0;
  static constexpr int32_t kPersonId = 1;
  static constexpr int32_t kType = 2;
  static constexpr int32_t kClass = 3;
  static constexpr int32_t kBegin = 4;
  static constexpr int32_t kEnd = 5;
  static constexpr int32_t kAlert = 6;
  static constexpr int32_t kContent = 7;
  static constexpr int32_t kPlace = 8;
  static constexpr int32_t kColumns = 9;
};

// GetWeekPlan11: a row set, one entry per plan of the week in begin order.
struct WeekPlanColumn {
  static constexpr int32_t kBegin = 0;
  static constexpr int32_t kEnd = 1;
  static constexpr int32_t kContent = 2;
  static constexpr int32_t kColumns = 3;
};

// The month grids of GetMonthPlan and GetMonthPlan11 are laid out by
// MonthLayout (plan/month_grid.h).

class Plan final : public Component {
 public:
  static constexpr std::string_view kProgId = "Korimba.Plan";
  static constexpr std::string_view kClassId = "{6B1E0C52-3A7D-4F08-9C2E-81D4A5F7B401}";
  static constexpr std::string_view kInterfaceId = "{6B1E0C52-3A7D-4F08-9C2E-81D4A5F7B402}";

  Plan() = default;

  std::string_view KindName() const override { return "Plan"; }
  const InterfaceInfo& Interface() const override;

  // Plan records (plan_records.cc). The write methods return true once their
  // statement has run; they never return false.
  bool AddData(const Variant& person_id, const Variant& plan_type, const Variant& plan_class,
               const Variant& begin_time, const Variant& end_time, const Variant& content,
               const Variant& alert_time, const Variant& place);
  bool DelData(const Variant& id);
  bool UpdateData(const Variant& id, const Variant& person_id, const Variant& plan_type,
                  const Variant& plan_class, const Variant& begin_time, const Variant& end_time,
                  const Variant& content, const Variant& alert_time, const Variant& place);
  // Built grids: row 0 the column names, then the records.
  Variant GetAllData();
  Variant GetData(int32_t id);

  // One page of GetAllData's records, no header row; no array for an empty
  // table (page_listing.cc).
  Variant GetPageData(const Variant& page_size, const Variant& page);

  // Month grids (month_views.cc): (0..5, 0..8) with Sunday-first week rows,
  // and (0..5, 0..7) with Monday-to-Sunday rows, Sunday in column 1.
  Variant GetMonthPlan(const Variant& person_id, const Variant& date);
  Variant GetMonthPlan11(const Variant& person_id, const Variant& date);

  // Week and day views (week_views.cc).
  Variant GetWeekPlan11(const Variant& person_id, const Variant& date);
  Variant GetWeekPlan(const Variant& person_id, const Variant& date);
  Variant GetDayPlan(const Variant& person_id, const Variant& date);
  Variant YY() const;

  // The same lookup as Message.GetPersonName.
  std::string GetPersonName(const Variant& id);
};

}  // namespace korimba

#endif  // KORIMBA_PLAN_PLAN_H_
