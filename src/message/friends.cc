// People: a person's name by id, and the twenty persons the current person
// writes to most (broadcasts, whose text begins with "(广播", not counted).
#include "frame/grid.h"
#include "frame/record_set.h"
#include "frame/statement.h"
#include "frame/value_ops.h"
#include "message/message.h"
#include "people/person_name.h"

namespace korimba {

std::string Message::GetPersonName(const Variant& id) { return LookUpPersonName(conn(), id); }

Variant Message::GetFriendList() {
  const Variant p = Variant::Text(ToText(session().Value("PersonID")));
  StatementBuilder sql;
  sql << Lit{"SELECT TOP 20 DATA_Msg.PersonID, HR_Person.PersonName, COUNT(*) AS nCount FROM "
             "DATA_Msg, HR_Person Where DATA_Msg.PersonID = HR_Person.PersonID and "
             "(DATA_Msg.MsgFromPersonID = "}
      << Number{p}
      << Lit{") and left(msgContent,3)<>'(广播'   GROUP BY DATA_Msg.PersonID, HR_Person.PersonName "
             "ORDER BY COUNT(*) DESC "};
  RecordSet rs = RecordSet::Query(conn(), sql.text());
  const int32_t k = rs.FieldCount();
  Variant grid = MakeBuiltGrid(rs.RecordCount(), k);
  for (int32_t i = 0; !rs.Eof(); ++i) {
    GridCell(grid, i, FriendColumn::kPersonId) = rs.Value("personID");
    GridCell(grid, i, FriendColumn::kName) = rs.Value("personName");
    GridCell(grid, i, FriendColumn::kMessages) = rs.Value("nCount");
    rs.MoveNext();
  }
  return grid;
}

}  // namespace korimba
