// Plan records: insert, update and delete one plan, and the two built-grid
// reads (every plan, one plan by id) whose row 0 names the columns.
#include <cstdint>

#include "frame/grid.h"
#include "frame/record_set.h"
#include "frame/statement.h"
#include "plan/plan.h"

namespace korimba {
bool Plan::AddData(const Variant& person_id, const Variant& plan_type, const Variant& plan_class,
                   const Variant& begin_time, const Variant& end_time, const Variant& content,
                   const Variant& alert_time, const Variant& place) {
  StatementBuilder sql;
  sql << Lit{"Insert into DATA_Plan(PersonID,PlanType,PlanClass,PlanBeginTime,PlanEndTime,"
             "PlanContent,PlanalertTime,PlanPlace) values ("}
      << Number{person_id} << Lit{","} << Number{plan_type} << Lit{","} << Number{plan_class}
      << Lit{",'"} << Quoted{begin_time} << Lit{"','"} << Quoted{end_time} << Lit{"','"}
      << Quoted{content} << Lit{"','"} << Quoted{alert_time} << Lit{"','"} << Quoted{place}
      << Lit{"') "};
  conn().Execute(sql.InsertText());
  return true;
}

bool Plan::DelData(const Variant& id) {
  StatementBuilder sql;
  sql << Lit{"Delete from DATA_Plan where PlanID="} << Number{id};
  conn().Execute(sql.text());
  return true;
}

bool Plan::UpdateData(const Variant& id, const Variant& person_id, const Variant& plan_type,
                      const Variant& plan_class, const Variant& begin_time, const Variant& end_time,
                      const Variant& content, const Variant& alert_time, const Variant& place) {
  StatementBuilder sql;
  sql << Lit{"update DATA_Plan set PersonID ="} << Number{person_id} << Lit{",PlanType='"}
      << Quoted{plan_type} << Lit{"',PlanClass= '"} << Quoted{plan_class}
      << Lit{"' ,PlanBeginTime='"} << Quoted{begin_time} << Lit{"',PlanEndTime='"}
      << Quoted{end_time} << Lit{"',PlanContent='"} << Quoted{content} << Lit{"',PlanAlertTime='"}
      << Quoted{alert_time} << Lit{"',PlanPlace='"} << Quoted{place} << Lit{"' where PlanID="}
      << Number{id};
  conn().Execute(sql.UpdateText());
  return true;
}

// Read page by page where the connection can: the records go from the
// database straight into the grid's cells, with no whole-table copy between.
Variant Plan::GetAllData() {
  return ReadGridWithHeader(RecordSet::QueryPaged(conn(), "Select * from DATA_Plan"), INT32_MAX);
}

Variant Plan::GetData(int32_t id) {
  StatementBuilder sql;
  sql << Lit{"Select * From DATA_Plan Where PlanID="} << Int{id};
  // Only the first record is copied; further rows of the grid stay Empty.
  return ReadGridWithHeader(RecordSet::Query(conn(), sql.text()), 1);
}

}  // namespace korimba
