// The attachment side of class Message: GetFileData, which reads an
// attachment back (dptAddData writes them, in posting.cc).
#include "frame/error.h"
#include "frame/record_set.h"
#include "frame/statement.h"
#include "frame/value_ops.h"
#include "message/attachment_store.h"
#include "message/message.h"

namespace korimba {

Variant Message::GetFileData(int32_t id) {
  StatementBuilder sql;
  sql << Lit{"select * from DATA_Msg where MsgID = "} << Int{id};
  RecordSet rs = RecordSet::Execute(conn(), sql.text());
  if (rs.Eof()) return Variant();
  if (IsNull(rs.Value("MsgFileName"))) return Variant();
  const std::string number = TextForm(Trim(rs.Value("MsgID")));
  // A message whose file is missing (posted without one, or removed since)
  // reads as having no attachment; nothing is created.
  std::optional<ByteArray> bytes = AttachmentStore(work_path_, files_).Read(number);
  rs.Close();
  if (!bytes) return Variant();
  return Variant::Bytes(std::move(*bytes));
}

}  // namespace korimba
