// Every command that writes treats its output path alike: a symbolic link is
// written through (the link stays), and a path naming a FIFO, a socket, a
// device or a folder, directly or through a link, is refused with the path
// and the reason, and left as it was.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

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

// The two writing commands, each writing to `out`.
std::vector<std::vector<std::string>> Writers(const std::string& out) {
  return {
      {"import", "--engine", "generic", "--input", kSamples + "generic.json", "-o", out},
      {"convert", "--engine", "appforge", "--to", "appforge", kSamples + "appforge.pdb", "-o", out},
  };
}

TEST(WriteTargets, EveryCommandWritesThroughALink) {
  test::TempDir dir;
  fs::create_directory(dir.File("real"));
  for (const auto& args : Writers(dir.File("link.pdb"))) {
    SCOPED_TRACE(args[0]);
    fs::remove(dir.File("link.pdb"));
    fs::remove(dir.File("real/data.pdb"));
    fs::create_symlink("real/data.pdb", dir.File("link.pdb"));
    const ToolResult r = RunCorvane(args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir.File("link.pdb")));
    EXPECT_TRUE(fs::is_regular_file(dir.File("real/data.pdb")));
    EXPECT_EQ(RunCorvane({"info", dir.File("link.pdb")}).status, 0);
  }
}

TEST(WriteTargets, EveryCommandRefusesWhatIsNoRegularFile) {
  test::TempDir dir;
  ASSERT_EQ(::mkfifo(dir.File("fifo.pdb").c_str(), 0644), 0);
  fs::create_symlink("fifo.pdb", dir.File("to-fifo.pdb"));
  fs::create_directory(dir.File("folder"));
  fs::create_symlink("folder", dir.File("to-folder.pdb"));
  std::vector<std::pair<std::string, std::string>> targets = {
      {"fifo.pdb", "FIFO"},
      {"to-fifo.pdb", "FIFO"},
      {"to-folder.pdb", "Is a directory"},
  };
  // A device of its own (where the test may make one), never the system's.
  if (::mknod(dir.File("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0) {
    fs::create_symlink("null", dir.File("to-null.pdb"));
    targets.emplace_back("to-null.pdb", "device");
  }
  for (const auto& [name, why] : targets) {
    for (const auto& args : Writers(dir.File(name))) {
      SCOPED_TRACE(args[0] + " -o " + name);
      const ToolResult r = RunCorvane(args);
      EXPECT_EQ(r.status, 1) << r.err;
      EXPECT_NE(r.err.find(dir.File(name)), std::string::npos) << r.err;
      EXPECT_NE(r.err.find(why), std::string::npos) << r.err;
    }
  }
  struct stat st {};
  ASSERT_EQ(::lstat(dir.File("fifo.pdb").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  if (targets.size() > 3) {
    ASSERT_EQ(::lstat(dir.File("null").c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
  }
  EXPECT_TRUE(fs::is_empty(dir.File("folder")));
}

// A file that is replaced keeps who may read it, whichever command writes it;
// and a finished write leaves nothing of its own beside the file.
TEST(WriteTargets, EveryCommandKeepsTheModeOfTheFileItReplaces) {
  test::TempDir dir;
  fs::create_directory(dir.File("out"));
  const std::string out = dir.File("out/data.pdb");
  const std::vector<std::vector<std::string>> writers = Writers(out);
  for (const auto& args : writers) {
    SCOPED_TRACE(args[0] + " " + args[2]);
    fs::remove(out);
    ASSERT_EQ(RunCorvane(args).status, 0);
    ASSERT_EQ(::chmod(out.c_str(), 0604), 0);
    const ToolResult r = RunCorvane(args);
    ASSERT_EQ(r.status, 0) << r.err;
    struct stat st {};
    ASSERT_EQ(::stat(out.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir.File("out"))) {
      left.push_back(e.path().filename().string());
    }
    EXPECT_EQ(left, std::vector<std::string>{"data.pdb"});
  }
}

}  // namespace
}  // namespace corvane
