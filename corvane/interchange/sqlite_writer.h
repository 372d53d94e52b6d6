// SQLite database files written whole, through SQLite itself. A target of its
// own (corvane_sqlite) beside the library, so that the library needs no SQLite.
//
// A SqliteWriter builds a new database file beside its target: any number of
// tables, all in one transaction, in a temporary file of the target's folder.
// Commit puts it on the device and gives it the target's name in one step, as
// the database writer does for PDB files. Until Commit returns, and after any
// failure, the target is as it was and no file of the writer's is left.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::interchange {

// The SQL types columns are declared with.
enum class SqlType { kText, kInteger, kReal, kBlob };

struct SqlColumn {
  std::string name;  // UTF-8
  SqlType type = SqlType::kText;
};

class SqliteWriter {
 public:
  // Creates the temporary file beside `target` (symbolic links followed to
  // the file they name). Raises corvane::Exception naming `target` when the
  // target cannot be replaced (a folder, a device, no permission) or the file
  // cannot be made.
  explicit SqliteWriter(const std::string& target);
  ~SqliteWriter();  // discards the temporary file unless Commit succeeded
  SqliteWriter(const SqliteWriter&) = delete;
  SqliteWriter& operator=(const SqliteWriter&) = delete;

  // Starts a table; the rows set from here on go into it. Returns the name
  // the table was created with: `name`, or "name (2)", "name (3)"… when the
  // file already holds a table of that name (SQLite does not tell ASCII
  // letter case apart in names), "_name" for a name SQLite keeps for itself
  // (sqlite_…). The columns' names are made unique the same way within the
  // table (ColumnNames gives them). Any name is quoted: quotes, spaces and SQL
  // words in names are safe. Raises for a table without columns (SQLite has
  // none) or a name holding a zero byte.
  const std::string& BeginTable(std::string_view name, std::span<const SqlColumn> columns);
  const std::vector<std::string>& ColumnNames() const noexcept;

  // The cells of the next row (columns counted from 0); a cell not set in a
  // row is NULL. Text and Blob do not copy: the bytes must stay where they are
  // until Row returns. TextCopy copies at once. Raises for a column outside
  // the table or before BeginTable.
  void Null(int column);
  void Text(int column, std::string_view utf8);
  void TextCopy(int column, std::string_view utf8);
  void Integer(int column, std::int64_t value);
  void Real(int column, double value);  // NaN is stored as NULL
  void Blob(int column, std::string_view bytes);
  // Inserts the row.
  void Row();

  // A whole table: BeginTable, then `next_row` is called until it returns
  // false, each call setting the cells of one row (a call that returns true
  // has set a row, which is then inserted). Returns the table's name.
  using RowSource = std::function<bool(SqliteWriter&)>;
  std::string AddTable(std::string_view name, std::span<const SqlColumn> columns,
                       const RowSource& next_row);

  // Ends the transaction and puts the file in the target's place. Raises
  // corvane::Exception (the target untouched) when that fails; nothing more
  // may be written after it.
  void Commit();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace corvane::interchange
