// History and group-message tracking: a person's received messages under a
// header row, the group messages (content holding the group-message phrase)
// a person sent, one entry per content and creation minute, and every copy
// of the group messages of one minute with its recipient and read flag.
#include <cstdint>

#include "frame/grid.h"
#include "frame/record_set.h"
#include "frame/statement.h"
#include "frame/value_ops.h"
#include "message/message.h"

namespace korimba {
Variant Message::InceptMsg(int32_t person_id) {
  StatementBuilder sql;
  sql << Lit{"Select 姓名=(select personname from hr_person where "
             "hr_person.personID=data_msg.MsgFromPersonID),内容=Msgcontent,发送时间=MsgCreateTime,"
             "msgID,阅读标志=MsgFlag,MsgFileName from DATA_Msg where data_msg.personID="}
      << Int{person_id} << Lit{"  order by msgCreatetime desc"};
  return ReadGridWithHeader(RecordSet::Query(conn(), sql.text()), INT32_MAX);
}

Variant Message::trackMsg(int32_t person_id) {
  StatementBuilder sql;
  sql << Lit{" select MsgContent, CONVERT(char(16), MsgCreateTime, 120) from DATA_Msg where "
             "MsgContent LIKE '%群发消息%' and msgFrompersonID="}
      << Int{person_id} << Lit{" GROUP BY MsgContent, CONVERT(char(16), MsgCreateTime, 120) "};
  return RowSetOrOneCell(RecordSet::Query(conn(), sql.text()));
}

Variant Message::track(const Variant& xx) {
  StatementBuilder sql;
  sql << Lit{"select personname=(select personname from hr_person where "
             "hr_person.personID=data_msg.PersonID),Msgcontent, CONVERT(char(16), MsgCreateTime, "
             "120),msgID,MsgFlag from DATA_Msg where CONVERT(char(16), MsgCreateTime, 120)='"}
      << Quoted{xx} << Lit{"'and msgcontent like '%群发消息%'   order by msgCreatetime desc"};
  return RowSetOrOneCell(RecordSet::Query(conn(), sql.text()));
}

}  // namespace korimba
