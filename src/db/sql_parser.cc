#include "db/sql_parser.h"

#include <algorithm>
#include <array>
#include <optional>
#include <utility>

#include "db/sql_lexer.h"
#include "frame/error.h"
#include "frame/names.h"

namespace korimba::sql {
namespace {

// Words that cannot name a column, table or alias unless bracketed, in
// order (std::lower_bound finds them): the statements' words and the words
// of a batch's control statements, reserved as SQL Server reserves them so
// that a statement ends where the next one begins without a ";".
constexpr std::array<std::string_view, 67> kReserved = {
    "AND",       "AS",          "ASC",      "BEGIN",  "BETWEEN", "BREAK",   "BY",      "CASE",
    "COMMIT",    "CONTINUE",    "CREATE",   "CROSS",  "DECLARE", "DELETE",  "DESC",    "DISTINCT",
    "DROP",      "ELSE",        "END",      "EXCEPT", "EXEC",    "EXECUTE", "EXISTS",  "FROM",
    "FULL",      "GOTO",        "GROUP",    "HAVING", "IF",      "IN",      "INNER",   "INSERT",
    "INTERSECT", "INTO",        "IS",       "JOIN",   "LEFT",    "LIKE",    "NOT",     "NULL",
    "ON",        "OPTION",      "OR",       "ORDER",  "OUTER",   "OVER",    "PERCENT", "PRINT",
    "RETURN",    "RIGHT",       "ROLLBACK", "SAVE",   "SELECT",  "SET",     "THEN",    "TOP",
    "TRAN",      "TRANSACTION", "TRUNCATE", "UNION",  "UPDATE",  "VALUES",  "WAITFOR", "WHEN",
    "WHERE",     "WHILE",       "WITH"};
static_assert(std::is_sorted(kReserved.begin(), kReserved.end()));

// The reserved words that begin a statement of the batch's own.
constexpr std::array<std::string_view, 18> kBatchStatementWords = {
    "BEGIN", "BREAK", "COMMIT", "CONTINUE", "CREATE",   "DECLARE", "DROP",     "EXEC",    "EXECUTE",
    "GOTO",  "IF",    "PRINT",  "RETURN",   "ROLLBACK", "SAVE",    "TRUNCATE", "WAITFOR", "WHILE"};

// `word` in upper case in `buffer`, or empty when it is longer than any
// reserved word (and so none).
std::string_view UpperWord(std::string_view word, std::array<char, 12>& buffer) {
  if (word.size() > buffer.size()) return {};
  for (size_t i = 0; i < word.size(); ++i) {
    const char c = word[i];
    buffer[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
  }
  return std::string_view(buffer.data(), word.size());
}

bool StartsStatement(std::string_view word) {
  std::array<char, 12> buffer;
  const std::string_view upper = UpperWord(word, buffer);
  return std::find(kBatchStatementWords.begin(), kBatchStatementWords.end(), upper) !=
         kBatchStatementWords.end();
}

bool IsReserved(std::string_view word) {
  std::array<char, 12> buffer;
  const std::string_view upper = UpperWord(word, buffer);
  if (upper.empty()) return false;
  return std::binary_search(kReserved.begin(), kReserved.end(), upper);
}

// How deep the parser may recurse (parentheses, subqueries, function
// calls, NOT and minus chains, each one level) and how tall an expression
// tree may grow (a flat chain of 1+1+... or OR terms is as tall as it is
// long). The passes after the parser walk the tree recursively, so both
// bounds keep their stacks small; SQLite itself refuses expressions taller
// than 1000, so nothing it could run is lost.
constexpr int kMaxNesting = 128;
constexpr int kMaxExprHeight = 1000;

[[noreturn]] void TooDeep() {
  ThrowDatabase(
      "Some part of your SQL statement is nested too deeply. Rewrite the query or break it up "
      "into smaller queries.");
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c -= 32;
  }
  return out;
}

}  // namespace

class Parser {
 public:
  explicit Parser(const ShapedStatement& shape) : shape_(shape), tokens_(TokenizeKey(shape.key)) {}

  // The whole text as one statement: a variable is only known inside a
  // batch, which splices each one's value in before its statements reach
  // here.
  Statement Parse() {
    Statement st = ParseOne();
    while (IsOp(Peek(), ";")) Next();
    if (Peek().kind != TokenKind::kEnd) {
      const Token& rest = Peek();
      static constexpr std::array<std::string_view, 12> kStatementStarts = {
          "SELECT", "INSERT", "UPDATE", "DELETE", "SET",      "DECLARE",
          "WITH",   "IF",     "WHILE",  "BEGIN",  "ROLLBACK", "COMMIT"};
      if (rest.kind == TokenKind::kIdent &&
          std::any_of(kStatementStarts.begin(), kStatementStarts.end(),
                      [&](std::string_view w) { return IsKeyword(rest, w); })) {
        ThrowDatabase(
            "The embedded database runs one statement per call; this text holds more than one.");
      }
      SyntaxError(rest);
    }
    if (into_) ThrowDatabase("SELECT ... INTO is not supported by the embedded database.");
    if (!assignments_.empty()) UndeclaredVariable(assignments_.front().written);
    if (!variables_.empty()) UndeclaredVariable(variables_.front().written);
    return st;
  }

  // One statement from the current token to its end; the tokens after it
  // are left for the caller.
  Statement ParseOne() {
    Statement st;
    const Token& t = Peek();
    if (IsKeyword(t, "SELECT") || (IsOp(t, "(") && IsKeyword(Peek(1), "SELECT"))) {
      st.kind = StatementKind::kSelect;
      st.select = ParseSelect();
    } else if (IsKeyword(t, "WITH")) {
      st.kind = StatementKind::kSelect;
      st.select = ParseWith();
    } else if (IsKeyword(t, "INSERT")) {
      st.kind = StatementKind::kInsert;
      st.insert = ParseInsert();
    } else if (IsKeyword(t, "UPDATE")) {
      st.kind = StatementKind::kUpdate;
      st.update = ParseUpdate();
    } else if (IsKeyword(t, "DELETE")) {
      st.kind = StatementKind::kDelete;
      st.del = ParseDelete();
    } else if (t.kind == TokenKind::kEnd) {
      ThrowDatabase("The statement is empty.");
    } else {
      Unsupported(t);
    }
    return st;
  }

  friend class StatementReader;

 private:
  [[noreturn]] static void UndeclaredVariable(const std::string& name) {
    ThrowDatabase("Must declare the scalar variable \"" + name + "\".");
  }

  std::vector<VariableUse> variables_;
  std::vector<VariableAssignment> assignments_;
  std::optional<SelectInto> into_;

  // Counts one level of recursion for as long as it lives.
  class Nest {
   public:
    explicit Nest(Parser& p) : p_(p) {
      if (++p_.depth_ > kMaxNesting) TooDeep();
    }
    Nest(const Nest&) = delete;
    Nest& operator=(const Nest&) = delete;
    ~Nest() { --p_.depth_; }

   private:
    Parser& p_;
  };

  // Gives `e` its height from its children and refuses a tree too tall.
  static ExprPtr Seal(ExprPtr e) {
    int h = e->select ? e->select->height : 0;
    for (const ExprPtr& a : e->args) h = std::max(h, a->height);
    e->height = h + 1;
    if (e->height > kMaxExprHeight) TooDeep();
    return e;
  }
  static int HeightOf(const ExprPtr& e) { return e ? e->height : 0; }

  // ---- token helpers ----
  const Token& Peek(size_t ahead = 0) const {
    size_t i = pos_ + ahead;
    return i < tokens_.size() ? tokens_[i] : tokens_.back();
  }
  const Token& Next() {
    const Token& t = tokens_[pos_];
    if (pos_ + 1 < tokens_.size()) ++pos_;
    return t;
  }
  static bool IsKeyword(const Token& t, std::string_view word) {
    return t.kind == TokenKind::kIdent && SameName(t.text, word);
  }
  static bool IsOp(const Token& t, std::string_view op) {
    return t.kind == TokenKind::kOp && t.text == op;
  }
  bool AcceptKeyword(std::string_view word) {
    if (!IsKeyword(Peek(), word)) return false;
    Next();
    return true;
  }
  bool AcceptOp(std::string_view op) {
    if (!IsOp(Peek(), op)) return false;
    Next();
    return true;
  }
  void ExpectKeyword(std::string_view word) {
    if (!AcceptKeyword(word)) SyntaxError(Peek());
  }
  void ExpectOp(std::string_view op) {
    if (!AcceptOp(op)) SyntaxError(Peek());
  }

  std::string Describe(const Token& t) const {
    switch (t.kind) {
      case TokenKind::kLiteral: {
        const Literal& lit = shape_.literals[t.literal_index];
        return lit.kind == Literal::Kind::kString || lit.kind == Literal::Kind::kNString
                   ? "'" + lit.text + "'"
                   : lit.text;
      }
      case TokenKind::kEnd: {
        // SQL Server names the last token when the text ends too early.
        if (pos_ == 0 || tokens_.size() < 2) return "";
        return Describe(tokens_[tokens_.size() - 2]);
      }
      default:
        return t.text;
    }
  }
  [[noreturn]] void SyntaxError(const Token& t) const {
    if (t.kind == TokenKind::kIdent && IsReserved(t.text)) {
      ThrowDatabase("Incorrect syntax near the keyword '" + t.text + "'.");
    }
    if (t.kind == TokenKind::kEnd && pos_ > 0 && tokens_.size() >= 2) {
      const Token& last = tokens_[tokens_.size() - 2];
      if (last.kind == TokenKind::kIdent && IsReserved(last.text)) SyntaxError(last);
    }
    ThrowDatabase("Incorrect syntax near '" + Describe(t) + "'.");
  }
  [[noreturn]] void Unsupported(const Token& t) const {
    // A reserved word that starts no statement (ON, UNION ...) is where a
    // statement went wrong; only a statement's own word is named.
    if (t.kind == TokenKind::kIdent && IsReserved(t.text) && !StartsStatement(t.text)) {
      SyntaxError(t);
    }
    if (t.kind == TokenKind::kIdent) {
      ThrowDatabase("The statement " + Upper(t.text) +
                    " is not supported by the embedded database.");
    }
    SyntaxError(t);
  }

  // A name: a non-reserved identifier or a quoted one.
  bool AtName() const {
    const Token& t = Peek();
    return t.kind == TokenKind::kQuotedIdent ||
           (t.kind == TokenKind::kIdent && !IsReserved(t.text));
  }
  std::string ParseName() {
    if (!AtName()) SyntaxError(Peek());
    return Next().text;
  }
  // [dbo.]table
  std::string ParseTableName() {
    std::string name = ParseName();
    if (IsOp(Peek(), ".")) {
      if (!SameName(name, "dbo")) {
        ThrowDatabase("Invalid object name '" + name + "." + Peek(1).text + "'.");
      }
      Next();
      name = ParseName();
    }
    return name;
  }

  // ---- statements ----
  // WITH a [(x, y)] AS (query), ... before a SELECT.
  std::unique_ptr<SelectStmt> ParseWith() {
    ExpectKeyword("WITH");
    std::vector<CommonTable> with;
    do {
      CommonTable cte;
      cte.name = ParseName();
      if (AcceptOp("(")) {
        do {
          cte.columns.push_back(ParseName());
        } while (AcceptOp(","));
        ExpectOp(")");
      }
      ExpectKeyword("AS");
      ExpectOp("(");
      cte.query = ParseSelect();
      ExpectOp(")");
      with.push_back(std::move(cte));
    } while (AcceptOp(","));
    if (!IsKeyword(Peek(), "SELECT") && !IsOp(Peek(), "(")) {
      if (IsKeyword(Peek(), "INSERT") || IsKeyword(Peek(), "UPDATE") ||
          IsKeyword(Peek(), "DELETE")) {
        ThrowDatabase("WITH before " + Upper(Peek().text) +
                      " is not supported by the embedded database.");
      }
      SyntaxError(Peek());
    }
    auto sel = ParseSelect();
    sel->with = std::move(with);
    return sel;
  }

  // A query: set operations over SELECTs, then ORDER BY / OFFSET / FETCH
  // over the whole.
  std::unique_ptr<SelectStmt> ParseSelect() {
    Nest nest(*this);
    auto sel = ParseUnionChain();
    ParseOrderTail(*sel);
    for (const OrderItem& o : sel->order_by)
      sel->height = std::max(sel->height, HeightOf(o.expr) + 1);
    if (sel->height > kMaxExprHeight) TooDeep();
    if (IsKeyword(Peek(), "OPTION")) ParseOption(*sel);
    return sel;
  }

  // OPTION (MAXRECURSION n), the one query hint the embedded database takes.
  void ParseOption(SelectStmt& sel) {
    Next();
    ExpectOp("(");
    if (!IsKeyword(Peek(), "MAXRECURSION")) {
      ThrowDatabase("OPTION (" + Upper(Peek().text) +
                    ") is not supported by the embedded database.");
    }
    Next();
    // SQL Server takes a whole number here, never an expression.
    const Token& count = Peek();
    if (count.kind != TokenKind::kLiteral || count.marker != kIntegerMarker) SyntaxError(count);
    sel.max_recursion = IntegerLiteral();
    ExpectOp(")");
  }

  std::unique_ptr<SelectStmt> Combine(SetOp op, std::unique_ptr<SelectStmt> left,
                                      std::unique_ptr<SelectStmt> right) {
    auto node = std::make_unique<SelectStmt>();
    node->offset = left->offset;
    node->set_op = op;
    node->height = std::max(left->height, right->height) + 1;
    if (node->height > kMaxExprHeight) TooDeep();
    node->left = std::move(left);
    node->right = std::move(right);
    return node;
  }

  std::unique_ptr<SelectStmt> ParseUnionChain() {
    auto left = ParseIntersectChain();
    while (true) {
      SetOp op;
      if (AcceptKeyword("UNION")) {
        op = AcceptKeyword("ALL") ? SetOp::kUnionAll : SetOp::kUnion;
      } else if (AcceptKeyword("EXCEPT")) {
        op = SetOp::kExcept;
      } else {
        return left;
      }
      left = Combine(op, std::move(left), ParseIntersectChain());
    }
  }

  std::unique_ptr<SelectStmt> ParseIntersectChain() {
    auto left = ParseQueryPrimary();
    while (AcceptKeyword("INTERSECT")) {
      left = Combine(SetOp::kIntersect, std::move(left), ParseQueryPrimary());
    }
    return left;
  }

  // One SELECT without its ORDER BY, or a parenthesized query.
  std::unique_ptr<SelectStmt> ParseQueryPrimary() {
    if (AcceptOp("(")) {
      auto inner = ParseSelect();
      ExpectOp(")");
      return inner;
    }
    Nest nest(*this);
    auto sel = ParseSelectBody();
    int h = HeightOf(sel->top);
    for (const SelectItem& item : sel->items) h = std::max(h, HeightOf(item.expr));
    for (const FromItem& f : sel->from) {
      h = std::max(h, HeightOf(f.on));
      if (f.derived) h = std::max(h, f.derived->height);
    }
    h = std::max({h, HeightOf(sel->where), HeightOf(sel->having)});
    for (const ExprPtr& g : sel->group_by) h = std::max(h, HeightOf(g));
    sel->height = h + 1;
    if (sel->height > kMaxExprHeight) TooDeep();
    return sel;
  }

  std::unique_ptr<SelectStmt> ParseSelectBody() {
    auto sel = std::make_unique<SelectStmt>();
    sel->offset = Peek().offset;
    ExpectKeyword("SELECT");
    if (AcceptKeyword("DISTINCT")) {
      sel->distinct = true;
    } else {
      AcceptKeyword("ALL");
    }
    if (AcceptKeyword("TOP")) {
      sel->top = ParseTopCount();
      sel->top_percent = AcceptKeyword("PERCENT");
      if (IsKeyword(Peek(), "WITH")) {
        Next();
        if (!IsKeyword(Peek(), "TIES")) SyntaxError(Peek());
        Next();
        sel->top_ties = true;
      }
    }
    do {
      sel->items.push_back(ParseSelectItem());
    } while (AcceptOp(","));
    if (IsKeyword(Peek(), "INTO")) {
      // SELECT ... INTO #t: the batch makes the table and fills it.
      if (into_) SyntaxError(Peek());
      SelectInto into;
      into.begin = Next().offset;
      into.table = ParseTableName();
      into.end = Peek().offset;
      into.depth = depth_;
      into_ = std::move(into);
    }
    if (AcceptKeyword("FROM")) ParseFrom(*sel);
    if (AcceptKeyword("WHERE")) sel->where = ParseExpr();
    if (AcceptKeyword("GROUP")) {
      ExpectKeyword("BY");
      do {
        sel->group_by.push_back(ParseExpr());
      } while (AcceptOp(","));
    }
    if (AcceptKeyword("HAVING")) sel->having = ParseExpr();
    return sel;
  }

  // ORDER BY, OFFSET and FETCH of a query.
  void ParseOrderTail(SelectStmt& sel) {
    if (AcceptKeyword("ORDER")) {
      ExpectKeyword("BY");
      do {
        OrderItem item;
        const Token& t = Peek();
        if (t.kind == TokenKind::kLiteral && t.marker == kIntegerMarker &&
            (IsOp(Peek(1), ",") || IsKeyword(Peek(1), "ASC") || IsKeyword(Peek(1), "DESC") ||
             Peek(1).kind == TokenKind::kEnd || IsOp(Peek(1), ")") || IsOp(Peek(1), ";"))) {
          item.position_literal = t.literal_index;
          Next();
        } else {
          item.expr = ParseExpr();
        }
        if (AcceptKeyword("DESC")) {
          item.desc = true;
        } else {
          AcceptKeyword("ASC");
        }
        sel.order_by.push_back(std::move(item));
      } while (AcceptOp(","));
    }
    if (IsKeyword(Peek(), "OFFSET") && !sel.order_by.empty()) {
      if (sel.top) {
        ThrowDatabase("A TOP can not be used in the same query or sub-query as a OFFSET.");
      }
      Next();
      sel.offset_rows = ParseRowCount();
      if (!AcceptKeyword("ROWS")) ExpectKeyword("ROW");
      if (AcceptKeyword("FETCH")) {
        if (!AcceptKeyword("NEXT")) ExpectKeyword("FIRST");
        sel.fetch_rows = ParseRowCount();
        if (!AcceptKeyword("ROWS")) ExpectKeyword("ROW");
        ExpectKeyword("ONLY");
      }
    }
    if (IsKeyword(Peek(), "OFFSET")) SyntaxError(Peek());
    if (IsKeyword(Peek(), "FOR")) {
      ThrowDatabase(Upper(Peek().text) + " is not supported by the embedded database.");
    }
  }

  // The row count of OFFSET / FETCH: a whole number, or an integer
  // expression (`(@page - 1) * @size`) that the resolver checks.
  ExprPtr ParseRowCount() {
    const Token& t = Peek();
    const bool alone = IsKeyword(Peek(1), "ROWS") || IsKeyword(Peek(1), "ROW");
    // A batch's int variable: its value is spliced in as a whole number
    // before the statement is parsed again.
    if (alone && t.kind == TokenKind::kIdent && t.text.size() > 1 && t.text[0] == '@' &&
        t.text[1] != '@') {
      return ParsePrimary();
    }
    if (!alone || t.kind != TokenKind::kLiteral || t.marker != kIntegerMarker) return ParseExpr();
    return IntegerLiteral();
  }

  // The whole-number literal at the current token.
  ExprPtr IntegerLiteral() {
    const Token& t = Peek();
    auto e = Make(Expr::Kind::kLiteral, t.offset);
    e->literal_index = t.literal_index;
    e->marker = t.marker;
    Next();
    return e;
  }

  SelectItem ParseSelectItem() {
    SelectItem item;
    if (AcceptOp("*")) {
      item.star = true;
      return item;
    }
    // t.*
    if (AtName() && IsOp(Peek(1), ".") && IsOp(Peek(2), "*")) {
      item.star = true;
      item.star_qualifier = Next().text;
      Next();
      Next();
      return item;
    }
    // @variable = expression: the batch assigns the item's value.
    if (Peek().kind == TokenKind::kIdent && Peek().text[0] == '@' && IsOp(Peek(1), "=")) {
      VariableAssignment a;
      a.name = Upper(Peek().text);
      a.written = Peek().text;
      a.target = Next().offset;
      Next();
      a.value_begin = Peek().offset;
      item.expr = ParseExpr();
      a.value_end = Peek().offset;
      a.depth = depth_;
      assignments_.push_back(std::move(a));
      return item;
    }
    // alias = expression
    if (AtName() && IsOp(Peek(1), "=")) {
      item.alias = Next().text;
      item.has_alias = true;
      Next();
      item.expr = ParseExpr();
      return item;
    }
    item.expr = ParseExpr();
    if (AcceptKeyword("AS")) {
      const Token& t = Peek();
      if (t.kind == TokenKind::kLiteral && t.marker == kStringMarker) {
        item.alias_literal = t.literal_index;
        item.has_alias = true;
        Next();
      } else {
        item.alias = ParseName();
        item.has_alias = true;
      }
    } else if (AtName()) {
      item.alias = Next().text;
      item.has_alias = true;
    }
    return item;
  }

  void ParseFrom(SelectStmt& sel) {
    sel.from.push_back(ParseFromTable(FromItem::Join::kFirst));
    while (true) {
      if (AcceptOp(",")) {
        sel.from.push_back(ParseFromTable(FromItem::Join::kComma));
        continue;
      }
      FromItem::Join join;
      if (AcceptKeyword("JOIN")) {
        join = FromItem::Join::kInner;
      } else if (AcceptKeyword("INNER")) {
        ExpectKeyword("JOIN");
        join = FromItem::Join::kInner;
      } else if (IsKeyword(Peek(), "LEFT")) {
        Next();
        AcceptKeyword("OUTER");
        ExpectKeyword("JOIN");
        join = FromItem::Join::kLeft;
      } else if (IsKeyword(Peek(), "RIGHT") || IsKeyword(Peek(), "FULL")) {
        join = IsKeyword(Next(), "RIGHT") ? FromItem::Join::kRight : FromItem::Join::kFull;
        AcceptKeyword("OUTER");
        ExpectKeyword("JOIN");
      } else if (IsKeyword(Peek(), "CROSS") && IsKeyword(Peek(1), "JOIN")) {
        Next();
        Next();
        sel.from.push_back(ParseFromTable(FromItem::Join::kCross));
        continue;
      } else if ((IsKeyword(Peek(), "CROSS") || IsKeyword(Peek(), "OUTER")) &&
                 IsKeyword(Peek(1), "APPLY")) {
        ThrowDatabase(Upper(Peek().text) + " APPLY is not supported by the embedded database.");
      } else {
        break;
      }
      FromItem item = ParseFromTable(join);
      ExpectKeyword("ON");
      item.on = ParseExpr();
      sel.from.push_back(std::move(item));
    }
  }

  FromItem ParseFromTable(FromItem::Join join) {
    FromItem item;
    item.join = join;
    if (IsOp(Peek(), "(")) {
      if (!IsKeyword(Peek(1), "SELECT") && !IsOp(Peek(1), "(")) {
        ThrowDatabase("A parenthesized join in FROM is not supported by the embedded database.");
      }
      Next();
      item.derived = ParseSelect();
      ExpectOp(")");
      AcceptKeyword("AS");
      if (!AtName()) {
        // A derived table must be named; SQL Server's parser stops at what follows.
        SyntaxError(Peek());
      }
      item.alias = Next().text;
      if (AcceptOp("(")) {
        do {
          item.column_aliases.push_back(ParseName());
        } while (AcceptOp(","));
        ExpectOp(")");
      }
      return item;
    }
    item.table = ParseTableName();
    if (AcceptKeyword("AS")) {
      item.alias = ParseName();
    } else if (AtName()) {
      item.alias = Next().text;
    }
    if (IsKeyword(Peek(), "WITH") || (IsOp(Peek(), "("))) {
      ThrowDatabase("Table hints are not supported by the embedded database.");
    }
    return item;
  }

  std::unique_ptr<InsertStmt> ParseInsert() {
    auto ins = std::make_unique<InsertStmt>();
    ExpectKeyword("INSERT");
    AcceptKeyword("INTO");
    ins->table = ParseTableName();
    if (AcceptOp("(")) {
      do {
        ins->columns.push_back(ParseName());
      } while (AcceptOp(","));
      ExpectOp(")");
    }
    if (IsKeyword(Peek(), "SELECT") || (IsOp(Peek(), "(") && IsKeyword(Peek(1), "SELECT"))) {
      ins->select = ParseSelect();
      return ins;
    }
    if (IsKeyword(Peek(), "DEFAULT") || IsKeyword(Peek(), "EXEC") || IsKeyword(Peek(), "OUTPUT")) {
      ThrowDatabase("INSERT ... " + Upper(Peek().text) +
                    " is not supported by the embedded database; use INSERT ... VALUES.");
    }
    ExpectKeyword("VALUES");
    do {
      ExpectOp("(");
      std::vector<ExprPtr> row;
      do {
        if (IsKeyword(Peek(), "DEFAULT")) {
          ThrowDatabase("DEFAULT in VALUES is not supported by the embedded database.");
        }
        row.push_back(ParseExpr());
      } while (AcceptOp(","));
      ExpectOp(")");
      ins->rows.push_back(std::move(row));
    } while (AcceptOp(","));
    return ins;
  }

  std::unique_ptr<UpdateStmt> ParseUpdate() {
    auto up = std::make_unique<UpdateStmt>();
    ExpectKeyword("UPDATE");
    ExprPtr top = ParseDmlTop();
    up->table = ParseTableName();
    ExpectKeyword("SET");
    do {
      Assignment a;
      a.column = ParseName();
      if (IsOp(Peek(), ".")) {  // SET t.col = ...
        Next();
        a.column = ParseName();
      }
      ExpectOp("=");
      a.value = ParseExpr();
      up->sets.push_back(std::move(a));
    } while (AcceptOp(","));
    up->source = ParseDmlSource(up->table, std::move(top));
    if (AcceptKeyword("WHERE")) (up->source ? up->source->where : up->where) = ParseExpr();
    return up;
  }

  std::unique_ptr<DeleteStmt> ParseDelete() {
    auto del = std::make_unique<DeleteStmt>();
    ExpectKeyword("DELETE");
    ExprPtr top = ParseDmlTop();
    AcceptKeyword("FROM");
    del->table = ParseTableName();
    del->source = ParseDmlSource(del->table, std::move(top));
    if (AcceptKeyword("WHERE")) (del->source ? del->source->where : del->where) = ParseExpr();
    return del;
  }

  // TOP's count: a number, or in parentheses any expression.
  ExprPtr ParseTopCount() {
    if (AcceptOp("(")) {
      ExprPtr e = ParseExpr();
      ExpectOp(")");
      return e;
    }
    const Token& t = Peek();
    if (t.kind != TokenKind::kLiteral ||
        (t.marker != kIntegerMarker && !IsKeyword(Peek(1), "PERCENT"))) {
      SyntaxError(t);
    }
    auto e = Make(Expr::Kind::kLiteral, t.offset);
    e->literal_index = t.literal_index;
    e->marker = t.marker;
    Next();
    return Seal(std::move(e));
  }

  // TOP (n) of UPDATE and DELETE, where the parentheses are required.
  ExprPtr ParseDmlTop() {
    if (!AcceptKeyword("TOP")) return nullptr;
    if (!IsOp(Peek(), "(")) SyntaxError(Peek());
    ExprPtr top = ParseTopCount();
    if (IsKeyword(Peek(), "PERCENT")) {
      ThrowDatabase(
          "TOP ... PERCENT in UPDATE and DELETE is not supported by the embedded database.");
    }
    return top;
  }

  // The FROM of UPDATE / DELETE, or the table alone when only TOP asks for
  // a source; null when neither is given.
  std::unique_ptr<SelectStmt> ParseDmlSource(const std::string& table, ExprPtr top) {
    if (!IsKeyword(Peek(), "FROM") && !top) return nullptr;
    auto source = std::make_unique<SelectStmt>();
    source->offset = Peek().offset;
    source->top = std::move(top);
    if (AcceptKeyword("FROM")) {
      ParseFrom(*source);
    } else {
      FromItem self;
      self.table = table;
      source->from.push_back(std::move(self));
    }
    return source;
  }

  // ---- expressions ----
  ExprPtr Make(Expr::Kind kind, size_t offset) {
    auto e = std::make_unique<Expr>(kind);
    e->offset = offset;
    return e;
  }

  ExprPtr ParseExpr() {
    Nest nest(*this);
    return ParseOr();
  }

  ExprPtr ParseOr() {
    ExprPtr left = ParseAnd();
    while (IsKeyword(Peek(), "OR")) {
      auto e = Make(Expr::Kind::kOr, Next().offset);
      e->args.push_back(std::move(left));
      e->args.push_back(ParseAnd());
      left = Seal(std::move(e));
    }
    return left;
  }

  ExprPtr ParseAnd() {
    ExprPtr left = ParseNot();
    while (IsKeyword(Peek(), "AND")) {
      auto e = Make(Expr::Kind::kAnd, Next().offset);
      e->args.push_back(std::move(left));
      e->args.push_back(ParseNot());
      left = Seal(std::move(e));
    }
    return left;
  }

  ExprPtr ParseNot() {
    if (IsKeyword(Peek(), "NOT")) {
      Nest nest(*this);
      auto e = Make(Expr::Kind::kNot, Next().offset);
      e->args.push_back(ParseNot());
      return Seal(std::move(e));
    }
    return ParsePredicate();
  }

  ExprPtr ParsePredicate() {
    if (IsKeyword(Peek(), "EXISTS")) {
      auto e = Make(Expr::Kind::kExists, Next().offset);
      ExpectOp("(");
      e->select = ParseSelect();
      ExpectOp(")");
      return Seal(std::move(e));
    }
    ExprPtr left = ParseAdditive();
    const Token& t = Peek();
    if (t.kind == TokenKind::kOp &&
        (t.text == "=" || t.text == "<>" || t.text == "!=" || t.text == "<" || t.text == "<=" ||
         t.text == ">" || t.text == ">=" || t.text == "!<" || t.text == "!>")) {
      auto e = Make(Expr::Kind::kCompare, t.offset);
      std::string op = Next().text;
      if (op == "!=") op = "<>";
      if (op == "!<") op = ">=";
      if (op == "!>") op = "<=";
      e->op = op;
      if (IsKeyword(Peek(), "ALL") || IsKeyword(Peek(), "ANY") || IsKeyword(Peek(), "SOME")) {
        ThrowDatabase(Upper(Peek().text) + " is not supported by the embedded database.");
      }
      e->args.push_back(std::move(left));
      e->args.push_back(ParseAdditive());
      return Seal(std::move(e));
    }
    bool negated = false;
    if (IsKeyword(t, "NOT") &&
        (IsKeyword(Peek(1), "BETWEEN") || IsKeyword(Peek(1), "IN") || IsKeyword(Peek(1), "LIKE"))) {
      Next();
      negated = true;
    }
    const Token& u = Peek();
    if (IsKeyword(u, "BETWEEN")) {
      auto e = Make(Expr::Kind::kBetween, Next().offset);
      e->negated = negated;
      e->args.push_back(std::move(left));
      e->args.push_back(ParseAdditive());
      ExpectKeyword("AND");
      e->args.push_back(ParseAdditive());
      return Seal(std::move(e));
    }
    if (IsKeyword(u, "IN")) {
      size_t offset = Next().offset;
      ExpectOp("(");
      if (IsKeyword(Peek(), "SELECT")) {
        auto e = Make(Expr::Kind::kInSelect, offset);
        e->negated = negated;
        e->args.push_back(std::move(left));
        e->select = ParseSelect();
        ExpectOp(")");
        return Seal(std::move(e));
      }
      auto e = Make(Expr::Kind::kInList, offset);
      e->negated = negated;
      e->args.push_back(std::move(left));
      do {
        e->args.push_back(ParseAdditive());
      } while (AcceptOp(","));
      ExpectOp(")");
      return Seal(std::move(e));
    }
    if (IsKeyword(u, "LIKE")) {
      auto e = Make(Expr::Kind::kLike, Next().offset);
      e->negated = negated;
      e->args.push_back(std::move(left));
      e->args.push_back(ParseAdditive());
      if (IsKeyword(Peek(), "ESCAPE")) {
        ThrowDatabase("LIKE ... ESCAPE is not supported by the embedded database.");
      }
      return Seal(std::move(e));
    }
    if (IsKeyword(u, "IS")) {
      auto e = Make(Expr::Kind::kIsNull, Next().offset);
      e->negated = AcceptKeyword("NOT");
      ExpectKeyword("NULL");
      e->args.push_back(std::move(left));
      return Seal(std::move(e));
    }
    if (negated) SyntaxError(Peek());
    return left;
  }

  ExprPtr ParseAdditive() {
    ExprPtr left = ParseMultiplicative();
    while (IsOp(Peek(), "+") || IsOp(Peek(), "-")) {
      auto e = Make(Expr::Kind::kArith, Peek().offset);
      e->op = Next().text;
      e->args.push_back(std::move(left));
      e->args.push_back(ParseMultiplicative());
      left = Seal(std::move(e));
    }
    return left;
  }

  ExprPtr ParseMultiplicative() {
    ExprPtr left = ParseUnary();
    while (IsOp(Peek(), "*") || IsOp(Peek(), "/") || IsOp(Peek(), "%")) {
      auto e = Make(Expr::Kind::kArith, Peek().offset);
      e->op = Next().text;
      e->args.push_back(std::move(left));
      e->args.push_back(ParseUnary());
      left = Seal(std::move(e));
    }
    return left;
  }

  ExprPtr ParseUnary() {
    if (IsOp(Peek(), "-") || IsOp(Peek(), "+")) {
      Nest nest(*this);
      if (AcceptOp("+")) return ParseUnary();
      auto e = Make(Expr::Kind::kNegate, Next().offset);
      e->args.push_back(ParseUnary());
      return Seal(std::move(e));
    }
    return ParsePrimary();
  }

  TypeName ParseTypeName() {
    TypeName tn;
    const Token& t = Peek();
    if (t.kind != TokenKind::kIdent && t.kind != TokenKind::kQuotedIdent) SyntaxError(t);
    tn.name = Next().text;
    for (char& c : tn.name) {
      if (c >= 'A' && c <= 'Z') c += 32;
    }
    const std::string& n = tn.name;
    if (n == "int" || n == "integer") {
      tn.type = SqlType::kInt;
    } else if (n == "smallint") {
      tn.type = SqlType::kSmallInt;
    } else if (n == "bit") {
      tn.type = SqlType::kBit;
    } else if (n == "float") {
      tn.type = SqlType::kFloat;
    } else if (n == "real") {
      tn.type = SqlType::kReal;
    } else if (n == "datetime") {
      tn.type = SqlType::kDateTime;
    } else if (n == "date") {
      tn.type = SqlType::kDate;
    } else if (n == "time") {
      tn.type = SqlType::kTime;
      tn.length = 7;  // a second's digits: seven when not given
    } else if (n == "decimal" || n == "numeric" || n == "dec") {
      tn.type = SqlType::kDecimal;
      tn.length = 18;
    } else if (n == "char" || n == "nchar") {
      tn.type = SqlType::kText;
      tn.fixed = true;
    } else if (n == "varchar" || n == "nvarchar") {
      tn.type = SqlType::kText;
    } else {
      ThrowDatabase("Conversion to the type " + n + " is not supported by the embedded database.");
    }
    if (tn.type == SqlType::kDecimal && AcceptOp("(")) {
      auto number = [&](int& value, int& literal) {
        const Token& t = Peek();
        if (t.kind != TokenKind::kLiteral || t.marker != kIntegerMarker) SyntaxError(t);
        literal = t.literal_index;
        value = static_cast<int>(
            std::min<int64_t>(IntegerLiteralValue(shape_.literals[literal].text), 1000));
        Next();
      };
      number(tn.length, tn.length_literal);
      if (AcceptOp(",")) number(tn.scale, tn.scale_literal);
      ExpectOp(")");
      if (tn.length < 1 || tn.length > 38) {
        ThrowDatabase("The precision " + std::to_string(tn.length) +
                      " of a decimal is outside 1 to 38.");
      }
      if (tn.scale > tn.length) {
        ThrowDatabase("The scale " + std::to_string(tn.scale) + " of a decimal is outside 0 to " +
                      std::to_string(tn.length) + ".");
      }
    } else if (tn.type == SqlType::kTime && AcceptOp("(")) {
      const Token& t = Peek();
      if (t.kind != TokenKind::kLiteral || t.marker != kIntegerMarker) SyntaxError(t);
      tn.length_literal = t.literal_index;
      const std::string& digits = shape_.literals[t.literal_index].text;
      const int64_t scale = IntegerLiteralValue(digits);
      if (scale > 7) ThrowDatabase("Specified scale " + digits + " is invalid.");
      tn.length = static_cast<int>(scale);
      Next();
      ExpectOp(")");
    } else if (AcceptOp("(")) {
      if (tn.type != SqlType::kText) {
        ThrowDatabase("A length or precision for " + n +
                      " is not supported by the embedded database.");
      }
      const Token& len = Peek();
      if (IsKeyword(len, "MAX") && !tn.fixed) {
        Next();
        tn.length = 0;
      } else if (len.kind == TokenKind::kLiteral && len.marker == kIntegerMarker) {
        tn.length_literal = len.literal_index;
        const int64_t length = IntegerLiteralValue(shape_.literals[len.literal_index].text);
        if (length < 1 || length > 8000) {
          ThrowDatabase("The size (" + shape_.literals[len.literal_index].text +
                        ") given to the type '" + n + "' exceeds the maximum allowed (8000).");
        }
        tn.length = static_cast<int>(length);
        Next();
      } else {
        SyntaxError(len);
      }
      ExpectOp(")");
    }
    return tn;
  }

  ExprPtr ParsePrimary() {
    const Token& t = Peek();
    if (t.kind == TokenKind::kLiteral) {
      auto e = Make(Expr::Kind::kLiteral, t.offset);
      e->literal_index = t.literal_index;
      e->marker = t.marker;
      Next();
      return Seal(std::move(e));
    }
    if (IsOp(t, "(")) {
      size_t offset = Next().offset;
      if (IsKeyword(Peek(), "SELECT")) {
        auto e = Make(Expr::Kind::kSubquery, offset);
        e->select = ParseSelect();
        ExpectOp(")");
        return Seal(std::move(e));
      }
      ExprPtr inner = ParseExpr();
      ExpectOp(")");
      return inner;
    }
    if (t.kind == TokenKind::kIdent) {
      if (IsKeyword(t, "NULL")) {
        return Make(Expr::Kind::kNull, Next().offset);
      }
      if (IsKeyword(t, "CASE")) return ParseCase();
      if (t.text.size() > 1 && t.text[0] == '@') {
        auto e = Make(Expr::Kind::kVariable, t.offset);
        e->op = Upper(t.text);
        // @@IDENTITY is the translator's own; every other variable's value
        // is spliced in by the batch that declares it.
        if (e->op != "@@IDENTITY") variables_.push_back({t.offset, t.text.size(), e->op, t.text});
        Next();
        return Seal(std::move(e));
      }
      if (IsOp(Peek(1), "(") &&
          (!IsReserved(t.text) || IsKeyword(t, "LEFT") || IsKeyword(t, "RIGHT"))) {
        return ParseFunction();
      }
    }
    if (AtName()) {
      auto e = Make(Expr::Kind::kColumn, t.offset);
      e->names.push_back(Next().text);
      while (IsOp(Peek(), ".")) {
        Next();
        e->names.push_back(ParseName());
      }
      if (e->names.size() > 2) {
        ThrowDatabase("The multi-part name '" + e->names[0] + "." + e->names[1] + "." +
                      e->names[2] + "' is not supported by the embedded database.");
      }
      return Seal(std::move(e));
    }
    SyntaxError(t);
  }

  // CASE [input] WHEN a THEN b ... [ELSE c] END; see Expr::Kind::kCase.
  ExprPtr ParseCase() {
    Nest nest(*this);
    auto e = Make(Expr::Kind::kCase, Next().offset);
    const bool simple = !IsKeyword(Peek(), "WHEN");
    e->op = simple ? "CASE x" : "CASE";
    if (simple) e->args.push_back(ParseExpr());
    if (!IsKeyword(Peek(), "WHEN")) SyntaxError(Peek());
    while (AcceptKeyword("WHEN")) {
      e->args.push_back(ParseExpr());
      ExpectKeyword("THEN");
      e->args.push_back(ParseExpr());
    }
    if (AcceptKeyword("ELSE")) e->args.push_back(ParseExpr());
    ExpectKeyword("END");
    return Seal(std::move(e));
  }

  ExprPtr ParseFunction() {
    const Token& name = Next();
    std::string upper = Upper(name.text);
    Next();  // (
    if (upper == "CAST") {
      auto e = Make(Expr::Kind::kCast, name.offset);
      e->args.push_back(ParseExpr());
      ExpectKeyword("AS");
      e->cast_type = ParseTypeName();
      ExpectOp(")");
      return Seal(std::move(e));
    }
    if (upper == "CONVERT") {
      auto e = Make(Expr::Kind::kCast, name.offset);
      e->cast_type = ParseTypeName();
      ExpectOp(",");
      e->args.push_back(ParseExpr());
      if (AcceptOp(",")) {
        const Token& style = Peek();
        if (style.kind != TokenKind::kLiteral || style.marker != kIntegerMarker) {
          ThrowDatabase("CONVERT's style must be a whole number on the embedded database.");
        }
        e->style_literal = style.literal_index;
        Next();
      }
      ExpectOp(")");
      return Seal(std::move(e));
    }
    auto e = Make(Expr::Kind::kFunction, name.offset);
    e->op = upper;
    if (upper == "COUNT" && AcceptOp("*")) {
      e->star = true;
      ExpectOp(")");
      return WithOver(Seal(std::move(e)));
    }
    if (IsOp(Peek(), ")")) {
      Next();
      return WithOver(Seal(std::move(e)));
    }
    if (AcceptKeyword("DISTINCT")) {
      e->distinct = true;
    } else {
      AcceptKeyword("ALL");
    }
    // DATEDIFF / DATEADD / DATEPART take a date part name first.
    if ((upper == "DATEDIFF" || upper == "DATEADD" || upper == "DATEPART" || upper == "DATENAME") &&
        AtName() && (IsOp(Peek(1), ","))) {
      auto part = Make(Expr::Kind::kColumn, Peek().offset);
      part->names.push_back(Next().text);
      e->args.push_back(std::move(part));
      ExpectOp(",");
    }
    do {
      e->args.push_back(ParseExpr());
    } while (AcceptOp(","));
    ExpectOp(")");
    return WithOver(Seal(std::move(e)));
  }

  // OVER (PARTITION BY ... ORDER BY ... [frame]) after a function call.
  ExprPtr WithOver(ExprPtr e) {
    if (!AcceptKeyword("OVER")) return e;
    auto w = std::make_unique<WindowSpec>();
    ExpectOp("(");
    if (AcceptKeyword("PARTITION")) {
      ExpectKeyword("BY");
      do {
        w->partition_by.push_back(ParseExpr());
      } while (AcceptOp(","));
    }
    if (AcceptKeyword("ORDER")) {
      ExpectKeyword("BY");
      do {
        OrderItem item;
        item.expr = ParseExpr();
        if (AcceptKeyword("DESC")) {
          item.desc = true;
        } else {
          AcceptKeyword("ASC");
        }
        w->order_by.push_back(std::move(item));
      } while (AcceptOp(","));
    }
    if (IsKeyword(Peek(), "ROWS") || IsKeyword(Peek(), "RANGE")) {
      w->has_frame = true;
      w->rows = IsKeyword(Next(), "ROWS");
      if (AcceptKeyword("BETWEEN")) {
        w->start = ParseFrameBound();
        ExpectKeyword("AND");
        w->end = ParseFrameBound();
      } else {
        w->start = ParseFrameBound();
      }
    }
    ExpectOp(")");
    int h = 0;
    for (const ExprPtr& p : w->partition_by) h = std::max(h, p->height);
    for (const OrderItem& o : w->order_by) h = std::max(h, o.expr->height);
    e->over = std::move(w);
    e->height = std::max(e->height, h + 1);
    if (e->height > kMaxExprHeight) TooDeep();
    return e;
  }

  WindowSpec::Bound ParseFrameBound() {
    using Kind = WindowSpec::Bound::Kind;
    WindowSpec::Bound b;
    if (AcceptKeyword("UNBOUNDED")) {
      if (AcceptKeyword("PRECEDING")) {
        b.kind = Kind::kUnboundedPreceding;
      } else {
        ExpectKeyword("FOLLOWING");
        b.kind = Kind::kUnboundedFollowing;
      }
    } else if (AcceptKeyword("CURRENT")) {
      ExpectKeyword("ROW");
      b.kind = Kind::kCurrentRow;
    } else {
      const Token& n = Peek();
      if (n.kind != TokenKind::kLiteral || n.marker != kIntegerMarker) SyntaxError(n);
      b.literal_index = n.literal_index;
      Next();
      if (AcceptKeyword("PRECEDING")) {
        b.kind = Kind::kPreceding;
      } else {
        ExpectKeyword("FOLLOWING");
        b.kind = Kind::kFollowing;
      }
    }
    return b;
  }

  const ShapedStatement& shape_;
  std::vector<Token> tokens_;
  size_t pos_ = 0;
  int depth_ = 0;  // levels of recursion now open (Nest)
};

Statement ParseStatement(const ShapedStatement& shape) { return Parser(shape).Parse(); }

bool IsReservedWord(std::string_view word) { return IsReserved(word); }

}  // namespace korimba::sql

namespace korimba::sql {

StatementReader::StatementReader(const ShapedStatement& shape)
    : parser_(std::make_unique<Parser>(shape)) {}
StatementReader::~StatementReader() = default;

const Token& StatementReader::Peek(size_t ahead) const { return parser_->Peek(ahead); }
const Token& StatementReader::Next() { return parser_->Next(); }
bool StatementReader::IsKeyword(const Token& t, std::string_view word) const {
  return Parser::IsKeyword(t, word);
}
bool StatementReader::AcceptKeyword(std::string_view word) { return parser_->AcceptKeyword(word); }
bool StatementReader::AcceptOp(std::string_view op) { return parser_->AcceptOp(op); }
void StatementReader::ExpectKeyword(std::string_view word) { parser_->ExpectKeyword(word); }
void StatementReader::ExpectOp(std::string_view op) { parser_->ExpectOp(op); }
void StatementReader::SyntaxError(const Token& t) const { parser_->SyntaxError(t); }
Statement StatementReader::ParseStatement() { return parser_->ParseOne(); }
ExprPtr StatementReader::ParseExpr() { return parser_->ParseExpr(); }
TypeName StatementReader::ParseTypeName() { return parser_->ParseTypeName(); }
std::string StatementReader::ParseName() { return parser_->ParseName(); }
std::vector<VariableUse> StatementReader::TakeVariables() {
  return std::exchange(parser_->variables_, {});
}
std::vector<VariableAssignment> StatementReader::TakeAssignments() {
  return std::exchange(parser_->assignments_, {});
}
std::optional<SelectInto> StatementReader::TakeInto() { return std::exchange(parser_->into_, {}); }
const ShapedStatement& StatementReader::shape() const { return parser_->shape_; }

}  // namespace korimba::sql
