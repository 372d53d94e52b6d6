// Files as users have them: any name, resource databases (.prc) listed the
// way Perl's Palm::PDB reads them, every header attribute named, and check
// telling problems from what is only odd about a category table.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <sstream>

#include "tool_runner.h"

namespace corvane {
namespace {

using test::RunCorvane;
using test::ToolResult;

const std::string kCorpus = std::string(CORVANE_SHARED_DIR) + "/corpus/";
const std::string kInterop = std::string(CORVANE_SOURCE_DIR) + "/tests/tools/interop/";

#define SKIP_WITHOUT(path)                                                               \
  if (!std::filesystem::exists(path)) GTEST_SKIP() << path << " is missing (the shared " \
                                                      "corpus of real files)"

bool PerlAvailable() {
  return std::system("perl -MPalm::PDB -MPalm::Raw -e1 >/dev/null 2>&1") == 0;
}

std::string RunPerl(const std::string& script, const std::string& file) {
  const test::TempDir tmp;
  const std::string cmd = "perl " + test::ShellQuote(kInterop + script) + " " +
                          test::ShellQuote(file) + " >" + test::ShellQuote(tmp.File("out"));
  EXPECT_EQ(std::system(cmd.c_str()), 0) << cmd;
  return test::ReadText(tmp.File("out"));
}

// `corvane records --data` of a resource database as read_prc.pl prints it:
// "type id offset size data" per resource.
std::string ResourceLines(const std::string& file) {
  const ToolResult r = RunCorvane({"records", "--data", file});
  EXPECT_EQ(r.status, 0) << r.err;
  std::istringstream in(r.out);
  std::string line, out;
  std::getline(in, line);  // the column names
  while (std::getline(in, line)) {
    std::istringstream cells(line);
    std::string index, type, id, offset, size, data;
    cells >> index >> type >> id >> offset >> size >> data;
    out += type + " " + id + " " + offset + " " + size + " " + (data.empty() ? "-" : data) + "\n";
  }
  return out;
}

TEST(AnyFile, ResourceListsAgreeWithPalmPdb) {
  if (!PerlAvailable()) GTEST_SKIP() << "perl or Palm::PDB (libpalm-perl) is missing";
  test::TempDir tmp;
  const std::string written = tmp.File("perl.prc");
  RunPerl("write_prc.pl", written);
  std::vector<std::string> files = {written};
  if (std::filesystem::exists(kCorpus + "nsb-runtime-Template.prc"))
    files.push_back(kCorpus + "nsb-runtime-Template.prc");
  for (const std::string& f : files) {
    SCOPED_TRACE(f);
    const std::string perl = RunPerl("read_prc.pl", f);
    ASSERT_FALSE(perl.empty());
    EXPECT_EQ(ResourceLines(f), perl);
  }
  // What Perl wrote: the header, its two named bits besides the resource
  // bit, and the 3-byte application-info block before the first resource.
  const ToolResult info = RunCorvane({"info", "--json", written});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("\"name\": \"Written by Perl\""), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("\"flags\": [\"resource\", \"backup\", \"bundle\"]"), std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("\"recordCount\": 5"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("\"appInfoSize\": 3"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("\"categories\": null"), std::string::npos) << info.out;
  const ToolResult check = RunCorvane({"check", written});
  EXPECT_EQ(check.status, 0) << check.out;
  EXPECT_EQ(check.out, "");
}

TEST(AnyFile, TheTemplateApplication) {
  const std::string prc = kCorpus + "nsb-runtime-Template.prc";
  SKIP_WITHOUT(prc);
  const ToolResult info = RunCorvane({"info", prc});
  ASSERT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("attributes:         0x0001 (resource)\n"), std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("type:               appl\ncreator:            NSBp\n"),
            std::string::npos);
  EXPECT_NE(info.out.find("resourceCount:      4\n"), std::string::npos) << info.out;
  const ToolResult json = RunCorvane({"records", "--json", prc});
  ASSERT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.out,
            "[\n"
            "  {\"index\": 0, \"type\": \"code\", \"id\": 1, \"offset\": 120, \"size\": 468},\n"
            "  {\"index\": 1, \"type\": \"tAIB\", \"id\": 1000, \"offset\": 588, \"size\": 144, "
            "\"bitmap\": [{\"offset\": 0, \"width\": 32, \"height\": 32, \"depth\": 1, "
            "\"version\": 0, \"density\": 72, \"compression\": \"none\", \"transparent\": false, "
            "\"colorTable\": false}]},\n"
            "  {\"index\": 2, \"type\": \"data\", \"id\": 0, \"offset\": 732, \"size\": 43},\n"
            "  {\"index\": 3, \"type\": \"code\", \"id\": 0, \"offset\": 775, \"size\": 24}\n"
            "]\n");
  const ToolResult exported = RunCorvane({"export", "--engine", "generic", "--field",
                                          "A:pdtByte", prc});
  EXPECT_EQ(exported.status, 1);
  EXPECT_EQ(exported.out, "");
  EXPECT_EQ(exported.err, "corvane: '" + prc +
                              "' is a resource database (type 'appl', creator 'NSBp', 4 "
                              "resources): it holds an application's resources, not records to "
                              "export; 'corvane records' lists them and 'corvane export "
                              "--resources DIR' writes them out\n");
  const ToolResult check = RunCorvane({"check", prc});
  EXPECT_EQ(check.status, 0) << check.out;
  // An empty resource database lists nothing; a zero-byte .prc is refused.
  const ToolResult empty = RunCorvane({"records", "--json", kCorpus + "prc-palmRI-empty-resdb.prc"});
  EXPECT_EQ(empty.status, 0) << empty.err;
  EXPECT_EQ(empty.out, "[]\n");
  const ToolResult zero = RunCorvane({"records", kCorpus + "neg-zero-bytes.prc"});
  EXPECT_EQ(zero.status, 1);
  EXPECT_EQ(zero.err, "corvane: cannot read '" + kCorpus +
                          "neg-zero-bytes.prc': File is not in Palm Database Format (PDB)! (it "
                          "is empty) (code 7)\n");
}

TEST(AnyFile, DamagedResourceListsAreRefused) {
  test::TempDir tmp;
  test::ByteWriter w = test::PdbHeader("R", 2, 0, 0, 0x0001);
  w.Str("code", 4).U16(0).U32(103).Str("data", 4).U16(0).U32(100).U16(0).Raw({1, 2, 3, 4});
  const std::string file = tmp.File("bad.prc");
  test::WriteAll(file, w.bytes);
  const ToolResult records = RunCorvane({"records", file});
  EXPECT_EQ(records.status, 1);
  EXPECT_EQ(records.err, "corvane: File is not in Palm Database Format (PDB)! (code 7)\n");
  const ToolResult check = RunCorvane({"check", file});
  EXPECT_EQ(check.status, 1);
  EXPECT_EQ(check.out, file + ": resource 1: data offset 100 is below resource 0's 103 (offsets "
                              "must ascend)\n");
}

TEST(AnyFile, EveryCommandReadsAnyName) {
  test::TempDir tmp;
  const std::vector<std::uint8_t> sample =
      test::ReadAll(std::string(CORVANE_SOURCE_DIR) + "/samples/java.pdb");
  for (const std::string name : {"java.PDB", "java", "java.prc", "java.pdb.bak"}) {
    SCOPED_TRACE(name);
    const std::string file = tmp.File(name);
    test::WriteAll(file, sample);
    const ToolResult info = RunCorvane({"info", file});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_NE(info.out.find("name:               Notes-JvNt\n"), std::string::npos) << info.out;
    const ToolResult records = RunCorvane({"records", file});
    EXPECT_EQ(records.status, 0) << records.err;
    EXPECT_EQ(records.out, RunCorvane({"records", "samples/java.pdb"}).out);
    const ToolResult exported =
        RunCorvane({"export", "--engine", "java", "--field", "Flags:JByte", "--field",
                    "Done:JBoolean", "--field", "Mark:JChar", "--field", "Id:JInt", "--field",
                    "Stamp:JLong", "--field", "Prio:JShort", "--field", "Text:JString",
                    "--field", "Due:JDate", "--format", "csv", file});
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_NE(exported.out.find("Call Bruno"), std::string::npos);
    const ToolResult check = RunCorvane({"check", file});
    EXPECT_EQ(check.status, 0) << check.out;
  }
  // Writing keeps the rule of the PDBFilename property.
  const ToolResult out = RunCorvane({"import", "--engine", "java", "--input", "samples/java.json",
                                     "-o", tmp.File("new.prc")});
  EXPECT_EQ(out.status, 2);
  EXPECT_NE(out.err.find(".pdb extension"), std::string::npos) << out.err;
}

TEST(AnyFile, InfoNamesEveryAttributeBit) {
  test::TempDir tmp;
  struct Case {
    std::uint16_t attributes;
    std::string text, json;
  };
  const Case cases[] = {
      {0xFFFE,
       "0xfffe (readOnly, appInfoDirty, backup, okToInstallNewer, resetAfterInstall, "
       "copyPrevention, stream, hidden, launchableData, recyclable, bundle, open, 0x1000, 0x2000, "
       "0x4000)",
       "[\"readOnly\", \"appInfoDirty\", \"backup\", \"okToInstallNewer\", "
       "\"resetAfterInstall\", \"copyPrevention\", \"stream\", \"hidden\", \"launchableData\", "
       "\"recyclable\", \"bundle\", \"open\", \"0x1000\", \"0x2000\", \"0x4000\"]"},
      {0x8088, "0x8088 (backup, stream, open)", "[\"backup\", \"stream\", \"open\"]"},
      {0x0200, "0x0200 (launchableData)", "[\"launchableData\"]"},
      {0x0000, "0x0000", "[]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string file = tmp.File("a.pdb");
    test::WriteAll(file, test::PdbHeader("A", 0, 0, 0, c.attributes).U16(0).bytes);
    const ToolResult text = RunCorvane({"info", file});
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_NE(text.out.find("attributes:         " + c.text + "\n"), std::string::npos)
        << text.out;
    const ToolResult json = RunCorvane({"info", "--json", file});
    EXPECT_NE(json.out.find("\"flags\": " + c.json + ",\n"), std::string::npos) << json.out;
  }
}

TEST(AnyFile, CategoryTableFindingsAreWarnings) {
  test::TempDir tmp;
  // Two named categories with one ID: the table is odd, the file is sound.
  std::vector<std::uint8_t> table(276, 0);
  for (const auto& [i, name] : {std::pair{0, "Unfiled"}, {1, "A"}, {2, "B"}})
    std::copy(name, name + std::strlen(name), table.begin() + 2 + 16 * i);
  for (int i = 0; i < 16; ++i) table[static_cast<std::size_t>(258 + i)] = i == 2 ? 1 : i;
  const std::string odd = tmp.File("odd.pdb");
  test::WriteAll(odd, test::PdbHeader("Odd", 0, 80).U16(0).Raw(table).bytes);
  // The same with a record whose data offset is past the end: a problem.
  test::ByteWriter damaged = test::PdbHeader("Bad", 1, 88);
  damaged.U32(9000).U32(0).U16(0).Raw(table);
  const std::string bad = tmp.File("bad.pdb");
  test::WriteAll(bad, damaged.bytes);
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {{"check", odd}, 0, "corvane: " + odd + ": 1 warning\n"},
      {{"check", "--strict", odd}, 1, "corvane: " + odd + ": 1 warning\n"},
      {{"check", bad}, 1, "corvane: " + bad + ": 1 problem, 1 warning\n"},
  };
  for (const Case& c : cases) {
    const ToolResult r = RunCorvane(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[1];
    EXPECT_EQ(r.err, c.err);
    EXPECT_NE(r.out.find(": warning: category 2: ID 1 is also category 1's\n"), std::string::npos)
        << r.out;
  }
  const std::string locus = kCorpus + "jfile-locus-poll.pdb";
  SKIP_WITHOUT(locus);
  const ToolResult r = RunCorvane({"check", locus});
  EXPECT_EQ(r.status, 0) << r.out;
  // Each finding is a warning.
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);)
    EXPECT_EQ(line.rfind(locus + ": warning: category ", 0), 0u) << line;
  EXPECT_EQ(r.err, "corvane: " + locus + ": 2 warnings\n");
}

}  // namespace
}  // namespace corvane
