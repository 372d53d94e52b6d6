// corvane rescue's command line: usage, the report on standard output, the
// summary, and the exit status by outcome.
#include <gtest/gtest.h>

#include <filesystem>

#include "tool_runner.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;
using test::RunCorvane;
using test::ToolResult;

const std::string kCorpus = std::string(CORVANE_SHARED_DIR) + "/corpus";

TEST(RescueCli, BadUsageIsExitTwoAndWritesNothing) {
  test::TempDir dir;
  fs::create_directories(dir.File("in"));
  EXPECT_EQ(RunCorvane({"rescue", dir.File("in")}).status, 2);  // no -o
  EXPECT_EQ(RunCorvane({"rescue", "-o", dir.File("out")}).status, 2);  // no input
  EXPECT_EQ(RunCorvane({"rescue", dir.File("in"), "-o", dir.File("out"), "-j", "0"}).status, 2);
  EXPECT_EQ(
      RunCorvane({"rescue", dir.File("in"), "-o", dir.File("out"), "--encoding", "klingon"}).status,
      2);
  const ToolResult inside = RunCorvane({"rescue", dir.File("in"), "-o", dir.File("in/out")});
  EXPECT_EQ(inside.status, 2);
  EXPECT_NE(inside.err.find("inside the input folder"), std::string::npos) << inside.err;
  EXPECT_FALSE(fs::exists(dir.File("out")));
  EXPECT_FALSE(fs::exists(dir.File("in/out")));
}

TEST(RescueCli, ExitStatusByOutcomeAndTheReportOnStandardOutput) {
  if (!fs::is_directory(kCorpus)) GTEST_SKIP() << "no corpus";
  test::TempDir dir;
  fs::create_directories(dir.File("good"));
  fs::create_directories(dir.File("none"));
  fs::copy_file(kCorpus + "/pim-MemoDB-Treo.pdb", dir.File("good/MemoDB.pdb"));
  fs::copy_file(kCorpus + "/neg-protein-1crn_ca.pdb", dir.File("none/protein.pdb"));

  const ToolResult good = RunCorvane({"rescue", dir.File("good"), "-o", dir.File("a"), "--json"});
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_EQ(good.out, test::ReadText(dir.File("a/rescue.json")));
  EXPECT_NE(good.out.find("\"kind\": \"memo\""), std::string::npos);
  // Standard error is no terminal here: no progress line, just the summary.
  EXPECT_EQ(good.err.find('\r'), std::string::npos);
  EXPECT_NE(good.err.find("1 files, 1 Palm databases: 1 rescued"), std::string::npos) << good.err;

  // Not one Palm database: nothing could be done.
  const ToolResult none = RunCorvane({"rescue", dir.File("none"), "-o", dir.File("b")});
  EXPECT_EQ(none.status, 1) << none.err;
  EXPECT_TRUE(fs::exists(dir.File("b/originals/protein.pdb")));

  // A folder that is there and one that is not: the rest is rescued, exit 3.
  const ToolResult some =
      RunCorvane({"rescue", dir.File("good"), dir.File("missing"), "-o", dir.File("c")});
  EXPECT_EQ(some.status, 3) << some.err;
  EXPECT_NE(test::ReadText(dir.File("c/rescue.json")).find("\"status\": \"unreadable\""),
            std::string::npos);

  // A second run into the same folder needs --force and replaces nothing.
  EXPECT_EQ(RunCorvane({"rescue", dir.File("good"), "-o", dir.File("a")}).status, 2);
  const ToolResult again = RunCorvane({"rescue", dir.File("good"), "-o", dir.File("a"), "--force"});
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_TRUE(fs::exists(dir.File("a/originals/MemoDB.pdb")));
  EXPECT_TRUE(fs::exists(dir.File("a/originals/MemoDB (2).pdb")));
  EXPECT_TRUE(fs::exists(dir.File("a/memos (2).txt")));
}

TEST(RescueCli, TablesAsTheirExportCsvWhateverWroteThem) {
  test::TempDir dir;
  fs::create_directories(dir.File("in"));
  test::WriteText(dir.File("rows.csv"),
                  "Name,Born,Alive\nAda,1915-12-10,false\n\"Turing, Alan\",1912-06-23,true\n");
  ASSERT_EQ(RunCorvane({"import", "--app", "mobiledb", "--input", dir.File("rows.csv"), "-o",
                        dir.File("in/People.pdb")})
                .status,
            0);
  fs::copy_file(std::string(CORVANE_SOURCE_DIR) + "/samples/appforge.pdb", dir.File("in/Stock.pdb"));
  const ToolResult r = RunCorvane({"rescue", dir.File("in"), "-o", dir.File("out")});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(test::ReadText(dir.File("out/tables/People.csv")),
            RunCorvane({"export", "--format", "csv", dir.File("in/People.pdb")}).out);
  EXPECT_EQ(test::ReadText(dir.File("out/tables/Stock.csv")),
            RunCorvane({"export", "--engine", "appforge", "--format", "csv", dir.File("in/Stock.pdb")})
                .out);
  const std::string report = test::ReadText(dir.File("out/rescue.json"));
  EXPECT_NE(report.find("\"kind\": \"mobiledb\""), std::string::npos);
  EXPECT_NE(report.find("\"engine\": \"appforge\""), std::string::npos);
}

}  // namespace
}  // namespace corvane
