#include "db/schema.h"

#include "db/plan_span.h"
#include "frame/names.h"

namespace korimba::sql {
namespace {

ColumnDef Col(std::string name, SqlType type, int max_length = 0) {
  ColumnDef c;
  c.name = std::move(name);
  c.type = type;
  c.max_length = max_length;
  return c;
}

TableDef Table(std::string name, std::vector<ColumnDef> columns) {
  TableDef t;
  t.name = std::move(name);
  t.columns = std::move(columns);
  for (size_t i = 0; i < t.columns.size(); ++i) {
    if (t.columns[i].identity) t.identity_column = static_cast<int>(i);
  }
  return t;
}

std::vector<TableDef> MakeTables() {
  ColumnDef msg_id = Col("MsgID", SqlType::kInt);
  msg_id.identity = true;
  msg_id.unique = true;
  ColumnDef person_id = Col("PersonID", SqlType::kInt);
  person_id.unique = true;
  ColumnDef created = Col("msgCreatetime", SqlType::kDateTime);
  created.default_now = true;
  ColumnDef plan_id = Col("PlanID", SqlType::kInt);
  plan_id.identity = true;
  plan_id.unique = true;
  ColumnDef login = Col("LoginName", SqlType::kText, 100);
  login.unique = true;
  return {
      Table("DATA_Msg",
            {msg_id, Col("PersonID", SqlType::kInt), Col("MsgFromPersonID", SqlType::kInt),
             Col("MsgTitle", SqlType::kText, 200), Col("MsgContent", SqlType::kText),
             Col("MsgFileName", SqlType::kText, 255), Col("msgFlag", SqlType::kInt), created}),
      Table("HR_Person", {person_id, Col("PersonName", SqlType::kText, 50)}),
      Table("DATA_Plan",
            {plan_id, Col("PersonID", SqlType::kInt), Col("PlanType", SqlType::kInt),
             Col("PlanClass", SqlType::kInt), Col("PlanBeginTime", SqlType::kDateTime),
             Col("PlanEndTime", SqlType::kDateTime), Col("PlanAlertTime", SqlType::kDateTime),
             Col("PlanContent", SqlType::kText), Col("PlanPlace", SqlType::kText, 200)}),
      // The web host's sign-in accounts; not used by the component itself.
      Table("KORIMBA_Account",
            {login, Col("PersonID", SqlType::kInt), Col("PasswordHash", SqlType::kText, 255),
             Col("Created", SqlType::kDateTime), Col("LastSignIn", SqlType::kDateTime)}),
  };
}

// Character columns compare without regard to ASCII case (NOCASE), as
// under SQL Server's usual case-insensitive collation. Datetime columns hold
// the canonical text "yyyy-mm-dd hh:mm:ss.fff"; the msgCreatetime default
// is a fallback for other writers: the translator supplies the component
// clock's time on every insert.
std::vector<SchemaObject> MakeObjects() {
  std::vector<SchemaObject> objects = {
      {"DATA_Msg", "table",
       "CREATE TABLE DATA_Msg (\n"
       "  MsgID INTEGER PRIMARY KEY AUTOINCREMENT,\n"
       "  PersonID INT,\n"
       "  MsgFromPersonID INT,\n"
       "  MsgTitle NVARCHAR(200) COLLATE NOCASE,\n"
       "  MsgContent NTEXT COLLATE NOCASE,\n"
       "  MsgFileName NVARCHAR(255) COLLATE NOCASE NULL,\n"
       "  msgFlag INT DEFAULT 0,\n"
       "  msgCreatetime DATETIME DEFAULT (strftime('%Y-%m-%d %H:%M:%f', 'now', 'localtime'))\n"
       ")"},
      {"HR_Person", "table",
       "CREATE TABLE HR_Person (\n"
       "  PersonID INT NOT NULL PRIMARY KEY,\n"
       "  PersonName NVARCHAR(50) COLLATE NOCASE\n"
       ") WITHOUT ROWID"},
      {"DATA_Plan", "table",
       "CREATE TABLE DATA_Plan (\n"
       "  PlanID INTEGER PRIMARY KEY AUTOINCREMENT,\n"
       "  PersonID INT,\n"
       "  PlanType INT,\n"
       "  PlanClass INT,\n"
       "  PlanBeginTime DATETIME,\n"
       "  PlanEndTime DATETIME,\n"
       "  PlanAlertTime DATETIME,\n"
       "  PlanContent NTEXT COLLATE NOCASE,\n"
       "  PlanPlace NVARCHAR(200) COLLATE NOCASE\n"
       ")"},
      {"KORIMBA_Account", "table",
       "CREATE TABLE KORIMBA_Account (\n"
       "  LoginName NVARCHAR(100) COLLATE NOCASE NOT NULL PRIMARY KEY,\n"
       "  PersonID INT NOT NULL,\n"
       "  PasswordHash NVARCHAR(255) NULL,\n"
       "  Created DATETIME,\n"
       "  LastSignIn DATETIME NULL\n"
       ") WITHOUT ROWID"},
      {"IX_DATA_Msg_Pair", "index",
       "CREATE INDEX IX_DATA_Msg_Pair ON DATA_Msg (PersonID, MsgFromPersonID, msgCreatetime)"},
      {"IX_DATA_Msg_Unread", "index",
       "CREATE INDEX IX_DATA_Msg_Unread ON DATA_Msg (PersonID, msgFlag, msgCreatetime)"},
      {"IX_DATA_Msg_From", "index",
       "CREATE INDEX IX_DATA_Msg_From ON DATA_Msg (MsgFromPersonID, msgCreatetime)"},
      // The copies of a group message sent in one minute (track), newest
      // first (equal times in the order they were written, as a sort of the
      // rows would give them), read from the index alone. The LIKE on the
      // content is checked on the index's copy of it: the pattern arrives
      // as a bound parameter, which a partial index's condition cannot
      // match.
      {"IX_DATA_Msg_MinuteCover", "index",
       "CREATE INDEX IX_DATA_Msg_MinuteCover ON DATA_Msg (substr(msgCreatetime, 1, 16) COLLATE "
       "NOCASE, msgCreatetime DESC, MsgID, PersonID, msgFlag, MsgContent)"},
      // A person's received messages newest first (InceptMsg), walked in
      // index order (equal times newest written first, as before) and read
      // from the index alone, with no sort and no visit to the table. It
      // holds every column but the title on purpose: with the title it
      // would cover "select *", and SQLite would walk it for the oldest
      // unread message instead of seeking IX_DATA_Msg_Unread.
      {"IX_DATA_Msg_InboxCover", "index",
       "CREATE INDEX IX_DATA_Msg_InboxCover ON DATA_Msg (PersonID, msgCreatetime, MsgID, "
       "MsgFromPersonID, msgFlag, MsgFileName, MsgContent)"},
      // The titles of a person's received messages: with the content in
      // IX_DATA_Msg_InboxCover, the search of one's inbox reads no table row.
      {"IX_DATA_Msg_InboxTitle", "index",
       "CREATE INDEX IX_DATA_Msg_InboxTitle ON DATA_Msg (PersonID, MsgTitle, msgCreatetime)"},
      // What one person sent, by recipient: the persons one writes to
      // (GetFriendList), the group messages one sent (trackMsg) and the
      // search of one's sent messages, all read from the index alone.
      {.name = "IX_DATA_Msg_Sent",
       .type = "index",
       .ddl = "CREATE INDEX IX_DATA_Msg_Sent ON DATA_Msg (MsgFromPersonID, PersonID, MsgContent, "
              "msgCreatetime, MsgTitle)",
       .replaces = "IX_DATA_Msg_SentCover"},
      // Only the group messages (a few in a thousand): the ones a person
      // sent (trackMsg) and the copies of one minute (track), read from the
      // index alone. The condition is the one the translator writes for
      // LIKE '%群发消息%' with the pattern written into the text, so SQLite
      // matches it and reads no other message.
      {"IX_DATA_Msg_GroupSent", "index",
       "CREATE INDEX IX_DATA_Msg_GroupSent ON DATA_Msg (MsgFromPersonID, MsgContent, "
       "msgCreatetime) WHERE MsgContent LIKE '%群发消息%' ESCAPE '\\'"},
      {"IX_DATA_Msg_GroupMinute", "index",
       "CREATE INDEX IX_DATA_Msg_GroupMinute ON DATA_Msg (substr(msgCreatetime, 1, 16) COLLATE "
       "NOCASE, msgCreatetime DESC, MsgID, PersonID, msgFlag, MsgContent) "
       "WHERE MsgContent LIKE '%群发消息%' ESCAPE '\\'"},
      // A person's plans by their begin: every calendar view and the plan
      // list, whose order (begin, then id) is the index's own, as PlanID
      // comes before the texts; the texts make it cover the search of one's
      // plans.
      {.name = "IX_DATA_Plan_Begin",
       .type = "index",
       .ddl = "CREATE INDEX IX_DATA_Plan_Begin ON DATA_Plan (PersonID, PlanBeginTime, PlanID, "
              "PlanContent, PlanPlace)",
       .replaces = "IX_DATA_Plan_Person"},
      {"IX_DATA_Plan_End", "index",
       "CREATE INDEX IX_DATA_Plan_End ON DATA_Plan (PersonID, PlanEndTime)"},
  };
  for (SchemaObject& object : PlanSpanSchemaObjects()) objects.push_back(std::move(object));
  return objects;
}

}  // namespace

int TableDef::IndexOf(std::string_view column) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (SameName(columns[i].name, column)) return static_cast<int>(i);
  }
  return -1;
}

const std::vector<TableDef>& SchemaTables() {
  static const std::vector<TableDef> tables = MakeTables();
  return tables;
}

const TableDef* FindTable(std::string_view name) {
  for (const TableDef& t : SchemaTables()) {
    if (SameName(t.name, name)) return &t;
  }
  return nullptr;
}

const std::vector<SchemaObject>& SqliteSchemaObjects() {
  static const std::vector<SchemaObject> objects = MakeObjects();
  return objects;
}

}  // namespace korimba::sql
