// The sample databases shipped in samples/ are made by this library's own
// writer. This test rebuilds them and insists on the same bytes, so a change
// in the writer's output shows up here; set CORVANE_UPDATE_SAMPLES=1 to write
// the rebuilt files into samples/ instead (then review the difference).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "corvane/host/datetime.h"
#include "corvane/pdb/base_mgr.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

struct SampleRecord {
  std::string name, phone, email;  // Windows-1252, as a handheld stores them
  std::uint8_t category;
  TRecFlags flags;
  std::int32_t unique_id;
};

const std::vector<SampleRecord>& Contacts() {
  static const std::vector<SampleRecord> records = {
      {"Ana Souza", "+55 11 5555-0101", "ana@example.com", 1, {dmRecAttrDirty}, 0xA00001},
      {"Bruno Lima", "+55 21 5555-0102", "bruno@example.com", 2, {}, 0xA00002},
      {"Carla Mendes", "+351 21 555 0103", "carla@example.org", 2, {dmRecAttrSecret}, 0xA00003},
      // A deleted record keeps its entry but has no data.
      {"", "", "", 1, {dmRecAttrDelete, dmRecAttrDirty}, 0xA00004},
      {"Jos\xE9 Gon\xE7"
       "alves",
       "+55 31 5555-0105",
       "jose@example.com",
       3,
       {},
       0xA00005},
      {"Maria Oliveira", "+1 555 0106", "maria@example.net", 0, {dmRecAttrDirty}, 0xA00006},
  };
  return records;
}

const char* const kCategories[] = {"Unfiled", "Family", "Work", "Caf\xE9"};

Bytes ContactBytes(const SampleRecord& r) {
  Bytes b;
  for (const std::string* field : {&r.name, &r.phone, &r.email}) {
    b.insert(b.end(), field->begin(), field->end());
    b.push_back(0);
  }
  return b;
}

// Writes samples/contacts.pdb's content into `dir`. Fixed dates keep it
// identical from one run to the next.
void WriteContactsSample(const std::string& dir) {
  TPDBBaseMgr db;
  db.SetDirectory(dir);
  db.SetPDBFilename("contacts.pdb");
  db.SetOpenMode(dmModeWriteOnly);
  db.SetDBName("Contacts");
  db.SetDatabaseType("DATA");
  db.SetCreatorID("Crvn");
  db.CreateDatabase();
  db.SetCreationDate(EncodeDate(2024, 3, 1) + EncodeTime(9, 30, 0, 0));
  db.SetModificationDate(EncodeDate(2024, 5, 17) + EncodeTime(18, 45, 10, 0));
  db.SetModification(12);
  db.SetDBVersion(1);
  db.SetDBFlags({dmHdrAttrBackup});
  db.SetUniqueIDSeed(0xA00007);
  db.SetWriteCategory(true);
  for (std::uint8_t i = 0; i < std::size(kCategories); ++i) db.SetCategory(i, kCategories[i]);
  db.SetSortInfoP(Bytes{0x00, 0x01});  // sorted by name, ascending
  for (const SampleRecord& r : Contacts()) {
    if (r.flags.Contains(dmRecAttrDelete)) {
      db.Free();
    } else {
      db.SetCurrentRecord(ContactBytes(r));
    }
    db.SetRecCategory(r.category);
    db.SetRecFlags(r.flags);
    db.SetRecUniqueID(r.unique_id);
    db.WriteRawRecord();
  }
  db.CloseDatabase();
}

TEST(Samples, ContactsIsRebuiltByteForByte) {
  test::TempDir tmp;
  WriteContactsSample(tmp.path());
  const Bytes rebuilt = test::ReadAll(tmp.File("contacts.pdb"));
  const std::string shipped = std::string(CORVANE_SOURCE_DIR) + "/samples/contacts.pdb";
  if (const char* update = std::getenv("CORVANE_UPDATE_SAMPLES"); update && *update == '1') {
    test::WriteAll(shipped, rebuilt);
  }
  EXPECT_EQ(rebuilt, test::ReadAll(shipped)) << "samples/contacts.pdb differs from what the writer "
                                                "makes now; rerun with CORVANE_UPDATE_SAMPLES=1";
}

TEST(Samples, ContactsReadsBackAsWritten) {
  TCorvane db;
  db.SetDirectory(std::string(CORVANE_SOURCE_DIR) + "/samples");
  db.SetPDBFilename("contacts.pdb");
  db.OpenDatabase();
  EXPECT_EQ(db.DatabaseName(), "Contacts");
  EXPECT_EQ(db.CreatorID(), "Crvn");
  EXPECT_EQ(db.GetAttributes(), 0x0008);
  EXPECT_EQ(db.CreationDate(), EncodeDate(2024, 3, 1) + EncodeTime(9, 30, 0, 0));
  EXPECT_EQ(db.GetModificationDate(), EncodeDate(2024, 5, 17) + EncodeTime(18, 45, 10, 0));
  EXPECT_EQ(db.GetLastBackupDate(), 0);
  EXPECT_EQ(db.GetAppInfoOffset(), 80u + 8 * Contacts().size());
  for (std::uint8_t i = 0; i < 16; ++i) {
    EXPECT_EQ(db.GetCategory(i), i < std::size(kCategories) ? kCategories[i] : "");
    EXPECT_EQ(db.GetCategoryID(i), i);
  }
  ASSERT_EQ(db.RecordCount(), Contacts().size());
  for (std::int32_t i = 0; i < db.RecordCount(); ++i) {
    const SampleRecord& want = Contacts()[i];
    std::shared_ptr<Bytes> data;
    std::int32_t size = 0, uid = 0;
    TRecFlags flags;
    std::uint8_t category = 0;
    db.GetRecord(i, data, size, flags, uid, category);
    EXPECT_EQ(flags, want.flags) << i;
    EXPECT_EQ(uid, want.unique_id) << i;
    EXPECT_EQ(category, want.category) << i;
    if (want.flags.Contains(dmRecAttrDelete)) {
      EXPECT_EQ(data, nullptr) << i;
    } else {
      ASSERT_NE(data, nullptr) << i;
      EXPECT_EQ(*data, ContactBytes(want)) << i;
    }
  }
}

}  // namespace
}  // namespace corvane
