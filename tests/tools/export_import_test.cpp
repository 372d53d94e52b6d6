// check, export and import meet bad input: damaged files, wrong field lists,
// unknown names, malformed JSON and CSV, values that do not convert. Each
// must end with exit 1 or 2 and a message that says what is wrong, and an
// import that fails must leave no file (or the earlier one) behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "tool_runner.h"

namespace corvane {
namespace {

using test::RunCorvane;
using test::ToolResult;

const std::vector<std::string> kPSFields = {
    "--field", "Done:PSBoolean", "--field", "Qty:PSInt16",     "--field", "Big:PSUInt32",
    "--field", "Day:PSDate",     "--field", "At:PSTime",       "--field", "When:PSDateTime",
    "--field", "Who:PSString",   "--field", "Code:PSString:6", "--field", "Ratio:PSSingle",
    "--field", "Price:PSDouble", "--field", "Blob:PSBinary"};

std::vector<std::string> Cat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct ExportImport : ::testing::Test {
  test::TempDir dir;
  std::vector<std::uint8_t> sample =
      test::ReadAll(std::string(CORVANE_SOURCE_DIR) + "/samples/pocketstudio.pdb");

  std::string Put(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    test::WriteAll(dir.File(name), bytes);
    return dir.File(name);
  }
  std::string PutText(const std::string& name, const std::string& text) {
    test::WriteText(dir.File(name), text);
    return dir.File(name);
  }
  std::size_t FileCount() const {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++n;
    return n;
  }
};

void Expect(const ToolResult& r, int status, const std::string& err_has, const std::string& what) {
  EXPECT_EQ(r.status, status) << what << "\n" << r.err;
  EXPECT_NE(r.err.find(err_has), std::string::npos) << what << "\n" << r.err;
  EXPECT_EQ(r.err.rfind("corvane: ", 0), 0u) << what << "\n" << r.err;
}

TEST_F(ExportImport, DamagedFiles) {
  std::vector<std::uint8_t> outside = sample;
  outside[78 + 8 + 2] = 0x7F;  // record 1's data offset far past the end
  const std::string truncated = Put("truncated.pdb", {sample.begin(), sample.begin() + 50});
  const std::string listcut = Put("listcut.pdb", {sample.begin(), sample.begin() + 85});
  const std::string text = PutText("text.pdb", std::string(200, 'x') + "\n");
  const std::string far = Put("outside.pdb", outside);
  struct Case {
    std::string file, export_err, check_out;
  };
  const Case cases[] = {
      {truncated,
       "File is not in Palm Database Format (PDB)! (it holds 50 bytes, fewer than a header's 78) "
       "(code 7)",
       "the file has 50 bytes, fewer than the 78 of a PDB header"},
      {listcut,
       "File is not in Palm Database Format (PDB)! (its list of 2 records runs past the end of "
       "the file at 85) (code 7)",
       "record list: 2 entries end at byte 94"},
      {text, "File is not in Palm Database Format (PDB)! (its list of 30840 records",
       "header: the name fills all 32 bytes"},
      {far,
       "record 0: Error reading Record! (its data runs from offset 96 to 32654, past the end of "
       "the file at 179) (code 6)",
       "record 1: data offset 32654 is past the end of the file (the file has 179 bytes)"},
  };
  for (const Case& c : cases) {
    const ToolResult exported =
        RunCorvane(Cat({"export", "--engine", "pocketstudio"}, Cat(kPSFields, {c.file})));
    Expect(exported, 1, c.export_err, c.file);
    EXPECT_NE(exported.err.find("cannot read '" + c.file + "'"), std::string::npos) << exported.err;
    const ToolResult check = RunCorvane({"check", c.file});
    Expect(check, 1, "problem", c.file);
    EXPECT_NE(check.out.find(c.file + ": " + c.check_out), std::string::npos) << check.out;
  }
  Expect(RunCorvane({"check", dir.File("missing.pdb")}), 1, "cannot open", "missing");
}

TEST_F(ExportImport, WrongFieldLists) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      // One field short: the record has bytes left over.
      {Cat({"export", "--engine", "pocketstudio"},
           Cat({kPSFields.begin(), kPSFields.end() - 2}, {"samples/pocketstudio.pdb"})),
       "record 0 has 5 bytes after its last field: the fields do not describe the records"},
      // One field too many: the record ends first.
      {Cat({"export", "--engine", "pocketstudio"},
           Cat(kPSFields, {"--field", "X:PSInt32", "samples/pocketstudio.pdb"})),
       "record 0: Record is not stored as detailed in Fields structure! (code 1)"},
      // The SQL Driver's structure record says otherwise.
      {{"export", "--engine", "sqldriver", "--field", "Name:PDChar:20", "--field", "Age:PDInt",
        "--field", "Points:PDInt", "--field", "Balance:PDLong", "--field", "Rate:PDFloat",
        "--field", "Total:PDDouble", "samples/sqldriver.pdb"},
       "field 3 ('Age') is PDShort in the file, not PDInt"},
      {{"export", "--engine", "sqldriver", "--field", "Nome:PDChar:20", "samples/sqldriver.pdb"},
       "the file describes 7 fields, the field list has 2"},
      // A file of another engine.
      {{"export", "--engine", "appforge", "samples/java.pdb"}, "Invalid Categories List! (code 5)"},
      {{"export", "--engine", "sqldriver", "--field", "A:PDInt", "samples/java.pdb"},
       "the file describes 0 fields, the field list has 2"},
  };
  for (const Case& c : cases) {
    const ToolResult r = RunCorvane(c.args);
    Expect(r, 1, c.err, c.args.back());
    EXPECT_EQ(r.out, "");  // nothing half-written on standard output
  }
}

TEST_F(ExportImport, BadUsage) {
  const std::string out = dir.File("out.pdb");
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{"export", "--app", "java", "samples/java.pdb"}, "unknown --app 'java'"},
      {{"export", "--engine", "palm", "samples/java.pdb"}, "unknown engine 'palm'"},
      {{"export", "--engine", "java", "--field", "A:JFloat", "samples/java.pdb"},
       "field 'A': unknown type 'JFloat' for the java engine (JByte, JBoolean, JChar, JInt, JLong, "
       "JShort, JString, "
       "JDate)"},
      {{"export", "--engine", "java", "--field", "A", "samples/java.pdb"},
       "--field takes NAME:TYPE[:SIZE], not 'A'"},
      {{"export", "--engine", "java", "--field", "A:JInt:x", "samples/java.pdb"},
       "the size must be a whole number"},
      {{"export", "--engine", "java", "--field", "A:JInt:2", "samples/java.pdb"},
       "JInt takes no size (its width is 4)"},
      {{"export", "--engine", "sqldriver", "--field", "A:PDChar:3", "samples/sqldriver.pdb"},
       "even number"},
      {{"export", "--engine", "java", "--field", "A:JInt", "--field", "a:JInt", "samples/java.pdb"},
       "given twice"},
      {{"export", "--engine", "java", "samples/java.pdb"},
       "missing --field: java files do not name their fields"},
      {{"export", "--engine", "appforge", "--field", "A:AFLong", "samples/appforge.pdb"},
       "takes its fields from the file"},
      {{"export", "--engine", "java", "--field", "A:JInt", "--format", "xml", "samples/java.pdb"},
       "unknown format 'xml'"},
      {{"import", "--engine", "java", "--input", "samples/java.json"}, "missing -o OUT.pdb"},
      {{"import", "--engine", "java", "--input", "samples/java.json", "-o", dir.File("out.txt")},
       ".pdb extension"},
      {{"import", "--engine", "java", "samples/java.json", "-o", out},
       "unexpected argument 'samples/java.json'"},
      {{"import", "--engine", "java", "--input", "x.csv", "-o", out},
       "missing --field: a CSV file"},
      {{"--lang", "fr", "info", "samples/java.pdb"}, "--lang takes en or pt"},
  };
  for (const Case& c : cases) Expect(RunCorvane(c.args), 2, c.err, c.args.back());
  EXPECT_EQ(FileCount(), 0u);
}

TEST_F(ExportImport, MalformedInputWritesNothing) {
  const std::string out = dir.File("out.pdb");
  const std::vector<std::string> java = {
      "import",  "--engine", "java",    "--name",       "N",  "--creator", "Crvn", "--type", "DATA",
      "--field", "Id:JInt",  "--field", "Text:JString", "-o", out};
  struct Case {
    std::string name, text, err;
  };
  const Case cases[] = {
      {"a.json", "{\"records\": [\n  {\"Id\": 1, \"Text\": \"x\"\n  {\"Id\": 2}]}",
       "JSON line 3, column 3: expected ',' or '}'"},
      {"b.json", "{\"records\": [{\"Id\": 1, \"Text\": \"x\"}]",
       "JSON line 1, column 37: expected ',' or '}'"},
      {"c.json", "", "unexpected end of the input"},
      {"d.json", "{\"records\": [{\"Id\": 1, \"Id\": 2}]}", "the member \"Id\" appears twice"},
      {"e.json", "{\"records\": [{\"Id\": 1, \"Text\": \"\\ud800\"}]}", "high surrogate"},
      {"f.json", "{\"records\": [{\"Id\": 1, \"Text\": \"\xC3\"}]}", "not valid UTF-8"},
      {"g.json", std::string(100, '[') + std::string(100, ']'), "nested more than 64 levels"},
      {"h.json", "[]", "the JSON document must be an object, not an array"},
      {"i.json", "{\"records\": {}}", "\"records\" must be an array, not an object"},
      {"j.json", "{\"records\": [{\"Id\": 1}]}", "record 0 (line 1): no value for field 'Text'"},
      {"k.json", "{\"records\": [{\"Id\": 1, \"Text\": \"\", \"Extra\": 0}]}",
       "record 0 (line 1): \"Extra\" is no field"},
      {"l.csv", "Id,Text\r\n1,\"unclosed\r\n", "CSV line 2: a quoted field is never closed"},
      {"m.csv", "Id,Text\r\n1,x\"y\r\n", "CSV line 2: a quote inside a field that is not quoted"},
      {"n.csv", "Id,Text\r\n1,\"x\"y\r\n", "CSV line 2: text after the closing quote"},
      {"o.csv", "Id,Text\r\n1,x\r\n2\r\n", "CSV line 3: the row has 1 fields, the header 2"},
      {"p.csv", "Id,Txt\r\n1,x\r\n", "CSV line 1: the column 'Txt' is no field"},
      {"q.csv", "Id\r\n1\r\n", "CSV line 1: no column for field 'Text'"},
      {"r.csv", "", "the CSV file has no header row"},
  };
  for (const Case& c : cases) {
    const std::string in = PutText(c.name, c.text);
    Expect(RunCorvane(Cat(java, {"--input", in})), 1, c.err, c.name);
    std::filesystem::remove(in);
  }
  EXPECT_EQ(FileCount(), 0u);
}

TEST_F(ExportImport, ValuesThatDoNotConvertStopTheImport) {
  const std::string out = dir.File("out.pdb");
  const std::vector<std::uint8_t> earlier = {'k', 'e', 'e', 'p'};
  const std::vector<std::string> ps =
      Cat({"import", "--engine", "pocketstudio", "--name", "N", "--creator", "Crvn", "--type",
           "DATA", "--field", "Qty:PSInt16", "--field", "Day:PSDate", "--field", "Who:PSString:4",
           "--field", "Blob:PSBinary", "-o", out},
          {});
  struct Case {
    std::string name, text, err;
  };
  const Case cases[] = {
      {"a.json",
       "{\"records\": [{\"Qty\": 1, \"Day\": null, \"Who\": \"\", \"Blob\": \"\"},\n"
       "{\"Qty\": 40000, \"Day\": null, \"Who\": \"\", \"Blob\": \"\"}]}",
       "record 1 (line 2), field 'Qty' (PSInt16): 40000 is outside -32768 to 32767"},
      {"b.json", "{\"records\": [{\"Qty\": \"1\", \"Day\": null, \"Who\": \"\", \"Blob\": \"\"}]}",
       "record 0 (line 1), field 'Qty': expected a whole number, not a string"},
      {"c.json",
       "{\"records\": [{\"Qty\": 1, \"Day\": \"2024-02-30\", \"Who\": \"\", \"Blob\": \"\"}]}",
       "field 'Day': expected a date YYYY-MM-DD or null, not \"2024-02-30\""},
      {"d.json",
       "{\"records\": [{\"Qty\": 1, \"Day\": \"2040-01-01\", \"Who\": \"\", \"Blob\": \"\"}]}",
       "field 'Day' (PSDate): only dates from 1904-01-01 to 2031-12-31"},
      {"e.json", "{\"records\": [{\"Qty\": 1, \"Day\": null, \"Who\": \"abcde\", \"Blob\": \"\"}]}",
       "field 'Who' (PSString): the text has 5 bytes, more than the 4 the field holds"},
      {"f.json",
       "{\"records\": [{\"Qty\": 1, \"Day\": null, \"Who\": \"\\u4e2d\", \"Blob\": \"\"}]}",
       "field 'Who': the character U+4E2D (\"\xE4\xB8\xAD\") has no byte in Windows-1252"},
      {"g.json", "{\"records\": [{\"Qty\": 1, \"Day\": null, \"Who\": \"\", \"Blob\": \"0g\"}]}",
       "field 'Blob': \"0g\" is no hexadecimal byte"},
      {"h.csv", "Qty,Day,Who,Blob\r\n1,,,\r\n2.5,,,\r\n",
       "record 1 (CSV line 3), field 'Qty' (PSInt16): 2.5 is not a whole number"},
      {"i.csv", "Qty,Day,Who,Blob\r\n,,,\r\n",
       "record 0 (CSV line 2), field 'Qty': expected a whole number, not \"\""},
  };
  for (const bool existing : {false, true}) {
    for (const Case& c : cases) {
      if (existing) test::WriteAll(out, earlier);
      const std::string in = PutText(c.name, c.text);
      Expect(RunCorvane(Cat(ps, {"--input", in})), 1, c.err, c.name);
      std::filesystem::remove(in);
      if (existing) {
        EXPECT_EQ(test::ReadAll(out), earlier) << c.name;
      } else {
        EXPECT_FALSE(std::filesystem::exists(out)) << c.name;
      }
      EXPECT_EQ(FileCount(), existing ? 1u : 0u) << c.name;  // no temporary file either
    }
  }
  // A failure of the library's own checks, in the language asked for.
  const std::string in = PutText("j.json", "{\"records\": []}");
  Expect(RunCorvane({"--lang", "pt", "import", "--engine", "java", "--field", "A:JInt", "--name",
                     "A name of thirty characters...", "--creator", "Crvn", "--type", "DATA",
                     "--input", in, "-o", out}),
         1, "(code 1)", "java name");
  EXPECT_EQ(test::ReadAll(out), earlier);
  Expect(RunCorvane({"import", "--engine", "java", "--field", "A:JInt", "--name", "N", "--creator",
                     "Cr-n", "--type", "DATA", "--input", in, "-o", out}),
         1, "Invalid Creator ID!", "creator");
  EXPECT_EQ(test::ReadAll(out), earlier);
}

TEST_F(ExportImport, ImportReadsStandardInputAndDeletedRecordsAreLeftOut) {
  // The contacts sample has a deleted record: export leaves it out.
  const ToolResult r =
      RunCorvane({"export", "--engine", "generic", "--field", "Name:pdtString", "--field",
                  "Phone:pdtString", "--field", "Email:pdtString", "samples/contacts.pdb"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("{\"Name\": \"Jos\xC3\xA9 Gon\xC3\xA7"
                       "alves\""),
            std::string::npos);
  const std::string json = PutText("contacts.json", r.out);
  const std::string out = dir.File("contacts.pdb");
  const ToolResult imported = RunCorvane({"import", "--engine", "generic", "-o", out}, json);
  ASSERT_EQ(imported.status, 0) << imported.err;
  // Header, categories and records as they were; the deleted record and the
  // sort-info block (which the generic engine does not write) are gone.
  const ToolResult info = RunCorvane({"info", out});
  EXPECT_NE(info.out.find("recordCount:        5\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("created:            2024-03-01T09:30:00\n"), std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("    3    3  Caf\xC3\xA9\n"), std::string::npos) << info.out;
  const ToolResult again =
      RunCorvane({"export", "--engine", "generic", "--field", "Name:pdtString", "--field",
                  "Phone:pdtString", "--field", "Email:pdtString", out});
  ASSERT_EQ(again.status, 0) << again.err;
  const auto records = [](const std::string& s) { return s.substr(s.find("\"records\"")); };
  EXPECT_EQ(records(again.out), records(r.out));
}

TEST_F(ExportImport, CsvQuotingAndNulls) {
  const std::string out = dir.File("q.pdb");
  const std::string in = PutText("q.csv",
                                 "Text,When,At\r\n"
                                 "\"a,b \"\"c\"\"\r\nd\",,\r\n"
                                 "plain,2024-01-02T03:04:05,\r\n");
  const std::vector<std::string> fields = {"--field",      "Text:pdtString", "--field",
                                           "When:pdtDate", "--field",        "At:pdtPSTime"};
  const ToolResult imported =
      RunCorvane(Cat({"import", "--engine", "generic", "--name", "Q", "--creator", "Crvn", "--type",
                      "DATA", "--input", in, "-o", out},
                     fields));
  ASSERT_EQ(imported.status, 0) << imported.err;
  const ToolResult csv =
      RunCorvane(Cat(Cat({"export", "--engine", "generic", "--format", "csv"}, fields), {out}));
  ASSERT_EQ(csv.status, 0) << csv.err;
  // An empty cell stores 0; a time type's 0 is midnight, and so is pdtDate's,
  // which counts seconds from 1904-01-01.
  EXPECT_EQ(csv.out,
            "Text,When,At\r\n"
            "\"a,b \"\"c\"\"\r\nd\",1904-01-01T00:00:00,00:00:00\r\n"
            "plain,2024-01-02T03:04:05,00:00:00\r\n");
  const ToolResult json = RunCorvane(Cat(Cat({"export", "--engine", "generic"}, fields), {out}));
  EXPECT_NE(
      json.out.find("{\"Text\": \"a,b \\\"c\\\"\\r\\nd\", \"When\": \"1904-01-01T00:00:00\", \"At\": \"00:00:00\", "
                    "\"category\": 0, \"flags\": [], \"uniqueID\": 0}"),
      std::string::npos)
      << json.out;
}

}  // namespace
}  // namespace corvane
