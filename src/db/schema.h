// The component's schema: the tables DATA_Msg, HR_Person and DATA_Plan with
// their columns in the order "Select *" reports them, their SQL Server types
// (which the translator uses to convert literals and to type results), and
// the SQLite DDL that creates them and their indexes.
//
// Indexes: every statement of the component that filters by person, by a
// pair of persons or by time reaches its rows through an index:
//   IX_DATA_Msg_Pair    (PersonID, MsgFromPersonID, msgCreatetime): the
//                       conversation of two persons, retention, inbox
//   IX_DATA_Msg_Unread  (PersonID, msgFlag, msgCreatetime): oldest unread
//   IX_DATA_Msg_From    (MsgFromPersonID, msgCreatetime): sent messages
//   IX_DATA_Msg_MinuteCover (the minute text of msgCreatetime, ...): the
//                       copies of one group message (track)
//   IX_DATA_Msg_InboxCover (PersonID, msgCreatetime, ...): a person's
//                       received messages (InceptMsg, search)
//   IX_DATA_Msg_InboxTitle (PersonID, MsgTitle, ...): their titles (search)
//   IX_DATA_Msg_Sent    (MsgFromPersonID, PersonID, ...): the persons
//                       one writes to, the group messages one sent, search
//   IX_DATA_Msg_GroupSent, IX_DATA_Msg_GroupMinute: the same two readings
//                       of group messages, holding only the group messages
//                       (partial, on the LIKE condition the statements have)
// These and the Group... indexes carry every column their statements read,
// so those statements never visit the table.
//   IX_DATA_Plan_Begin  (PersonID, PlanBeginTime, texts): every calendar
//                       view, the plan list, search
//   IX_DATA_Plan_End    (PersonID, PlanEndTime): plans by their end (the
//                       week view's "begin or end in the week")
// and the plan span R*Tree with its triggers (plan_span.h), through which
// the calendar views reach only the plans that overlap their period.
//
// SchemaOwner is how EnsureSchema (open.h) reaches a provider: a connection
// that can create the schema in its own dialect implements it (the embedded
// provider with the DDL below; the ODBC provider with SQL Server's, or this
// DDL for the SQLite ODBC driver). Immutable data; any thread.
#ifndef KORIMBA_DB_SCHEMA_H_
#define KORIMBA_DB_SCHEMA_H_

#include <string>
#include <string_view>
#include <vector>

#include "db/sql_types.h"

namespace korimba::sql {

struct ColumnDef {
  std::string name;
  SqlType type = SqlType::kUnknown;
  int max_length = 0;        // nvarchar(n): n; 0 for ntext / no limit
  bool identity = false;     // assigned by the database, never written
  bool default_now = false;  // defaults to the current time on insert
  bool unique = false;       // primary key or identity: one row per value
  bool not_null = false;     // a temporary table's NOT NULL (the stored tables' DDL says its own)
  int time_scale = 7;        // time(n): n
};

struct TableDef {
  std::string name;
  std::vector<ColumnDef> columns;
  int identity_column = -1;

  // Index of the column named `name` (without regard to case), or -1.
  int IndexOf(std::string_view name) const;
};

// The table named `name` without regard to case, or nullptr.
const TableDef* FindTable(std::string_view name);
const std::vector<TableDef>& SchemaTables();

// One object of the SQLite schema, in creation order (tables first).
struct SchemaObject {
  std::string name;
  std::string type;  // "table", "index" or "trigger", as sqlite_master names it
  std::string ddl;
  // Run right after `ddl` when the object is created: fills an index that
  // triggers maintain from the rows already there. Empty for most.
  std::string fill = {};
  // An index of an earlier schema that this one supersedes: dropped when
  // this one is created, so that an older file does not keep maintaining
  // both. Empty for most.
  std::string replaces = {};
};
const std::vector<SchemaObject>& SqliteSchemaObjects();

}  // namespace korimba::sql

namespace korimba {

class SchemaOwner {
 public:
  virtual ~SchemaOwner() = default;
  // Creates whatever is missing of the tables and indexes; returns the names
  // created. Never drops or changes existing objects or data.
  virtual std::vector<std::string> EnsureSchema() = 0;
};

}  // namespace korimba

#endif  // KORIMBA_DB_SCHEMA_H_
