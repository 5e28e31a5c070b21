#include "people/person_name.h"

#include "frame/record_set.h"
#include "frame/statement.h"
#include "frame/value_ops.h"

namespace korimba {

std::string LookUpPersonName(Connection& conn, const Variant& id) {
  StatementBuilder sql;
  sql << Lit{"select personname from hr_person where PersonID="} << Number{id};
  RecordSet rs;
  rs.Open(sql.text(), conn, 3, -1, -1);
  std::string name;
  if (!rs.Eof()) {
    // A NULL name reads as "" rather than failing the call.
    name = TextForm(Trim(rs.Value("personname")));
  }
  rs.Close();
  return name;
}

}  // namespace korimba
