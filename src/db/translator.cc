// Translation of a parsed statement in two passes over one annotated tree:
// the NameResolver (name_resolver.h) resolves names against the schema with
// SQL Server's scoping and messages, gives every expression its SQL Server
// type and every literal the conversion its place asks for; the
// SqliteWriter (sqlite_writer.h) then writes the SQLite text. The passes
// share the tree and a ResolvedStatement (resolved_tree.h), which lives
// here for the length of one translation.
#include "db/translator.h"

#include "db/name_resolver.h"
#include "db/resolved_tree.h"
#include "db/sql_ast.h"
#include "db/sql_parser.h"
#include "db/sqlite_writer.h"

namespace korimba::sql {

bool Translation::Matches(const ShapedStatement& shape) const {
  for (const auto& [index, text] : fixed_literals) {
    if (index >= static_cast<int>(shape.literals.size()) || shape.literals[index].text != text) {
      return false;
    }
  }
  return true;
}

Translation Translate(const ShapedStatement& shape, const TranslatorOptions& options) {
  Statement st = ParseStatement(shape);
  Translation out;
  ResolvedStatement resolved;
  NameResolver(shape, out, resolved, options.temp_tables).Run(st);
  SqliteWriter(shape, options, resolved, out).Run(st);
  return out;
}

}  // namespace korimba::sql
