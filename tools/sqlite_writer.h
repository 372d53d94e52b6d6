// One table written into a new SQLite database file, for export --format
// sqlite. The rows go in within one transaction into a temporary file beside
// the target, which replaces the target in one step only when everything was
// written; a failure leaves no file behind and an existing target as it was.
// Part of the command, not of the library, which stays free of SQLite.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/engines/any_engine.h"
#include "corvane/interchange/text_encoding.h"

namespace corvane::cli {

// The SQL types the columns are declared with.
enum class SqlType { kText, kInteger, kReal, kBlob };

struct SqlColumn {
  std::string name;  // UTF-8
  SqlType type = SqlType::kText;
};

// Whether the command was built with SQLite.
bool SqliteAvailable() noexcept;

class SqliteTableWriter {
 public:
  // Creates the temporary file and the table `table` with the columns.
  // Raises Exception naming `path` when the file or the table cannot be made.
  SqliteTableWriter(const std::string& path, const std::string& table,
                    const std::vector<SqlColumn>& columns);
  ~SqliteTableWriter();  // discards the file unless Commit was reached
  SqliteTableWriter(const SqliteTableWriter&) = delete;
  SqliteTableWriter& operator=(const SqliteTableWriter&) = delete;

  // The values of the next row, column by column; then Row inserts it.
  void Null(int column);
  void Text(int column, std::string_view utf8);
  void Integer(int column, std::int64_t v);
  void Real(int column, double v);
  void Blob(int column, std::string_view bytes);
  void Row();
  // Ends the transaction and puts the file in place of the target.
  void Commit();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// An engine field's column type and value: numbers and booleans as numbers,
// amounts as REAL, texts as UTF-8, binaries as BLOB, dates and times as the
// ISO text export prints (NULL for no date).
SqlType SqlTypeOf(const TAnyFieldType& type) noexcept;
void PutSqlValue(SqliteTableWriter& out, int column, const TAnyValueView& value,
                 const TAnyFieldType& type, TextEncoding enc);

}  // namespace corvane::cli
