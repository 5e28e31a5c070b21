#include "db/sqlite_batch.h"

#include <string>
#include <utility>

#include "frame/error.h"

namespace korimba {

SqliteBatch::SqliteBatch(SqliteConnection& conn, const sql::Batch& batch)
    : conn_(conn), batch_(batch), batch_shape_(conn.shape_) {
  values_.resize(batch.variables.size());
}

ResultTable SqliteBatch::Run() {
  RunSteps(batch_.steps);
  return first_result_ ? std::move(*first_result_) : ResultTable{};
}

SqliteBatch::Flow SqliteBatch::RunSteps(const std::vector<sql::BatchStep>& steps) {
  for (const sql::BatchStep& step : steps) {
    const Flow flow = RunStep(step);
    if (flow != Flow::kNext) return flow;
  }
  return Flow::kNext;
}

SqliteBatch::Flow SqliteBatch::RunStep(const sql::BatchStep& step) {
  using Kind = sql::BatchStep::Kind;
  switch (step.kind) {
    case Kind::kStatement:
      RunStatement(step);
      return Flow::kNext;
    case Kind::kAssign:
      Assign(step);
      return Flow::kNext;
    case Kind::kIf:
      return RunSteps(Condition(step.text) ? step.body : step.else_body);
    case Kind::kWhile:
      while (Condition(step.text)) {
        if (++iterations_ > conn_.loop_limit_) {
          ThrowDatabase("The batch's WHILE loops ran more than " +
                        std::to_string(conn_.loop_limit_) +
                        " times; the embedded database stopped the batch there.");
        }
        const Flow flow = RunSteps(step.body);
        if (flow == Flow::kBreak) break;
        if (flow == Flow::kReturn) return flow;
      }
      return Flow::kNext;
    case Kind::kBlock:
      return RunSteps(step.body);
    case Kind::kBreak:
      return Flow::kBreak;
    case Kind::kContinue:
      return Flow::kContinue;
    case Kind::kReturn:
      conn_.row_count_ = 1;
      return Flow::kReturn;
    case Kind::kBeginTran:
      conn_.transactions_.Begin(step.name);
      conn_.row_count_ = 0;
      return Flow::kNext;
    case Kind::kCommit:
      conn_.transactions_.Commit();
      if (conn_.transactions_.Count() == 0) conn_.dropped_in_transaction_.clear();
      conn_.row_count_ = 0;
      return Flow::kNext;
    case Kind::kRollback:
      conn_.transactions_.Rollback(step.name);
      conn_.ReconcileTempTables();
      conn_.row_count_ = 0;
      return Flow::kNext;
    case Kind::kSave:
      conn_.transactions_.Save(step.name);
      conn_.row_count_ = 0;
      return Flow::kNext;
    case Kind::kPrint:
      Shape(step.text);
      outcome_ = {};
      conn_.RunInBatch(step_shape_, outcome_);
      conn_.row_count_ = 0;
      return Flow::kNext;
    case Kind::kOption:
      conn_.row_count_ = 0;
      return Flow::kNext;
    case Kind::kCreateTable:
      conn_.CreateTempTable(step.table);
      return Flow::kNext;
    case Kind::kDropTable:
      for (const std::string& name : step.names) conn_.DropTempTable(name, step.if_exists);
      return Flow::kNext;
    case Kind::kSelectInto:
      Shape(step.text);
      outcome_ = {};
      conn_.SelectInto(step_shape_, step.name, outcome_);
      return Flow::kNext;
  }
  return Flow::kNext;
}

void SqliteBatch::Shape(const sql::BatchText& text) {
  for (size_t i = 0; i < batch_.variables.size(); ++i) {
    switch (batch_.variables[i].system) {
      case sql::SystemVariable::kNone:
        break;
      case sql::SystemVariable::kRowCount:
        values_[i] = conn_.row_count_;
        break;
      case sql::SystemVariable::kTranCount:
        values_[i] = static_cast<int64_t>(conn_.transactions_.Count());
        break;
      case sql::SystemVariable::kError:
        // A statement that fails ends the batch, so every statement a later
        // one can follow succeeded.
        values_[i] = int64_t{0};
        break;
    }
  }
  sql::ShapeBatchText(batch_shape_, text, batch_.variables, values_, step_shape_);
}

bool SqliteBatch::Condition(const sql::BatchText& text) {
  // A condition is read without changing @@ROWCOUNT, so "IF @@ROWCOUNT = 0"
  // in a loop's body sees the statement before it.
  const int64_t rows = conn_.row_count_;
  Shape(text);
  outcome_ = {};
  conn_.RunInBatch(step_shape_, outcome_);
  conn_.row_count_ = rows;
  return outcome_.rows > 0;
}

void SqliteBatch::RunStatement(const sql::BatchStep& step) {
  Shape(step.text);
  outcome_ = {};
  conn_.RunInBatch(step_shape_, outcome_);
  if (!first_result_ && !outcome_.table.columns.empty()) {
    first_result_ = std::move(outcome_.table);
  }
}

void SqliteBatch::Assign(const sql::BatchStep& step) {
  Shape(step.text);
  outcome_ = {};
  outcome_.last_row.assign(step.targets.size(), std::monostate{});
  conn_.RunInBatch(step_shape_, outcome_);
  // No row leaves the variables as they were, as SQL Server does.
  if (outcome_.rows > 0) {
    for (size_t i = 0; i < step.targets.size(); ++i)
      values_[step.targets[i]] = outcome_.last_row[i];
  }
  conn_.row_count_ = step.single_assignment ? 1 : outcome_.rows;
}

}  // namespace korimba
