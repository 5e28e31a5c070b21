// libFuzzer target for the embedded database's translator: every input is
// one statement text. It is shaped, translated and, when that succeeds, run
// on an in-memory database inside a transaction that is rolled back, so
// each input meets the same empty tables. A refusal (AutomationError) is an
// answer; anything else (a crash, a sanitizer report, another exception)
// is a finding.
#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "db/sqlite_connection.h"
#include "db/translator.h"
#include "frame/error.h"

namespace {

korimba::SqliteConnection& Database() {
  static std::shared_ptr<korimba::SqliteConnection> db =
      korimba::SqliteConnection::Open(":memory:");
  return *db;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  korimba::SqliteConnection& db = Database();
  try {
    korimba::sql::ShapedStatement shape;
    korimba::sql::ShapeStatement(text, shape);
    korimba::sql::Translate(shape, db.translator_options());
  } catch (const korimba::AutomationError&) {
    return 0;
  }
  sqlite3_exec(db.handle(), "BEGIN", nullptr, nullptr, nullptr);
  try {
    db.Execute(text);
  } catch (const korimba::AutomationError&) {
  }
  sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
  return 0;
}
