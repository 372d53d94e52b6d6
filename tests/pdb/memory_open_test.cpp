// Databases opened from bytes in memory and written into memory: the same
// checks, the same results and the same bytes as through a file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "corvane/foundation/exception.h"
#include "corvane/host/locale.h"
#include "corvane/pdb/base_mgr.h"
#include "fuzz/pdb_walk.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int code = 0;  // 0: opened
  std::string message;
  fuzz::WalkResult walked;
};

template <class Open>
Outcome Try(Open&& open) {
  Outcome o;
  try {
    o.walked = open();
  } catch (const EPDBException& e) {
    o.code = e.ErrorCode();
    o.message = e.what();
  }
  return o;
}

void ExpectSame(const Outcome& file, const Outcome& memory) {
  EXPECT_EQ(file.code, memory.code);
  EXPECT_EQ(file.message, memory.message);
  if (file.code == 0 && memory.code == 0) fuzz::CompareWalks(file.walked, memory.walked);
}

// Every seed and every real file: the outcome from memory is the outcome from the file.
TEST(MemoryOpen, GivesWhatTheFileGives) {
  ScopedThreadLanguage english("en_US");
  std::vector<fs::path> files;
  for (const std::string& dir : {std::string(CORVANE_SOURCE_DIR) + "/fuzz/corpus",
                                 std::string(CORVANE_SOURCE_DIR) + "/samples",
                                 std::string(CORVANE_SHARED_DIR) + "/corpus"}) {
    if (!fs::is_directory(dir)) continue;
    for (const auto& e : fs::directory_iterator(dir)) {
      const std::string ext = e.path().extension().string();
      if (e.is_regular_file() && (ext == ".pdb" || ext == ".PDB")) files.push_back(e.path());
    }
  }
  ASSERT_GT(files.size(), 20u);
  int refused = 0;
  for (const fs::path& p : files) {
    SCOPED_TRACE(p.filename().string());
    const Outcome from_file =
        Try([&] { return fuzz::WalkDatabase(p.parent_path().string(), p.filename().string()); });
    const std::vector<std::uint8_t> bytes = test::ReadAll(p.string());
    ExpectSame(from_file, Try([&] { return fuzz::WalkDatabase(bytes); }));
    ExpectSame(from_file, Try([&] {
                 TPDBBaseMgr db;
                 db.OpenDatabase(Bytes(bytes), "moved");
                 return fuzz::WalkOpenDatabase(db);
               }));
    if (from_file.code != 0) ++refused;
  }
  EXPECT_GT(refused, 0);
}

TEST(MemoryOpen, NamesTheBytesInFailuresAndRefusesWhatOpeningAFileRefuses) {
  ScopedThreadLanguage english("en_US");
  const std::vector<std::uint8_t> junk(40, 0xAB);
  TPDBBaseMgr db;
  try {
    db.OpenDatabase(junk, "upload #3");
    FAIL() << "opened 40 bytes";
  } catch (const EPDBException& e) {
    EXPECT_EQ(e.ErrorCode(), 7);
    EXPECT_STREQ(e.what(), "File is not in Palm Database Format (PDB)!");
    EXPECT_EQ(e.Path(), "upload #3");
    EXPECT_EQ(e.SystemError(), 0);
  }
  EXPECT_FALSE(db.isOpen());

  const std::vector<std::uint8_t> empty_db = test::PdbHeader("Empty", 0).U16(0).bytes;
  db.OpenDatabase(empty_db, "empty");
  EXPECT_TRUE(db.isOpen());
  EXPECT_EQ(db.SourceName(), "empty");
  EXPECT_EQ(db.DatabaseName(), "Empty");
  try {
    db.OpenDatabase(empty_db, "again");
    FAIL();
  } catch (const EPDBException& e) {
    EXPECT_EQ(e.ErrorCode(), 1);
  }
  db.CloseDatabase();

  TPDBBaseMgr writer;
  writer.SetOpenMode(dmModeWriteOnly);
  try {
    writer.OpenDatabase(Bytes(empty_db), "write-only");
    FAIL();
  } catch (const EPDBException& e) {
    EXPECT_EQ(e.ErrorCode(), 9);
  }
}

// A database written into memory is byte for byte the file CloseDatabase writes.
TEST(MemoryWrite, SameBytesAsTheFile) {
  test::TempDir dir;
  auto fill = [](TPDBBaseMgr& db) {
    db.SetAppInfoP(Bytes{1, 2, 3});
    for (std::uint8_t i = 0; i < 3; ++i) {
      db.SetCurrentRecord(Bytes(i + 1u, i));
      db.SetRecCategory(i);
      db.SetRecFlags(i == 1 ? TRecFlags{dmRecAttrDelete} : TRecFlags{});
      db.WriteRawRecord();
    }
  };
  auto prepare = [](TPDBBaseMgr& db) {
    db.SetOpenMode(dmModeWriteOnly);
    db.SetDBName("Same");
    db.SetCreatorID("test");
    db.SetDatabaseType("DATA");
    db.SetCreationDate(EncodeDate(2001, 2, 3));
  };
  TPDBBaseMgr to_file;
  prepare(to_file);
  to_file.SetDirectory(dir.path());
  to_file.SetPDBFilename("same.pdb");
  to_file.CreateDatabase();
  fill(to_file);
  to_file.CloseDatabase();
  EXPECT_TRUE(to_file.TakeWrittenImage().empty());

  TPDBBaseMgr to_memory;
  prepare(to_memory);
  to_memory.CreateDatabaseInMemory("same");
  fill(to_memory);
  to_memory.CloseDatabase();
  const Bytes image = to_memory.TakeWrittenImage();
  EXPECT_EQ(image, test::ReadAll(dir.File("same.pdb")));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
}  // namespace corvane
