// A damaged or unsuitable file is refused naming the file and, where the
// reader knows it, the record and the offsets at fault: the message alone
// ("Error reading Record!") leaves a user with 300 files nothing to act on.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "corvane/foundation/exception.h"
#include "corvane/host/locale.h"
#include "corvane/pdb/base_mgr.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

struct Refusal {
  int code = 0;
  std::string path, reason;
};

// Opens `path` and reads every record; the first refusal.
Refusal OpenAndRead(const std::string& path) {
  TPDBBaseMgr db;
  db.SetOpenMode(dmModeReadOnly);
  try {
    db.OpenDatabaseFile(path);
    for (std::int32_t i = 0; i < db.RecordCount(); ++i) (void)db.StoredRecordBytes(i);
    db.CloseDatabase();
  } catch (const EPDBException& e) {
    EXPECT_FALSE(e.Reason().empty()) << e.what();
    return {e.ErrorCode(), e.Path(), e.Reason()};
  }
  return {};
}

// Two records of four bytes at the given offsets, after a header and list of 96 bytes.
std::vector<std::uint8_t> TwoRecords(std::uint32_t first, std::uint32_t second,
                                     std::uint32_t app_info = 0) {
  test::ByteWriter w = test::PdbHeader("Faults", 2, app_info);
  w.U32(first).U32(0x00000001).U32(second).U32(0x00000002).U16(0);
  w.U32(0x11111111).U32(0x22222222);
  return w.bytes;
}

TEST(FaultPlaces, DamagedFilesNameTheRecordOrBlockAndItsOffsets) {
  ScopedThreadLanguage english("en_US");
  test::TempDir dir;
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    int code;
    std::vector<std::string> said;
  };
  const std::vector<Case> cases = {
      {"past-end.pdb", TwoRecords(96, 5000), 6, {"record 0", "5000", "past the end", "104"}},
      {"backwards.pdb", TwoRecords(100, 96), 8, {"record 0", "100", "96"}},
      {"no-offset.pdb", TwoRecords(0, 96), 6, {"record 0", "offset is 0"}},
      {"app-info.pdb",
       TwoRecords(96, 100, 9999),
       10,
       {"application-info block", "9999", "past the end"}},
      {"app-info-after.pdb", TwoRecords(96, 100, 98), 10, {"application-info block", "98", "96"}},
      {"empty.pdb", {}, 7, {"it is empty"}},
      {"short.pdb", std::vector<std::uint8_t>(40, 0x41), 7, {"40 bytes", "78"}},
      {"resource.pdb",
       test::PdbHeader("Res", 0, 0, 0, 0x0001).U16(0).bytes,
       7,
       {"resource database"}},
      {"long-list.pdb", test::PdbHeader("List", 500).U16(0).bytes, 7, {"500 records", "80"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.File(c.name);
    test::WriteAll(path, c.bytes);
    const Refusal r = OpenAndRead(path);
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.path, path);
    for (const std::string& s : c.said) EXPECT_NE(r.reason.find(s), std::string::npos) << r.reason;
  }
  // The same from memory, with the name given for the bytes: one record
  // whose data would start past the end.
  test::ByteWriter one = test::PdbHeader("One", 1);
  one.U32(700).U32(1).U16(0).U32(0x11111111);
  TPDBBaseMgr db;
  db.SetOpenMode(dmModeReadOnly);
  try {
    db.OpenDatabase(one.bytes, "upload #4");
    (void)db.StoredRecordBytes(0);
    FAIL();
  } catch (const EPDBException& e) {
    EXPECT_EQ(e.ErrorCode(), 8);
    EXPECT_EQ(e.Path(), "upload #4");
    EXPECT_EQ(e.Reason(), "record 0: its data at offset 700 lies past the end of the file at 92");
  }
}

// A FIFO or a device exists: it is refused as what it is, not as missing, and
// never read (a FIFO would block).
TEST(FaultPlaces, AFileThatIsNoRegularFileIsNotCalledMissing) {
  test::TempDir dir;
  const std::string fifo = dir.File("pipe.pdb");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  Refusal r = OpenAndRead(fifo);
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.reason.find("FIFO"), std::string::npos) << r.reason;
  r = OpenAndRead("/dev/null");
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.reason.find("device"), std::string::npos) << r.reason;
  r = OpenAndRead(dir.File("absent.pdb"));
  EXPECT_EQ(r.code, 4);
  EXPECT_NE(r.reason.find("No such file"), std::string::npos) << r.reason;
}

}  // namespace
}  // namespace corvane
