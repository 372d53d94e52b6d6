// The whole-folder run: every input accounted for, originals byte for byte,
// the same files whatever the number of threads, nothing written inside an
// input, and files that fail or vanish reported while the others go on.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "corvane/rescue/rescue.h"
#include "corvane/rescue/sha256.h"
#include "support/temp_dir.h"

namespace corvane::rescue {
namespace {

namespace fs = std::filesystem;

std::string Corpus() { return std::string(CORVANE_SHARED_DIR) + "/corpus"; }

// Every file under `root` with its bytes, by relative path; the report's
// times and thread count aside.
std::map<std::string, std::vector<std::uint8_t>> Tree(const std::string& root) {
  std::map<std::string, std::vector<std::uint8_t>> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (!e.is_regular_file()) continue;
    const std::string rel = fs::relative(e.path(), root).generic_string();
    if (rel == "rescue.json" || rel == "index.html") continue;  // the times of the run
    files[rel] = test::ReadAll(e.path().string());
  }
  return files;
}

const FileReport* Find(const Report& r, std::string_view suffix) {
  for (const FileReport& f : r.files) {
    if (f.input.ends_with(suffix)) return &f;
  }
  return nullptr;
}

TEST(RescueRun, CorpusEveryFileAccountedForAndEveryOriginalKept) {
  if (!fs::is_directory(Corpus())) GTEST_SKIP() << "no corpus";
  test::TempDir dir;
  Options o;
  o.inputs = {Corpus()};
  o.output = dir.File("out");
  o.jobs = 2;
  const Report r = rescue::Run(o);
  std::size_t seen = 0;
  for (const auto& e : fs::directory_iterator(Corpus())) {
    if (!e.is_regular_file()) continue;
    ++seen;
    const std::string name = e.path().filename().string();
    const FileReport* f = Find(r, "/" + name);
    ASSERT_NE(f, nullptr) << name;
    const std::vector<std::uint8_t> bytes = test::ReadAll(e.path().string());
    EXPECT_EQ(f->sha256, Sha256Hex(bytes)) << name;
    EXPECT_EQ(f->size, bytes.size());
    ASSERT_FALSE(f->original.empty()) << name;
    EXPECT_EQ(test::ReadAll(o.output + "/" + f->original), bytes) << name;
    if (name.starts_with("neg-")) {
      EXPECT_TRUE(f->status == Status::kNotPalm || f->status == Status::kFailed) << name;
      if (f->status == Status::kFailed) {
        ASSERT_TRUE(f->error.has_value());
        EXPECT_FALSE(f->error->detail.empty());
      }
    } else if (name.ends_with(".pdb") || name.ends_with(".prc")) {
      EXPECT_NE(f->status, Status::kNotPalm) << name;
    }
    for (const OutputFile& out : f->outputs) EXPECT_TRUE(fs::exists(o.output + "/" + out.path)) << out.path;
  }
  EXPECT_EQ(r.files.size(), seen);
  EXPECT_TRUE(fs::is_regular_file(o.output + "/rescue.json"));
}

TEST(RescueRun, SameFilesWhateverTheThreads) {
  if (!fs::is_directory(Corpus())) GTEST_SKIP() << "no corpus";
  test::TempDir dir;
  Options o;
  o.inputs = {Corpus()};
  o.output = dir.File("one");
  o.jobs = 1;
  const Report one = rescue::Run(o);
  o.output = dir.File("two");
  o.jobs = 2;
  const Report two = rescue::Run(o);
  const auto a = Tree(dir.File("one")), b = Tree(dir.File("two"));
  ASSERT_EQ(a.size(), b.size());
  for (const auto& [path, bytes] : a) {
    ASSERT_TRUE(b.count(path)) << path;
    if (path.ends_with(".ics")) continue;  // DTSTAMP: the moment of writing
    EXPECT_EQ(bytes, b.at(path)) << path;
  }
  ASSERT_EQ(one.files.size(), two.files.size());
  for (std::size_t i = 0; i < one.files.size(); ++i) {
    EXPECT_EQ(one.files[i].input, two.files[i].input);
    EXPECT_EQ(one.files[i].status, two.files[i].status);
    ASSERT_EQ(one.files[i].outputs.size(), two.files[i].outputs.size());
    for (std::size_t k = 0; k < one.files[i].outputs.size(); ++k)
      EXPECT_EQ(one.files[i].outputs[k].path, two.files[i].outputs[k].path);
  }
}

TEST(RescueRun, RefusesAnOutputThatIsNotEmptyOrLiesInsideAnInput) {
  test::TempDir dir;
  fs::create_directories(dir.File("in/sub"));
  test::WriteAll(dir.File("in/a.pdb"), {1, 2, 3});
  Options o;
  o.inputs = {dir.File("in")};
  o.output = dir.File("in/sub/out");
  EXPECT_THROW(rescue::Run(o), RescueRefused);
  EXPECT_FALSE(fs::exists(dir.File("in/sub/out")));
  o.output = dir.File("in");
  EXPECT_THROW(rescue::Run(o), RescueRefused);
  o.inputs = {dir.File("in/sub")};
  o.output = dir.File("in");  // holds the input
  EXPECT_THROW(rescue::Run(o), RescueRefused);

  o.inputs = {dir.File("in/a.pdb")};
  o.output = dir.File("full");
  fs::create_directories(dir.File("full/originals"));
  test::WriteAll(dir.File("full/originals/a.pdb"), {9});
  EXPECT_THROW(rescue::Run(o), RescueRefused);
  // --force writes beside what is there and replaces none of it.
  o.force = true;
  const Report r = rescue::Run(o);
  EXPECT_EQ(test::ReadAll(dir.File("full/originals/a.pdb")), std::vector<std::uint8_t>{9});
  ASSERT_EQ(r.files.size(), 1u);
  EXPECT_EQ(r.files[0].original, "originals/a (2).pdb");
  EXPECT_EQ(test::ReadAll(dir.File("full/originals/a (2).pdb")),
            (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(r.files[0].status, Status::kNotPalm);
}

TEST(RescueRun, NamesAfterTheSourceWithClashesSuffixedInInputOrder) {
  if (!fs::is_directory(Corpus())) GTEST_SKIP() << "no corpus";
  test::TempDir dir;
  fs::create_directories(dir.File("in/A"));
  fs::create_directories(dir.File("in/b"));
  const auto memo = test::ReadAll(Corpus() + "/pim-MemoDB-Treo.pdb");
  test::WriteAll(dir.File("in/A/MemoDB.pdb"), memo);
  test::WriteAll(dir.File("in/b/memodb.PDB"), memo);
  Options o;
  o.inputs = {dir.File("in")};
  o.output = dir.File("out");
  o.jobs = 2;
  const Report r = rescue::Run(o);
  ASSERT_EQ(r.files.size(), 2u);
  EXPECT_EQ(r.files[0].original, "originals/MemoDB.pdb");
  EXPECT_EQ(r.files[1].original, "originals/memodb (2).PDB");
  EXPECT_EQ(r.files[0].counts.memos, r.files[1].counts.memos);
  EXPECT_TRUE(r.files[0].outputs.front().path.starts_with("memos/MemoDB/"));
  EXPECT_TRUE(r.files[1].outputs.front().path.starts_with("memos/memodb (2)/"));
  // memos.txt holds every memo of both, in input order.
  const FileReport& f = r.files[0];
  EXPECT_GT(f.counts.memos, 0);
  ASSERT_EQ(r.outputs.size(), 1u);
  EXPECT_EQ(r.outputs[0].path, "memos.txt");
  EXPECT_EQ(r.outputs[0].label, std::to_string(2 * f.counts.memos) + " memos");
}

TEST(RescueRun, LinksFollowedOnceAndLoopsRefused) {
  test::TempDir dir;
  fs::create_directories(dir.File("in/deep"));
  test::WriteAll(dir.File("in/deep/x.bin"), {7});
  fs::create_directory_symlink("..", dir.File("in/deep/up"));        // a loop
  fs::create_directory_symlink("deep", dir.File("in/again"));        // a second way in
  fs::create_symlink("deep/x.bin", dir.File("in/link.bin"));         // a second way to a file
  fs::create_symlink("missing", dir.File("in/dangling"));
  Options o;
  o.inputs = {dir.File("in")};
  o.output = dir.File("out");
  const Report r = rescue::Run(o);
  std::size_t x = 0, dangling = 0;
  for (const FileReport& f : r.files) {
    if (f.sha256 == Sha256Hex(std::vector<std::uint8_t>{7})) ++x;
    if (f.input.ends_with("dangling")) {
      ++dangling;
      EXPECT_EQ(f.status, Status::kUnreadable);
    }
  }
  EXPECT_EQ(x, 1u);
  EXPECT_EQ(dangling, 1u);
  EXPECT_GE(r.notes.size(), 2u);
}

TEST(RescueRun, AFileThatVanishesIsReportedAndTheRunGoesOn) {
  if (!fs::is_directory(Corpus())) GTEST_SKIP() << "no corpus";
  test::TempDir dir;
  fs::create_directories(dir.File("in"));
  const auto memo = test::ReadAll(Corpus() + "/pim-MemoDB-Treo.pdb");
  for (const char* n : {"a.pdb", "b.pdb", "c.pdb"}) test::WriteAll(dir.File("in/") + n, memo);
  Options o;
  o.inputs = {dir.File("in")};
  o.output = dir.File("out");
  o.jobs = 1;
  const Report r = rescue::Run(o, [&](const Progress& p) {
    if (p.event == Progress::Event::kStarting && p.current.ends_with("a.pdb"))
      fs::remove(dir.File("in/b.pdb"));
  });
  ASSERT_EQ(r.files.size(), 3u);
  EXPECT_EQ(r.files[0].status, Status::kRescued);
  EXPECT_EQ(r.files[1].status, Status::kUnreadable);
  ASSERT_TRUE(r.files[1].error.has_value());
  EXPECT_NE(r.files[1].error->message.find("gone"), std::string::npos);
  EXPECT_EQ(r.files[2].status, Status::kRescued);
}

TEST(RescueRun, CancelledRunsStopBeforeTheNextFile) {
  test::TempDir dir;
  fs::create_directories(dir.File("in"));
  for (const char* n : {"a", "b", "c"}) test::WriteAll(dir.File("in/") + n, {1});
  std::atomic<bool> cancel{false};
  Options o;
  o.inputs = {dir.File("in")};
  o.output = dir.File("out");
  o.jobs = 1;
  const Report r = rescue::Run(o, [&](const Progress& p) {
    if (p.event == Progress::Event::kFinished) cancel = true;
  }, &cancel);
  EXPECT_TRUE(r.cancelled);
  EXPECT_EQ(r.files.size(), 1u);
  EXPECT_NE(ReportJson(r).find("\"cancelled\": true"), std::string::npos);
}

// A progress callback that raises (a closed window, a Python exception) on a
// worker thread must come back to the caller as that exception, with every
// thread stopped, the tables' thread included.
TEST(RescueRun, ACallbackThatRaisesStopsTheRunAndComesBack) {
  if (!fs::is_directory(Corpus())) GTEST_SKIP() << "no corpus";
  test::TempDir dir;
  fs::create_directories(dir.File("in"));
  const auto table = test::ReadAll(Corpus() + "/jfile-locus-poll.pdb");
  for (int i = 0; i < 6; ++i) test::WriteAll(dir.File("in/") + std::to_string(i) + ".pdb", table);
  for (unsigned jobs : {1u, 2u}) {
    Options o;
    o.inputs = {dir.File("in")};
    o.output = dir.File("out" + std::to_string(jobs));
    o.jobs = jobs;
    std::atomic<int> finished{0};
    EXPECT_THROW(rescue::Run(o,
                             [&](const Progress& p) {
                               if (p.event == Progress::Event::kFinished && ++finished == 2)
                                 throw std::logic_error("window closed");
                             }),
                 std::logic_error)
        << jobs;
    EXPECT_LT(finished.load(), 6) << jobs;
    EXPECT_FALSE(fs::exists(o.output + "/rescue.json")) << jobs;
    EXPECT_FALSE(fs::exists(o.output + "/tables.sqlite")) << jobs;
  }
}

}  // namespace
}  // namespace corvane::rescue
