// export then import gives back the same file: records byte for byte with
// their categories, flags and unique IDs, the category table with its IDs,
// the sort-info block, the header; JChar codes past 0xFF; CSV as other
// programs write it; standard input.
#include <gtest/gtest.h>

#include <filesystem>

#include "engine_samples.h"
#include "tool_runner.h"

namespace corvane {
namespace {

using test::RunCorvane;
using test::ToolResult;
using Engine = test::Sample;
using test::Samples;

std::vector<std::string> Export(const Engine& e, const std::string& file,
                                const std::vector<std::string>& extra = {}) {
  std::vector<std::string> args = {"export", "--engine", e.engine};
  for (const std::string& f : e.fields) {
    args.push_back("--field");
    args.push_back(f);
  }
  args.insert(args.end(), extra.begin(), extra.end());
  args.push_back(file);
  return args;
}

void ReplaceAll(std::string& s, const std::string& from, const std::string& to, int times) {
  std::size_t at = 0;
  for (int i = 0; i < times; ++i) {
    at = s.find(from, at);
    ASSERT_NE(at, std::string::npos) << from;
    s.replace(at, from.size(), to);
    at += to.size();
  }
}

// Each sample's JSON given record attributes, category IDs of its own and a
// sort-info block; imported, exported, imported again: the same file.
TEST(RoundTrip, EveryEngineKeepsTheWholeFile) {
  for (const Engine& e : Samples()) {
    SCOPED_TRACE(e.engine);
    test::TempDir dir;
    std::string json =
        test::ReadText(std::string(CORVANE_SOURCE_DIR) + "/samples/" + e.engine + ".json");
    ReplaceAll(json, "\"category\": 0, \"flags\": [], \"uniqueID\": 0",
               "\"category\": 5, \"flags\": [\"secret\", \"busy\", \"dirty\"], \"uniqueID\": "
               "11259375",
               1);
    ReplaceAll(json, "\"category\": 0, \"flags\": [], \"uniqueID\": 0",
               "\"category\": 15, \"flags\": [\"dirty\"], \"uniqueID\": 1", 1);
    ReplaceAll(json, "\"sortInfo\": null", "\"sortInfo\": \"00ff7f80\"", 1);
    if (json.find("\"categories\": [") != std::string::npos) {
      ReplaceAll(json, "{\"index\": 5, \"name\": \"\", \"id\": 5}",
                 "{\"index\": 5, \"name\": \"Caf\xC3\xA9\", \"id\": 200}", 1);
    } else {
      std::string table = "\"categories\": [";
      for (int i = 0; i < 16; ++i) {
        table += std::string(i ? ", " : "") + "{\"index\": " + std::to_string(i) +
                 ", \"name\": \"" + (i == 5 ? "Caf\xC3\xA9" : "") +
                 "\", \"id\": " + std::to_string(i == 5 ? 200 : i) + "}";
      }
      ReplaceAll(json, "\"categories\": null", table + "]", 1);
    }
    test::WriteText(dir.File("in.json"), json);
    // AppForge names the database after its file: the same name in two places.
    const std::string first = dir.File(e.engine + ".pdb");
    ASSERT_EQ(
        RunCorvane({"import", "--engine", e.engine, "--input", dir.File("in.json"), "-o", first})
            .status,
        0);
    const ToolResult exported = RunCorvane(Export(e, first));
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_NE(exported.out.find("\"category\": 5, \"flags\": [\"secret\", \"busy\", \"dirty\"], "
                                "\"uniqueID\": 11259375}"),
              std::string::npos)
        << exported.out;
    EXPECT_NE(exported.out.find("{\"index\": 5, \"name\": \"Caf\xC3\xA9\", \"id\": 200}"),
              std::string::npos);
    if (e.engine != "generic") {  // whose files carry no sort-info block
      EXPECT_NE(exported.out.find("\"sortInfo\": \"00ff7f80\""), std::string::npos);
    }
    test::WriteText(dir.File("out.json"), exported.out);
    std::filesystem::create_directory(dir.File("again"));
    const std::string second = dir.File("again/" + e.engine + ".pdb");
    ASSERT_EQ(
        RunCorvane({"import", "--engine", e.engine, "--input", dir.File("out.json"), "-o", second})
            .status,
        0);
    EXPECT_EQ(test::ReadAll(second), test::ReadAll(first));
    const ToolResult records = RunCorvane({"records", second});
    EXPECT_NE(records.out.find("  5  0xabcdef  secret,busy,dirty"), std::string::npos)
        << records.out;
  }
}

// CSV with --with-attributes carries the records' attributes; the header
// options carry what CSV has no room for.
TEST(RoundTrip, CsvWithAttributesAndHeaderOptions) {
  const Engine& e = Samples()[1];  // pocketstudio
  test::TempDir dir;
  std::string json = test::ReadText(std::string(CORVANE_SOURCE_DIR) + "/samples/pocketstudio.json");
  ReplaceAll(json, "\"category\": 0, \"flags\": [], \"uniqueID\": 0",
             "\"category\": 7, \"flags\": [\"busy\"], \"uniqueID\": 42", 1);
  test::WriteText(dir.File("in.json"), json);
  const std::string first = dir.File("first.pdb");
  ASSERT_EQ(
      RunCorvane({"import", "--engine", e.engine, "--input", dir.File("in.json"), "-o", first})
          .status,
      0);
  const ToolResult csv = RunCorvane(Export(e, first, {"--format", "csv", "--with-attributes"}));
  ASSERT_EQ(csv.status, 0) << csv.err;
  EXPECT_NE(csv.out.find(",category,flags,uniqueID\r\n"), std::string::npos) << csv.out;
  EXPECT_NE(csv.out.find(",7,busy,42\r\n"), std::string::npos) << csv.out;
  test::WriteText(dir.File("in.csv"), csv.out);
  // The header of the first file, through the options.
  std::vector<std::string> args = {"import",
                                   "--engine",
                                   e.engine,
                                   "--input",
                                   dir.File("in.csv"),
                                   "-o",
                                   dir.File("second.pdb"),
                                   "--name",
                                   "Orders",
                                   "--creator",
                                   "Crvn",
                                   "--type",
                                   "DATA",
                                   "--created",
                                   "2024-03-01T09:30:00",
                                   "--modified",
                                   "2024-05-17T18:45:10",
                                   "--backed-up",
                                   "null",
                                   "--version",
                                   "2",
                                   "--attributes",
                                   "0",
                                   "--modification-number",
                                   "0",
                                   "--unique-id-seed",
                                   "0"};
  for (const std::string& f : e.fields) {
    args.push_back("--field");
    args.push_back(f);
  }
  const ToolResult imported = RunCorvane(args);
  ASSERT_EQ(imported.status, 0) << imported.err;
  EXPECT_EQ(test::ReadAll(dir.File("second.pdb")), test::ReadAll(first));
  // Other values than the JSON's, to see each option land.
  args.insert(args.end(), {"--version", "3", "--attributes", "8", "--modification-number", "5",
                           "--backed-up", "2024-06-01T00:00:00"});
  ASSERT_EQ(RunCorvane(args).status, 0);
  const ToolResult info = RunCorvane({"info", dir.File("second.pdb")});
  for (const char* line :
       {"name:               Orders\n", "attributes:         0x0008 (backup)\n",
        "version:            3\n", "created:            2024-03-01T09:30:00\n",
        "modified:           2024-05-17T18:45:10\n", "backedUp:           2024-06-01T00:00:00\n",
        "modificationNumber: 5\n"}) {
    EXPECT_NE(info.out.find(line), std::string::npos) << line << info.out;
  }
  // A field that has an attribute's name keeps it; the column would be twice there.
  const ToolResult clash = RunCorvane({"export", "--engine", "java", "--field", "flags:JInt",
                                       "--format", "csv", "--with-attributes", "samples/java.pdb"});
  EXPECT_EQ(clash.status, 2);
  EXPECT_NE(clash.err.find("a field has the name of an attribute column"), std::string::npos);
  // In JSON the field wins and the note says which attribute it hides; the
  // JSON imports back with the field as the field.
  const ToolResult flagged =
      RunCorvane({"export",  "--engine",      "java",        "--field",    "flags:JByte",
                  "--field", "Done:JBoolean", "--field",     "Mark:JChar", "--field",
                  "Id:JInt", "--field",       "Stamp:JLong", "--field",    "Prio:JShort",
                  "--field", "Text:JString",  "--field",     "Due:JDate",  "samples/java.pdb"});
  ASSERT_EQ(flagged.status, 0) << flagged.err;
  EXPECT_NE(flagged.err.find("hides the records' attribute"), std::string::npos) << flagged.err;
  EXPECT_NE(flagged.out.find("{\"flags\": 7, "), std::string::npos);
  EXPECT_NE(flagged.out.find(", \"category\": 0, \"uniqueID\": 0}"), std::string::npos)
      << flagged.out;
  test::WriteText(dir.File("flags.json"), flagged.out);
  const ToolResult back = RunCorvane({"import", "--engine", "java", "--input",
                                      dir.File("flags.json"), "-o", dir.File("flags.pdb")});
  ASSERT_EQ(back.status, 0) << back.err;
  EXPECT_EQ(test::ReadAll(dir.File("flags.pdb")),
            test::ReadAll(std::string(CORVANE_SOURCE_DIR) + "/samples/java.pdb"));
}

TEST(RoundTrip, BadRecordAttributesAreRefused) {
  test::TempDir dir;
  const std::vector<std::string> base = {
      "import", "--engine", "java",    "--name",  "N",  "--creator",         "Crvn",
      "--type", "DATA",     "--field", "Id:JInt", "-o", dir.File("out.pdb"), "--input"};
  struct Case {
    std::string name, text, err;
  };
  const Case cases[] = {
      {"a.json", "{\"records\": [{\"Id\": 1, \"category\": 16}]}",
       "record 0 (line 1): category must be a whole number from 0 to 15, not \"16\""},
      {"b.json", "{\"records\": [{\"Id\": 1, \"uniqueID\": 16777216}]}",
       "uniqueID must be a whole number from 0 to 16777215"},
      {"c.json", "{\"records\": [{\"Id\": 1, \"flags\": [\"delete\"]}]}",
       "a deleted record has no data to import"},
      {"d.json", "{\"records\": [{\"Id\": 1, \"flags\": \"dirty\"}]}",
       "flags must be an array of names, not a string"},
      {"e.csv", "Id,flags\r\n1,\"dirty,private\"\r\n",
       "record 0 (CSV line 2): \"private\" is no record flag (secret, busy or dirty)"},
      {"f.csv", "Id,category\r\n1,-1\r\n", "category must be a whole number from 0 to 15"},
  };
  for (const Case& c : cases) {
    test::WriteText(dir.File(c.name), c.text);
    std::vector<std::string> args = base;
    args.push_back(dir.File(c.name));
    const ToolResult r = RunCorvane(args);
    EXPECT_EQ(r.status, 1) << c.name;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.name << "\n" << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.pdb")));
  }
}

// A Java char is a 16-bit code: past 0xFF it is still one character, and
// every code comes back as it was, in whatever encoding the texts are.
TEST(RoundTrip, JCharCodesPastOneByte) {
  test::TempDir dir;
  const std::string json =
      "{\"records\": [{\"Mark\": \"\xE2\x82\xAC\"}, {\"Mark\": \"\xE4\xB8\xAD\"}, "
      "{\"Mark\": \"\xC3\xA9\"}, {\"Mark\": \"\xC2\x80\"}, {\"Mark\": \"\"}, "
      "{\"Mark\": \"\xEF\xBF\xBF\"}]}";
  test::WriteText(dir.File("in.json"), json);
  for (const char* enc : {"cp1252", "latin1", "utf8"}) {
    SCOPED_TRACE(enc);
    const std::string out = dir.File(std::string(enc) + ".pdb");
    const ToolResult imported = RunCorvane(
        {"import", "--engine", "java", "--encoding", enc, "--name", "N", "--creator", "Crvn",
         "--type", "DATA", "--field", "Mark:JChar", "--input", dir.File("in.json"), "-o", out});
    ASSERT_EQ(imported.status, 0) << imported.err;
    const ToolResult records = RunCorvane({"records", "--json", "--data", out});
    for (const char* code : {"\"data\": \"20ac\"", "\"data\": \"4e2d\"", "\"data\": \"00e9\"",
                             "\"data\": \"0080\"", "\"data\": \"0000\"", "\"data\": \"ffff\""}) {
      EXPECT_NE(records.out.find(code), std::string::npos) << code << records.out;
    }
    const ToolResult exported =
        RunCorvane({"export", "--engine", "java", "--encoding", enc, "--field", "Mark:JChar", out});
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_NE(exported.out.find("{\"Mark\": \"\xE2\x82\xAC\", \"category\""), std::string::npos)
        << exported.out;
    EXPECT_NE(exported.out.find("{\"Mark\": \"\xE4\xB8\xAD\", \"category\""), std::string::npos);
    EXPECT_NE(exported.out.find("{\"Mark\": \"\xC2\x80\", \"category\""), std::string::npos);
  }
  // Half of a surrogate pair is no character: named, not guessed at.
  test::WriteText(dir.File("half.json"), "{\"records\": [{\"Code\": -10240}]}");  // 0xD800
  ASSERT_EQ(RunCorvane({"import", "--engine", "java", "--name", "N", "--creator", "Crvn", "--type",
                        "DATA", "--field", "Code:JShort", "--input", dir.File("half.json"), "-o",
                        dir.File("half.pdb")})
                .status,
            0);
  const ToolResult half =
      RunCorvane({"export", "--engine", "java", "--field", "Mark:JChar", dir.File("half.pdb")});
  EXPECT_EQ(half.status, 1);
  EXPECT_NE(half.err.find("record 0, field 'Mark': the code 0xD800 is half of a surrogate pair"),
            std::string::npos)
      << half.err;
}

TEST(RoundTrip, CsvLineEndsAndStandardInput) {
  test::TempDir dir;
  const std::vector<std::string> base = {
      "import", "--engine", "java",    "--name",  "N",       "--creator",   "Crvn",
      "--type", "DATA",     "--field", "Id:JInt", "--field", "Text:JString"};
  const auto import = [&](std::vector<std::string> extra, const std::string& stdin_path = "") {
    std::vector<std::string> args = base;
    args.insert(args.end(), extra.begin(), extra.end());
    return RunCorvane(args, stdin_path);
  };
  const auto texts = [&](const std::string& file) {
    const ToolResult r = RunCorvane({"export", "--engine", "java", "--field", "Id:JInt", "--field",
                                     "Text:JString", "--format", "csv", file});
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out;
  };
  struct Case {
    std::string what, text;
  };
  const Case cases[] = {
      {"lone CR", "Id,Text\r1,x\r2,\"a\rb\"\r"},
      {"lone CR, none at the end", "Id,Text\r1,x\r2,\"a\rb\""},
      {"CR LF and blank last lines", "Id,Text\r\n1,x\r\n2,\"a\rb\"\r\n\r\n\r\n"},
      {"LF and a blank last line", "Id,Text\n1,x\n2,\"a\rb\"\n\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::WriteText(dir.File("in.csv"), c.text);
    const std::string out = dir.File("out.pdb");
    const ToolResult r = import({"--input", dir.File("in.csv"), "-o", out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(texts(out), "Id,Text\r\n1,x\r\n2,\"a\rb\"\r\n");
  }
  // The reader by --format, whatever the name; standard input by - or by default.
  test::WriteText(dir.File("data.txt"), "Id,Text\r\n7,seven\r\n");
  const struct {
    std::vector<std::string> args;
    std::string stdin_path;
  } inputs[] = {
      {{"--format", "csv", "--input", dir.File("data.txt")}, ""},
      {{"--format", "csv", "--input", "-"}, dir.File("data.txt")},
      {{"--format", "csv"}, dir.File("data.txt")},
  };
  for (const auto& in : inputs) {
    std::vector<std::string> args = in.args;
    args.push_back("-o");
    args.push_back(dir.File("seven.pdb"));
    const ToolResult r = import(args, in.stdin_path);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(texts(dir.File("seven.pdb")), "Id,Text\r\n7,seven\r\n");
  }
  const ToolResult wrong =
      import({"--format", "json", "--input", dir.File("data.txt"), "-o", dir.File("x.pdb")});
  EXPECT_EQ(wrong.status, 1);
  EXPECT_NE(wrong.err.find(dir.File("data.txt") + ": JSON line 1"), std::string::npos) << wrong.err;
  const ToolResult bad = import({"--format", "xml", "-o", dir.File("x.pdb")});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("unknown format 'xml'"), std::string::npos);
  const ToolResult bad_date = import({"--created", "2024-13-01T00:00:00", "-o", dir.File("x.pdb")});
  EXPECT_EQ(bad_date.status, 2);
  EXPECT_NE(bad_date.err.find("--created takes YYYY-MM-DDTHH:MM:SS or null"), std::string::npos);
}

namespace app_info {

// The "appInfo" string of an export, or "null".
std::string AppInfoOf(const std::string& json) {
  const std::string key = "\"appInfo\": ";
  const std::size_t at = json.find(key);
  if (at == std::string::npos) return "";
  const std::size_t from = at + key.size();
  if (json.compare(from, 4, "null") == 0) return "null";
  return json.substr(from + 1, json.find('"', from + 1) - from - 1);
}

// Gives the export's "appInfo" the value `value` (JSON: null or a string).
void SetAppInfo(std::string& json, const std::string& value) {
  const std::string key = "\"appInfo\": ";
  const std::size_t at = json.find(key);
  ASSERT_NE(at, std::string::npos);
  const std::size_t from = at + key.size();
  const std::size_t to = json[from] == '"' ? json.find('"', from + 1) + 1 : from + 4;
  json.replace(from, to - from, value);
}

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// A category table whose names carry bytes after their ending zero, and 24
// bytes of the application's own after it.
std::vector<std::uint8_t> TableAndTail() {
  std::vector<std::uint8_t> block(276 + 24);
  block[0] = 0x00;
  block[1] = 0x0A;  // categories 1 and 3 renamed on the handheld
  const std::string names[] = {"Unfiled", "Business", "", "Personal"};
  for (int i = 0; i < 4; ++i) {
    std::copy(names[i].begin(), names[i].end(), block.begin() + 2 + 16 * i);
    block[2 + 16 * i + 15] = static_cast<std::uint8_t>(0xE0 + i);  // left behind the zero
  }
  for (int i = 0; i < 16; ++i) block[258 + i] = static_cast<std::uint8_t>(i < 4 ? i : 0);
  block[274] = 3;
  block[275] = 0x5A;
  for (int i = 0; i < 24; ++i) block[276 + i] = static_cast<std::uint8_t>(0x80 + i);
  return block;
}

// Imports the sample of `engine` with the "appInfo" given, exports it.
ToolResult ImportWithAppInfo(test::TempDir& dir, const Engine& e, const std::string& app_info,
                             const std::string& name) {
  std::string json =
      test::ReadText(std::string(CORVANE_SOURCE_DIR) + "/samples/" + e.engine + ".json");
  SetAppInfo(json, app_info);
  test::WriteText(dir.File(name + ".json"), json);
  return RunCorvane({"import", "--engine", e.engine, "--input", dir.File(name + ".json"), "-o",
                     dir.File(name + ".pdb")});
}

// Export gives the whole application-info block; import writes it back, the
// categories over its table: a block that is more than a table (an
// application's settings, field names) survives the trip.
TEST(RoundTrip, TheApplicationInfoBlockComesBack) {
  const std::string table_and_tail = Hex(TableAndTail());
  struct Case {
    const char* what;
    std::string given;  // the "appInfo" of the first import
  };
  const Case cases[] = {
      {"a category table and the application's own bytes", "\"" + table_and_tail + "\""},
      {"a block too short for a table", "\"0102030405060708090a\""},
  };
  for (const Engine& e : Samples()) {
    if (e.engine == "appforge" || e.engine == "java") continue;  // they build their own block
    for (const Case& c : cases) {
      SCOPED_TRACE(e.engine + ": " + c.what);
      test::TempDir dir;
      ASSERT_EQ(ImportWithAppInfo(dir, e, c.given, "first").status, 0);
      const ToolResult exported = RunCorvane(Export(e, dir.File("first.pdb")));
      ASSERT_EQ(exported.status, 0) << exported.err;
      EXPECT_EQ(std::string(1, '"').append(AppInfoOf(exported.out)).append(1, '"'), c.given);
      test::WriteText(dir.File("out.json"), exported.out);
      ASSERT_EQ(RunCorvane({"import", "--engine", e.engine, "--input", dir.File("out.json"), "-o",
                            dir.File("second.pdb")})
                    .status,
                0);
      EXPECT_EQ(test::ReadAll(dir.File("second.pdb")), test::ReadAll(dir.File("first.pdb")));
    }
  }
}

// A category renamed in the export changes its 16 bytes of the block and
// nothing else; categories the block cannot hold are refused.
TEST(RoundTrip, CategoriesAreWrittenOverTheBlocksTable) {
  const Engine& e = Samples()[1];  // pocketstudio
  test::TempDir dir;
  ASSERT_EQ(ImportWithAppInfo(dir, e, "\"" + Hex(TableAndTail()) + "\"", "first").status, 0);
  std::string json = RunCorvane(Export(e, dir.File("first.pdb"))).out;
  ReplaceAll(json, "{\"index\": 2, \"name\": \"\", \"id\": 2}",
             "{\"index\": 2, \"name\": \"Travel\", \"id\": 9}", 1);
  test::WriteText(dir.File("renamed.json"), json);
  ASSERT_EQ(RunCorvane({"import", "--engine", e.engine, "--input", dir.File("renamed.json"), "-o",
                        dir.File("renamed.pdb")})
                .status,
            0);
  std::vector<std::uint8_t> expected = TableAndTail();
  std::fill(expected.begin() + 2 + 32, expected.begin() + 2 + 48, std::uint8_t{0});
  const std::string travel = "Travel";
  std::copy(travel.begin(), travel.end(), expected.begin() + 2 + 32);
  expected[258 + 2] = 9;
  EXPECT_EQ(AppInfoOf(RunCorvane(Export(e, dir.File("renamed.pdb"))).out), Hex(expected));

  // A short block with a table of categories beside it.
  std::string table = "\"categories\": [";
  for (int i = 0; i < 16; ++i) {
    table += std::string(i ? ", " : "") + "{\"index\": " + std::to_string(i) +
             ", \"name\": \"\", \"id\": " + std::to_string(i) + "}";
  }
  std::string shorter =
      test::ReadText(std::string(CORVANE_SOURCE_DIR) + "/samples/" + e.engine + ".json");
  ReplaceAll(shorter, "\"categories\": null", table + "]", 1);
  SetAppInfo(shorter, "\"0102\"");
  test::WriteText(dir.File("short.json"), shorter);
  const ToolResult refused = RunCorvane({"import", "--engine", e.engine, "--input",
                                         dir.File("short.json"), "-o", dir.File("short.pdb")});
  EXPECT_NE(refused.status, 0);
  EXPECT_NE(refused.err.find("\"appInfo\" holds 2 bytes, too few for the categories"),
            std::string::npos)
      << refused.err;
  EXPECT_FALSE(std::filesystem::exists(dir.File("short.pdb")));
}

// Files other programs wrote, rebuilt from their export through the generic
// engine: a database's own block (a 568-byte field and view description, a
// memo application's table with its sort order) is kept byte for byte.
TEST(RoundTrip, OtherProgramsBlocksComeBack) {
  const std::string corpus = std::string(CORVANE_SHARED_DIR) + "/corpus/";
  struct Case {
    const char* file;
    std::vector<std::string> fields;
  };
  const Case cases[] = {
      {"jfile-100movies.pdb", {"Rank:pdtString", "Title:pdtString", "Year:pdtString"}},
      {"pim-MemoDB-Treo.pdb", {"Memo:pdtString"}},
  };
  int ran = 0;
  for (const Case& c : cases) {
    const std::string path = corpus + c.file;
    if (!std::filesystem::exists(path)) continue;
    SCOPED_TRACE(c.file);
    ++ran;
    test::TempDir dir;
    std::vector<std::string> args = {"export", "--engine", "generic"};
    for (const std::string& f : c.fields) args.insert(args.end(), {"--field", f});
    args.push_back(path);
    const ToolResult exported = RunCorvane(args);
    ASSERT_EQ(exported.status, 0) << exported.err;
    test::WriteText(dir.File("out.json"), exported.out);
    ASSERT_EQ(RunCorvane({"import", "--engine", "generic", "--input", dir.File("out.json"), "-o",
                          dir.File("again.pdb")})
                  .status,
              0);
    args.back() = dir.File("again.pdb");
    const ToolResult again = RunCorvane(args);
    EXPECT_EQ(AppInfoOf(again.out), AppInfoOf(exported.out));
    EXPECT_GT(AppInfoOf(again.out).size(), 2 * 276u);
  }
  if (ran == 0) GTEST_SKIP() << "no shared corpus at " << corpus;
}

}  // namespace app_info

}  // namespace
}  // namespace corvane
