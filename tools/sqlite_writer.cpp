#include "tools/sqlite_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "corvane/host/exceptions.h"
#include "corvane/interchange/values.h"

#ifndef CORVANE_NO_SQLITE
#include <sqlite3.h>
#endif

namespace corvane::cli {

SqlType SqlTypeOf(const TAnyFieldType& type) noexcept {
  switch (type.Kind) {
    case TValueKind::Integer:
    case TValueKind::Unsigned:
    case TValueKind::Boolean:
      return SqlType::kInteger;
    case TValueKind::Float:
    case TValueKind::Currency:
      return SqlType::kReal;
    case TValueKind::Binary:
      return SqlType::kBlob;
    default:
      return SqlType::kText;
  }
}

void PutSqlValue(SqliteTableWriter& out, int column, const TAnyValueView& value,
                 const TAnyFieldType& type, TextEncoding enc) {
  switch (type.Kind) {
    case TValueKind::Integer:
    case TValueKind::Unsigned:
      out.Integer(column, value.Integer);
      break;
    case TValueKind::Boolean:
      out.Integer(column, value.Flag ? 1 : 0);
      break;
    case TValueKind::Float:
      out.Real(column, value.Float);
      break;
    case TValueKind::Currency:
      out.Real(column, value.Amount.ToDouble());
      break;
    case TValueKind::Binary:
      out.Blob(column, value.Text);
      break;
    case TValueKind::Text:
      out.Text(column, type.Wide ? std::string(value.Text) : ToUtf8(value.Text, enc));
      break;
    default: {
      const std::string when = FormatWhen(value.When, type.Kind);
      if (when.empty()) {
        out.Null(column);
      } else {
        out.Text(column, when);
      }
    }
  }
}

#ifdef CORVANE_NO_SQLITE

bool SqliteAvailable() noexcept {
  return false;
}
struct SqliteTableWriter::State {};
SqliteTableWriter::SqliteTableWriter(const std::string&, const std::string&,
                                     const std::vector<SqlColumn>&) {
  throw Exception("this corvane was built without SQLite: --format sqlite is not available");
}
SqliteTableWriter::~SqliteTableWriter() = default;
void SqliteTableWriter::Null(int) {}
void SqliteTableWriter::Text(int, std::string_view) {}
void SqliteTableWriter::Integer(int, std::int64_t) {}
void SqliteTableWriter::Real(int, double) {}
void SqliteTableWriter::Blob(int, std::string_view) {}
void SqliteTableWriter::Row() {}
void SqliteTableWriter::Commit() {}

#else

namespace {

std::string Quoted(std::string_view name) {
  std::string q = "\"";
  for (char c : name) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + '"';
}

std::string_view TypeName(SqlType t) {
  switch (t) {
    case SqlType::kInteger:
      return "INTEGER";
    case SqlType::kReal:
      return "REAL";
    case SqlType::kBlob:
      return "BLOB";
    default:
      return "TEXT";
  }
}

}  // namespace

bool SqliteAvailable() noexcept {
  return true;
}

struct SqliteTableWriter::State {
  std::string target, temp;
  sqlite3* db = nullptr;
  sqlite3_stmt* insert = nullptr;
  bool done = false;

  [[noreturn]] void Fail(const std::string& what) {
    std::string message = "cannot write '" + target + "': " + what;
    if (db != nullptr) message += ": " + std::string(sqlite3_errmsg(db));
    throw Exception(message);
  }
  void Exec(const std::string& sql) {
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
  }
  void Bound(int rc) {
    if (rc != SQLITE_OK) Fail("a value");
  }
  ~State() {
    if (insert != nullptr) sqlite3_finalize(insert);
    if (db != nullptr) sqlite3_close(db);
    if (!done && !temp.empty()) std::remove(temp.c_str());
  }
};

SqliteTableWriter::SqliteTableWriter(const std::string& path, const std::string& table,
                                     const std::vector<SqlColumn>& columns)
    : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.target = path;
  const std::size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
  std::string pattern = dir + "/.cvsqlite-XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) s.Fail(std::strerror(errno));
  close(fd);
  s.temp = pattern;
  if (sqlite3_open_v2(s.temp.c_str(), &s.db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
    s.Fail("cannot open the new database");
  // A new file that replaces the target only when whole needs no journal.
  s.Exec("PRAGMA journal_mode=OFF");
  s.Exec("PRAGMA synchronous=OFF");
  s.Exec("BEGIN");
  std::string create = "CREATE TABLE " + Quoted(table) + " (";
  std::string insert = "INSERT INTO " + Quoted(table) + " VALUES (";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    create +=
        (i ? ", " : "") + Quoted(columns[i].name) + " " + std::string(TypeName(columns[i].type));
    insert += i ? ", ?" : "?";
  }
  s.Exec(create + ")");
  if (sqlite3_prepare_v2(s.db, (insert + ")").c_str(), -1, &s.insert, nullptr) != SQLITE_OK)
    s.Fail("cannot prepare the insert");
}

SqliteTableWriter::~SqliteTableWriter() = default;

void SqliteTableWriter::Null(int column) {
  state_->Bound(sqlite3_bind_null(state_->insert, column + 1));
}
void SqliteTableWriter::Text(int column, std::string_view utf8) {
  state_->Bound(sqlite3_bind_text64(state_->insert, column + 1, utf8.data(), utf8.size(),
                                    SQLITE_TRANSIENT, SQLITE_UTF8));
}
void SqliteTableWriter::Integer(int column, std::int64_t v) {
  state_->Bound(sqlite3_bind_int64(state_->insert, column + 1, v));
}
void SqliteTableWriter::Real(int column, double v) {
  state_->Bound(sqlite3_bind_double(state_->insert, column + 1, v));
}
void SqliteTableWriter::Blob(int column, std::string_view bytes) {
  state_->Bound(sqlite3_bind_blob64(state_->insert, column + 1, bytes.data(), bytes.size(),
                                    SQLITE_TRANSIENT));
}
void SqliteTableWriter::Row() {
  if (sqlite3_step(state_->insert) != SQLITE_DONE) state_->Fail("a row");
  sqlite3_reset(state_->insert);
}

void SqliteTableWriter::Commit() {
  State& s = *state_;
  s.Exec("COMMIT");
  sqlite3_finalize(s.insert);
  s.insert = nullptr;
  if (sqlite3_close(s.db) != SQLITE_OK) s.Fail("cannot close the new database");
  s.db = nullptr;
  // On disk before it takes the target's name.
  const int fd = open(s.temp.c_str(), O_RDONLY);
  if (fd < 0 || fsync(fd) != 0) {
    const int e = errno;
    if (fd >= 0) close(fd);
    s.Fail(std::strerror(e));
  }
  close(fd);
  if (std::rename(s.temp.c_str(), s.target.c_str()) != 0) s.Fail(std::strerror(errno));
  s.done = true;
}

#endif

}  // namespace corvane::cli
