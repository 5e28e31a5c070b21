// Inbox and read state: the conversation with one person, the oldest unread
// message, opening a message (with or without marking it read) and its
// sender. msgFlag is 0 for unread and 1 for read; only 0 -> 1 happens here.
#include <cstdint>

#include "frame/grid.h"
#include "frame/record_set.h"
#include "frame/statement.h"
#include "frame/value_ops.h"
#include "message/message.h"

namespace korimba {
namespace {

// "update DATA_Msg set msgFlag =1 Where MsgID=" followed by the id.
template <typename Piece>
std::string MarkReadStatement(Piece id) {
  StatementBuilder sql;
  sql << Lit{"update DATA_Msg set msgFlag =1 Where MsgID="} << id;
  return sql.text();
}

}  // namespace

Variant Message::GetAllData(int32_t a) {
  const Variant p = session().Value("personid");
  StatementBuilder sql;
  sql << Lit{"Select HR_person.PersonName,msgCreatetime,MsgContent,msgFlag,MsgFromPersonid,"
             "MsgFileName,MsgID from DATA_Msg,HR_Person where ((data_msg.PersonID="}
      << Number{p} << Lit{" and MsgFromPersonid="} << Int{a} << Lit{") or (data_msg.personid="}
      << Int{a} << Lit{" and MsgFromPersonID="} << Number{p}
      << Lit{")) and Data_Msg.MsgFromPersonid=HR_Person.PersonID  order by msgCreatetime desc"};
  return ReadBuiltGrid(RecordSet::Query(conn(), sql.text()), 0, INT32_MAX);
}

int32_t Message::noread() {
  const Variant p = session().Value("personid");
  StatementBuilder sql;
  sql << Lit{"Select top 1 * from DATA_Msg Where (personid="} << Number{p}
      << Lit{") and (msgFlag=0) Order by msgCreatetime "};
  RecordSet rs = RecordSet::Query(conn(), sql.text());
  return rs.Eof() ? 0 : ToI4(rs.Value("msgID"));
}

Variant Message::MsgRead(int32_t id) {
  StatementBuilder sql;
  sql << Lit{"SELECT * FROM DATA_Msg INNER JOIN HR_Person ON DATA_Msg.MsgFromPersonID = "
             "HR_Person.PersonID Where (DATA_Msg.MsgID ="}
      << Int{id} << Lit{")"};
  // The built grid of a single-message lookup: rows 0..n, the first record
  // in row 1, row 0 left Empty.
  return ReadBuiltGrid(RecordSet::Query(conn(), sql.text()), 1, 1);
}

Variant Message::noread1(const Variant& id) {
  StatementBuilder sql;
  sql << Lit{"SELECT * FROM DATA_Msg INNER JOIN HR_Person ON DATA_Msg.MsgFromPersonID = "
             "HR_Person.PersonID where MsgID="}
      << Number{id};
  const std::string mark_read = MarkReadStatement(Number{id});
  Connection& db = conn();
  Variant grid = ReadBuiltGrid(RecordSet::Query(db, sql.text()), 1, 1);
  db.Execute(mark_read);
  return grid;
}

int32_t Message::noread2(const Variant& id) {
  StatementBuilder sql;
  sql << Lit{"Select top 1 * from DATA_Msg where MsgID="} << Number{id};
  RecordSet rs = RecordSet::Query(conn(), sql.text());
  return rs.Eof() ? 0 : ToI4(Trim(rs.Value("msgFromPersonID")));
}

Variant Message::repairFlg(int32_t id) {
  conn().Execute(MarkReadStatement(Int{id}));
  return Variant();
}

}  // namespace korimba
