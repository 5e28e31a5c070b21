// libFuzzer target for the embedded database's translator: every input is
// one statement text or a batch of them. It is shaped, translated (a batch:
// parsed) and, when that succeeds, run on an in-memory database inside a
// transaction that is rolled back, so each input meets the same empty
// tables; a transaction the input began is rolled back with it. A refusal (AutomationError) is an
// answer; anything else (a crash, a sanitizer report, another exception)
// is a finding.
//
// A statement may rightly never end (a recursive CTE under OPTION
// (MAXRECURSION 0) whose recursion has no stop, a cross join of large
// derived tables): SQL Server would run it too. Such an input is not a
// finding, so a progress handler interrupts any statement that runs longer
// than kStatementBudget (a batch's statements share one budget), and the
// interrupt surfaces as an ordinary refusal; a batch's WHILE loops stop
// after kLoopLimit iterations.
#include <sqlite3.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "db/sql_batch.h"
#include "db/sqlite_connection.h"
#include "db/translator.h"
#include "frame/error.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::milliseconds kStatementBudget{500};
// The handler runs every kProgressSteps virtual-machine steps, often enough
// to keep the overrun small and rarely enough to cost nothing measurable.
constexpr int kProgressSteps = 1000;
constexpr int64_t kLoopLimit = 1000;

Clock::time_point statement_deadline;

int InterruptPastDeadline(void*) { return Clock::now() > statement_deadline ? 1 : 0; }

korimba::SqliteConnection& Database() {
  static std::shared_ptr<korimba::SqliteConnection> db = [] {
    auto opened = korimba::SqliteConnection::Open(":memory:");
    sqlite3_progress_handler(opened->handle(), kProgressSteps, InterruptPastDeadline, nullptr);
    opened->set_loop_limit(kLoopLimit);
    return opened;
  }();
  return *db;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  korimba::SqliteConnection& db = Database();
  korimba::sql::ShapedStatement shape;
  try {
    korimba::sql::ShapeStatement(text, shape);
  } catch (const korimba::AutomationError&) {
    return 0;
  }
  try {
    korimba::sql::Translate(shape, db.translator_options());
  } catch (const korimba::AutomationError&) {
    try {
      if (korimba::sql::ParseBatch(shape).IsSingleStatement()) return 0;
    } catch (const korimba::AutomationError&) {
      return 0;
    }
  }
  sqlite3_exec(db.handle(), "BEGIN", nullptr, nullptr, nullptr);
  statement_deadline = Clock::now() + kStatementBudget;
  try {
    db.Execute(text);
  } catch (const korimba::AutomationError&) {
  }
  try {
    db.Execute("if @@trancount > 0 rollback");
  } catch (const korimba::AutomationError&) {
  }
  sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
  return 0;
}
