#include "db/temp_tables.h"

#include <algorithm>

#include "db/resolved_tree.h"
#include "frame/error.h"
#include "frame/names.h"

namespace korimba::sql {

const TableDef* TempTables::Find(std::string_view name) const {
  for (const auto& t : tables_) {
    if (SameName(t->name, name)) return t.get();
  }
  return nullptr;
}

const TableDef& TempTables::Add(TableDef table) {
  if (Find(table.name)) {
    ThrowDatabase("There is already an object named '" + table.name + "' in the database.");
  }
  tables_.push_back(std::make_unique<TableDef>(std::move(table)));
  return *tables_.back();
}

void TempTables::Remove(std::string_view name) {
  std::erase_if(tables_,
                [&](const std::unique_ptr<TableDef>& t) { return SameName(t->name, name); });
}

std::vector<std::string> TempTables::Names() const {
  std::vector<std::string> names;
  for (const auto& t : tables_) names.push_back(t->name);
  return names;
}

std::string TempTables::CreateText(const TableDef& table) {
  std::string sql = "CREATE TEMP TABLE " + Quote(table.name) + " (";
  for (size_t i = 0; i < table.columns.size(); ++i) {
    const ColumnDef& c = table.columns[i];
    if (i > 0) sql += ", ";
    sql += Quote(c.name);
    if (c.identity) {
      sql += " INTEGER PRIMARY KEY AUTOINCREMENT";
      continue;
    }
    switch (c.type) {
      case SqlType::kInt:
      case SqlType::kSmallInt:
      case SqlType::kBit:
        sql += " INT";
        break;
      case SqlType::kFloat:
      case SqlType::kReal:
      case SqlType::kDecimal:
        sql += " REAL";
        break;
      case SqlType::kDateTime:
      case SqlType::kDate:
        sql += " DATETIME";
        break;
      case SqlType::kTime:
        sql += " TEXT";
        break;
      case SqlType::kText:
        sql += " TEXT COLLATE NOCASE";
        break;
      default:
        break;
    }
    if (c.not_null) sql += " NOT NULL";
    if (c.unique) sql += " UNIQUE";
  }
  return sql + ")";
}

}  // namespace korimba::sql
