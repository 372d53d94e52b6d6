// SqliteWriter: several tables in one file, names SQLite would refuse or
// confuse, cells of every kind read back through SQLite, and a target that is
// replaced whole or not at all.
#include "corvane/interchange/sqlite_writer.h"

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "corvane/host/exceptions.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using interchange::SqlColumn;
using interchange::SqliteWriter;
using interchange::SqlType;

// Each row of a query, each cell as "type:value" (blobs in hexadecimal).
std::vector<std::vector<std::string>> Query(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  EXPECT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr), SQLITE_OK)
      << sql << ": " << sqlite3_errmsg(db);
  std::vector<std::vector<std::string>> rows;
  while (st != nullptr && sqlite3_step(st) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int i = 0; i < sqlite3_column_count(st); ++i) {
      switch (sqlite3_column_type(st, i)) {
        case SQLITE_NULL:
          row.push_back("null");
          break;
        case SQLITE_INTEGER:
          row.push_back("int:" + std::to_string(sqlite3_column_int64(st, i)));
          break;
        case SQLITE_FLOAT: {
          char buf[40];
          std::snprintf(buf, sizeof buf, "%.17g", sqlite3_column_double(st, i));
          row.push_back(std::string("real:") + buf);
          break;
        }
        case SQLITE_TEXT:
          row.push_back("text:" + std::string(reinterpret_cast<const char*>(
                                                  sqlite3_column_text(st, i)),
                                              static_cast<std::size_t>(sqlite3_column_bytes(st, i))));
          break;
        default: {
          const auto* b = static_cast<const unsigned char*>(sqlite3_column_blob(st, i));
          std::string hex = "blob:";
          for (int k = 0; k < sqlite3_column_bytes(st, i); ++k) {
            static const char kDigits[] = "0123456789abcdef";
            hex += kDigits[b[k] >> 4];
            hex += kDigits[b[k] & 15];
          }
          row.push_back(hex);
        }
      }
    }
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(st);
  sqlite3_close(db);
  return rows;
}

std::vector<std::string> FilesIn(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

using Rows = std::vector<std::vector<std::string>>;

TEST(SqliteWriter, PutsSeveralTablesIntoOneFileWithSafeUniqueNames) {
  test::TempDir tmp;
  const std::string file = tmp.File("rescue.sqlite");
  SqliteWriter out(file);
  const std::vector<SqlColumn> columns = {{"Name", SqlType::kText}, {"name", SqlType::kInteger}};
  EXPECT_EQ(out.BeginTable("Stock", columns), "Stock");
  EXPECT_EQ(out.ColumnNames(), (std::vector<std::string>{"Name", "name (2)"}));
  out.Text(0, "first");
  out.Integer(1, 1);
  out.Row();
  // Two databases of the same name, told apart as SQLite tells names apart.
  int left = 2;
  EXPECT_EQ(out.AddTable("STOCK", columns,
                         [&](SqliteWriter& w) {
                           if (left == 0) return false;
                           w.Integer(1, left--);
                           return true;
                         }),
            "STOCK (2)");
  EXPECT_EQ(out.BeginTable("sqlite_master", columns), "_sqlite_master");
  out.Row();
  const std::string hostile = "x\" (a); DROP TABLE \"Stock\"; --";
  EXPECT_EQ(out.BeginTable(hostile, std::vector<SqlColumn>{{"a\"b", SqlType::kReal}}), hostile);
  out.Real(0, 2.5);
  out.Row();
  out.Commit();

  EXPECT_EQ(Query(file, "SELECT name FROM sqlite_master ORDER BY rowid"),
            (Rows{{"text:Stock"}, {"text:STOCK (2)"}, {"text:_sqlite_master"}, {"text:" + hostile}}));
  EXPECT_EQ(Query(file, "SELECT name, type FROM pragma_table_info('Stock')"),
            (Rows{{"text:Name", "text:TEXT"}, {"text:name (2)", "text:INTEGER"}}));
  EXPECT_EQ(Query(file, "SELECT * FROM Stock"), (Rows{{"text:first", "int:1"}}));
  EXPECT_EQ(Query(file, "SELECT * FROM \"STOCK (2)\""),
            (Rows{{"null", "int:2"}, {"null", "int:1"}}));
  EXPECT_EQ(Query(file, "SELECT * FROM _sqlite_master"), (Rows{{"null", "null"}}));
  EXPECT_EQ(Query(file, "SELECT \"a\"\"b\" FROM \"x\"\" (a); DROP TABLE \"\"Stock\"\"; --\""),
            (Rows{{"real:2.5"}}));

  // And SQLite's own command reads it.
  if (std::system("sqlite3 -version >/dev/null 2>&1") == 0) {
    const std::string cmd = "sqlite3 '" + file + "' 'PRAGMA integrity_check; SELECT count(*) FROM "
                            "\"STOCK (2)\"' >'" + tmp.File("out") + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    std::ifstream in(tmp.File("out"));
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "ok\n2\n");
  }
}

TEST(SqliteWriter, StoresEveryKindOfCellAsGiven) {
  test::TempDir tmp;
  const std::string file = tmp.File("cells.sqlite");
  SqliteWriter out(file);
  out.BeginTable("t", std::vector<SqlColumn>{{"t", SqlType::kText},
                                             {"i", SqlType::kInteger},
                                             {"r", SqlType::kReal},
                                             {"b", SqlType::kBlob}});
  // Empty values are empty, not NULL, even without an address.
  out.Text(0, std::string_view());
  out.Integer(1, std::numeric_limits<std::int64_t>::min());
  out.Real(2, -0.1);
  out.Blob(3, std::string_view());
  out.Row();
  std::string reused = std::string("a\0b", 3);
  out.Text(0, reused);
  out.Integer(1, std::numeric_limits<std::int64_t>::max());
  out.Real(2, std::nan(""));
  out.Blob(3, std::string("\x00\xff", 2));
  out.Row();
  // Bytes bound without a copy are read by the insert: changing them after
  // the row changes nothing stored, and a cell not set in a row is NULL, not
  // the last row's value.
  reused = "changed";
  out.TextCopy(0, std::string("copied"));
  out.Row();
  out.Commit();
  EXPECT_EQ(Query(file, "SELECT * FROM t"),
            (Rows{{"text:", "int:-9223372036854775808", "real:-0.10000000000000001", "blob:"},
                  {"text:" + std::string("a\0b", 3), "int:9223372036854775807", "null", "blob:00ff"},
                  {"text:copied", "null", "null", "null"}}));
}

TEST(SqliteWriter, RefusesMisuseWithoutLeavingAFile) {
  test::TempDir tmp;
  const std::string file = tmp.File("out.sqlite");
  {
    SqliteWriter out(file);
    EXPECT_THROW(out.Integer(0, 1), Exception);  // no table yet
    EXPECT_THROW(out.Row(), Exception);
    out.BeginTable("t", std::vector<SqlColumn>{{"a", SqlType::kText}});
    EXPECT_THROW(out.Integer(1, 1), Exception);
    EXPECT_THROW(out.Integer(-1, 1), Exception);
    EXPECT_THROW(out.BeginTable("none", std::vector<SqlColumn>{}), Exception);
    EXPECT_THROW(out.BeginTable(std::string("a\0b", 3), std::vector<SqlColumn>{{"a"}}), Exception);
    // Never committed: nothing is left, not even the temporary file.
  }
  EXPECT_TRUE(FilesIn(tmp.path()).empty());
  SqliteWriter out(file);
  out.BeginTable("t", std::vector<SqlColumn>{{"a", SqlType::kText}});
  out.Commit();
  EXPECT_THROW(out.Commit(), Exception);
  EXPECT_THROW(out.BeginTable("u", std::vector<SqlColumn>{{"a"}}), Exception);
  EXPECT_EQ(FilesIn(tmp.path()), std::vector<std::string>{"out.sqlite"});
}

TEST(SqliteWriter, ReplacesTheTargetAsTheDatabaseWriterDoes) {
  test::TempDir tmp;
  const std::string file = tmp.File("out.sqlite");
  const auto write = [](const std::string& target, bool commit) {
    SqliteWriter out(target);
    out.BeginTable("t", std::vector<SqlColumn>{{"a", SqlType::kInteger}});
    out.Integer(0, 7);
    out.Row();
    if (commit) out.Commit();
  };
  {
    std::ofstream(file) << "an older file";
  }
  ::chmod(file.c_str(), 0640);
  write(file, false);
  std::ifstream in(file);
  EXPECT_EQ(std::string((std::istreambuf_iterator<char>(in)), {}), "an older file");
  write(file, true);
  EXPECT_EQ(Query(file, "SELECT a FROM t"), (Rows{{"int:7"}}));
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);  // the old file's permissions, not mkstemp's

  // A new file gets what the umask leaves.
  const mode_t old_mask = ::umask(022);
  write(tmp.File("new.sqlite"), true);
  ::umask(old_mask);
  ASSERT_EQ(::stat(tmp.File("new.sqlite").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0644u);

  // Through a symbolic link the file it names is replaced; the link stays.
  fs::create_directory(tmp.File("real"));
  fs::create_symlink("real/linked.sqlite", tmp.File("link.sqlite"));
  write(tmp.File("link.sqlite"), true);
  EXPECT_TRUE(fs::is_symlink(tmp.File("link.sqlite")));
  EXPECT_EQ(Query(tmp.File("real/linked.sqlite"), "SELECT a FROM t"), (Rows{{"int:7"}}));

  // A folder is no file to replace.
  try {
    write(tmp.File("real"), true);
    ADD_FAILURE() << "a folder was replaced";
  } catch (const Exception& e) {
    EXPECT_NE(std::string(e.what()).find(tmp.File("real")), std::string::npos) << e.what();
  }
  EXPECT_EQ(FilesIn(tmp.File("real")), std::vector<std::string>{"linked.sqlite"});
}

}  // namespace
}  // namespace corvane
