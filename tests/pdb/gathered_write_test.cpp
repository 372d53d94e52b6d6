// The writer hands the file system the header and list from one block and
// every record from its own: record counts past the system's limits on one
// call, empty, deleted and long records among them, a refused write, and a
// file too large for its 32-bit offsets.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "corvane/foundation/exception.h"
#include "corvane/host/datetime.h"
#include "corvane/host/exceptions.h"
#include "corvane/host/hooks.h"
#include "corvane/host/locale.h"
#include "corvane/pdb/base_mgr.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

struct Record {
  Bytes data;
  bool deleted = false;
  std::uint8_t category = 0;
  std::int32_t unique_id = 0;
};

// Every 7th record empty, every 11th deleted, every 500th longer than a page.
std::vector<Record> MakeRecords(int count) {
  std::vector<Record> records;
  for (int i = 0; i < count; ++i) {
    Record r;
    const std::size_t size = i % 7 == 0 ? 0 : i % 500 == 1 ? 5000 + i : 20 + i % 90;
    for (std::size_t j = 0; j < size; ++j) r.data.push_back(static_cast<std::uint8_t>(i + j * 3));
    r.deleted = i % 11 == 0;
    r.category = static_cast<std::uint8_t>(i % 16);
    r.unique_id = i + 1;
    records.push_back(std::move(r));
  }
  return records;
}

void Prepare(TCorvane& m, const std::string& dir) {
  m.SetDirectory(dir);
  m.SetPDBFilename("out.pdb");
  m.SetOpenMode(dmModeWriteOnly);
  m.SetDBName("Batches");
  m.SetCreatorID("test");
  m.SetDatabaseType("DATA");
  m.SetCreationDate(EncodeDate(2001, 2, 3));
}

// Writes the records to dir/out.pdb, or into memory when `dir` is empty.
Bytes Write(const std::string& dir, const std::vector<Record>& records) {
  TPDBBaseMgr m;
  Prepare(m, dir.empty() ? "." : dir);
  if (dir.empty()) {
    m.CreateDatabaseInMemory("memory");
  } else {
    m.CreateDatabase();
  }
  m.SetWriteCategory(true);
  m.SetCategory(1, "One");
  m.SetAppInfoP(Bytes{1, 2, 3});
  m.SetSortInfoP(Bytes{4, 5});
  for (const Record& r : records) {
    m.SetCurrentRecord(r.data);
    m.SetRecCategory(r.category);
    m.SetRecUniqueID(r.unique_id);
    m.SetRecFlags(r.deleted ? TRecFlags{dmRecAttrDelete} : TRecFlags{});
    m.WriteRawRecord();
  }
  m.CloseDatabase();
  return m.TakeWrittenImage();
}

TEST(GatheredWrite, RecordCountsAroundTheSystemsLimitsReadBackByteForByte) {
  test::TempDir dir;
  for (const int count : {0, 1, 1023, 1024, 1025, 2047, 2048, 2049, 4100}) {
    SCOPED_TRACE(count);
    const auto records = MakeRecords(count);
    const Bytes in_memory = Write("", records);
    Write(dir.path(), records);
    const Bytes on_disk = test::ReadAll(dir.File("out.pdb"));
    EXPECT_EQ(on_disk, in_memory);

    std::size_t expected_size = 78 + 8 * records.size() + 2 + 276 + 3 + 2;
    for (const Record& r : records) expected_size += r.deleted ? 0 : r.data.size();
    EXPECT_EQ(on_disk.size(), expected_size);

    TPDBBaseMgr reader;
    reader.OpenDatabase(Bytes(on_disk), "out.pdb");
    ASSERT_EQ(reader.RecordCount(), count);
    for (int i = 0; i < count; ++i) {
      const Record& r = records[static_cast<std::size_t>(i)];
      std::shared_ptr<Bytes> data;
      std::int32_t size = 0, uid = 0;
      TRecFlags flags;
      std::uint8_t category = 0;
      reader.GetRecord(i, data, size, flags, uid, category);
      ASSERT_EQ(data ? *data : Bytes{}, r.deleted ? Bytes{} : r.data) << "record " << i;
      ASSERT_EQ(flags.Contains(dmRecAttrDelete), r.deleted) << "record " << i;
      ASSERT_EQ(category, r.category) << "record " << i;
      ASSERT_EQ(uid, r.unique_id) << "record " << i;
    }
    std::span<const std::uint8_t> sort;
    std::int32_t sort_length = 0;
    reader.GetSortInfoP(sort, sort_length);
    EXPECT_EQ(Bytes(sort.begin(), sort.end()), (Bytes{4, 5}));
  }
}

// The file system refuses the bytes part way (here a file size limit, as a
// full disk would): the failure is raised, the database is closed without a
// second attempt, and the file it was to replace keeps its bytes. In a child
// process, since the limit would hold for every later test.
TEST(GatheredWrite, ARefusedWriteLeavesTheOldFileAndClosesTheDatabase) {
  test::TempDir dir;
  const Bytes old = {'o', 'l', 'd'};
  test::WriteAll(dir.File("out.pdb"), old);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{100000, 100000};
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(100);
    static int handled = 0;
    SetExceptionHandlerHook([](std::exception_ptr) { ++handled; });
    int outcome = 1;
    {
      TPDBBaseMgr m;
      Prepare(m, dir.path());
      m.CreateDatabase();
      for (const Record& r : MakeRecords(3000)) {
        m.SetCurrentRecord(r.data);
        m.WriteRawRecord();
      }
      try {
        m.CloseDatabase();
      } catch (const EInOutError& e) {
        outcome = e.ErrorCode() == EFBIG && !m.isOpen() ? 0 : 2;
      }
    }
    ::_exit(outcome == 0 && handled != 0 ? 3 : outcome);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0)
      << "1: no failure raised, 2: another failure or still open, 3: written again on destruction";
  EXPECT_EQ(test::ReadAll(dir.File("out.pdb")), old);
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(e.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"out.pdb"});
}

// 65,535 records of 65,535 bytes pass every per-record check but end past
// 4 GiB, where the list's offsets would wrap into other records.
TEST(GatheredWrite, AFileLargerThanItsOffsetsCanReachIsRefusedBeforeWriting) {
  ScopedThreadLanguage english("en_US");
  test::TempDir dir;
  const Bytes old = {'o', 'l', 'd'};
  test::WriteAll(dir.File("out.pdb"), old);
  const auto largest = std::make_shared<const Bytes>(65535, std::uint8_t{0x5A});
  for (const bool in_memory : {true, false}) {
    SCOPED_TRACE(in_memory);
    TPDBBaseMgr m;
    Prepare(m, dir.path());
    if (in_memory) {
      m.CreateDatabaseInMemory("memory");
    } else {
      m.CreateDatabase();
    }
    m.SetCurrentRecord(largest);
    for (int i = 0; i < 65535; ++i) m.WriteRawRecord();
    try {
      m.CloseDatabase();
      ADD_FAILURE() << "a file past 4 GiB was written";
    } catch (const EPDBException& e) {
      EXPECT_EQ(e.ErrorCode(), 4);
      EXPECT_EQ(e.MessageId(), 60070);
      EXPECT_STREQ(e.what(), "A database cannot be larger than 4 GiB!");
    }
    m.AbortDatabase();
    EXPECT_TRUE(m.TakeWrittenImage().empty());
  }
  EXPECT_EQ(test::ReadAll(dir.File("out.pdb")), old);
}

}  // namespace
}  // namespace corvane
