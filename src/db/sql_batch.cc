// The batch parser: the batch's own statements are read here, token by
// token; every SELECT, INSERT, UPDATE, DELETE, condition and value is read
// by the statement parser through a StatementReader, which reports the
// variables it met so that their places become edits of the statement's
// text.
#include "db/sql_batch.h"

#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "db/sql_lexer.h"
#include "db/sql_parser.h"
#include "db/sql_variables.h"
#include "frame/error.h"
#include "frame/names.h"

namespace korimba::sql {
namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c -= 32;
  }
  return out;
}

bool IsMarker(char c) { return c >= kStringMarker && c <= kFloatMarker; }

// How deep IF, WHILE and BEGIN ... END may nest; the runner walks the steps
// recursively.
constexpr int kMaxBlockNesting = 64;

class BatchParser {
 public:
  explicit BatchParser(const ShapedStatement& shape) : shape_(shape), reader_(shape) {}

  Batch Run() {
    while (!AtEnd()) {
      batch_.steps.push_back(ParseStep());
    }
    if (batch_.steps.empty()) ThrowDatabase("The statement is empty.");
    return std::move(batch_);
  }

 private:
  bool AtEnd() {
    while (reader_.AcceptOp(";")) {
    }
    return reader_.Peek().kind == TokenKind::kEnd;
  }
  bool At(std::string_view word, size_t ahead = 0) const {
    return reader_.IsKeyword(reader_.Peek(ahead), word);
  }
  [[noreturn]] void Refuse(const std::string& what) const {
    ThrowDatabase(what + " is not supported by the embedded database.");
  }

  // The literal index of the first marker at or after `offset`: markers are
  // numbered in order, and the batch is read front to back.
  int LiteralsBefore(size_t offset) {
    while (marker_scan_ < offset && marker_scan_ < shape_.key.size()) {
      if (IsMarker(shape_.key[marker_scan_])) ++markers_seen_;
      ++marker_scan_;
    }
    return markers_seen_;
  }

  BatchText Text(BatchText::Form form, size_t begin, size_t end) {
    BatchText text;
    text.form = form;
    text.begin = begin;
    text.end = end;
    text.first_literal = LiteralsBefore(begin);
    return text;
  }

  // `written` is the name as the text spells it, for messages.
  int Variable(const std::string& name, std::string_view written) {
    for (size_t i = 0; i < batch_.variables.size(); ++i) {
      if (batch_.variables[i].name == name) return static_cast<int>(i);
    }
    if (name.rfind("@@", 0) == 0) {
      BatchVariable v;
      v.name = name;
      v.type.type = SqlType::kInt;
      v.type.name = "int";
      if (name == "@@ROWCOUNT") {
        v.system = SystemVariable::kRowCount;
      } else if (name == "@@TRANCOUNT") {
        v.system = SystemVariable::kTranCount;
      } else if (name == "@@ERROR") {
        v.system = SystemVariable::kError;
      } else {
        Refuse("The variable " + std::string(written));
      }
      batch_.variables.push_back(std::move(v));
      return static_cast<int>(batch_.variables.size() - 1);
    }
    ThrowDatabase("Must declare the scalar variable \"" + std::string(written) + "\".");
  }

  // The variables the reader met become value edits of `text`.
  void TakeUses(BatchText& text) {
    for (const VariableUse& use : reader_.TakeVariables()) {
      TextEdit e;
      e.kind = TextEdit::Kind::kValue;
      e.offset = use.offset;
      e.length = use.length;
      e.variable = Variable(use.name, use.written);
      text.edits.push_back(std::move(e));
    }
  }
  static void Sort(BatchText& text) {
    std::stable_sort(text.edits.begin(), text.edits.end(),
                     [](const TextEdit& a, const TextEdit& b) { return a.offset < b.offset; });
  }
  static void Insert(BatchText& text, size_t offset, std::string what) {
    TextEdit e;
    e.kind = TextEdit::Kind::kInsert;
    e.offset = offset;
    e.text = std::move(what);
    text.edits.push_back(std::move(e));
  }
  static void InsertType(BatchText& text, size_t offset, int variable) {
    TextEdit e;
    e.kind = TextEdit::Kind::kInsertType;
    e.offset = offset;
    e.variable = variable;
    text.edits.push_back(std::move(e));
  }

  BatchStep ParseStep() {
    if (++nesting_ > kMaxBlockNesting) {
      ThrowDatabase(
          "Some part of your SQL statement is nested too deeply. Rewrite the query or break it "
          "up into smaller queries.");
    }
    BatchStep step = ParseStepHere();
    --nesting_;
    return step;
  }

  BatchStep ParseStepHere() {
    while (reader_.AcceptOp(";")) {
    }
    const Token& t = reader_.Peek();
    if (t.kind == TokenKind::kEnd) reader_.SyntaxError(t);
    if (At("DECLARE")) return ParseDeclare();
    if (At("SET")) return ParseSet();
    if (At("IF")) return ParseIf();
    if (At("WHILE")) return ParseWhile();
    if (At("BEGIN")) return ParseBegin();
    if (At("COMMIT") || At("ROLLBACK")) return ParseEndTransaction();
    if (At("SAVE")) {
      reader_.Next();
      if (!reader_.AcceptKeyword("TRAN")) reader_.ExpectKeyword("TRANSACTION");
      BatchStep step;
      step.kind = BatchStep::Kind::kSave;
      step.name = reader_.ParseName();
      return step;
    }
    if (At("BREAK") || At("CONTINUE")) {
      if (loops_ == 0) reader_.SyntaxError(t);
      BatchStep step;
      step.kind = At("BREAK") ? BatchStep::Kind::kBreak : BatchStep::Kind::kContinue;
      reader_.Next();
      return step;
    }
    if (At("RETURN")) {
      reader_.Next();
      const Token& after = reader_.Peek();
      if (after.kind == TokenKind::kLiteral || reader_.IsKeyword(after, "NULL") ||
          (after.kind == TokenKind::kIdent && after.text[0] == '@') ||
          (after.kind == TokenKind::kOp && (after.text == "(" || after.text == "-"))) {
        ThrowDatabase("A RETURN statement with a return value cannot be used in this context.");
      }
      BatchStep step;
      step.kind = BatchStep::Kind::kReturn;
      return step;
    }
    if (At("PRINT")) {
      reader_.Next();
      BatchStep step;
      step.kind = BatchStep::Kind::kPrint;
      step.text = ParseValueText(BatchText::Form::kSelect);
      return step;
    }
    if (At("CREATE")) return ParseCreate();
    if (At("DROP")) return ParseDrop();
    if (At("GO")) Refuse("GO (a separator of the client tools, not a statement)");
    if (At("EXEC") || At("EXECUTE")) Refuse("EXECUTE");
    if (At("ELSE")) reader_.SyntaxError(t);
    if (At("END")) reader_.SyntaxError(t);
    return ParseQuery();
  }

  // A SELECT, INSERT, UPDATE or DELETE, or a SELECT that assigns variables.
  BatchStep ParseQuery() {
    BatchStep step;
    const size_t begin = reader_.Peek().offset;
    Statement st = reader_.ParseStatement();
    const size_t end = reader_.Peek().offset;
    step.text = Text(BatchText::Form::kAsWritten, begin, end);
    std::vector<VariableAssignment> assignments = reader_.TakeAssignments();
    if (std::optional<SelectInto> into = reader_.TakeInto()) {
      if (into->depth != kTopSelectDepth || !assignments.empty()) {
        ThrowDatabase("Incorrect syntax near the keyword 'INTO'.");
      }
      TempName(into->table, "SELECT ... INTO");
      step.kind = BatchStep::Kind::kSelectInto;
      step.name = into->table;
      TextEdit cut;
      cut.kind = TextEdit::Kind::kCut;
      cut.offset = into->begin;
      cut.length = into->end - into->begin;
      step.text.edits.push_back(std::move(cut));
    }
    if (!assignments.empty()) {
      for (const VariableAssignment& a : assignments) {
        if (a.depth != kTopSelectDepth || st.kind != StatementKind::kSelect ||
            st.select->set_op != SetOp::kNone) {
          ThrowDatabase("Incorrect syntax near '='.");
        }
      }
      if (assignments.size() != st.select->items.size()) {
        ThrowDatabase(
            "A SELECT statement that assigns a value to a variable must not be combined with "
            "data-retrieval operations.");
      }
      step.kind = BatchStep::Kind::kAssign;
      for (const VariableAssignment& a : assignments) {
        const int v = Assignable(a.written);
        step.targets.push_back(v);
        TextEdit cut;
        cut.kind = TextEdit::Kind::kCut;
        cut.offset = a.target;
        cut.length = a.value_begin - a.target;
        step.text.edits.push_back(std::move(cut));
        Insert(step.text, a.value_begin, "CAST(");
        InsertType(step.text, a.value_end, v);
      }
    }
    // After the assignments' edits, so that a value at the start of an
    // assigned expression comes after the CAST( that opens it.
    TakeUses(step.text);
    Sort(step.text);
    return step;
  }

  // A declared variable that may be assigned (not @@ROWCOUNT ...).
  int Assignable(std::string_view written) {
    if (written.rfind("@@", 0) == 0) {
      ThrowDatabase("Incorrect syntax near '" + std::string(written) + "'.");
    }
    return Variable(Upper(written), written);
  }

  // An expression from here, as the text of one value.
  BatchText ParseValueText(BatchText::Form form) {
    const size_t begin = reader_.Peek().offset;
    reader_.ParseExpr();
    const size_t end = reader_.Peek().offset;
    BatchText text = Text(form, begin, end);
    TakeUses(text);
    if (!reader_.TakeAssignments().empty()) ThrowDatabase("Incorrect syntax near '='.");
    Sort(text);
    return text;
  }

  // SELECT CAST(<value> AS <type of target>), optionally combined with the
  // target's own value by a compound operator (SET @v += 1).
  BatchStep AssignmentStep(int target, const std::string& compound) {
    BatchStep step;
    step.kind = BatchStep::Kind::kAssign;
    step.single_assignment = true;
    step.targets.push_back(target);
    const size_t begin = reader_.Peek().offset;
    step.text = ParseValueText(BatchText::Form::kSelect);
    std::vector<TextEdit> front;
    TextEdit open;
    open.kind = TextEdit::Kind::kInsert;
    open.offset = begin;
    open.text = "CAST(";
    front.push_back(open);
    if (!compound.empty()) {
      TextEdit self;
      self.kind = TextEdit::Kind::kValue;
      self.offset = begin;
      self.variable = target;
      front.push_back(std::move(self));
      TextEdit op = open;
      op.text = " " + compound + " (";
      front.push_back(std::move(op));
    }
    step.text.edits.insert(step.text.edits.begin(), front.begin(), front.end());
    if (!compound.empty()) Insert(step.text, step.text.end, ")");
    InsertType(step.text, step.text.end, target);
    Sort(step.text);
    return step;
  }

  BatchStep ParseDeclare() {
    reader_.Next();
    BatchStep block;
    block.kind = BatchStep::Kind::kBlock;
    do {
      const Token& name = reader_.Peek();
      if (name.kind != TokenKind::kIdent || name.text[0] != '@' || name.text.size() < 2 ||
          name.text[1] == '@') {
        reader_.SyntaxError(name);
      }
      BatchVariable v;
      v.name = Upper(name.text);
      reader_.Next();
      reader_.AcceptKeyword("AS");
      if (At("TABLE")) Refuse("A table variable (DECLARE " + name.text + " TABLE)");
      if (At("CURSOR")) Refuse("A cursor (DECLARE " + name.text + " CURSOR)");
      v.type = reader_.ParseTypeName();
      // A character type declared without a length holds one character.
      if (v.type.type == SqlType::kText && v.type.length < 0) v.type.length = 1;
      for (const BatchVariable& other : batch_.variables) {
        if (other.name == v.name) {
          ThrowDatabase("The variable name '" + name.text +
                        "' has already been declared. Variable names must be unique within a "
                        "query batch or stored procedure.");
        }
      }
      batch_.variables.push_back(std::move(v));
      const int index = static_cast<int>(batch_.variables.size() - 1);
      if (reader_.AcceptOp("=")) block.body.push_back(AssignmentStep(index, ""));
    } while (reader_.AcceptOp(","));
    if (block.body.size() == 1) return std::move(block.body.front());
    return block;
  }

  BatchStep ParseSet() {
    reader_.Next();
    const Token& t = reader_.Peek();
    if (t.kind == TokenKind::kIdent && t.text[0] == '@') {
      const int target = Assignable(t.text);
      reader_.Next();
      std::string compound;
      for (const char* op : {"+", "-", "*", "/", "%"}) {
        if (!reader_.AcceptOp(op)) continue;
        compound = op;
        break;
      }
      reader_.ExpectOp("=");
      return AssignmentStep(target, compound);
    }
    if (At("NOCOUNT")) {
      reader_.Next();
      if (!reader_.AcceptKeyword("ON")) reader_.ExpectKeyword("OFF");
      BatchStep step;
      step.kind = BatchStep::Kind::kOption;
      return step;
    }
    if (t.kind == TokenKind::kIdent) Refuse("SET " + Upper(t.text));
    reader_.SyntaxError(t);
  }

  BatchStep ParseIf() {
    reader_.Next();
    BatchStep step;
    step.kind = BatchStep::Kind::kIf;
    step.text = ParseValueText(BatchText::Form::kCondition);
    step.body.push_back(ParseStep());
    while (reader_.AcceptOp(";")) {
    }
    if (reader_.AcceptKeyword("ELSE")) step.else_body.push_back(ParseStep());
    return step;
  }

  BatchStep ParseWhile() {
    reader_.Next();
    BatchStep step;
    step.kind = BatchStep::Kind::kWhile;
    step.text = ParseValueText(BatchText::Form::kCondition);
    ++loops_;
    step.body.push_back(ParseStep());
    --loops_;
    return step;
  }

  BatchStep ParseBegin() {
    if (At("TRAN", 1) || At("TRANSACTION", 1)) {
      reader_.Next();
      reader_.Next();
      BatchStep step;
      step.kind = BatchStep::Kind::kBeginTran;
      const Token& name = reader_.Peek();
      if (name.kind == TokenKind::kQuotedIdent ||
          (name.kind == TokenKind::kIdent && name.text[0] != '@' && !IsReservedWord(name.text))) {
        step.name = reader_.ParseName();
      }
      if (At("WITH")) Refuse("BEGIN TRANSACTION ... WITH MARK");
      return step;
    }
    if (At("TRY", 1)) Refuse("TRY ... CATCH");
    if (At("DISTRIBUTED", 1)) Refuse("BEGIN DISTRIBUTED TRANSACTION");
    reader_.Next();
    BatchStep block;
    block.kind = BatchStep::Kind::kBlock;
    while (true) {
      while (reader_.AcceptOp(";")) {
      }
      if (At("END")) {
        // SQL Server takes no empty block.
        if (block.body.empty()) reader_.SyntaxError(reader_.Peek());
        reader_.Next();
        break;
      }
      if (reader_.Peek().kind == TokenKind::kEnd) reader_.SyntaxError(reader_.Peek());
      block.body.push_back(ParseStep());
    }
    return block;
  }

  BatchStep ParseEndTransaction() {
    BatchStep step;
    step.kind = At("COMMIT") ? BatchStep::Kind::kCommit : BatchStep::Kind::kRollback;
    reader_.Next();
    const bool named_form = reader_.AcceptKeyword("TRAN") || reader_.AcceptKeyword("TRANSACTION");
    if (!named_form) reader_.AcceptKeyword("WORK");
    const Token& name = reader_.Peek();
    if (named_form &&
        (name.kind == TokenKind::kQuotedIdent ||
         (name.kind == TokenKind::kIdent && name.text[0] != '@' && !IsReservedWord(name.text)))) {
      // COMMIT ignores the name; ROLLBACK to a savepoint's name goes back to it.
      std::string name = reader_.ParseName();
      if (step.kind == BatchStep::Kind::kRollback) step.name = std::move(name);
    }
    return step;
  }

  // Only local temporary tables are made and dropped; the stored tables are
  // the schema's.
  void TempName(const std::string& name, const std::string& statement) const {
    if (name.rfind("##", 0) == 0) Refuse("A global temporary table (" + name + ")");
    if (name.empty() || name[0] != '#') {
      Refuse(statement + " of a table other than a temporary one (#name)");
    }
    if (name.size() > 116) {
      ThrowDatabase("The identifier that starts with '" + name.substr(0, 128) +
                    "' is too long. Maximum length is 116.");
    }
  }

  int LiteralNumber() {
    const Token& t = reader_.Peek();
    if (t.kind != TokenKind::kLiteral || t.marker != kIntegerMarker) reader_.SyntaxError(t);
    reader_.Next();
    return static_cast<int>(
        std::min<int64_t>(IntegerLiteralValue(shape_.literals[t.literal_index].text), 1 << 30));
  }

  // CREATE TABLE #t (column type [NULL | NOT NULL] [PRIMARY KEY | UNIQUE]
  // [IDENTITY [(1, 1)]], ...).
  BatchStep ParseCreate() {
    reader_.Next();
    if (!At("TABLE")) Refuse("CREATE " + Upper(reader_.Peek().text));
    reader_.Next();
    BatchStep step;
    step.kind = BatchStep::Kind::kCreateTable;
    step.table.name = reader_.ParseName();
    TempName(step.table.name, "CREATE TABLE");
    reader_.ExpectOp("(");
    do {
      if (At("PRIMARY") || At("CONSTRAINT") || At("UNIQUE") || At("FOREIGN") || At("CHECK") ||
          At("INDEX")) {
        Refuse("A table constraint in CREATE TABLE");
      }
      ColumnDef c;
      c.name = reader_.ParseName();
      for (const ColumnDef& other : step.table.columns) {
        if (SameName(other.name, c.name)) {
          ThrowDatabase("Column names in each table must be unique. Column name '" + c.name +
                        "' in table '" + step.table.name + "' is specified more than once.");
        }
      }
      const TypeName type = reader_.ParseTypeName();
      if (type.type == SqlType::kDecimal) {
        Refuse("A decimal column in CREATE TABLE");
      }
      c.type = type.type;
      if (type.type == SqlType::kTime) c.time_scale = type.length;
      c.max_length = type.type == SqlType::kText ? std::max(type.length, 1) : 0;
      if (type.type == SqlType::kText && type.length == 0) c.max_length = 0;
      while (true) {
        if (reader_.AcceptKeyword("NULL")) continue;
        if (At("NOT") && At("NULL", 1)) {
          reader_.Next();
          reader_.Next();
          c.not_null = true;
          continue;
        }
        if (At("PRIMARY")) {
          reader_.Next();
          reader_.ExpectKeyword("KEY");
          c.unique = c.not_null = true;
          continue;
        }
        if (reader_.AcceptKeyword("UNIQUE")) {
          c.unique = true;
          continue;
        }
        if (At("IDENTITY")) {
          reader_.Next();
          if (reader_.AcceptOp("(")) {
            const int seed = LiteralNumber();
            reader_.ExpectOp(",");
            const int step_by = LiteralNumber();
            reader_.ExpectOp(")");
            if (seed != 1 || step_by != 1) Refuse("IDENTITY other than (1, 1)");
          }
          if (c.type != SqlType::kInt) {
            ThrowDatabase("Identity column '" + c.name +
                          "' must be of data type int, bigint, smallint, tinyint, or decimal or "
                          "numeric with a scale of 0, unencrypted, and constrained to be "
                          "nonnullable.");
          }
          if (step.table.identity_column >= 0) {
            ThrowDatabase("Multiple identity columns specified for table '" + step.table.name +
                          "'. Only one identity column per table is allowed.");
          }
          c.identity = c.unique = c.not_null = true;
          step.table.identity_column = static_cast<int>(step.table.columns.size());
          continue;
        }
        const Token& t = reader_.Peek();
        if (t.kind == TokenKind::kIdent && (At("DEFAULT") || At("CHECK") || At("REFERENCES") ||
                                            At("COLLATE") || At("CONSTRAINT"))) {
          Refuse(Upper(t.text) + " in CREATE TABLE");
        }
        break;
      }
      step.table.columns.push_back(std::move(c));
    } while (reader_.AcceptOp(","));
    reader_.ExpectOp(")");
    return step;
  }

  // DROP TABLE [IF EXISTS] #t [, #u ...]
  BatchStep ParseDrop() {
    reader_.Next();
    if (!At("TABLE")) Refuse("DROP " + Upper(reader_.Peek().text));
    reader_.Next();
    BatchStep step;
    step.kind = BatchStep::Kind::kDropTable;
    if (At("IF") && At("EXISTS", 1)) {
      reader_.Next();
      reader_.Next();
      step.if_exists = true;
    }
    do {
      step.names.push_back(reader_.ParseName());
      TempName(step.names.back(), "DROP TABLE");
    } while (reader_.AcceptOp(","));
    return step;
  }

  const ShapedStatement& shape_;
  StatementReader reader_;
  Batch batch_;
  size_t marker_scan_ = 0;
  int markers_seen_ = 0;
  int nesting_ = 0;
  int loops_ = 0;
};

}  // namespace

bool Batch::IsSingleStatement() const {
  return steps.size() == 1 && steps[0].kind == BatchStep::Kind::kStatement &&
         steps[0].text.edits.empty();
}

Batch ParseBatch(const ShapedStatement& shape) { return BatchParser(shape).Run(); }

void ShapeBatchText(const ShapedStatement& batch, const BatchText& text,
                    const std::vector<BatchVariable>& variables,
                    const std::vector<BoundValue>& values, ShapedStatement& out) {
  out.key.clear();
  out.literals.clear();
  if (text.form == BatchText::Form::kSelect) {
    out.key = "SELECT ";
  } else if (text.form == BatchText::Form::kCondition) {
    out.key = "SELECT ";
    out.key.push_back(kIntegerMarker);
    out.literals.push_back(Literal{Literal::Kind::kInteger, "1"});
    out.key += " WHERE ";
  }
  size_t literal = static_cast<size_t>(text.first_literal);
  auto copy = [&](size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
      const char c = batch.key[i];
      out.key.push_back(c);
      if (IsMarker(c)) out.literals.push_back(batch.literals.at(literal++));
    }
  };
  size_t at = text.begin;
  for (const TextEdit& e : text.edits) {
    if (e.offset > at) {
      copy(at, e.offset);
      at = e.offset;
    }
    switch (e.kind) {
      case TextEdit::Kind::kValue:
        out.key.push_back(' ');
        AppendVariableValue(variables[e.variable].type, values[e.variable], out);
        out.key.push_back(' ');
        at = std::max(at, e.offset + e.length);
        break;
      case TextEdit::Kind::kCut:
        // Markers inside a cut are none: a cut spans "@v =" only.
        at = std::max(at, e.offset + e.length);
        break;
      case TextEdit::Kind::kInsert:
        out.key += e.text;
        break;
      case TextEdit::Kind::kInsertType:
        AppendCastEnd(variables[e.variable].type, out);
        break;
    }
  }
  copy(at, text.end);
}

}  // namespace korimba::sql
