// libFuzzer target for the embedded database's translator: every input is
// one statement text. It is shaped, translated and, when that succeeds, run
// on an in-memory database inside a transaction that is rolled back, so
// each input meets the same empty tables. A refusal (AutomationError) is an
// answer; anything else (a crash, a sanitizer report, another exception)
// is a finding.
//
// A statement may rightly never end (a recursive CTE under OPTION
// (MAXRECURSION 0) whose recursion has no stop, a cross join of large
// derived tables): SQL Server would run it too. Such an input is not a
// finding, so a progress handler interrupts any statement that runs longer
// than kStatementBudget, and the interrupt surfaces as an ordinary refusal.
#include <sqlite3.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "db/sqlite_connection.h"
#include "db/translator.h"
#include "frame/error.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kStatementBudget{500};
// The handler runs every kProgressSteps virtual-machine steps, often enough
// to keep the overrun small and rarely enough to cost nothing measurable.
constexpr int kProgressSteps = 1000;

Clock::time_point statement_deadline;

int InterruptPastDeadline(void*) { return Clock::now() > statement_deadline ? 1 : 0; }

korimba::SqliteConnection& Database() {
  static std::shared_ptr<korimba::SqliteConnection> db = [] {
    auto opened = korimba::SqliteConnection::Open(":memory:");
    sqlite3_progress_handler(opened->handle(), kProgressSteps, InterruptPastDeadline, nullptr);
    return opened;
  }();
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
  statement_deadline = Clock::now() + kStatementBudget;
  try {
    db.Execute(text);
  } catch (const korimba::AutomationError&) {
  }
  sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
  return 0;
}
