#include "cli/copy_target.h"

#include <sqlite3.h>

#include "db/odbc_connection.h"
#include "db/sql_values.h"
#include "db/sqlite_connection.h"
#include "frame/date.h"
#include "frame/error.h"
#include "frame/statement.h"
#include "frame/value_ops.h"

namespace korimba::cli {
namespace {

[[noreturn]] void Unexpected(const sql::TableDef& table, const sql::ColumnDef& column,
                             const Variant& value) {
  ThrowDatabase("Cannot copy " + table.name + "." + column.name + ": the value " +
                value.DebugString() + " is not of the column's type.");
}

void AddValue(StatementBuilder& out, CopyTarget::Dialect dialect, const sql::TableDef& table,
              const sql::ColumnDef& column, const Variant& value) {
  const bool server = dialect == CopyTarget::Dialect::kSqlServer;
  if (value.is_null() || value.is_empty()) {
    out << Lit{"NULL"};
    return;
  }
  switch (column.type) {
    case sql::SqlType::kInt:
      if (!value.is_number()) Unexpected(table, column, value);
      out << Int{ToI4(value)};
      return;
    case sql::SqlType::kDateTime: {
      if (!value.date()) Unexpected(table, column, value);
      // The embedded database stores this very text; style 121 reads it on
      // SQL Server whatever the login's date order.
      const Variant text = Variant::Text(sql::CanonicalText(SplitDate(*value.date())));
      if (server) {
        out << Lit{"CONVERT(datetime, '"} << Quoted{text} << Lit{"', 121)"};
      } else {
        out << Lit{"'"} << Quoted{text} << Lit{"'"};
      }
      return;
    }
    default:
      if (!value.is_text()) Unexpected(table, column, value);
      out << Lit{server ? "N'" : "'"} << Quoted{value} << Lit{"'"};
      return;
  }
}

}  // namespace

CopyTarget::CopyTarget(Connection& conn) : conn_(conn) {
  if (dynamic_cast<SqliteConnection*>(&conn) != nullptr) {
    dialect_ = Dialect::kSqlite;
  } else if (auto* odbc = dynamic_cast<OdbcConnection*>(&conn)) {
    dialect_ = odbc->translates_dialect() ? Dialect::kSqlite : Dialect::kSqlServer;
  } else {
    ThrowDatabase("This connection cannot be the target of a copy.");
  }
}

CopyTarget::~CopyTarget() {
  if (!open_) return;
  try {
    Run(dialect_ == Dialect::kSqlServer ? "IF @@TRANCOUNT > 0 ROLLBACK TRANSACTION" : "ROLLBACK");
  } catch (const AutomationError&) {
    // The connection is closed next; the database drops the transaction then.
  }
}

void CopyTarget::Run(const std::string& statement) {
  if (auto* embedded = dynamic_cast<SqliteConnection*>(&conn_)) {
    char* message = nullptr;
    if (sqlite3_exec(embedded->handle(), statement.c_str(), nullptr, nullptr, &message) !=
        SQLITE_OK) {
      std::string text = message ? message : sqlite3_errmsg(embedded->handle());
      sqlite3_free(message);
      ThrowDatabase(text);
    }
    return;
  }
  dynamic_cast<OdbcConnection&>(conn_).ExecuteUntranslated(statement);
}

void CopyTarget::Begin() {
  if (dialect_ == Dialect::kSqlServer) {
    // Any failed statement then ends the transaction as a whole.
    Run("SET XACT_ABORT ON");
    Run("BEGIN TRANSACTION");
  } else {
    Run("BEGIN IMMEDIATE");
  }
  open_ = true;
}

void CopyTarget::Commit() {
  Run(dialect_ == Dialect::kSqlServer ? "COMMIT TRANSACTION" : "COMMIT");
  open_ = false;
}

int64_t CopyTarget::Count(const sql::TableDef& table) {
  StatementBuilder count;
  count << Lit{"SELECT COUNT(*) FROM "} << Lit{table.name};
  // The provider's own Execute: the same SQL Server-dialect text reads every
  // kind of target, on the connection that holds the transaction.
  ResultTable result = conn_.Execute(count.text());
  if (result.row_count() != 1) ThrowDatabase("Cannot count the rows of " + table.name + ".");
  return ToI4(result.at(0, 0));
}

void CopyTarget::Empty(const sql::TableDef& table) {
  StatementBuilder remove;
  remove << Lit{"DELETE FROM "} << Lit{table.name};
  Run(remove.text());
}

std::string CopyTarget::Tuple(Dialect dialect, const sql::TableDef& table,
                              const std::vector<Variant>& row) {
  StatementBuilder tuple;
  tuple << Lit{"("};
  for (size_t c = 0; c < table.columns.size(); ++c) {
    if (c > 0) tuple << Lit{", "};
    AddValue(tuple, dialect, table, table.columns[c], row.at(c));
  }
  tuple << Lit{")"};
  return tuple.text();
}

void CopyTarget::Insert(const sql::TableDef& table, const std::vector<std::vector<Variant>>& rows) {
  if (rows.empty()) return;
  const bool identity = dialect_ == Dialect::kSqlServer && table.identity_column >= 0;
  if (identity) SetIdentityInsert(table, true);
  StatementBuilder insert;
  insert << Lit{"INSERT INTO "} << Lit{table.name} << Lit{" ("};
  for (size_t c = 0; c < table.columns.size(); ++c) {
    if (c > 0) insert << Lit{", "};
    insert << Lit{table.columns[c].name};
  }
  insert << Lit{") VALUES\n"};
  for (size_t r = 0; r < rows.size(); ++r) {
    if (r > 0) insert << Lit{",\n"};
    // Each tuple is itself built from typed pieces.
    insert << Lit{Tuple(dialect_, table, rows[r])};
  }
  Run(insert.text());
  // A session holds IDENTITY_INSERT for one table at a time: off again at
  // once, so that the next table can have it.
  if (identity) SetIdentityInsert(table, false);
}

void CopyTarget::SetIdentityInsert(const sql::TableDef& table, bool on) {
  StatementBuilder set;
  set << Lit{"SET IDENTITY_INSERT "} << Lit{table.name} << Lit{on ? " ON" : " OFF"};
  Run(set.text());
}

}  // namespace korimba::cli
