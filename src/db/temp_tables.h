// The local temporary tables (#name) of one connection, as SQL Server keeps
// them for a session: made by CREATE TABLE #t or SELECT ... INTO #t, seen
// by every later statement on the same connection and by no other, gone
// with DROP TABLE or when the connection closes. The rows live in SQLite's
// temp schema of the connection's handle; this catalog holds their
// definitions for the translator, which resolves a name starting with "#"
// here (TranslatorOptions::temp_tables). Definitions keep their addresses
// while they exist. Owned by its connection; one thread at a time.
#ifndef KORIMBA_DB_TEMP_TABLES_H_
#define KORIMBA_DB_TEMP_TABLES_H_

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "db/schema.h"

namespace korimba::sql {

class TempTables {
 public:
  // The table of that name (without regard to case), or nullptr.
  const TableDef* Find(std::string_view name) const;
  // Adds `table`; fails with SQL Server's message when the name is taken.
  const TableDef& Add(TableDef table);
  void Remove(std::string_view name);
  std::vector<std::string> Names() const;

  // SQLite's CREATE TEMP TABLE for `table`: the same column declarations
  // and collation as the stored tables have.
  static std::string CreateText(const TableDef& table);

 private:
  std::vector<std::unique_ptr<TableDef>> tables_;
};

}  // namespace korimba::sql

#endif  // KORIMBA_DB_TEMP_TABLES_H_
