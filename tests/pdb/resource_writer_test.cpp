// The resource database writer: the bytes of the header, list, gap, blocks
// and resources; what the reader makes of them; values kept as stored; and
// the replacement of a file only once it is whole.
#include "corvane/pdb/resource_writer.h"

#include <gtest/gtest.h>

#include "corvane/foundation/exception.h"
#include "corvane/host/datetime.h"
#include "corvane/pdb/resource_list.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using test::ByteWriter;

void Prepare(TPDBResourceMgr& db) {
  db.SetOpenMode(dmModeWriteOnly);
  db.SetDBName("Tiny");
  db.SetDatabaseType("appl");
  db.SetCreatorID("TEST");
}

TEST(ResourceWriter, WritesTheListGapBlocksAndResources) {
  TPDBResourceMgr db;
  Prepare(db);
  db.CreateDatabaseInMemory("tiny.prc");
  db.SetAttributes(0x0008);
  db.SetDBVersion(3);
  db.SetCreationDate(EncodeDate(2004, 1, 1));
  db.SetModification(9);
  db.SetAppInfoP({1, 2, 3});
  db.AddResource("code", 1, std::vector<std::uint8_t>{0xAA, 0xBB});
  db.AddResource("tAIB", 1000, std::vector<std::uint8_t>{});
  db.AddResource("ab", 7, std::vector<std::uint8_t>{0xCC});  // zero-padded to four bytes
  db.AddResource("code", 1, std::vector<std::uint8_t>{0xDD});  // duplicates are kept
  EXPECT_EQ(db.ResourceCount(), 4u);
  db.CloseDatabase();
  const Bytes file = db.TakeWrittenImage();

  ByteWriter want;
  const std::uint32_t data = 78 + 4 * 10 + 2 + 3;
  want.Str("Tiny", 32).U16(0x0009).U16(3).U32(0xBC191380).U32(0xBC191380).U32(0).U32(9);
  want.U32(78 + 40 + 2).U32(0).Str("appl", 4).Str("TEST", 4).U32(0).U32(0).U16(4);
  want.Str("code", 4).U16(1).U32(data);
  want.Str("tAIB", 4).U16(1000).U32(data + 2);
  want.Str("ab", 4).U16(7).U32(data + 2);
  want.Str("code", 4).U16(1).U32(data + 3);
  want.U16(0).U8(1).U8(2).U8(3).U8(0xAA).U8(0xBB).U8(0xCC).U8(0xDD);
  EXPECT_EQ(file, want.bytes);

  const pdb::ResourceDatabase read = pdb::ReadResourceDatabase(file, 0);
  ASSERT_EQ(read.resources.size(), 4u);
  EXPECT_EQ(read.app_info_size, 3u);
  EXPECT_EQ(read.resources[1].size, 0u);
  EXPECT_EQ(read.resources[2].type, std::string("ab\0\0", 4));
  EXPECT_EQ(read.resources[3].size, 1u);
  EXPECT_TRUE(pdb::CheckResourceList(file).size() == 1);  // only the repeated type and ID
}

TEST(ResourceWriter, StoredHeaderBytesWinOverTheProperties) {
  TPDBResourceMgr db;
  Prepare(db);
  db.CreateDatabaseInMemory("raw.prc");
  ByteWriter name;
  name.Str("empty", 6).U8('l').U8(0).U8(0x91).Str("", 23);  // junk after the name's end
  db.SetStoredNameField(std::span<const std::uint8_t, 32>(name.bytes.data(), 32));
  db.SetStoredDates(0x3A91ABB1, 2, 0);  // a Unix-epoch date, kept as it is
  db.SetGap({});
  db.SetSortInfoP({7});
  db.CloseDatabase();
  const Bytes file = db.TakeWrittenImage();
  ASSERT_EQ(file.size(), 79u);
  EXPECT_TRUE(std::equal(name.bytes.begin(), name.bytes.end(), file.begin()));
  EXPECT_EQ(file[36], 0x3A);
  EXPECT_EQ(file[39], 0xB1);
  EXPECT_EQ(file[43], 2);
  EXPECT_EQ(file[59], 78);  // the sort-info block right after the list
  EXPECT_EQ(file[78], 7);

  // Closing forgets them: the next database gets the usual header.
  db.CreateDatabaseInMemory("again.prc");
  db.CloseDatabase();
  const Bytes again = db.TakeWrittenImage();
  EXPECT_EQ(again.size(), 80u);
  EXPECT_EQ(std::string(again.begin(), again.begin() + 4), "Tiny");
  EXPECT_EQ(again[4], 0);
}

TEST(ResourceWriter, RefusesResourcesOutsideCreation) {
  TPDBResourceMgr db;
  try {
    db.AddResource("code", 0, std::vector<std::uint8_t>{1});
    FAIL() << "no database is being created";
  } catch (const EPDBException& e) {
    EXPECT_EQ(e.ErrorCode(), 1);
  }
}

TEST(ResourceWriter, ReplacesTheTargetOnlyWhenWhole) {
  test::TempDir dir;
  const std::string path = dir.File("app.prc");
  test::WriteAll(path, {1, 2, 3});
  {
    TPDBResourceMgr db;
    Prepare(db);
    db.CreateDatabaseFile(path);
    db.AddResource("code", 0, std::vector<std::uint8_t>{9});
    db.AbortDatabase();
  }
  EXPECT_EQ(test::ReadAll(path), (Bytes{1, 2, 3}));
  {
    TPDBResourceMgr db;
    Prepare(db);
    db.CreateDatabaseFile(path);
    db.AddResource("code", 0, std::vector<std::uint8_t>{9});
    // Left open: the destructor writes it.
  }
  const Bytes file = test::ReadAll(path);
  ASSERT_EQ(file.size(), 78u + 10 + 2 + 1);
  EXPECT_EQ(pdb::ReadResourceDatabase(file, 0).resources.at(0).type, "code");
  EXPECT_EQ(std::filesystem::directory_iterator(dir.path()) == std::filesystem::directory_iterator(),
            false);
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path())) ++files;
  EXPECT_EQ(files, 1u);  // no temporary file left behind

  TPDBResourceMgr unnamed;
  Prepare(unnamed);
  EXPECT_THROW(unnamed.CreateDatabaseFile(""), EPDBException);
}

}  // namespace
}  // namespace corvane
