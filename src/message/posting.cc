// Posting, changing and deleting messages, and the retention rule that keeps
// the 25 newest messages between two persons after each post.
#include <optional>
#include <string>

#include "frame/error.h"
#include "frame/record_set.h"
#include "frame/statement.h"
#include "frame/value_ops.h"
#include "message/attachment_store.h"
#include "message/message.h"

namespace korimba {
namespace {

// How a post learns its own new MsgID: the identity the connection's last
// insert produced. It is per connection and survives the retention delete,
// so another page's post in between cannot be mistaken for ours (the newest
// MsgID of the table could be). @@IDENTITY rather than SCOPE_IDENTITY():
// each Execute is a batch of its own, and SCOPE_IDENTITY() does not reach
// back into an earlier batch.
constexpr std::string_view kNewMessageIdQuery = "select @@IDENTITY";

// True for the values a number position writes as nothing: Empty, Null and
// the empty text. Blank text is refused by the number position itself.
bool IsNoNumber(const Variant& value) { return IsNull(value) || TextForm(value).empty(); }

// A message without a recipient or a sender would be stored with a null id
// and then break the retention statement; refuse it before anything runs.
void RequirePerson(const Variant& value, std::string_view method, std::string_view name) {
  if (IsNoNumber(value)) {
    ThrowInvalidCall(std::string(method) + ": " + std::string(name) + " must name a person, not " +
                     (value.is_null() ? "Null" : "an empty value"));
  }
}

// "((data_msg.PersonID=P and MsgFromPersonid=F) or (data_msg.personid=F and
// MsgFromPersonID=P))": both directions between the pair.
void AppendPair(StatementBuilder& sql, const Variant& p, const Variant& f) {
  sql << Lit{"((data_msg.PersonID="} << Number{p} << Lit{" and MsgFromPersonid="} << Number{f}
      << Lit{") or (data_msg.personid="} << Number{f} << Lit{" and MsgFromPersonID="} << Number{p}
      << Lit{"))"};
}

// Deletes every message between P and F, either way, but the 25 newest.
// Run as built: no null rewrite.
std::string RetentionStatement(const Variant& p, const Variant& f) {
  StatementBuilder sql;
  sql << Lit{"delete from Data_Msg where "};
  AppendPair(sql, p, f);
  sql << Lit{" "} << Lit{" and msgID not in ( Select top 25 msgID from DATA_Msg where "};
  AppendPair(sql, p, f);
  sql << Lit{"  order by msgCreatetime desc)"};
  return sql.text();
}

}  // namespace

bool Message::AddData(const Variant& person_id, const Variant& content,
                      const Variant& from_person_id, const Variant& title) {
  RequirePerson(person_id, "AddData", "PersonID");
  RequirePerson(from_person_id, "AddData", "MsgFromPersonID");
  StatementBuilder insert;
  insert << Lit{"Insert into DATA_Msg(PersonID,MsgContent,MsgFromPersonID,MsgTitle) values ("}
         << Number{person_id} << Lit{",'"} << Quoted{content} << Lit{"',"} << Number{from_person_id}
         << Lit{",'"} << Quoted{title} << Lit{"') "};
  const std::string retention = RetentionStatement(person_id, from_person_id);

  Connection& db = conn();
  db.Execute(insert.InsertText());
  db.Execute(retention);
  return true;
}

bool Message::dptAddData(const Variant& person_id, const Variant& content,
                         const Variant& from_person_id, const Variant& title,
                         const Variant& file_name, const Variant& file_attach,
                         const Variant& /*flg: not used*/) {
  RequirePerson(person_id, "dptAddData", "PersonID");
  RequirePerson(from_person_id, "dptAddData", "MsgFromPersonID");
  const bool has_file = !TextForm(file_name).empty();
  if (has_file && file_attach.bytes() == nullptr) {
    ThrowTypeMismatch("dptAddData: FileAttach must be an array of bytes when Msgfilename is given");
  }
  StatementBuilder insert;
  insert << Lit{"Insert into DATA_Msg(PersonID,MsgContent,MsgFromPersonID,MsgTitle,MsgFileName) "
                "values ("}
         << Number{person_id} << Lit{",'"} << Quoted{content} << Lit{"',"} << Number{from_person_id}
         << Lit{",'"} << Quoted{title} << Lit{"','"} << Quoted{file_name} << Lit{"') "};
  const std::string retention = RetentionStatement(person_id, from_person_id);

  // The file is written before any statement runs, so that a file system
  // that cannot take it fails the call with nothing stored. Once the insert
  // has given the new MsgID the file is renamed into place; if that fails
  // the new row is deleted again. The retention rule runs last, so that it
  // never deletes an older message for a post that did not happen.
  Connection& db = conn();
  std::optional<PendingAttachment> pending;
  const AttachmentStore store(work_path_, files_);
  if (has_file) pending.emplace(store.Prepare(*file_attach.bytes()));
  db.Execute(insert.InsertText());
  RecordSet added = RecordSet::Execute(db, kNewMessageIdQuery);
  if (has_file) {
    const Variant& new_id = added.Value(0);
    const std::string number = TextForm(Trim(new_id));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) {
      ThrowDatabase("dptAddData: the database did not report the new message's MsgID");
    }
    try {
      store.Place(*pending, number);
    } catch (const AutomationError&) {
      StatementBuilder undo;
      undo << Lit{"Delete from DATA_Msg where MsgID="} << Number{new_id};
      try {
        db.Execute(undo.text());
      } catch (const AutomationError&) {
        // The file error is the one to report; the row it leaves has a name
        // but no file, which GetFileData reads as no attachment.
      }
      throw;
    }
  }
  db.Execute(retention);
  return true;
}

bool Message::DelData(const Variant& id) {
  StatementBuilder sql;
  sql << Lit{"Delete from DATA_Msg where MsgID="} << Number{id};
  conn().Execute(sql.text());
  return true;
}

bool Message::UpdateData(const Variant& id, const Variant& person_id, const Variant& content,
                         const Variant& from_person_id, const Variant& title) {
  // The literal piece before the sender ends with a blank, which the update
  // null rewrite does not match; an empty sender is written as null here
  // instead, like the other empty numbers of the update.
  const bool no_sender = IsNoNumber(from_person_id);
  StatementBuilder sql;
  sql << Lit{"update DATA_Msg set PersonID ="} << Number{person_id} << Lit{",MsgContent='"}
      << Quoted{content} << Lit{"',MsgFromPersonID= "};
  if (no_sender) {
    sql << Lit{"null"};
  } else {
    sql << Number{from_person_id};
  }
  sql << Lit{",MsgTitle='"} << Quoted{title} << Lit{"'  where MsgID="} << Number{id};
  conn().Execute(sql.UpdateText());
  return true;
}

}  // namespace korimba
