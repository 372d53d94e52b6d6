// The header import writes: what the input and the options say (app mode
// too), dates and attribute bits the file cannot hold refused by name, and
// the stored bytes of a file's dates carried through export and import.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tool_runner.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using test::RunCorvane;
using test::ToolResult;

const std::string kSamples = std::string(CORVANE_SOURCE_DIR) + "/samples/";
const std::string kCorpus = std::string(CORVANE_SHARED_DIR) + "/corpus/";

std::string Line(const std::string& text, const std::string& key) {
  const std::size_t at = text.find("\n" + key);
  if (at == std::string::npos) return {};
  return text.substr(at + 1, text.find('\n', at + 1) - at - 1);
}

std::vector<std::uint8_t> HeaderAfterName(const std::string& path) {
  std::vector<std::uint8_t> b = test::ReadAll(path);
  if (b.size() < 78) return {};
  return std::vector<std::uint8_t>(b.begin() + 32, b.begin() + 78);
}

struct HeaderImport : ::testing::Test {
  test::TempDir dir;
  std::string memo;
  void SetUp() override {
    memo = dir.File("memo.json");
    test::WriteText(memo, R"({"app":"memo","records":[{"text":"hello"}]})");
  }
};

TEST_F(HeaderImport, RefusesBitsARecordDatabaseMayNotHaveNamingThem) {
  const std::string generic = kSamples + "generic.json";
  test::WriteText(dir.File("res.json"),
                  R"({"app":"memo","database":{"attributes":9},"records":[]})");
  struct Case {
    std::vector<std::string> args;
    std::string named;
  };
  const std::vector<Case> cases = {
      {{"import", "--input", memo, "--attributes", "1"}, "0x0001 (resource)"},
      {{"import", "--input", dir.File("res.json")}, "0x0001 (resource)"},
      {{"import", "--input", memo, "--attributes", "4104"}, "0x1000 (undefined)"},
      {{"import", "--engine", "generic", "--input", generic, "--attributes", "1"},
       "0x0001 (resource)"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"-o", dir.File("out.pdb")});
    SCOPED_TRACE(args[2]);
    const ToolResult r = RunCorvane(args);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.File("out.pdb")));
  }
}

TEST_F(HeaderImport, RefusesDatesTheHeaderCannotHoldAndKeepsTheOthersAsGiven) {
  for (const char* late : {"2200-01-01T00:00:00", "9999-12-31T00:00:00"}) {
    const ToolResult r = RunCorvane({"import", "--input", memo, "--created", late, "-o",
                                     dir.File("out.pdb")});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("(created)"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("2040-02-06"), std::string::npos) << r.err;
  }
  const ToolResult late_backup = RunCorvane({"import", "--input", memo, "--backed-up",
                                             "1969-12-31T00:00:00", "-o", dir.File("out.pdb")});
  EXPECT_EQ(late_backup.status, 1);
  EXPECT_NE(late_backup.err.find("(backedUp)"), std::string::npos) << late_backup.err;
  EXPECT_FALSE(fs::exists(dir.File("out.pdb")));
  // Before 1990 and before 1972 alike, as given.
  for (const char* early : {"1985-03-04T05:06:07", "1971-06-01T12:00:00"}) {
    SCOPED_TRACE(early);
    const ToolResult r = RunCorvane({"import", "--input", memo, "--created", early, "-o",
                                     dir.File("out.pdb")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string info = RunCorvane({"info", dir.File("out.pdb")}).out;
    EXPECT_NE(Line(info, "created:").find(early), std::string::npos) << info;
  }
}

TEST_F(HeaderImport, AppModeHonoursTheHeaderOptions) {
  const ToolResult r = RunCorvane(
      {"import", "--input", memo, "--attributes", "24", "--version", "3", "--created",
       "2001-02-03T04:05:06", "--modified", "2002-03-04T05:06:07", "--backed-up",
       "2003-04-05T06:07:08", "--modification-number", "77", "--unique-id-seed", "4242", "-o",
       dir.File("out.pdb")});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string info = RunCorvane({"info", dir.File("out.pdb")}).out;
  EXPECT_NE(Line(info, "attributes:").find("0x0018"), std::string::npos) << info;
  EXPECT_NE(Line(info, "version:").find("3"), std::string::npos) << info;
  EXPECT_NE(Line(info, "created:").find("2001-02-03T04:05:06"), std::string::npos) << info;
  EXPECT_NE(Line(info, "modified:").find("2002-03-04T05:06:07"), std::string::npos) << info;
  EXPECT_NE(Line(info, "backedUp:").find("2003-04-05T06:07:08"), std::string::npos) << info;
  EXPECT_NE(Line(info, "modificationNumber:").find("77"), std::string::npos) << info;
  EXPECT_NE(Line(info, "uniqueIDSeed:").find("4242"), std::string::npos) << info;
}

// A header value of the wrong kind is refused by its name rather than written
// as 0 (or left at the usual value), by the applications' import, the tables'
// and the e-books' alike; null still means "not given".
TEST_F(HeaderImport, RefusesAHeaderValueThatIsNotANumberNamingIt) {
  const std::string table = R"("app": "mobiledb", "table": {"fields": [
      {"name": "A", "type": "text", "width": 80}]}, "records": [{"A": "x"}])";
  const std::string memo_records = R"("app": "memo", "records": [{"text": "hello"}])";
  struct Case {
    std::string json, named;
  };
  const std::vector<Case> cases = {
      {"{" + memo_records + R"(, "database": {"version": "3"}})",
       R"("database"."version" must be a whole number from 0 to 65535)"},
      {"{" + memo_records + R"(, "database": {"modificationNumber": true}})",
       R"("database"."modificationNumber" must be a whole number)"},
      {"{" + memo_records + R"(, "database": {"uniqueIDSeed": "12"}})",
       R"("database"."uniqueIDSeed" must be a whole number)"},
      {"{" + memo_records + R"(, "database": {"attributes": 8.5}})",
       R"("database"."attributes" must be a whole number)"},
      {"{" + memo_records + R"(, "database": {"created": 1000}})",
       R"("database"."created" must be YYYY-MM-DDTHH:MM:SS or null)"},
      {"{" + table + R"(, "database": {"version": "2"}})",
       R"("database"."version" must be a whole number from 0 to 65535)"},
      {"{" + table + R"(, "database": {"modified": "yesterday"}})",
       R"("database"."modified" must be YYYY-MM-DDTHH:MM:SS or null)"},
      {R"({"app": "doc", "header": {"recordSize": "4096"}, "text": "Hello"})",
       R"("header"."recordSize" must be a whole number from 0 to 65535)"},
      {R"({"app": "doc", "header": {"compression": [2]}, "text": "Hello"})",
       R"("header"."compression" must be a whole number)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    test::WriteText(dir.File("in.json"), c.json);
    const ToolResult r =
        RunCorvane({"import", "--input", dir.File("in.json"), "-o", dir.File("out.pdb")});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir.File("out.pdb")));
  }
  for (const std::string& json :
       {"{" + memo_records + R"(, "database": {"version": null, "created": null}})",
        "{" + table + R"(, "database": {"version": null}})"}) {
    SCOPED_TRACE(json);
    test::WriteText(dir.File("in.json"), json);
    const ToolResult r =
        RunCorvane({"import", "--input", dir.File("in.json"), "-o", dir.File("out.pdb")});
    EXPECT_EQ(r.status, 0) << r.err;
    fs::remove(dir.File("out.pdb"));
  }
}

// A creation date before 1990 survives convert, which writes through a dataset.
TEST_F(HeaderImport, ConvertKeepsAnEarlyCreationDate) {
  ToolResult r = RunCorvane({"import", "--engine", "sqldriver", "--input",
                             kSamples + "sqldriver.json", "--created", "1980-05-06T07:08:09",
                             "-o", dir.File("in.pdb")});
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunCorvane({"convert", "--engine", "sqldriver", "--field", "Name:PDChar:20", "--field",
                  "Age:PDShort", "--field", "Points:PDInt", "--field", "Balance:PDLong", "--field",
                  "Rate:PDFloat", "--field", "Total:PDDouble", "--to", "sqldriver",
                  dir.File("in.pdb"), "-o", dir.File("out.pdb")});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string info = RunCorvane({"info", dir.File("out.pdb")}).out;
  EXPECT_NE(Line(info, "created:").find("1980-05-06T07:08:09"), std::string::npos) << info;
}

// AppForge names the header after the file unless --name asks otherwise;
// with --name, info (the header) and export (the field block) say the same.
TEST_F(HeaderImport, AnAppForgeDatabaseTakesTheNameAskedFor) {
  const std::string products = dir.File("products.pdb");
  const auto names = [&] {
    const std::string info = "\n" + RunCorvane({"info", products}).out;
    const std::string json = RunCorvane({"export", "--engine", "appforge", products}).out;
    const std::size_t at = json.find("\"name\": \"");
    if (at == std::string::npos) return std::make_pair(Line(info, "name:"), json);
    return std::make_pair(Line(info, "name:"), json.substr(at, json.find(',', at) - at));
  };
  const std::vector<std::vector<std::string>> writers = {
      {"import", "--engine", "appforge", "--input", kSamples + "appforge.json"},
      {"convert", "--engine", "appforge", "--to", "appforge", kSamples + "appforge.pdb"},
      {"convert", "--engine", "appforge", "--to", "pocketstudio", kSamples + "appforge.pdb"},
  };
  for (const auto& writer : writers) {
    const bool to_appforge = writer[0] == "import" || writer[4] == "appforge";
    SCOPED_TRACE(writer[0] + (to_appforge ? " to appforge" : " to pocketstudio"));
    std::vector<std::string> args = writer;
    args.insert(args.end(), {"--name", "Stock", "-o", products});
    ASSERT_EQ(RunCorvane(args).status, 0);
    if (!to_appforge) {
      EXPECT_EQ(Line("\n" + RunCorvane({"info", products}).out, "name:"),
                "name:               Stock");
      continue;
    }
    auto [header, block] = names();
    EXPECT_EQ(header, "name:               Stock");
    EXPECT_EQ(block, "\"name\": \"Stock\"");
    // Without --name the file's name, as before.
    args.resize(writer.size());
    args.insert(args.end(), {"-o", products});
    ASSERT_EQ(RunCorvane(args).status, 0);
    EXPECT_EQ(names().first, "name:               products");
  }
}

// Real files whose dates count seconds since 1970, or were made in 1972:
// export then import gives back the header as it was, byte for byte.
TEST_F(HeaderImport, ExportThenImportKeepsTheStoredDates) {
  for (const char* name : {"nsb-NSBJPGview-Lake_jpg.pdb", "doc-phppdb-bookmark_test.pdb"}) {
    SCOPED_TRACE(name);
    const std::string file = kCorpus + name;
    if (!fs::exists(file)) GTEST_SKIP() << "no corpus";
    const ToolResult e = RunCorvane({"export", "--app", "raw", file});
    ASSERT_EQ(e.status, 0) << e.err;
    test::WriteText(dir.File("x.json"), e.out);
    const ToolResult i = RunCorvane({"import", "--input", dir.File("x.json"), "-o",
                                     dir.File("back.pdb")});
    ASSERT_EQ(i.status, 0) << i.err;
    EXPECT_EQ(HeaderAfterName(dir.File("back.pdb")), HeaderAfterName(file));
  }
}

}  // namespace
}  // namespace corvane

namespace corvane {
namespace {

// An input that is a folder or is missing: the path and the system's reason.
TEST(ImportInput, NamesTheInputAndTheReasonItCannotBeRead) {
  test::TempDir dir;
  const struct {
    std::string input, reason;
  } cases[] = {{dir.path(), "Is a directory"}, {dir.File("book.txt"), "No such file or directory"}};
  for (const auto& c : cases) {
    for (const std::vector<std::string>& mode :
         {std::vector<std::string>{"--app", "memo"}, {"--engine", "generic"}}) {
      std::vector<std::string> args = {"import"};
      args.insert(args.end(), mode.begin(), mode.end());
      args.insert(args.end(), {"--input", c.input, "-o", dir.File("out.pdb")});
      SCOPED_TRACE(mode[1] + " " + c.input);
      const ToolResult r = RunCorvane(args);
      EXPECT_EQ(r.status, 1) << r.err;
      EXPECT_NE(r.err.find("'" + c.input + "': " + c.reason), std::string::npos) << r.err;
      EXPECT_EQ(r.err.find("bad_alloc"), std::string::npos) << r.err;
    }
  }
}

}  // namespace
}  // namespace corvane
