#include "people/person_name.h"

#include "frame/record_set.h"
#include "frame/statement.h"
#include "frame/value_ops.h"

namespace korimba {

std::string LookUpPersonName(Connection& conn, const Variant& id) {
  StatementBuilder sql;
  sql << Lit{"select personname from hr_person where PersonID="} << Number{id};
  RecordSet rs = RecordSet::Query(conn, sql.text());
  // A NULL name reads as "" rather than failing the call.
  return rs.Eof() ? std::string() : TextForm(Trim(rs.Value("personname")));
}

}  // namespace korimba
