// export and import of flat-file tables (JFile, MobileDB): the corpus tables
// with every row and their field names, export then import giving the same
// file byte for byte, tables of every generation and field type built here,
// CSV with inferred types, and damaged tables refused with a clear message.
#include <gtest/gtest.h>

#include <filesystem>

#include "corvane/interchange/json_reader.h"
#include "tool_runner.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using test::RunCorvane;
using test::ToolResult;

const std::string kCorpus = std::string(CORVANE_SHARED_DIR) + "/corpus";

#define SKIP_WITHOUT_CORPUS() \
  if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "no shared corpus at " << kCorpus

std::string Ok(const std::vector<std::string>& args) {
  const ToolResult r = RunCorvane(args);
  EXPECT_EQ(r.status, 0) << r.err;
  return r.out;
}

// Export as JSON, import that, and compare the files byte for byte.
void ExpectRoundTrip(const std::string& pdb, test::TempDir& tmp) {
  SCOPED_TRACE(pdb);
  test::WriteText(tmp.File("t.json"), Ok({"export", pdb}));
  Ok({"import", "--input", tmp.File("t.json"), "-o", tmp.File("back.pdb")});
  EXPECT_EQ(test::ReadAll(tmp.File("back.pdb")), test::ReadAll(pdb));
}

TEST(TablesCli, CorpusTablesExportEveryRowAndComeBackByteForByte) {
  SKIP_WITHOUT_CORPUS();
  test::TempDir tmp;
  struct Case {
    std::string file;
    std::size_t rows;
    std::vector<std::string> names;
  };
  for (const Case& c : std::vector<Case>{
           {"jfile-100movies.pdb", 100, {"#", "Name", "Year"}},
           {"jfile-locus-poll.pdb",
            1414,
            {"Year", "#", "Author", "Title", "Publisher", "Category", "Other Title"}}}) {
    const std::string pdb = kCorpus + "/" + c.file;
    const cli::JsonValue root = cli::ParseJson(Ok({"export", pdb}));
    EXPECT_EQ(root.Find("app")->text, "jfile");
    const cli::JsonValue* fields = root.Find("table")->Find("fields");
    ASSERT_EQ(fields->items.size(), c.names.size());
    for (std::size_t i = 0; i < c.names.size(); ++i)
      EXPECT_EQ(fields->items[i].Find("name")->text, c.names[i]);
    const cli::JsonValue* records = root.Find("records");
    ASSERT_EQ(records->items.size(), c.rows);
    for (const std::string& n : c.names) EXPECT_NE(records->items[0].Find(n), nullptr) << n;
    ExpectRoundTrip(pdb, tmp);

    // CSV: a header of the field names and one line per row.
    const std::string csv = Ok({"export", "--app", "jfile", "--format", "csv", pdb});
    EXPECT_EQ(static_cast<std::size_t>(std::count(csv.begin(), csv.end(), '\n')), c.rows + 1);
    test::WriteText(tmp.File("t.csv"), csv);
    Ok({"import", "--app", "jfile", "--type", "JbDb", "--creator", "JBas", "--input",
        tmp.File("t.csv"), "-o", tmp.File("csv.pdb")});
    EXPECT_EQ(Ok({"export", "--format", "csv", tmp.File("csv.pdb")}), csv);
  }
  const std::string movies = Ok({"export", kCorpus + "/jfile-100movies.pdb"});
  EXPECT_NE(movies.find(R"({"#": 1, "Name": "Citizen Kane", "Year": 1941, "category": 0, )"
                        R"("flags": [], "uniqueID": 0})"),
            std::string::npos);
  const std::string poll = Ok({"export", "--format", "csv", kCorpus + "/jfile-locus-poll.pdb"});
  EXPECT_NE(poll.find("Year,#,Author,Title,Publisher,Category,Other Title\r\n"
                      "1971,,Larry Niven,Ringworld,Ballantine,novel,\r\n"),
            std::string::npos);
}

// A table of every field type with awkward values, for each JFile generation.
std::string JFileJson(int version) {
  return R"({"app": "jfile", "database": {"name": "Every type", "created": "2024-05-01T10:00:00"},
  "table": {"version": )" +
         std::to_string(version) + R"(, "fields": [
    {"name": "Title", "type": "text", "width": 90},
    {"name": "Done", "type": "boolean"},
    {"name": "When", "type": "date"},
    {"name": "Count", "type": "integer"},
    {"name": "Price", "type": "float"},
    {"name": "At", "type": "time"},
    {"name": "Odd", "type": 64},
    {"name": "Exactly21CharsLong!!!", "type": "text"}]},
  "records": [
    {"Title": "Água €", "Done": true, "When": "2006-01-02", "Count": -42, "Price": 0.1,
     "At": "07:30", "Odd": "x", "Exactly21CharsLong!!!": ""},
    {"Title": "", "Done": null, "When": null, "Count": null, "Price": null, "At": null,
     "Odd": null, "Exactly21CharsLong!!!": "z", "flags": ["dirty"], "uniqueID": 7},
    {"Title": "kept", "Done": "yes", "When": {"text": "2006-01-02"}, "Count": "007",
     "Price": "3.50", "At": "23:59:58", "Odd": "", "Exactly21CharsLong!!!": "", "extra": "4142"}]})";
}

TEST(TablesCli, BuiltTablesOfEveryGenerationRoundTrip) {
  test::TempDir tmp;
  for (int v : {3, 4, 5}) {
    SCOPED_TRACE(v);
    test::WriteText(tmp.File("in.json"), JFileJson(v));
    Ok({"import", "--input", tmp.File("in.json"), "-o", tmp.File("t.pdb")});
    const std::string json = Ok({"export", tmp.File("t.pdb")});
    EXPECT_NE(json.find(R"("Done": true, "When": "2006-01-02", "Count": -42, "Price": 0.1, )"
                        R"("At": "07:30")"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find(R"("When": {"text": "2006-01-02"}, "Count": "007", "Price": "3.50", )"
                        R"("At": "23:59:58")"),
              std::string::npos)
        << json;
    ExpectRoundTrip(tmp.File("t.pdb"), tmp);
    const std::string csv =
        Ok({"export", "--format", "csv", "--with-attributes", tmp.File("t.pdb")});
    EXPECT_NE(csv.find("Água €,true,2006-01-02,-42,0.1,07:30,x,,0,,0\r\n"), std::string::npos)
        << csv;
    EXPECT_NE(csv.find(",,,,,,,z,0,dirty,7\r\n"), std::string::npos) << csv;
  }
}

TEST(TablesCli, MobileDBTablesKeepTheirKindsAndPositions) {
  test::TempDir tmp;
  test::WriteText(tmp.File("m.csv"),
                  "Name,Qty,Added,Paid,Note\r\n"
                  "Widget,42,2008-01-01,true,\r\n"
                  "Gadget,7,,false,\"two, words\"\r\n");
  Ok({"import", "--app", "mobiledb", "--input", tmp.File("m.csv"), "-o", tmp.File("m.pdb")});
  const std::string json = Ok({"export", tmp.File("m.pdb")});
  EXPECT_NE(json.find(R"({"Name": "Widget", "Qty": "42", "Added": "2008-01-01", "Paid": true, )"
                      R"("category": 2)"),
            std::string::npos)
      << json;
  // Absent values stay absent; the definition records come first.
  EXPECT_NE(json.find(R"({"Name": "Gadget", "Qty": "7", "Paid": false, "Note": "two, words", )"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find(R"("position": 3, "kind": "widths", "category": 6)"), std::string::npos);
  ExpectRoundTrip(tmp.File("m.pdb"), tmp);

  // Rows hidden by a filter, definition records between the rows, a row the
  // fields do not describe, and bytes after a record's end.
  const std::string hand = R"({"app": "mobiledb", "table": {"fields": [
      {"name": "A", "type": "text", "width": 80}, {"name": "B", "type": "date", "code": "Date"}],
    "records": [{"position": 1, "category": 1}, {"position": 3, "category": 5},
                {"position": 4, "category": 4, "bytes": "ffffff01ff000000000100ff"}]},
    "records": [{"A": "first"}, {"A": "hidden", "B": "1904-01-02", "category": 3},
                {"A": "x", "raw": "ffffff01ff00000778797a00ffeeee"}]})";
  test::WriteText(tmp.File("hand.json"), hand);
  Ok({"import", "--input", tmp.File("hand.json"), "-o", tmp.File("hand.pdb")});
  const std::string out = Ok({"export", tmp.File("hand.pdb")});
  EXPECT_NE(out.find(R"({"A": "hidden", "B": "1904-01-02", "category": 3)"), std::string::npos)
      << out;
  EXPECT_NE(out.find(R"("raw": "ffffff01ff00000778797a00ffeeee")"), std::string::npos) << out;
  ExpectRoundTrip(tmp.File("hand.pdb"), tmp);
  const std::string records = Ok({"records", "--data", tmp.File("hand.pdb")});
  EXPECT_NE(records.find("013100ff"), std::string::npos) << records;  // B, the day after 1904-01-01
}

TEST(TablesCli, CsvTypesAreInferredOrGiven) {
  test::TempDir tmp;
  test::WriteText(tmp.File("t.csv"),
                  "Int,Num,Day,Flag,Text,Empty\n"
                  "1,1.5,2020-02-29,true,a,\n"
                  "-2,3,2021-12-31,false,007,\n"
                  ",,,,,\n");
  Ok({"import", "--app", "jfile", "--input", tmp.File("t.csv"), "-o", tmp.File("t.pdb")});
  const std::string json = Ok({"export", tmp.File("t.pdb")});
  for (const char* f :
       {R"({"name": "Int", "type": "integer", "width": 80})", R"({"name": "Num", "type": "float")",
        R"({"name": "Day", "type": "date")", R"({"name": "Flag", "type": "boolean")",
        R"({"name": "Text", "type": "text")", R"({"name": "Empty", "type": "text")"}) {
    EXPECT_NE(json.find(f), std::string::npos) << f << "\n" << json;
  }
  EXPECT_NE(json.find(R"("database": {)"), std::string::npos);
  EXPECT_NE(json.find(R"("type": "JfD5")"), std::string::npos);
  // --field overrides the inference.
  Ok({"import", "--app", "jfile", "--field", "Int:text", "--field", "Day:time", "--input",
      tmp.File("t.csv"), "-o", tmp.File("f.pdb")});
  const std::string given = Ok({"export", tmp.File("f.pdb")});
  EXPECT_NE(given.find(R"({"name": "Int", "type": "text")"), std::string::npos);
  EXPECT_NE(given.find(R"("Day": "2020-02-29")"), std::string::npos);

  test::WriteText(tmp.File("bad.csv"), "A,B\n1,2\n3\n");
  ToolResult r = RunCorvane(
      {"import", "--app", "jfile", "--input", tmp.File("bad.csv"), "-o", tmp.File("bad.pdb")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("line 3"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(tmp.File("bad.pdb")));
  r = RunCorvane({"import", "--app", "jfile", "--field", "A:blob", "--input", tmp.File("t.csv"),
                  "-o", tmp.File("x.pdb")});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("unknown type 'blob'"), std::string::npos) << r.err;
  // More than JFile 3's 20 fields.
  std::string wide;
  for (int i = 0; i < 21; ++i) wide += (i ? ",F" : "F") + std::to_string(i);
  test::WriteText(tmp.File("wide.csv"), wide + "\n");
  r = RunCorvane({"import", "--app", "jfile", "--type", "JbDb", "--creator", "JBas", "--input",
                  tmp.File("wide.csv"), "-o", tmp.File("w.pdb")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("JFile 3 holds at most 20 fields, not 21"), std::string::npos) << r.err;
}

TEST(TablesCli, DamagedTablesAreRefusedClearly) {
  SKIP_WITHOUT_CORPUS();
  test::TempDir tmp;
  const std::vector<std::uint8_t> good = test::ReadAll(kCorpus + "/jfile-100movies.pdb");
  const auto refused = [&](std::vector<std::uint8_t> bytes, const std::string& message) {
    test::WriteAll(tmp.File("d.pdb"), bytes);
    const ToolResult r = RunCorvane({"export", tmp.File("d.pdb")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
  };
  std::vector<std::uint8_t> over = good;
  over[880 + 460] = 0;
  over[880 + 461] = 21;
  refused(over, "application-info block: The table names more fields than it has slots for!");
  std::vector<std::uint8_t> short_row = good;
  short_row[1448 + 19] = 'x';  // record 0 loses its last zero
  refused(short_row, "record 0: The row holds fewer fields than its table!");
  // The other generations read the 568-byte block as too short.
  std::vector<std::uint8_t> as5 = good;
  std::copy_n("JfD5JFi5", 8, as5.begin() + 60);
  refused(as5, "Application-info block is shorter than its fixed part!");
  const ToolResult r =
      RunCorvane({"export", "--app", "mobiledb", kCorpus + "/jfile-100movies.pdb"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("MobileDB record does not start with its fixed header!"), std::string::npos);
}

TEST(TablesCli, ConvertCarriesTablesIntoEnginesAndBackWhenEveryValueSurvives) {
  SKIP_WITHOUT_CORPUS();
  test::TempDir tmp;
  const std::string movies = kCorpus + "/jfile-100movies.pdb";
  const std::string csv = Ok({"export", "--format", "csv", movies});
  Ok({"convert", "--app", "jfile", "--to", "pocketstudio", movies, "-o", tmp.File("ps.pdb")});
  EXPECT_EQ(Ok({"export", "--engine", "pocketstudio", "--field", "#:PSInt32", "--field",
                "Name:PSString", "--field", "Year:PSInt32", "--format", "csv", tmp.File("ps.pdb")}),
            csv);
  Ok({"convert", "--engine", "pocketstudio", "--field", "#:PSInt32", "--field", "Name:PSString",
      "--field", "Year:PSInt32", "--to-app", "jfile", tmp.File("ps.pdb"), "-o",
      tmp.File("back.pdb")});
  EXPECT_EQ(Ok({"export", "--format", "csv", tmp.File("back.pdb")}), csv);
  Ok({"convert", "--app", "jfile", "--to-app", "mobiledb", movies, "-o", tmp.File("m.pdb")});
  Ok({"convert", "--app", "mobiledb", "--to-app", "jfile", "--type", "JbDb", tmp.File("m.pdb"),
      "-o", tmp.File("j3.pdb")});
  EXPECT_EQ(Ok({"export", "--format", "csv", tmp.File("j3.pdb")}), csv);

  // An empty number has no value in an engine's integer; a text type takes it.
  const std::string poll = kCorpus + "/jfile-locus-poll.pdb";
  ToolResult r = RunCorvane(
      {"convert", "--app", "jfile", "--to", "sqldriver", poll, "-o", tmp.File("sd.pdb")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("record 0, field '#'"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(tmp.File("sd.pdb")));
  Ok({"convert", "--app", "jfile", "--to", "sqldriver", "--to-field", "#:PDChar", poll, "-o",
      tmp.File("sd.pdb")});

  // A date with a time of day is no JFile date; as text it survives.
  const std::string appforge = std::string(CORVANE_SOURCE_DIR) + "/samples/appforge.pdb";
  r = RunCorvane(
      {"convert", "--engine", "appforge", "--to-app", "jfile", appforge, "-o", tmp.File("af.pdb")});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("record 0, field 'Added': 2024-01-15T08:30:00 does not survive as date"),
            std::string::npos)
      << r.err;
  Ok({"convert", "--engine", "appforge", "--to-app", "jfile", "--to-field", "Added:text", appforge,
      "-o", tmp.File("af.pdb")});
  EXPECT_NE(Ok({"export", "--format", "csv", tmp.File("af.pdb")})
                .find("1001,Hammer,12.5,true,2024-01-15T08:30:00,0.75,3,14,4.25\r\n"),
            std::string::npos);
}

}  // namespace
}  // namespace corvane
