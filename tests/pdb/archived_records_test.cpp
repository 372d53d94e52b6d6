// Records deleted on the handheld but archived for the desktop (the delete
// flag with category bit 0x08) keep their bytes through writing and reading;
// plainly deleted ones have none. And a name copied from another file keeps
// bytes above 0x7F.
#include <gtest/gtest.h>

#include "corvane/foundation/exception.h"
#include "corvane/pdb/base_mgr.h"
#include "corvane/pdb/file_format.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

TEST(ArchivedRecords, KeepTheirBytesWhereDeletedOnesHaveNone) {
  test::TempDir dir;
  struct Rec {
    Bytes data;
    std::uint8_t category;
    TRecFlags flags;
  };
  const Rec recs[] = {{{'a', 'b'}, 1, {}},
                      {{'g', 'o', 'n', 'e'}, 1, {dmRecAttrDelete}},        // dropped
                      {{'k', 'e', 'p', 't'}, 0x08 | 3, {dmRecAttrDelete}},  // archived
                      {{'z'}, 0, {dmRecAttrDirty}}};
  {
    TPDBBaseMgr m;
    m.SetDirectory(dir.path());
    m.SetPDBFilename("a.pdb");
    m.SetOpenMode(dmModeWriteOnly);
    m.SetStoredDBName("Ma\xF1" "ana");
    m.SetCreatorID("test");
    m.SetDatabaseType("DATA");
    m.CreateDatabase();
    m.SetKeepArchivedRecords(true);
    for (const Rec& r : recs) {
      m.SetCurrentRecord(r.data);
      m.SetRecCategory(r.category);
      m.SetRecFlags(r.flags);
      m.WriteRawRecord();
    }
    m.CloseDatabase();
  }
  const Bytes file = test::ReadAll(dir.File("a.pdb"));
  EXPECT_EQ(std::string(file.begin(), file.begin() + 7), std::string("Ma\xF1" "ana", 7));
  // Header, four entries, the gap, then ab kept z: nothing of "gone".
  ASSERT_EQ(file.size(), 78u + 4 * 8 + 2 + 2 + 4 + 1);
  EXPECT_EQ(std::string(file.end() - 7, file.end()), "abkeptz");

  TPDBBaseMgr m;
  m.SetDirectory(dir.path());
  m.SetPDBFilename("a.pdb");
  m.OpenDatabase();
  EXPECT_EQ(m.DatabaseName(), "Ma\xF1" "ana");
  const auto stored = [&](std::int32_t i) {
    const auto s = m.StoredRecordBytes(i);
    return Bytes(s.begin(), s.end());
  };
  EXPECT_EQ(stored(0), (Bytes{'a', 'b'}));
  EXPECT_TRUE(stored(1).empty());
  EXPECT_EQ(stored(2), (Bytes{'k', 'e', 'p', 't'}));
  EXPECT_EQ(stored(3), (Bytes{'z'}));
  // GetRecord still gives a deleted record no data, archived or not.
  std::shared_ptr<Bytes> data;
  std::int32_t size = 0, uid = 0;
  TRecFlags flags;
  std::uint8_t category = 0;
  m.GetRecord(2, data, size, flags, uid, category);
  EXPECT_FALSE(data);
  EXPECT_EQ(category, 0x08 | 3);
  EXPECT_THROW(m.StoredRecordBytes(4), EPDBException);
  m.CloseDatabase();
}

TEST(ArchivedRecords, AreWrittenWithoutDataUnlessAskedFor) {
  test::TempDir dir;
  TPDBBaseMgr m;
  m.SetDirectory(dir.path());
  m.SetPDBFilename("b.pdb");
  m.SetOpenMode(dmModeWriteOnly);
  m.SetDBName("B");
  m.SetCreatorID("test");
  m.SetDatabaseType("DATA");
  m.CreateDatabase();
  m.SetCurrentRecord(Bytes{'x', 'y'});
  m.SetRecCategory(0x08 | 1);
  m.SetRecFlags({dmRecAttrDelete});
  m.WriteRawRecord();
  m.CloseDatabase();
  EXPECT_EQ(test::ReadAll(dir.File("b.pdb")).size(), 78u + 8 + 2);
}

TEST(ArchivedRecords, StoredNamesRefuseControlBytesAndLength) {
  TPDBBaseMgr m;
  EXPECT_THROW(m.SetDBName("Ma\xF1" "ana"), EPDBException);  // the everyday setter keeps its rule
  m.SetStoredDBName("\xC6\xFC\xCB\xDC");
  EXPECT_EQ(m.DatabaseName(), "\xC6\xFC\xCB\xDC");
  EXPECT_THROW(m.SetStoredDBName("tab\there"), EPDBException);
  EXPECT_THROW(m.SetStoredDBName("del\x7F"), EPDBException);
  EXPECT_THROW(m.SetStoredDBName(std::string(32, 'x')), EPDBException);
  m.SetStoredDBName(std::string(31, 'x'));
}

}  // namespace
}  // namespace corvane
