#include "corvane/interchange/sqlite_writer.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>

#include "corvane/host/binary_file.h"
#include "corvane/host/exceptions.h"
#include "corvane/pdb/write_target.h"

namespace corvane::interchange {
namespace {

std::string Quoted(std::string_view name) {
  std::string q;
  q.reserve(name.size() + 2);
  q += '"';
  for (char c : name) {
    if (c == '"') q += '"';
    q += c;
  }
  q += '"';
  return q;
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

// SQLite tells names apart without regard to ASCII letter case.
std::string Folded(std::string_view name) {
  std::string f(name);
  for (char& c : f) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return f;
}

// `name`, or the first of "name (2)", "name (3)"… that `used` does not hold;
// the result is added to `used`.
std::string UniqueName(std::string name, std::set<std::string>& used) {
  std::string unique = name;
  for (int n = 2; used.count(Folded(unique)) != 0; ++n) {
    unique = name + " (" + std::to_string(n) + ")";
  }
  used.insert(Folded(unique));
  return unique;
}

// SQLite takes a zero-length value with no address for NULL.
const char kNothing[] = "";

}  // namespace

struct SqliteWriter::State {
  std::string target;    // as the caller named it, for messages
  std::string replaced;  // the file that is replaced: links followed
  std::string temp;
  sqlite3* db = nullptr;
  sqlite3_stmt* insert = nullptr;
  bool committed = false;
  std::set<std::string> tables;  // folded
  std::string table;
  std::vector<std::string> columns;
  // The row each column was last set in: a column not set in this row is
  // bound NULL before the insert, so that no earlier row's value (nor a
  // pointer to bytes that have since gone) is read.
  std::vector<std::uint64_t> set_in;
  std::uint64_t row = 1;

  [[noreturn]] void Fail(const std::string& what) {
    std::string message = "cannot write '" + target + "': " + what;
    if (db != nullptr && sqlite3_errcode(db) != SQLITE_OK)
      message += ": " + std::string(sqlite3_errmsg(db));
    throw Exception(message);
  }
  void Exec(const std::string& sql) {
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK) Fail(sql);
  }
  // The column's place in the insert, once it is known to be one.
  int Slot(int column) {
    if (insert == nullptr) Fail("a value before its table");
    if (column < 0 || static_cast<std::size_t>(column) >= columns.size())
      Fail("no column " + std::to_string(column) + " in table '" + table + "'");
    set_in[static_cast<std::size_t>(column)] = row;
    return column + 1;
  }
  void Bound(int rc) {
    if (rc != SQLITE_OK) Fail("a value of table '" + table + "'");
  }
  void Close() noexcept {
    if (insert != nullptr) sqlite3_finalize(insert);
    insert = nullptr;
    if (db != nullptr) sqlite3_close(db);
    db = nullptr;
  }
  ~State() {
    Close();
    if (!committed && !temp.empty()) std::remove(temp.c_str());
  }
};

SqliteWriter::SqliteWriter(const std::string& target) : state_(std::make_unique<State>()) {
  State& s = *state_;
  s.target = target;
  pdb::WriteTarget resolved;
  if (const pdb::TargetRefusal refusal = pdb::ResolveWriteTarget(target, resolved);
      refusal.refused()) {
    s.Fail(refusal.reason);
  }
  s.replaced = resolved.path;
  const std::string dir = pdb::DirectoryOf(resolved.path);
  pdb::RemoveStaleTemporaries(dir);
  // Named as the database writer names its temporaries, so that what a
  // killed export leaves is tidied as theirs is.
  std::string pattern = dir + "/" + kTemporaryPrefix + "XXXXXX";
  const int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) s.Fail(std::strerror(errno));
  s.temp = pattern;
  pdb::GiveAccessOf(fd, resolved);
  close(fd);
  // One thread uses the connection: SQLite need not lock it for every call.
  if (sqlite3_open_v2(s.temp.c_str(), &s.db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK)
    s.Fail("cannot open the new database");
  // A new file that replaces the target only when whole needs no journal,
  // and is put on the device once, at the end.
  s.Exec("PRAGMA journal_mode=OFF");
  s.Exec("PRAGMA synchronous=OFF");
  s.Exec("BEGIN");
}

SqliteWriter::~SqliteWriter() = default;

const std::string& SqliteWriter::BeginTable(std::string_view name,
                                            std::span<const SqlColumn> columns) {
  State& s = *state_;
  if (s.db == nullptr) s.Fail("a table after the file was closed");
  const auto check = [&](std::string_view n) {
    if (n.find('\0') != std::string_view::npos) s.Fail("a name holds a zero byte");
  };
  check(name);
  if (s.insert != nullptr) sqlite3_finalize(s.insert);
  s.insert = nullptr;
  std::string wanted(name);
  if (Folded(wanted).starts_with("sqlite_")) wanted = "_" + wanted;
  s.table = UniqueName(std::move(wanted), s.tables);
  s.columns.clear();
  std::set<std::string> used;
  std::string create = "CREATE TABLE " + Quoted(s.table) + " (";
  std::string insert = "INSERT INTO " + Quoted(s.table) + " VALUES (";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    check(columns[i].name);
    s.columns.push_back(UniqueName(columns[i].name, used));
    create += (i ? ", " : "") + Quoted(s.columns.back()) + " ";
    create += TypeName(columns[i].type);
    insert += i ? ", ?" : "?";
  }
  if (columns.empty()) s.Fail("table '" + s.table + "' has no columns");
  s.Exec(create + ")");
  if (sqlite3_prepare_v3(s.db, (insert + ")").c_str(), -1, SQLITE_PREPARE_PERSISTENT, &s.insert,
                         nullptr) != SQLITE_OK)
    s.Fail("cannot prepare the insert");
  s.set_in.assign(s.columns.size(), 0);
  return s.table;
}

const std::vector<std::string>& SqliteWriter::ColumnNames() const noexcept {
  return state_->columns;
}

void SqliteWriter::Null(int column) {
  state_->Bound(sqlite3_bind_null(state_->insert, state_->Slot(column)));
}
void SqliteWriter::Text(int column, std::string_view utf8) {
  const int slot = state_->Slot(column);
  state_->Bound(sqlite3_bind_text64(state_->insert, slot, utf8.data() ? utf8.data() : kNothing,
                                    utf8.size(), SQLITE_STATIC, SQLITE_UTF8));
}
void SqliteWriter::TextCopy(int column, std::string_view utf8) {
  const int slot = state_->Slot(column);
  state_->Bound(sqlite3_bind_text64(state_->insert, slot, utf8.data() ? utf8.data() : kNothing,
                                    utf8.size(), SQLITE_TRANSIENT, SQLITE_UTF8));
}
void SqliteWriter::Integer(int column, std::int64_t value) {
  state_->Bound(sqlite3_bind_int64(state_->insert, state_->Slot(column), value));
}
void SqliteWriter::Real(int column, double value) {
  const int slot = state_->Slot(column);
  state_->Bound(std::isnan(value) ? sqlite3_bind_null(state_->insert, slot)
                                  : sqlite3_bind_double(state_->insert, slot, value));
}
void SqliteWriter::Blob(int column, std::string_view bytes) {
  const int slot = state_->Slot(column);
  state_->Bound(sqlite3_bind_blob64(state_->insert, slot, bytes.data() ? bytes.data() : kNothing,
                                    bytes.size(), SQLITE_STATIC));
}

void SqliteWriter::Row() {
  State& s = *state_;
  if (s.insert == nullptr) s.Fail("a row before its table");
  for (std::size_t i = 0; i < s.set_in.size(); ++i) {
    if (s.set_in[i] != s.row) s.Bound(sqlite3_bind_null(s.insert, static_cast<int>(i) + 1));
  }
  ++s.row;
  const int rc = sqlite3_step(s.insert);
  sqlite3_reset(s.insert);
  if (rc != SQLITE_DONE) s.Fail("a row of table '" + s.table + "'");
}

std::string SqliteWriter::AddTable(std::string_view name, std::span<const SqlColumn> columns,
                                   const RowSource& next_row) {
  std::string created = BeginTable(name, columns);
  while (next_row(*this)) Row();
  return created;
}

void SqliteWriter::Commit() {
  State& s = *state_;
  if (s.db == nullptr) s.Fail("the file was already closed");
  if (s.insert != nullptr) sqlite3_finalize(s.insert);
  s.insert = nullptr;
  s.Exec("COMMIT");
  if (sqlite3_close(s.db) != SQLITE_OK) s.Fail("cannot close the new database");
  s.db = nullptr;
  // On the device before it takes the target's name, so that a power cut
  // leaves the old file or the new one.
  const int fd = open(s.temp.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0 || fsync(fd) != 0) {
    const int e = errno;
    if (fd >= 0) close(fd);
    s.Fail(std::strerror(e));
  }
  close(fd);
  if (std::rename(s.temp.c_str(), s.replaced.c_str()) != 0) s.Fail(std::strerror(errno));
  s.committed = true;
  pdb::SyncDirectory(pdb::DirectoryOf(s.replaced));
}

}  // namespace corvane::interchange
