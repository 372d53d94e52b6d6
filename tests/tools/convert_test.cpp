// export --sort / --where and convert, run as a user runs them on the
// engine samples: orders and choices of records, conversions between every
// pair of engines (read back through the target), and refusals that name the
// record and field and leave the output as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tool_runner.h"

namespace corvane {
namespace {

using test::RunCorvane;
using test::ToolResult;

// Each sample's engine and fields, as export takes them.
const std::map<std::string, std::vector<std::string>> kFields = {
    {"appforge", {}},
    {"pocketstudio",
     {"--field", "Done:PSBoolean", "--field", "Qty:PSInt16",     "--field", "Big:PSUInt32",
      "--field", "Day:PSDate",     "--field", "At:PSTime",       "--field", "When:PSDateTime",
      "--field", "Who:PSString",   "--field", "Code:PSString:6", "--field", "Ratio:PSSingle",
      "--field", "Price:PSDouble", "--field", "Blob:PSBinary"}},
    {"nsbasic",
     {"--field", "Room:NSBByte",    "--field", "Guests:NSBShort", "--field", "Id:NSBInteger",
      "--field", "Cost:NSBFloat",   "--field", "Tax:NSBSingle",   "--field", "Total:NSBDouble",
      "--field", "Day:NSBDate",     "--field", "Arrived:NSBTime", "--field", "Guest:NSBString",
      "--field", "Code:NSBString:4"}},
    {"java",
     {"--field", "Flags:JByte", "--field", "Done:JBoolean", "--field", "Mark:JChar", "--field",
      "Id:JInt", "--field", "Stamp:JLong", "--field", "Prio:JShort", "--field", "Text:JString",
      "--field", "Due:JDate"}},
    {"sqldriver",
     {"--field", "Name:PDChar:20", "--field", "Age:PDShort", "--field", "Points:PDInt", "--field",
      "Balance:PDLong", "--field", "Rate:PDFloat", "--field", "Total:PDDouble"}},
};

// What a conversion needs said for the fields the target has no type of that
// kind for, or would lose part of by default (a time of day in a date): the
// values then travel as doubles or texts.
const std::map<std::pair<std::string, std::string>, std::vector<std::string>> kToFields = {
    {{"appforge", "nsbasic"}, {"--to-field", "Added:NSBDouble"}},
    {{"appforge", "java"},
     {"--to-field", "Price:JString", "--to-field", "Weight:JString", "--to-field",
      "Score:JString"}},
    {{"appforge", "sqldriver"}, {"--to-field", "Added:PDDouble"}},
    {{"pocketstudio", "appforge"}, {"--to-field", "At:AFDouble"}},
    {{"pocketstudio", "nsbasic"}, {"--to-field", "When:NSBDouble"}},
    {{"pocketstudio", "java"}, {"--to-field", "Ratio:JString", "--to-field", "Price:JString"}},
    {{"pocketstudio", "sqldriver"},
     {"--to-field", "Day:PDDouble", "--to-field", "At:PDDouble", "--to-field", "When:PDDouble"}},
    {{"nsbasic", "appforge"}, {"--to-field", "Arrived:AFDouble"}},
    {{"nsbasic", "pocketstudio"}, {"--to-field", "Arrived:PSDouble"}},
    {{"nsbasic", "java"},
     {"--to-field", "Cost:JString", "--to-field", "Tax:JString", "--to-field", "Total:JString",
      "--to-field", "Arrived:JString"}},
    {{"nsbasic", "sqldriver"}, {"--to-field", "Day:PDDouble", "--to-field", "Arrived:PDDouble"}},
    {{"java", "nsbasic"}, {"--to-field", "Due:NSBDouble"}},
    {{"java", "sqldriver"}, {"--to-field", "Due:PDDouble"}},
    {{"sqldriver", "java"}, {"--to-field", "Rate:JString", "--to-field", "Total:JString"}},
};

std::vector<std::string> Cat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

std::string Sample(const std::string& engine) {
  return "samples/" + engine + ".pdb";
}

std::vector<std::string> CsvLines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find("\r\n", at);
    out.push_back(text.substr(at, end - at));
    if (end == std::string::npos) break;
    at = end + 2;
  }
  return out;
}

ToolResult Export(const std::string& engine, const std::string& file,
                  const std::vector<std::string>& extra) {
  return RunCorvane(Cat(Cat(Cat({"export", "--engine", engine}, kFields.at(engine)), extra),
                        {"--format", "csv", file}));
}

// The first column of every record, in the order export prints them.
std::vector<std::string> Firsts(const ToolResult& r) {
  std::vector<std::string> out;
  const auto lines = CsvLines(r.out);
  for (std::size_t i = 1; i < lines.size(); ++i)
    out.push_back(lines[i].substr(0, lines[i].find(',')));
  return out;
}

TEST(ExportView, SortsThroughTheDataSet) {
  struct Case {
    std::string engine;
    std::vector<std::string> options;
    std::vector<std::string> firsts;
  };
  const std::vector<Case> cases = {
      {"appforge", {"--sort", "Price"}, {"-7", "1001", "1002"}},
      {"appforge", {"--sort", "Price", "--desc"}, {"1002", "1001", "-7"}},
      // Ties keep file order ascending and reverse it descending.
      {"appforge", {"--sort", "InStock"}, {"1002", "1001", "-7"}},
      {"appforge", {"--sort", "InStock", "--desc"}, {"-7", "1001", "1002"}},
      {"appforge", {"--sort", "InStock,Code"}, {"1002", "-7", "1001"}},
      {"sqldriver", {"--sort", "Age"}, {"2", "1", "3"}},
      {"java", {"--sort", "Stamp", "--desc"}, {"7", "255"}},
      // An unsigned 32-bit number sorts as one: 0 before 4294967295.
      {"pocketstudio", {"--sort", "Big"}, {"false", "true"}},
      {"pocketstudio", {"--sort", "Big", "--desc"}, {"true", "false"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.engine + " " + c.options[1]);
    const ToolResult r = Export(c.engine, Sample(c.engine), c.options);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Firsts(r), c.firsts);
  }
}

TEST(ExportView, WhereChoosesThroughTheFilter) {
  struct Case {
    std::vector<std::string> options;
    std::vector<std::string> firsts;
  };
  const std::vector<Case> cases = {
      {{"--where", "InStock=true"}, {"1001", "-7"}},
      {{"--where", "InStock=true", "--where", "Qty=14"}, {"1001"}},
      {{"--where", "Name=Ha*"}, {"1001"}},
      {{"--where", "Name=ha*"}, {}},
      {{"--where", "Name=ha*", "--nocase"}, {"1001"}},
      {{"--where", "Name=hammer", "--nocase"}, {"1001"}},
      {{"--where", "Name=*"}, {"1001", "1002", "-7"}},
      {{"--where", "Added="}, {"1002"}},
      {{"--where", "InStock=true", "--sort", "Code"}, {"-7", "1001"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options[1]);
    const ToolResult r = Export("appforge", Sample("appforge"), c.options);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Firsts(r), c.firsts);
  }
  // JSON output takes the same choice.
  const ToolResult j =
      RunCorvane({"export", "--engine", "appforge", "--where", "Code=1002", Sample("appforge")});
  ASSERT_EQ(j.status, 0) << j.err;
  EXPECT_NE(j.out.find("\"Code\": 1002"), std::string::npos) << j.out;
  EXPECT_EQ(j.out.find("\"Code\": 1001"), std::string::npos) << j.out;
}

TEST(ExportView, RefusesWhatItCannotDo) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{"export", "--engine", "appforge", "--sort", "Nope", "samples/appforge.pdb"},
       2,
       "no field 'Nope'"},
      {{"export", "--engine", "appforge", "--where", "Nope=1", "samples/appforge.pdb"},
       2,
       "no field 'Nope'"},
      {{"export", "--engine", "appforge", "--where", "Code", "samples/appforge.pdb"},
       2,
       "FIELD=VALUE"},
      {{"export", "--engine", "appforge", "--desc", "samples/appforge.pdb"},
       2,
       "--desc needs --sort"},
      {{"export", "--engine", "generic", "--field", "A:pdtByte", "--sort", "A",
        "samples/generic.pdb"},
       2,
       "not generic"},
      {Cat(Cat({"export", "--engine", "pocketstudio"}, kFields.at("pocketstudio")),
           {"--sort", "Blob", "samples/pocketstudio.pdb"}),
       1, "Blob"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    const ToolResult r = RunCorvane(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
  }
}

// ---------------------------------------------------------------------------

struct Convert : ::testing::Test {
  test::TempDir dir;
};

// Every pair of engines: the sample of the first converted to the second, read
// back through the second, gives the same number of records, and within one
// engine the same records byte for byte.
TEST_F(Convert, BetweenEveryPairOfEngines) {
  const std::vector<std::string> engines = {"appforge", "pocketstudio", "nsbasic", "java",
                                            "sqldriver"};
  for (const std::string& from : engines) {
    for (const std::string& to : engines) {
      SCOPED_TRACE(from + " -> " + to);
      const std::string out = dir.File(from + "-" + to + ".pdb");
      std::vector<std::string> fields = kFields.at(from);
      // PocketStudio's binary field has no kind elsewhere; a dataset reads the
      // records without it just as well.
      if (from == "pocketstudio" && to != from) fields.resize(fields.size() - 2);
      std::vector<std::string> args = Cat(Cat({"convert", "--engine", from}, fields), {"--to", to});
      if (auto t = kToFields.find({from, to}); t != kToFields.end()) args = Cat(args, t->second);
      const ToolResult r = RunCorvane(Cat(args, {Sample(from), "-o", out}));
      ASSERT_EQ(r.status, 0) << r.err;
      const ToolResult info = RunCorvane({"records", out});
      const ToolResult sample = RunCorvane({"records", Sample(from)});
      EXPECT_EQ(CsvLines(info.out).size(), CsvLines(sample.out).size());
      if (from == to) {
        const ToolResult a = RunCorvane({"records", "--data", Sample(from)});
        const ToolResult b = RunCorvane({"records", "--data", out});
        // Offsets may move with the header; the bytes of every record may not.
        auto data = [](const std::string& text) {
          std::vector<std::string> out;
          std::size_t at = 0;
          while ((at = text.find('\n', at)) != std::string::npos) {
            ++at;
            const std::size_t end = text.find('\n', at);
            const std::string line = text.substr(at, end - at);
            out.push_back(line.substr(std::min(line.size(), line.rfind(' ') + 1)));
          }
          return out;
        };
        EXPECT_EQ(data(a.out), data(b.out));
      }
    }
  }
}

TEST_F(Convert, CarriesTheHeaderUnlessOptionsSayOtherwise) {
  const std::string out = dir.File("out.pdb");
  ToolResult r = RunCorvane(Cat(Cat({"convert", "--engine", "sqldriver"}, kFields.at("sqldriver")),
                                {"--to", "nsbasic", Sample("sqldriver"), "-o", out}));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string a = RunCorvane({"info", Sample("sqldriver")}).out;
  const std::string b = RunCorvane({"info", out}).out;
  auto line = [](const std::string& text, const std::string& key) {
    const std::size_t at = text.find(key);
    return at == std::string::npos ? std::string() : text.substr(at, text.find('\n', at) - at);
  };
  for (const char* key : {"name:", "creator:", "type:", "created:", "attributes:"}) {
    EXPECT_EQ(line(a, key), line(b, key)) << key;
  }
  r = RunCorvane(Cat(Cat({"convert", "--engine", "sqldriver"}, kFields.at("sqldriver")),
                     {"--to", "nsbasic", "--name", "Renamed", "--creator", "Nw01", "--type", "Tabl",
                      Sample("sqldriver"), "-o", out}));
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string c = RunCorvane({"info", out}).out;
  EXPECT_NE(line(c, "name:").find("Renamed"), std::string::npos);
  EXPECT_NE(line(c, "creator:").find("Nw01"), std::string::npos);
  EXPECT_NE(line(c, "type:").find("Tabl"), std::string::npos);

  // The values arrive: the SQL Driver's rows read through NS Basic.
  const ToolResult e = RunCorvane({"export", "--engine", "nsbasic", "--field", "Name:NSBString",
                                   "--field", "Age:NSBInteger", "--field", "Points:NSBInteger",
                                   "--field", "Balance:NSBDouble", "--field", "Rate:NSBDouble",
                                   "--field", "Total:NSBDouble", "--format", "csv", out});
  ASSERT_EQ(e.status, 0) << e.err;
  EXPECT_EQ(CsvLines(e.out)[1], "Ana Souza,34,1200,1234567890123,0.15000000596046448,2500.75");
}

// Databases come off handhelds and backups under any name: sorting,
// filtering and converting read them as well as a .pdb, from memory: nothing
// goes to the temporary directory, which may be missing or unwritable (/proc
// takes no files even from root, to whom a mode of 0555 is no bar).
TEST_F(Convert, ReadsFilesOfAnyName) {
  const std::string odd = dir.File("Products.PDB.bak");
  std::filesystem::copy_file(std::string(CORVANE_SOURCE_DIR) + "/" + Sample("appforge"), odd);
  const std::string tmp = dir.File("tmp"), locked = dir.File("locked");
  std::filesystem::create_directory(tmp);
  std::filesystem::create_directory(locked);
  std::filesystem::permissions(locked, std::filesystem::perms(0555));
  const std::vector<std::string> view = {"--sort", "Price", "--where", "InStock=true"};
  const ToolResult want = Export("appforge", Sample("appforge"), view);
  ASSERT_EQ(want.status, 0) << want.err;
  const std::string out = dir.File("out.pdb");
  for (const std::string& temp : {tmp, dir.File("missing"), locked, std::string("/proc")}) {
    SCOPED_TRACE(temp);
    const ToolResult got =
        RunCorvane(Cat(Cat(Cat({"export", "--engine", "appforge"}, kFields.at("appforge")), view),
                       {"--format", "csv", odd}),
                   "", "C", temp);
    ASSERT_EQ(got.status, 0) << got.err;
    EXPECT_EQ(got.out, want.out);

    std::filesystem::remove(out);
    const ToolResult converted =
        RunCorvane(Cat(Cat({"convert", "--engine", "appforge"}, kFields.at("appforge")),
                       {"--to", "nsbasic", "--to-field", "Added:NSBDouble", odd, "-o", out}),
                   "", "C", temp);
    ASSERT_EQ(converted.status, 0) << converted.err;
    EXPECT_EQ(CsvLines(RunCorvane({"records", out}).out).size(),
              CsvLines(RunCorvane({"records", Sample("appforge")}).out).size());
  }
  EXPECT_TRUE(std::filesystem::is_empty(tmp));
  EXPECT_TRUE(std::filesystem::is_empty(locked));
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
  std::filesystem::permissions(locked, std::filesystem::perms::owner_all);
}

TEST_F(Convert, RefusalsNameTheRecordAndFieldAndLeaveTheOutputAlone) {
  const std::string out = dir.File("out.pdb");
  test::WriteText(out, "earlier file");
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const std::vector<Case> cases = {
      // 1234567890123 has no room in 32 bits.
      {Cat(Cat({"convert", "--engine", "sqldriver"}, kFields.at("sqldriver")),
           {"--to", "appforge", "--to-field", "Balance:AFLong"}),
       1, "record 1, field 'Balance'"},
      // 1200 does not fit a byte.
      {Cat(Cat({"convert", "--engine", "sqldriver"}, kFields.at("sqldriver")),
           {"--to", "pocketstudio", "--to-field", "Points:PSInt8"}),
       1, "record 1, field 'Points'"},
      // A time of day is lost in a date.
      {Cat({"convert", "--engine", "appforge"}, {"--to", "nsbasic"}), 1, "record 0, field 'Added'"},
      // A text longer than the fixed width.
      {Cat(Cat({"convert", "--engine", "sqldriver"}, kFields.at("sqldriver")),
           {"--to", "pocketstudio", "--to-field", "Name:PSString:3"}),
       1, "record 1, field 'Name'"},
      {Cat({"convert", "--engine", "appforge"}, {"--to", "sqldriver"}), 2, "--to-field Added:TYPE"},
      {Cat({"convert", "--engine", "appforge"}, {"--to", "generic"}), 2, "not generic"},
      {Cat({"convert", "--engine", "appforge"}, {"--to", "nsbasic", "--to-field", "Nope:NSBByte"}),
       2, "no field 'Nope'"},
      {Cat({"convert", "--engine", "appforge"}, {"--to", "nsbasic", "--to-field", "Code:NSBLong"}),
       2, "unknown type 'NSBLong'"},
      {Cat({"convert", "--engine", "appforge"}, {}), 2, "missing --to"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.err);
    const std::string in = c.args[2] == "appforge" ? Sample("appforge") : Sample(c.args[2]);
    const ToolResult r = RunCorvane(Cat(c.args, {in, "-o", out}));
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    EXPECT_EQ(test::ReadText(out), "earlier file");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
    EXPECT_EQ(files, 1u) << "no scratch file stays behind";
  }
}

TEST(ConvertHelp, IsListedAndDocumented) {
  EXPECT_NE(RunCorvane({"--help"}).out.find("convert"), std::string::npos);
  const ToolResult r = RunCorvane({"convert", "--help"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("--to-field"), std::string::npos);
  EXPECT_NE(RunCorvane({"export", "--help"}).out.find("--where"), std::string::npos);
}

}  // namespace
}  // namespace corvane
