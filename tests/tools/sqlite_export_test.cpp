// export --format sqlite: the file opens in SQLite's own sqlite3 command, holds
// one row per record, and every cell equals the value the JSON export shows;
// the target is replaced whole or not at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "corvane/interchange/json_reader.h"
#include "engine_samples.h"
#include "tool_runner.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using cli::JsonValue;
using test::RunCorvane;
using test::ToolResult;

const std::string kCorpus = std::string(CORVANE_SHARED_DIR) + "/corpus";

bool HaveSqlite3() {
  static const bool have = std::system("sqlite3 -version >/dev/null 2>&1") == 0;
  return have;
}

#define SKIP_WITHOUT_SQLITE3() \
  if (!HaveSqlite3()) GTEST_SKIP() << "no sqlite3 command (Debian: apt-get install sqlite3)"

std::string Sql(const std::string& db, const std::string& query) {
  test::TempDir tmp;
  const std::string cmd = "sqlite3 -json " + test::ShellQuote(db) + " " + test::ShellQuote(query) +
                          " >" + test::ShellQuote(tmp.File("out")) + " 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0) << test::ReadText(tmp.File("out"));
  return test::ReadText(tmp.File("out"));
}

std::string Quoted(const std::string& name) {
  std::string q = "\"";
  for (char c : name) q += c == '"' ? std::string("\"\"") : std::string(1, c);
  return q + '"';
}

// Whether a cell of the JSON export and the same cell read back from SQLite agree.
bool Same(const JsonValue& json, const JsonValue& sql) {
  using K = JsonValue::Kind;
  if (json.kind == K::kNull || sql.kind == K::kNull) return json.kind == sql.kind;
  if (json.kind == K::kBool)
    return sql.kind == K::kNumber && sql.text == (json.boolean ? "1" : "0");
  if (json.kind == K::kNumber) {
    if (sql.kind != K::kNumber) return false;
    const double a = std::strtod(json.text.c_str(), nullptr);
    const double b = std::strtod(sql.text.c_str(), nullptr);
    // Single-precision fields print their float's shortest form.
    return a == b || static_cast<float>(a) == static_cast<float>(b);
  }
  if (json.kind == K::kObject) return json.Find("text") && Same(*json.Find("text"), sql);
  // A number column reads a text that is a number as that number ("007" as 7).
  if (sql.kind == K::kNumber) {
    char* end = nullptr;
    const double a = std::strtod(json.text.c_str(), &end);
    return !json.text.empty() && *end == '\0' && a == std::strtod(sql.text.c_str(), nullptr);
  }
  return sql.kind == K::kString && json.text == sql.text;
}

// Exports `args` as JSON and into SQLite, and compares every record's every field.
// The table is named after the database (`table`, when given).
void ExpectSameAsJson(std::vector<std::string> args, std::string table) {
  SCOPED_TRACE(args.back());
  test::TempDir tmp;
  ToolResult json = RunCorvane(args);
  ASSERT_EQ(json.status, 0) << json.err;
  const JsonValue root = cli::ParseJson(json.out);
  const JsonValue& records = *root.Find("records");
  std::vector<std::string> sql_args = args;
  sql_args.insert(sql_args.end() - 1, {"--format", "sqlite", "-o", tmp.File("out.sqlite")});
  ToolResult r = RunCorvane(sql_args);
  ASSERT_EQ(r.status, 0) << r.err;
  const JsonValue names =
      cli::ParseJson(Sql(tmp.File("out.sqlite"), "SELECT name FROM sqlite_master"));
  ASSERT_EQ(names.items.size(), 1u);
  if (table.empty()) table = names.items[0].Find("name")->text;
  EXPECT_EQ(names.items[0].Find("name")->text, table);
  EXPECT_EQ(Sql(tmp.File("out.sqlite"), "SELECT count(*) AS n FROM " + Quoted(table)),
            "[{\"n\":" + std::to_string(records.items.size()) + "}]\n");
  // Blobs as the hexadecimal the JSON shows.
  std::string select;
  const JsonValue info = cli::ParseJson(Sql(
      tmp.File("out.sqlite"), "SELECT name, type FROM pragma_table_info(" + Quoted(table) + ")"));
  for (const JsonValue& c : info.items) {
    const std::string name = Quoted(c.Find("name")->text);
    select += (select.empty() ? "" : ", ") +
              (c.Find("type")->text == "BLOB" ? "lower(hex(" + name + ")) AS " + name : name);
  }
  // SQLite tells column names apart without regard to ASCII case, the JSON
  // keys do: a field's column is found by its position.
  std::map<std::string, std::string> key_of;
  if (const JsonValue* def = root.Find("table")) {
    const JsonValue& fields = *def->Find("fields");
    for (std::size_t i = 0; i < fields.items.size() && i < info.items.size(); ++i)
      key_of[info.items[i].Find("name")->text] = fields.items[i].Find("name")->text;
  }
  const std::string rows_text =
      Sql(tmp.File("out.sqlite"), "SELECT " + select + " FROM " + Quoted(table));
  const JsonValue rows = records.items.empty() ? JsonValue() : cli::ParseJson(rows_text);
  ASSERT_EQ(rows.items.size(), records.items.size());
  std::size_t cells = 0;
  for (std::size_t i = 0; i < rows.items.size(); ++i) {
    for (const auto& [column, value] : rows.items[i].members) {
      const std::string& key = key_of.count(column) ? key_of[column] : column;
      const JsonValue* want = records.items[i].Find(key);
      const JsonValue null_value;
      EXPECT_TRUE(Same(want ? *want : null_value, value))
          << "record " << i << ", field " << key << ": JSON " << (want ? want->text : "absent")
          << ", SQLite " << value.text;
      ++cells;
    }
  }
  EXPECT_GT(cells, 0u);
}

TEST(SqliteExport, TablesMatchTheirJsonCellByCell) {
  SKIP_WITHOUT_SQLITE3();
  if (fs::is_directory(kCorpus)) {
    ExpectSameAsJson({"export", kCorpus + "/jfile-100movies.pdb"}, "100 Best Movies");
    ExpectSameAsJson({"export", kCorpus + "/jfile-locus-poll.pdb"}, "Locus Poll Results");
  }
  test::TempDir tmp;
  test::WriteText(tmp.File("t.csv"),
                  "Title,Done,When,Count,Price,Note\n"
                  "\"A \"\"quoted\"\" one\",true,2006-01-02,-42,0.1,é\n"
                  ",false,,,,\n"
                  "x,maybe,not a date,007,3.50,\n");
  for (const char* app : {"jfile", "mobiledb"}) {
    ToolResult r = RunCorvane({"import", "--app", app, "--field", "Done:boolean", "--input",
                               tmp.File("t.csv"), "-o", tmp.File(std::string(app) + ".pdb")});
    ASSERT_EQ(r.status, 0) << r.err;
    ExpectSameAsJson({"export", tmp.File(std::string(app) + ".pdb")}, app);
  }
  ToolResult r = RunCorvane({"export", "--format", "sqlite", "-o", tmp.File("a.sqlite"),
                             "--with-attributes", tmp.File("jfile.pdb")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Sql(tmp.File("a.sqlite"),
                "SELECT typeof(Title) AS t, typeof(Done) AS d, typeof(\"When\") AS w, "
                "typeof(Count) AS c, typeof(Price) AS p, category, flags FROM jfile LIMIT 1"),
            R"([{"t":"text","d":"integer","w":"text","c":"real","p":"real","category":0,)"
            R"("flags":""}])"
            "\n");
}

// Every JFile generation with every field type (64 is a code no reader
// knows), texts that are not in their type's form, texts beyond ASCII, and
// two fields whose names differ only in case.
TEST(SqliteExport, BuiltTablesOfEveryGenerationMatchTheirJson) {
  SKIP_WITHOUT_SQLITE3();
  test::TempDir tmp;
  for (int v : {3, 4, 5}) {
    test::WriteText(tmp.File("in.json"), R"({"app": "jfile", "database": {"name": "Every"},
      "table": {"version": )" + std::to_string(v) + R"(, "fields": [
        {"name": "Name", "type": "text"}, {"name": "name", "type": "text"},
        {"name": "Done", "type": "boolean"}, {"name": "When", "type": "date"},
        {"name": "Count", "type": "integer"}, {"name": "Price", "type": "float"},
        {"name": "At", "type": "time"}, {"name": "Odd", "type": 64}]},
      "records": [
        {"Name": "Água €", "name": "plain", "Done": true, "When": "2006-01-02", "Count": -42,
         "Price": 0.1, "At": "07:30", "Odd": "x"},
        {"Name": "", "name": null, "Done": null, "When": null, "Count": null, "Price": null,
         "At": null, "Odd": null},
        {"Name": "kept", "name": "ü", "Done": "yes", "When": {"text": "2006-01-02"},
         "Count": "007", "Price": "3.50", "At": "23:59:58", "Odd": ""}]})");
    const std::string pdb = tmp.File("every" + std::to_string(v) + ".pdb");
    ToolResult r = RunCorvane({"import", "--input", tmp.File("in.json"), "-o", pdb});
    ASSERT_EQ(r.status, 0) << r.err;
    ExpectSameAsJson({"export", pdb}, "Every");
  }
}

TEST(SqliteExport, EngineExportsMatchTheirJsonCellByCell) {
  SKIP_WITHOUT_SQLITE3();
  for (const test::Sample& s : test::Samples()) {
    std::vector<std::string> args = {"export", "--engine", s.engine};
    for (const std::string& f : s.fields) args.insert(args.end(), {"--field", f});
    args.push_back(std::string(CORVANE_SOURCE_DIR) + "/samples/" + s.engine + ".pdb");
    ExpectSameAsJson(args, "");
  }
}

TEST(SqliteExport, ReplacesTheTargetWholeOrNotAtAll) {
  SKIP_WITHOUT_SQLITE3();
  test::TempDir tmp;
  const std::string sample = std::string(CORVANE_SOURCE_DIR) + "/samples/sqldriver.pdb";
  const std::vector<std::string> fields = {
      "--field", "Name:PDChar:20", "--field", "Age:PDShort",  "--field", "Points:PDInt",
      "--field", "Balance:PDLong", "--field", "Rate:PDFloat", "--field", "Total:PDDouble"};
  std::vector<std::string> args = {"export", "--engine", "sqldriver"};
  args.insert(args.end(), fields.begin(), fields.end());
  args.insert(args.end(), {"--format", "sqlite", "-o", tmp.File("out.sqlite"), sample});
  test::WriteText(tmp.File("out.sqlite"), "an older file");
  ToolResult r = RunCorvane(args);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Sql(tmp.File("out.sqlite"), "SELECT count(*) AS n FROM Customers"), "[{\"n\":3}]\n");

  // A failing export (the fields do not describe the records) leaves it as it was.
  test::WriteText(tmp.File("out.sqlite"), "an older file");
  r = RunCorvane({"export", "--engine", "sqldriver", "--field", "Name:PDChar:20", "--format",
                  "sqlite", "-o", tmp.File("out.sqlite"), sample});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(test::ReadText(tmp.File("out.sqlite")), "an older file");
  std::size_t files = 0;
  for (const auto& e : fs::directory_iterator(tmp.path())) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 1u);
  r = RunCorvane({"export", "--engine", "sqldriver", "--field", "Name:PDChar:20", "--format",
                  "sqlite", sample});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("needs -o"), std::string::npos);
}

TEST(SqliteExport, ADamagedRowFoundOnTheWayLeavesNothingWritten) {
  SKIP_WITHOUT_SQLITE3();
  test::TempDir tmp;
  // Rows enough that the CSV output would be flushed before the last.
  std::string csv = "Title,Count\n";
  for (int i = 0; i < 5000; ++i) csv += "a row of some forty bytes of text," + std::to_string(i) + "\n";
  test::WriteText(tmp.File("t.csv"), csv);
  ToolResult r = RunCorvane(
      {"import", "--app", "jfile", "--input", tmp.File("t.csv"), "-o", tmp.File("t.pdb")});
  ASSERT_EQ(r.status, 0) << r.err;
  // The last row loses its last zero: its lengths no longer describe it and
  // its last text has no end.
  std::vector<std::uint8_t> bytes = test::ReadAll(tmp.File("t.pdb"));
  bytes.pop_back();
  test::WriteAll(tmp.File("t.pdb"), bytes);

  test::WriteText(tmp.File("out.sqlite"), "an older file");
  r = RunCorvane({"export", "--format", "sqlite", "-o", tmp.File("out.sqlite"), tmp.File("t.pdb")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("record 4999"), std::string::npos) << r.err;
  EXPECT_EQ(test::ReadText(tmp.File("out.sqlite")), "an older file");
  r = RunCorvane({"export", "--format", "csv", tmp.File("t.pdb")});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(tmp.path())) files.push_back(e.path().filename());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"out.sqlite", "t.csv", "t.pdb"}));
}

}  // namespace
}  // namespace corvane
