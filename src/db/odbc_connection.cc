#include "db/odbc_connection.h"

#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "db/translator.h"
#include "frame/date.h"
#include "frame/error.h"

namespace korimba {
namespace {

// The narrow ODBC calls take text as unsigned bytes.
SQLCHAR* Bytes(std::string& text) { return reinterpret_cast<SQLCHAR*>(text.data()); }

// Owns one ODBC handle of type kType and frees it.
template <SQLSMALLINT kType>
class OdbcHandle {
 public:
  OdbcHandle() = default;
  OdbcHandle(const OdbcHandle&) = delete;
  OdbcHandle& operator=(const OdbcHandle&) = delete;
  ~OdbcHandle() {
    if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(kType, handle_);
  }

  // Allocates under `parent`; false when the driver manager refuses.
  bool Allocate(SQLHANDLE parent) { return SQL_SUCCEEDED(SQLAllocHandle(kType, parent, &handle_)); }
  SQLHANDLE get() const { return handle_; }

 private:
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// Every diagnostic message of a handle, one per line, without the SQLSTATE:
// the text a page shows is the database's own.
std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::string out;
  SQLCHAR state[6];
  SQLINTEGER native = 0;
  std::vector<SQLCHAR> message(1024);
  for (SQLSMALLINT record = 1;; ++record) {
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLGetDiagRec(type, handle, record, state, &native, message.data(),
                                 static_cast<SQLSMALLINT>(message.size()), &length);
    if (rc == SQL_SUCCESS_WITH_INFO && static_cast<size_t>(length) >= message.size()) {
      message.resize(length + 1);
      rc = SQLGetDiagRec(type, handle, record, state, &native, message.data(),
                         static_cast<SQLSMALLINT>(message.size()), &length);
    }
    if (!SQL_SUCCEEDED(rc)) break;
    if (!out.empty()) out.push_back('\n');
    out.append(reinterpret_cast<const char*>(message.data()),
               std::min<size_t>(length, message.size() - 1));
  }
  return out;
}

[[noreturn]] void ThrowDiagnostics(SQLSMALLINT type, SQLHANDLE handle, const char* fallback) {
  std::string text = handle == SQL_NULL_HANDLE ? std::string() : Diagnostics(type, handle);
  ThrowDatabase(text.empty() ? std::string(fallback) : text);
}

// How a result column is read and which Variant kind it becomes.
enum class CellKind { kI2, kI4, kBigInt, kBool, kR4, kR8, kDate, kText, kBytes };

CellKind KindOfSqlType(SQLSMALLINT type) {
  switch (type) {
    case SQL_SMALLINT:
    case SQL_TINYINT:
      return CellKind::kI2;
    case SQL_INTEGER:
      return CellKind::kI4;
    case SQL_BIGINT:
      return CellKind::kBigInt;
    case SQL_BIT:
      return CellKind::kBool;
    case SQL_REAL:
      return CellKind::kR4;
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return CellKind::kR8;
    case SQL_TYPE_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TIMESTAMP:
    case SQL_DATE:
      return CellKind::kDate;
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return CellKind::kBytes;
    default:  // character types, GUIDs, times and anything unforeseen read as text
      return CellKind::kText;
  }
}

template <typename T>
bool ReadFixed(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type, T& value) {
  SQLLEN indicator = 0;
  SQLRETURN rc = SQLGetData(stmt, column, c_type, &value, sizeof(value), &indicator);
  if (!SQL_SUCCEEDED(rc)) ThrowDiagnostics(SQL_HANDLE_STMT, stmt, "Could not read a column");
  return indicator != SQL_NULL_DATA;
}

// Reads a value of any length in pieces (text as SQL_C_CHAR, whose pieces
// each end in a terminator the driver adds, or bytes as SQL_C_BINARY).
// Returns false for NULL.
template <typename Unit>
bool ReadLong(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT c_type, std::vector<Unit>& out) {
  constexpr size_t kPiece = 2048;
  const size_t terminator = c_type == SQL_C_BINARY ? 0 : 1;
  out.clear();
  for (;;) {
    const size_t start = out.size();
    out.resize(start + kPiece);
    SQLLEN indicator = 0;
    SQLRETURN rc =
        SQLGetData(stmt, column, c_type, out.data() + start, kPiece * sizeof(Unit), &indicator);
    if (rc == SQL_NO_DATA) {
      out.resize(start);
      return true;
    }
    if (!SQL_SUCCEEDED(rc)) ThrowDiagnostics(SQL_HANDLE_STMT, stmt, "Could not read a column");
    if (indicator == SQL_NULL_DATA) {
      out.clear();
      return false;
    }
    const bool truncated = indicator == SQL_NO_TOTAL ||
                           static_cast<size_t>(indicator) > (kPiece - terminator) * sizeof(Unit);
    if (rc == SQL_SUCCESS || !truncated) {
      out.resize(start + static_cast<size_t>(indicator) / sizeof(Unit));
      return true;
    }
    out.resize(start + kPiece - terminator);
  }
}

Variant ReadCell(SQLHSTMT stmt, SQLUSMALLINT column, CellKind kind) {
  switch (kind) {
    case CellKind::kI2: {
      SQLSMALLINT v = 0;
      return ReadFixed(stmt, column, SQL_C_SSHORT, v) ? Variant::I2(v) : Variant::Null();
    }
    case CellKind::kI4: {
      SQLINTEGER v = 0;
      return ReadFixed(stmt, column, SQL_C_SLONG, v) ? Variant::I4(v) : Variant::Null();
    }
    case CellKind::kBigInt: {
      // The value model has no 64-bit integer: a value that fits stays an
      // integer, a larger one becomes a double rather than wrapping.
      SQLBIGINT v = 0;
      if (!ReadFixed(stmt, column, SQL_C_SBIGINT, v)) return Variant::Null();
      if (v >= INT32_MIN && v <= INT32_MAX) return Variant::I4(static_cast<int32_t>(v));
      return Variant::R8(static_cast<double>(v));
    }
    case CellKind::kBool: {
      unsigned char v = 0;
      return ReadFixed(stmt, column, SQL_C_BIT, v) ? Variant::Bool(v != 0) : Variant::Null();
    }
    case CellKind::kR4: {
      SQLREAL v = 0;
      return ReadFixed(stmt, column, SQL_C_FLOAT, v) ? Variant::R4(v) : Variant::Null();
    }
    case CellKind::kR8: {
      SQLDOUBLE v = 0;
      return ReadFixed(stmt, column, SQL_C_DOUBLE, v) ? Variant::R8(v) : Variant::Null();
    }
    case CellKind::kDate: {
      SQL_TIMESTAMP_STRUCT v{};
      if (!ReadFixed(stmt, column, SQL_C_TYPE_TIMESTAMP, v)) return Variant::Null();
      CivilDateTime parts{v.year,
                          v.month,
                          v.day,
                          v.hour,
                          v.minute,
                          v.second,
                          static_cast<int>(v.fraction / 1000000)};
      std::optional<Date> date = MakeDate(parts);
      if (!date) ThrowDatabase("The driver returned a date and time out of range");
      return Variant::FromDate(*date);
    }
    case CellKind::kText: {
      std::vector<char> text;
      if (!ReadLong(stmt, column, SQL_C_CHAR, text)) return Variant::Null();
      return Variant::Text(std::string(text.begin(), text.end()));
    }
    case CellKind::kBytes: {
      std::vector<unsigned char> bytes;
      if (!ReadLong(stmt, column, SQL_C_BINARY, bytes)) return Variant::Null();
      return Variant::Bytes(ByteArray{std::vector<uint8_t>(bytes.begin(), bytes.end()), 0});
    }
  }
  return Variant::Null();
}

// A cell of a translated statement: SQLite holds datetimes as canonical
// text and has no smallint, bit or real, so the value is read in its storage
// form and made into the kind the SQL Server type of the column calls for.
// Columns of unknown type keep the storage class the driver reports.
Variant ReadTranslatedCell(SQLHSTMT stmt, SQLUSMALLINT column, const sql::ResultColumn& result,
                           CellKind reported) {
  using sql::SqlType;
  const SqlType type = result.type;
  bool as_int = type == SqlType::kInt || type == SqlType::kSmallInt || type == SqlType::kBit;
  bool as_double = type == SqlType::kFloat || type == SqlType::kReal || type == SqlType::kDecimal;
  if (type == SqlType::kUnknown || type == SqlType::kNull) {
    as_int = reported == CellKind::kI2 || reported == CellKind::kI4 ||
             reported == CellKind::kBigInt || reported == CellKind::kBool;
    as_double = reported == CellKind::kR4 || reported == CellKind::kR8;
  }
  if (as_int) {
    SQLBIGINT v = 0;
    return ReadFixed(stmt, column, SQL_C_SBIGINT, v) ? sql::ResultValueFromInt(type, v)
                                                     : Variant::Null();
  }
  if (as_double) {
    SQLDOUBLE v = 0;
    return ReadFixed(stmt, column, SQL_C_DOUBLE, v) ? sql::ResultValueFromDouble(type, v)
                                                    : Variant::Null();
  }
  std::vector<char> text;
  if (!ReadLong(stmt, column, SQL_C_CHAR, text)) return Variant::Null();
  return sql::ResultValueFromText(type, std::string_view(text.data(), text.size()),
                                  result.time_scale);
}

// Reads the first result of an executed statement that has columns; a
// statement with none (a command) gives an empty table. `translated` are the
// result columns a translation promised (names and SQL Server types), or
// null for text that went to the driver unchanged.
ResultTable ReadResult(SQLHSTMT stmt, const std::vector<sql::ResultColumn>* translated) {
  SQLSMALLINT columns = 0;
  for (;;) {
    if (!SQL_SUCCEEDED(SQLNumResultCols(stmt, &columns))) {
      ThrowDiagnostics(SQL_HANDLE_STMT, stmt, "Could not describe the result");
    }
    if (columns > 0) break;
    // A batch may report row counts before its result set.
    SQLRETURN rc = SQLMoreResults(stmt);
    if (rc == SQL_NO_DATA) return {};
    if (!SQL_SUCCEEDED(rc)) ThrowDiagnostics(SQL_HANDLE_STMT, stmt, "The statement failed");
  }
  if (translated && translated->size() != static_cast<size_t>(columns)) translated = nullptr;

  ResultTable table;
  std::vector<CellKind> kinds;
  table.columns.reserve(columns);
  kinds.reserve(columns);
  std::vector<SQLCHAR> name(256);
  for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
    SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLRETURN rc = SQLDescribeCol(stmt, c, name.data(), static_cast<SQLSMALLINT>(name.size()),
                                  &name_length, &type, &size, &digits, &nullable);
    if (rc == SQL_SUCCESS_WITH_INFO && static_cast<size_t>(name_length) >= name.size()) {
      name.resize(name_length + 1);
      rc = SQLDescribeCol(stmt, c, name.data(), static_cast<SQLSMALLINT>(name.size()), &name_length,
                          &type, &size, &digits, &nullable);
    }
    if (!SQL_SUCCEEDED(rc)) ThrowDiagnostics(SQL_HANDLE_STMT, stmt, "Could not describe a column");
    if (translated) {
      table.columns.push_back((*translated)[c - 1].name);
    } else {
      table.columns.emplace_back(reinterpret_cast<const char*>(name.data()),
                                 std::min<size_t>(name_length, name.size() - 1));
    }
    kinds.push_back(KindOfSqlType(type));
  }

  for (;;) {
    SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) ThrowDiagnostics(SQL_HANDLE_STMT, stmt, "Could not read a row");
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
      table.cells.push_back(translated
                                ? ReadTranslatedCell(stmt, c, (*translated)[c - 1], kinds[c - 1])
                                : ReadCell(stmt, c, kinds[c - 1]));
    }
  }
  return table;
}

// The translator numbers its placeholders ("?1", "?2"); the SQLite driver
// counts bare "?" marks itself, so they are renumbered in order of
// appearance and `order` says which parameter each mark takes.
std::string BarePlaceholders(std::string_view sql, std::vector<int>& order) {
  std::string out;
  out.reserve(sql.size());
  char quote = 0;
  for (size_t i = 0; i < sql.size(); ++i) {
    const char c = sql[i];
    if (quote) {
      out.push_back(c);
      if (c == quote) quote = 0;  // a doubled quote reopens at once
    } else if (c == '\'' || c == '"') {
      quote = c;
      out.push_back(c);
    } else if (c == '?' && i + 1 < sql.size() && sql[i + 1] >= '0' && sql[i + 1] <= '9') {
      int number = 0;
      while (i + 1 < sql.size() && sql[i + 1] >= '0' && sql[i + 1] <= '9') {
        number = number * 10 + (sql[++i] - '0');
      }
      order.push_back(number - 1);
      out.push_back('?');
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// A translation ready for the driver.
struct OdbcTranslation {
  sql::Translation translation;
  std::string sql;         // with bare "?" marks
  std::vector<int> order;  // mark i takes translation.params[order[i]]
};

// Binds the values of one call; they must outlive the execution.
class ParameterBinder {
 public:
  explicit ParameterBinder(size_t count) {
    values_.reserve(count);
    indicators_.reserve(count);
  }

  void Bind(SQLHSTMT stmt, sql::BoundValue value) {
    values_.push_back(std::move(value));
    indicators_.push_back(0);
    const auto number = static_cast<SQLUSMALLINT>(values_.size());
    sql::BoundValue& v = values_.back();
    SQLLEN& indicator = indicators_.back();
    SQLRETURN rc = SQL_ERROR;
    if (std::holds_alternative<std::monostate>(v)) {
      indicator = SQL_NULL_DATA;
      rc = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 1, 0, nullptr,
                            0, &indicator);
    } else if (auto* i = std::get_if<int64_t>(&v)) {
      rc = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_SBIGINT, SQL_BIGINT, 0, 0, i, 0,
                            &indicator);
    } else if (auto* d = std::get_if<double>(&v)) {
      rc = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 0, 0, d, 0,
                            &indicator);
    } else {
      std::string& text = std::get<std::string>(v);
      indicator = static_cast<SQLLEN>(text.size());
      rc = SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                            std::max<SQLULEN>(text.size(), 1), 0, text.data(), indicator,
                            &indicator);
    }
    if (!SQL_SUCCEEDED(rc)) ThrowDiagnostics(SQL_HANDLE_STMT, stmt, "Could not bind a value");
  }

 private:
  std::vector<sql::BoundValue> values_;
  std::vector<SQLLEN> indicators_;
};

}  // namespace

// The SQL Server schema; schema/sqlserver.sql holds the same batches (a test
// keeps the two equal).
const std::vector<SqlServerSchemaObject>& SqlServerSchemaObjects() {
  static const std::vector<SqlServerSchemaObject> objects = {
      {"DATA_Msg", "SELECT 1 WHERE OBJECT_ID(N'dbo.DATA_Msg', N'U') IS NOT NULL",
       "IF OBJECT_ID(N'dbo.DATA_Msg', N'U') IS NULL\n"
       "CREATE TABLE dbo.DATA_Msg (\n"
       "  MsgID int IDENTITY(1,1) NOT NULL CONSTRAINT PK_DATA_Msg PRIMARY KEY,\n"
       "  PersonID int NULL,\n"
       "  MsgFromPersonID int NULL,\n"
       "  MsgTitle nvarchar(200) NULL,\n"
       "  MsgContent nvarchar(max) NULL,\n"
       "  MsgFileName nvarchar(255) NULL,\n"
       "  msgFlag int NULL CONSTRAINT DF_DATA_Msg_msgFlag DEFAULT 0,\n"
       "  msgCreatetime datetime NULL CONSTRAINT DF_DATA_Msg_msgCreatetime DEFAULT getdate()\n"
       ")"},
      {"HR_Person", "SELECT 1 WHERE OBJECT_ID(N'dbo.HR_Person', N'U') IS NOT NULL",
       "IF OBJECT_ID(N'dbo.HR_Person', N'U') IS NULL\n"
       "CREATE TABLE dbo.HR_Person (\n"
       "  PersonID int NOT NULL CONSTRAINT PK_HR_Person PRIMARY KEY,\n"
       "  PersonName nvarchar(50) NULL\n"
       ")"},
      {"DATA_Plan", "SELECT 1 WHERE OBJECT_ID(N'dbo.DATA_Plan', N'U') IS NOT NULL",
       "IF OBJECT_ID(N'dbo.DATA_Plan', N'U') IS NULL\n"
       "CREATE TABLE dbo.DATA_Plan (\n"
       "  PlanID int IDENTITY(1,1) NOT NULL CONSTRAINT PK_DATA_Plan PRIMARY KEY,\n"
       "  PersonID int NULL,\n"
       "  PlanType int NULL,\n"
       "  PlanClass int NULL,\n"
       "  PlanBeginTime datetime NULL,\n"
       "  PlanEndTime datetime NULL,\n"
       "  PlanAlertTime datetime NULL,\n"
       "  PlanContent ntext NULL,\n"
       "  PlanPlace nvarchar(200) NULL\n"
       ")"},
      {"KORIMBA_Account", "SELECT 1 WHERE OBJECT_ID(N'dbo.KORIMBA_Account', N'U') IS NOT NULL",
       "IF OBJECT_ID(N'dbo.KORIMBA_Account', N'U') IS NULL\n"
       "CREATE TABLE dbo.KORIMBA_Account (\n"
       "  LoginName nvarchar(100) NOT NULL CONSTRAINT PK_KORIMBA_Account PRIMARY KEY,\n"
       "  PersonID int NOT NULL,\n"
       "  PasswordHash nvarchar(255) NULL,\n"
       "  Created datetime NULL,\n"
       "  LastSignIn datetime NULL\n"
       ")"},
      {"IX_DATA_Msg_Pair",
       "SELECT name FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND name = "
       "N'IX_DATA_Msg_Pair'",
       "IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND "
       "name = N'IX_DATA_Msg_Pair')\n"
       "CREATE INDEX IX_DATA_Msg_Pair ON dbo.DATA_Msg (PersonID, MsgFromPersonID, msgCreatetime)"},
      {"IX_DATA_Msg_Unread",
       "SELECT name FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND name = "
       "N'IX_DATA_Msg_Unread'",
       "IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND "
       "name = N'IX_DATA_Msg_Unread')\n"
       "CREATE INDEX IX_DATA_Msg_Unread ON dbo.DATA_Msg (PersonID, msgFlag, msgCreatetime)"},
      {"IX_DATA_Msg_From",
       "SELECT name FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND name = "
       "N'IX_DATA_Msg_From'",
       "IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND "
       "name = N'IX_DATA_Msg_From')\n"
       "CREATE INDEX IX_DATA_Msg_From ON dbo.DATA_Msg (MsgFromPersonID, msgCreatetime)"},
      {"IX_DATA_Msg_Createtime",
       "SELECT name FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND name = "
       "N'IX_DATA_Msg_Createtime'",
       "IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND "
       "name = N'IX_DATA_Msg_Createtime')\n"
       "CREATE INDEX IX_DATA_Msg_Createtime ON dbo.DATA_Msg (msgCreatetime)"},
      {"IX_DATA_Msg_InboxCover",
       "SELECT name FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND name = "
       "N'IX_DATA_Msg_InboxCover'",
       "IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND "
       "name = N'IX_DATA_Msg_InboxCover')\n"
       "CREATE INDEX IX_DATA_Msg_InboxCover ON dbo.DATA_Msg (PersonID, msgCreatetime) INCLUDE "
       "(MsgFromPersonID, msgFlag, MsgFileName, MsgContent)"},
      {"IX_DATA_Msg_InboxTitle",
       "SELECT name FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND name = "
       "N'IX_DATA_Msg_InboxTitle'",
       "IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND "
       "name = N'IX_DATA_Msg_InboxTitle')\n"
       "CREATE INDEX IX_DATA_Msg_InboxTitle ON dbo.DATA_Msg (PersonID) INCLUDE (MsgTitle, "
       "msgCreatetime)"},
      // The sent messages' covering index of an earlier schema lacked the
      // title; the batch drops it once its successor is there.
      {"IX_DATA_Msg_Sent",
       "SELECT name FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND name = "
       "N'IX_DATA_Msg_Sent'",
       "IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND "
       "name = N'IX_DATA_Msg_Sent')\n"
       "CREATE INDEX IX_DATA_Msg_Sent ON dbo.DATA_Msg (MsgFromPersonID, PersonID) INCLUDE "
       "(MsgContent, msgCreatetime, MsgTitle)\n"
       "IF EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Msg') AND "
       "name = N'IX_DATA_Msg_SentCover')\n"
       "DROP INDEX IX_DATA_Msg_SentCover ON dbo.DATA_Msg"},
      {"IX_DATA_Plan_Person",
       "SELECT name FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Plan') AND name = "
       "N'IX_DATA_Plan_Person'",
       "IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Plan') AND "
       "name = N'IX_DATA_Plan_Person')\n"
       "CREATE INDEX IX_DATA_Plan_Person ON dbo.DATA_Plan (PersonID, PlanBeginTime, PlanEndTime)"},
      {"IX_DATA_Plan_End",
       "SELECT name FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Plan') AND name = "
       "N'IX_DATA_Plan_End'",
       "IF NOT EXISTS (SELECT * FROM sys.indexes WHERE object_id = OBJECT_ID(N'dbo.DATA_Plan') AND "
       "name = N'IX_DATA_Plan_End')\n"
       "CREATE INDEX IX_DATA_Plan_End ON dbo.DATA_Plan (PersonID, PlanEndTime, PlanBeginTime)"},
  };
  return objects;
}

struct OdbcConnection::Handles {
  OdbcHandle<SQL_HANDLE_ENV> env;
  OdbcHandle<SQL_HANDLE_DBC> dbc;
  bool connected = false;

  // Translations by statement shape (several per shape when literals fix
  // part of the translation), and what binding needs across calls.
  std::unordered_map<std::string, std::vector<OdbcTranslation>> translations;
  sql::ShapedStatement shape;
  sql::BindState bind_state;

  // Disconnects before the handles are freed (members die after this body).
  ~Handles() {
    if (connected) SQLDisconnect(dbc.get());
  }
};

OdbcConnection::OdbcConnection(std::string_view odbc_connection_string, Dialect dialect)
    : handles_(std::make_unique<Handles>()) {
  Handles& h = *handles_;
  if (!h.env.Allocate(SQL_NULL_HANDLE)) ThrowDatabase("Could not start the ODBC driver manager");
  SQLSetEnvAttr(h.env.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!h.dbc.Allocate(h.env.get())) {
    ThrowDiagnostics(SQL_HANDLE_ENV, h.env.get(), "Could not allocate an ODBC connection");
  }
  std::string text(odbc_connection_string);
  SQLRETURN rc =
      SQLDriverConnect(h.dbc.get(), nullptr, Bytes(text), static_cast<SQLSMALLINT>(text.size()),
                       nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) ThrowDiagnostics(SQL_HANDLE_DBC, h.dbc.get(), "Could not connect");
  h.connected = true;

  char name[128] = {};
  SQLSMALLINT length = 0;
  if (SQL_SUCCEEDED(SQLGetInfo(h.dbc.get(), SQL_DBMS_NAME, name, sizeof(name), &length))) {
    dbms_name_.assign(name, std::min<size_t>(length, sizeof(name) - 1));
  }
  translates_dialect_ = dialect == Dialect::kAuto && dbms_name_ == "SQLite";
}

OdbcConnection::~OdbcConnection() = default;

ResultTable OdbcConnection::Execute(std::string_view statement) {
  return translates_dialect_ ? ExecuteTranslated(statement) : ExecuteUntranslated(statement);
}

ResultTable OdbcConnection::ExecuteUntranslated(std::string_view statement) {
  OdbcHandle<SQL_HANDLE_STMT> stmt;
  if (!stmt.Allocate(handles_->dbc.get())) {
    ThrowDiagnostics(SQL_HANDLE_DBC, handles_->dbc.get(), "Could not allocate a statement");
  }
  std::string text(statement);
  SQLRETURN rc = SQLExecDirect(stmt.get(), Bytes(text), static_cast<SQLINTEGER>(text.size()));
  // SQL_NO_DATA: an update or delete that matched no row, which is no error.
  if (rc == SQL_NO_DATA) return {};
  if (!SQL_SUCCEEDED(rc)) ThrowDiagnostics(SQL_HANDLE_STMT, stmt.get(), "The statement failed");
  return ReadResult(stmt.get(), nullptr);
}

ResultTable OdbcConnection::ExecuteTranslated(std::string_view statement) {
  Handles& h = *handles_;
  sql::ShapeStatement(statement, h.shape);
  // Pages build their statements from a fixed set of shapes; a connection
  // that sees far more is being fed ad-hoc text, and a bounded cache keeps
  // it from growing without end.
  constexpr size_t kMaxShapes = 1024;
  if (h.translations.size() >= kMaxShapes && !h.translations.contains(h.shape.key)) {
    h.translations.clear();
  }
  std::vector<OdbcTranslation>& candidates = h.translations[h.shape.key];
  const OdbcTranslation* found = nullptr;
  for (const OdbcTranslation& candidate : candidates) {
    if (candidate.translation.Matches(h.shape)) {
      found = &candidate;
      break;
    }
  }
  if (found == nullptr) {
    OdbcTranslation made;
    made.translation = sql::Translate(h.shape);
    made.sql = BarePlaceholders(made.translation.sql, made.order);
    // A shape whose fixed literals keep changing (LIKE patterns typed into
    // a search) keeps only its latest translations.
    constexpr size_t kMaxPerShape = 16;
    if (candidates.size() >= kMaxPerShape) candidates.erase(candidates.begin());
    candidates.push_back(std::move(made));
    found = &candidates.back();
  }
  const sql::Translation& translation = found->translation;

  OdbcHandle<SQL_HANDLE_STMT> stmt;
  if (!stmt.Allocate(h.dbc.get())) {
    ThrowDiagnostics(SQL_HANDLE_DBC, h.dbc.get(), "Could not allocate a statement");
  }
  ParameterBinder binder(found->order.size());
  for (int index : found->order) {
    binder.Bind(stmt.get(), sql::BindValue(translation.params.at(index), h.shape, h.bind_state));
  }
  std::string text = found->sql;
  SQLRETURN rc = SQLExecDirect(stmt.get(), Bytes(text), static_cast<SQLINTEGER>(text.size()));
  if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(rc)) {
    ThrowDiagnostics(SQL_HANDLE_STMT, stmt.get(), "The statement failed");
  }
  if (!translation.identity_table.empty()) {
    // @@IDENTITY answers the value this insert generated.
    ResultTable id = ExecuteUntranslated("select last_insert_rowid()");
    if (id.row_count() == 1 && id.at(0, 0).i4()) h.bind_state.last_identity = *id.at(0, 0).i4();
  }
  if (rc == SQL_NO_DATA || translation.kind != sql::StatementKind::kSelect) return {};
  return ReadResult(stmt.get(), &translation.columns);
}

std::vector<std::string> OdbcConnection::EnsureSchema() {
  std::vector<std::string> created;
  if (translates_dialect_) {
    // The SQLite driver gets the embedded database's own schema, so the
    // translated statements find the same tables, types and indexes.
    ResultTable existing = ExecuteUntranslated("select name from sqlite_master");
    auto exists = [&existing](const std::string& name) {
      for (const Variant& cell : existing.cells) {
        if (cell.text() && *cell.text() == name) return true;
      }
      return false;
    };
    for (const sql::SchemaObject& object : sql::SqliteSchemaObjects()) {
      if (exists(object.name)) continue;
      ExecuteUntranslated(object.ddl);
      if (!object.fill.empty()) ExecuteUntranslated(object.fill);
      if (!object.replaces.empty()) ExecuteUntranslated("DROP INDEX IF EXISTS " + object.replaces);
      created.push_back(object.name);
    }
    return created;
  }
  for (const SqlServerSchemaObject& object : SqlServerSchemaObjects()) {
    if (ExecuteUntranslated(object.probe).row_count() > 0) continue;
    ExecuteUntranslated(object.batch);
    created.push_back(object.name);
  }
  return created;
}

std::shared_ptr<Connection> OpenOdbcConnection(std::string_view odbc_connection_string) {
  return std::make_shared<OdbcConnection>(odbc_connection_string);
}

}  // namespace korimba
