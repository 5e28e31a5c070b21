#include "cli/copy_command.h"

#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string_view>
#include <vector>

#include "cli/copy_target.h"
#include "db/open.h"
#include "db/schema.h"
#include "db/sqlite_connection.h"
#include "frame/error.h"
#include "frame/statement.h"
#include "frame/value_ops.h"
#include "web/secret_mask.h"

namespace korimba::cli {
namespace {

using Rows = std::vector<std::vector<Variant>>;

// The tables of an office, in the order they are copied.
std::vector<const sql::TableDef*> OfficeTables() {
  std::vector<const sql::TableDef*> tables;
  for (std::string_view name : {"HR_Person", "DATA_Msg", "DATA_Plan", "KORIMBA_Account"}) {
    tables.push_back(sql::FindTable(name));
  }
  return tables;
}

// The column that orders a table's rows and tells them apart.
size_t KeyColumn(const sql::TableDef& table) {
  for (size_t c = 0; c < table.columns.size(); ++c) {
    if (table.columns[c].unique) return c;
  }
  ThrowDatabase("The table " + table.name + " has no key.");
}

// Holds one read transaction on an embedded source, so that every page of
// every table comes from one state of the database.
class ReadSnapshot {
 public:
  explicit ReadSnapshot(Connection& conn) : db_(dynamic_cast<SqliteConnection*>(&conn)) {
    if (db_ && sqlite3_exec(db_->handle(), "BEGIN", nullptr, nullptr, nullptr) != SQLITE_OK) {
      db_ = nullptr;
    }
  }
  ~ReadSnapshot() {
    if (db_) sqlite3_exec(db_->handle(), "COMMIT", nullptr, nullptr, nullptr);
  }
  ReadSnapshot(const ReadSnapshot&) = delete;
  ReadSnapshot& operator=(const ReadSnapshot&) = delete;

 private:
  SqliteConnection* db_;
};

// The next page of a table after the key `after` (all from the first when
// none), read in the SQL Server dialect every provider speaks.
Rows ReadPage(Connection& source, const sql::TableDef& table, const Variant* after, size_t limit) {
  const size_t key = KeyColumn(table);
  const std::string& key_name = table.columns[key].name;
  StatementBuilder select;
  select << Lit{"SELECT TOP "} << Int{static_cast<int64_t>(limit)} << Lit{" "};
  for (size_t c = 0; c < table.columns.size(); ++c) {
    if (c > 0) select << Lit{", "};
    select << Lit{table.columns[c].name};
  }
  select << Lit{" FROM "} << Lit{table.name};
  if (after != nullptr) {
    select << Lit{" WHERE "} << Lit{key_name} << Lit{" > "};
    if (after->is_text()) {
      select << Lit{"N'"} << Quoted{*after} << Lit{"'"};
    } else {
      select << Number{*after};
    }
  }
  select << Lit{" ORDER BY "} << Lit{key_name};
  ResultTable result = source.Query(select.text());
  Rows rows(result.row_count());
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; c < result.column_count(); ++c) rows[r].push_back(result.at(r, c));
  }
  return rows;
}

int64_t CountRows(Connection& conn, const sql::TableDef& table) {
  StatementBuilder count;
  count << Lit{"SELECT COUNT(*) FROM "} << Lit{table.name};
  return ToI4(conn.Execute(count.text()).at(0, 0));
}

// A new embedded file would be made (with the schema) by opening it: a
// source that does not exist is a mistake, not an empty office.
std::optional<std::string> MissingSourceFile(const std::string& conn) {
  constexpr std::string_view kPrefix = "sqlite:";
  if (conn.rfind(kPrefix, 0) != 0) return std::nullopt;
  std::string path = conn.substr(kPrefix.size());
  if (path == ":memory:" || std::filesystem::exists(path)) return std::nullopt;
  return path;
}

class Copier {
 public:
  Copier(const CopyOptions& options, std::ostream& out, std::ostream& err)
      : options_(options), out_(out), err_(err) {}

  int Run() {
    std::shared_ptr<Connection> source = OpenConnection(options_.from);
    std::shared_ptr<Connection> target = OpenConnection(options_.to);
    EnsureSchema(*target);
    ReadSnapshot snapshot(*source);
    CopyTarget writer(*target);
    writer.Begin();

    std::map<std::string, int64_t> before;
    std::string held;
    for (const sql::TableDef* table : OfficeTables()) {
      before[table->name] = writer.Count(*table);
      if (before[table->name] == 0) continue;
      held += (held.empty() ? "" : ", ") + table->name + " " + std::to_string(before[table->name]);
    }
    if (!held.empty() && !options_.replace && !options_.append) {
      err_ << "korimba copy: the target already holds rows (" << held
           << "); give --replace to empty it first or --append to add to it. Nothing copied.\n";
      return 1;
    }
    if (options_.replace) {
      for (const sql::TableDef* table : OfficeTables()) {
        writer.Empty(*table);
        before[table->name] = 0;
      }
    }

    std::map<std::string, int64_t> copied;
    for (const sql::TableDef* table : OfficeTables()) {
      const int64_t expected = CountRows(*source, *table);
      copied[table->name] = CopyTable(*source, writer, *table, expected);
      if (copied[table->name] != expected) {
        err_ << "korimba copy: " << table->name << " of the source holds " << expected
             << " rows but " << copied[table->name]
             << " were read (was it changed meanwhile?). Nothing copied.\n";
        return 1;
      }
    }
    for (const sql::TableDef* table : OfficeTables()) {
      const int64_t now = writer.Count(*table);
      const int64_t want = before[table->name] + copied[table->name];
      if (now != want) {
        err_ << "korimba copy: " << table->name << " of the target would hold " << now
             << " rows instead of " << want << ". Nothing copied.\n";
        return 1;
      }
    }
    writer.Commit();
    for (const sql::TableDef* table : OfficeTables()) {
      out_ << table->name << ": " << copied[table->name] << " rows copied\n";
    }
    out_ << "Counts checked: the target holds every row copied.\n";
    return 0;
  }

 private:
  int64_t CopyTable(Connection& source, CopyTarget& writer, const sql::TableDef& table,
                    int64_t expected) {
    const size_t key = KeyColumn(table);
    int64_t done = 0;
    std::optional<Variant> last;
    for (;;) {
      Rows rows = ReadPage(source, table, last ? &*last : nullptr, options_.batch_rows);
      if (rows.empty()) break;
      writer.Insert(table, rows);
      done += static_cast<int64_t>(rows.size());
      last = rows.back()[key];
      if (options_.progress) {
        err_ << "\r" << table.name << ": " << done << " of " << expected << std::flush;
      }
      if (rows.size() < options_.batch_rows) break;
    }
    if (options_.progress) {
      if (done == 0) err_ << table.name << ": 0 of " << expected;
      err_ << "\n";
    }
    return done;
  }

  const CopyOptions& options_;
  std::ostream& out_;
  std::ostream& err_;
};

}  // namespace

int Copy(const CopyOptions& options, std::ostream& out, std::ostream& err) {
  if (options.replace && options.append) {
    err << "korimba copy: give --replace or --append, not both\n";
    return 2;
  }
  if (options.from == options.to) {
    err << "korimba copy: the source and the target are the same database\n";
    return 2;
  }
  if (options.batch_rows == 0) {
    err << "korimba copy: a batch holds at least one row\n";
    return 2;
  }
  if (std::optional<std::string> missing = MissingSourceFile(options.from)) {
    err << "korimba copy: the source database " << *missing << " does not exist\n";
    return 1;
  }
  try {
    return Copier(options, out, err).Run();
  } catch (const AutomationError& e) {
    if (options.progress) err << "\n";
    err << "korimba copy: " << web::MaskSecrets(e.description()) << " Nothing copied.\n";
  }
  return 1;
}

}  // namespace korimba::cli
