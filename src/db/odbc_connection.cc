#include "db/odbc_connection.h"

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

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

// Reads a long value in pieces; `unit` is the size of one character (the
// driver reserves one for the terminator of each piece) or 1 for bytes.
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

// Reads the first result of an executed statement that has columns; a
// statement with none (a command) gives an empty table.
ResultTable ReadResult(SQLHSTMT stmt) {
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
    table.columns.emplace_back(reinterpret_cast<const char*>(name.data()),
                               std::min<size_t>(name_length, name.size() - 1));
    kinds.push_back(KindOfSqlType(type));
  }

  for (;;) {
    SQLRETURN rc = SQLFetch(stmt);
    if (rc == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(rc)) ThrowDiagnostics(SQL_HANDLE_STMT, stmt, "Could not read a row");
    for (SQLUSMALLINT c = 1; c <= static_cast<SQLUSMALLINT>(columns); ++c) {
      table.cells.push_back(ReadCell(stmt, c, kinds[c - 1]));
    }
  }
  return table;
}

}  // namespace

struct OdbcConnection::Handles {
  OdbcHandle<SQL_HANDLE_ENV> env;
  OdbcHandle<SQL_HANDLE_DBC> dbc;
  bool connected = false;

  // Disconnects before the handles are freed (members die after this body).
  ~Handles() {
    if (connected) SQLDisconnect(dbc.get());
  }
};

OdbcConnection::OdbcConnection(std::string_view odbc_connection_string)
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
  translates_dialect_ = dbms_name_ == "SQLite";
}

OdbcConnection::~OdbcConnection() = default;

ResultTable OdbcConnection::Execute(std::string_view statement) {
  OdbcHandle<SQL_HANDLE_STMT> stmt;
  if (!stmt.Allocate(handles_->dbc.get())) {
    ThrowDiagnostics(SQL_HANDLE_DBC, handles_->dbc.get(), "Could not allocate a statement");
  }
  std::string text(statement);
  SQLRETURN rc = SQLExecDirect(stmt.get(), Bytes(text), static_cast<SQLINTEGER>(text.size()));
  // SQL_NO_DATA: an update or delete that matched no row, which is no error.
  if (rc == SQL_NO_DATA) return {};
  if (!SQL_SUCCEEDED(rc)) ThrowDiagnostics(SQL_HANDLE_STMT, stmt.get(), "The statement failed");
  return ReadResult(stmt.get());
}

std::shared_ptr<Connection> OpenOdbcConnection(std::string_view odbc_connection_string) {
  return std::make_shared<OdbcConnection>(odbc_connection_string);
}

}  // namespace korimba
