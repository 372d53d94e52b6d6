// The writer's byte layout, checked against hand-built files, and the writing
// manager's record cycle.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "corvane/foundation/exception.h"
#include "corvane/host/datetime.h"
#include "corvane/host/hooks.h"
#include "corvane/host/locale.h"
#include "corvane/pdb/base_mgr.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using test::ByteWriter;
using test::ReadAll;
using test::TempDir;

// A minimal engine: each record is a fixed payload set before Post.
class FixedEngine : public TPDBBaseMgr {
 public:
  using TPDBBaseMgr::TPDBBaseMgr;
  ~FixedEngine() override { CloseOnDestroy(); }
  void Append() {
    SetAppendMode(true);
    SetRecUniqueID(0);
  }
  std::vector<std::uint8_t> payload;
  int build_info_calls = 0;
  Bytes app_on_close;
  bool fail_on_close = false;

 protected:
  std::int32_t CalcFields() override { return static_cast<std::int32_t>(payload.size()); }
  void PackFields() override { std::copy(payload.begin(), payload.end(), PackBuffer().begin()); }
  void BuildPDBInfo() override {
    ++build_info_calls;
    if (fail_on_close) throw EInOutError("simulated failure");
    if (!app_on_close.empty()) SetAppInfoP(app_on_close);
  }
};

struct WriterFixture : ::testing::Test {
  TempDir dir;
  ScopedThreadLanguage english{"en_US"};

  void Prepare(TCorvane& m, const std::string& file = "out.pdb") {
    m.SetDirectory(dir.path());
    m.SetPDBFilename(file);
    m.SetOpenMode(dmModeWriteOnly);
    m.SetDBName("Test");
    m.SetCreatorID("test");
    m.SetDatabaseType("DATA");
    m.SetCreationDate(EncodeDate(2001, 2, 3) + EncodeTime(4, 5, 6, 0));
  }
  std::vector<std::uint8_t> Out(const std::string& file = "out.pdb") {
    return ReadAll(dir.File(file));
  }
};

std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at) {
  return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
         (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

// Seconds since 1904-01-01 of 2001-02-03 04:05:06.
constexpr std::uint32_t kCreated = 3064017906u;

TEST_F(WriterFixture, EmptyDatabaseIsHeaderAndGap) {
  TPDBBaseMgr m;
  Prepare(m);
  m.CreateDatabase();
  m.CloseDatabase();
  ByteWriter expect;
  expect.Str("Test", 32).U16(0).U16(0).U32(kCreated).U32(kCreated).U32(0).U32(0);
  expect.U32(0).U32(0).Str("DATA", 4).Str("test", 4).U32(0).U32(0).U16(0).U16(0);
  EXPECT_EQ(Out(), expect.bytes);
}

TEST_F(WriterFixture, OneRecordWithoutBlocks) {
  FixedEngine m;
  Prepare(m);
  m.CreateDatabase();
  m.payload = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  m.Append();
  m.SetRecCategory(5);
  m.SetRecFlags({dmRecAttrDirty});
  m.SetRecUniqueID(0x01020304);
  m.Post();
  m.CloseDatabase();
  const auto b = Out();
  ASSERT_EQ(b.size(), 98u);
  EXPECT_EQ(U32At(b, 52), 0u);  // no application-info block
  EXPECT_EQ(U32At(b, 78), 88u);
  EXPECT_EQ(b[82], 0x45);  // dirty, category 5
  EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 83, b.begin() + 86),
            (std::vector<std::uint8_t>{0x02, 0x03, 0x04}));
  EXPECT_EQ(b[86], 0);
  EXPECT_EQ(b[87], 0);
  EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 88, b.end()), m.payload);
}

TEST_F(WriterFixture, CategoryTableAndBlocksOffsets) {
  {
    FixedEngine m;
    Prepare(m);
    m.CreateDatabase();
    m.SetWriteCategory(true);
    for (int i = 0; i < 3; ++i) {
      m.payload = {static_cast<std::uint8_t>(i)};
      m.Append();
      m.Post();
    }
    m.CloseDatabase();
    const auto b = Out();
    EXPECT_EQ(U32At(b, 52), 104u);
    EXPECT_EQ(U32At(b, 78), 380u);
    EXPECT_EQ(b.size(), 383u);
    // Category IDs 0..15, then the last unique ID 15 and the filler.
    for (int i = 0; i < 16; ++i) EXPECT_EQ(b[104 + 258 + i], i);
    EXPECT_EQ(b[104 + 274], 15);
    EXPECT_EQ(b[104 + 275], 0);
  }
  {
    FixedEngine m;
    Prepare(m, "blocks.pdb");
    m.SetAppInfoP(Bytes(10, 0xAA));
    m.SetSortInfoP(Bytes(6, 0xBB));
    m.CreateDatabase();
    m.SetWriteCategory(true);
    m.SetCategory(1, "Business");
    m.SetCategory(2, "A name that is far too long");
    m.payload = {1, 2};
    m.Append();
    m.Post();
    m.Append();
    m.Post();
    m.CloseDatabase();
    const auto b = Out("blocks.pdb");
    EXPECT_EQ(U32At(b, 52), 96u);
    EXPECT_EQ(U32At(b, 56), 382u);
    EXPECT_EQ(U32At(b, 78), 388u);
    EXPECT_EQ(U32At(b, 86), 390u);
    EXPECT_EQ(b.size(), 392u);
    EXPECT_EQ(std::string(b.begin() + 96 + 18, b.begin() + 96 + 26), "Business");
    // A category name is cut to its 16 bytes, with no ending zero.
    EXPECT_EQ(std::string(b.begin() + 96 + 34, b.begin() + 96 + 50), "A name that is f");
    EXPECT_EQ(b[96 + 276], 0xAA);
    EXPECT_EQ(b[382], 0xBB);
  }
}

TEST_F(WriterFixture, CategoryTableAloneIs276Bytes) {
  FixedEngine m;
  Prepare(m);
  m.CreateDatabase();
  m.SetWriteCategory(true);
  m.CloseDatabase();
  const auto b = Out();
  EXPECT_EQ(U32At(b, 52), 80u);
  EXPECT_EQ(b.size(), 80u + 276u);
}

TEST_F(WriterFixture, DeletedRecordHasNoDataAndStartsWhereTheNextOneDoes) {
  FixedEngine m;
  Prepare(m);
  m.CreateDatabase();
  m.payload = {1, 1, 1};
  m.Append();
  m.Post();
  m.payload = {9, 9};
  m.Append();
  m.SetRecFlags({dmRecAttrDelete, dmRecAttrDirty});
  m.Post();
  m.SetRecFlags({});
  m.payload = {3, 3, 3, 3};
  m.Append();
  m.Post();
  m.CloseDatabase();
  const auto b = Out();
  ASSERT_EQ(b.size(), 104u + 7u);
  EXPECT_EQ(U32At(b, 78), 104u);
  EXPECT_EQ(U32At(b, 86), 107u);  // zero bytes up to the next record's data
  EXPECT_EQ(b[90], 0xC0);
  EXPECT_EQ(U32At(b, 94), 107u);

  // Reading it back, and reading the same file with the deleted entry's offset
  // 0, as older writers left it: the record before the deleted one ends where
  // the next live one starts.
  Bytes with_zero = b;
  for (std::size_t i = 86; i < 90; ++i) with_zero.at(i) = 0;
  for (const Bytes& file : {b, with_zero}) {
    TPDBBaseMgr r;
    r.OpenDatabase(file, "out.pdb");
    std::shared_ptr<Bytes> data;
    std::int32_t size = -7, uid = 0;
    TRecFlags flags;
    std::uint8_t cat = 0;
    r.GetRecord(0, data, size, flags, uid, cat);
    EXPECT_EQ(*data, (Bytes{1, 1, 1}));
    r.GetRecord(1, data, size, flags, uid, cat);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 3);  // unchanged
    EXPECT_TRUE(flags.Contains(dmRecAttrDelete));
    r.GetRecord(2, data, size, flags, uid, cat);
    EXPECT_EQ(*data, (Bytes{3, 3, 3, 3}));
  }
}

TEST_F(WriterFixture, HeaderDatesFollowTheirRules) {
  struct Case {
    TDateTime creation, modification, backup;
    bool creation_is_now;
    std::uint32_t want_mod, want_backup;
  };
  const TDateTime d1990 = EncodeDate(1990, 1, 1);
  const std::uint32_t s1990 = 2713996800u;
  const Case cases[] = {
      {d1990, 0, 0, false, s1990, 0},
      {EncodeDate(1989, 12, 31), 0, 0, true, 0, 0},
      {0, 0, 0, true, 0, 0},
      {d1990, d1990 + 1, d1990 + 2, false, s1990 + 86400, s1990 + 2 * 86400},
  };
  for (const Case& c : cases) {
    TPDBBaseMgr m;
    Prepare(m);
    m.SetCreationDate(c.creation);
    m.CreateDatabase();
    m.SetModificationDate(c.modification);
    m.SetLastBackupDate(c.backup);
    const TDateTime before = Now();
    m.CloseDatabase();
    const auto b = Out();
    const std::uint32_t created = U32At(b, 36);
    if (c.creation_is_now) {
      const std::uint32_t now = static_cast<std::uint32_t>((before - kPalmEpochDay) * 86400.0);
      EXPECT_NEAR(static_cast<double>(created), static_cast<double>(now), 5.0);
      EXPECT_EQ(U32At(b, 40), created);
    } else {
      EXPECT_EQ(created, s1990);
      EXPECT_EQ(U32At(b, 40), c.want_mod);
    }
    EXPECT_EQ(U32At(b, 44), c.want_backup);
  }
}

TEST_F(WriterFixture, LongNameIsCutTo31Bytes) {
  TPDBBaseMgr m;
  Prepare(m);
  m.SetDBName(" " + std::string(31, 'n') + " ");  // accepted: 31 once trimmed
  m.CreateDatabase();
  m.CloseDatabase();
  const auto b = Out();
  EXPECT_EQ(std::string(b.begin(), b.begin() + 31), " " + std::string(30, 'n'));
  EXPECT_EQ(b[31], 0);
}

TEST_F(WriterFixture, PostAndCancelNeedAppendMode) {
  FixedEngine m;
  Prepare(m);
  m.CreateDatabase();
  for (auto op : {+[](FixedEngine& e) { e.Post(); }, +[](FixedEngine& e) { e.Cancel(); }}) {
    try {
      op(m);
      FAIL() << "expected a failure";
    } catch (const EPDBException& e) {
      EXPECT_EQ(e.ErrorCode(), 1);
      EXPECT_STREQ(e.what(), "Not in Append mode!");
    }
  }
  m.Append();
  m.Post();
  EXPECT_THROW(m.Post(), EPDBException);
  EXPECT_EQ(m.RecordCount(), 1);
  try {
    m.SetRecCategory(16);
    FAIL();
  } catch (const EPDBException& e) {
    EXPECT_EQ(e.ErrorCode(), 1);
  }
  m.SetRecCategory(15);
  // The cursor cannot be used on a database being written.
  try {
    m.First();
    FAIL();
  } catch (const EPDBException& e) {
    EXPECT_EQ(e.ErrorCode(), 7);
  }
}

TEST_F(WriterFixture, RawRecordsShareTheirBlockAndGoFirstOrLast) {
  FixedEngine m;
  Prepare(m);
  m.CreateDatabase();
  {
    auto block = std::make_shared<Bytes>(Bytes{7, 7});
    m.SetCurrentRecord(block);
    m.WriteRawRecord();
    // The caller drops its block at once: the entry keeps the bytes alive.
  }
  m.SetCurrentRecord(Bytes{1});
  m.WriteRawRecordFirst();
  m.payload = {5};
  m.Append();
  m.Post();
  m.CloseDatabase();
  const auto b = Out();
  ASSERT_EQ(b.size(), 80u + 24u + 4u);
  EXPECT_EQ(std::vector<std::uint8_t>(b.begin() + 104, b.end()),
            (std::vector<std::uint8_t>{1, 7, 7, 5}));

  TPDBBaseMgr r;
  r.SetDirectory(dir.path());
  r.SetPDBFilename("out.pdb");
  try {
    r.SetCurrentRecord(Bytes{1});
    r.WriteRawRecord();
    FAIL();
  } catch (const EPDBException& e) {
    EXPECT_EQ(e.ErrorCode(), 1);
    EXPECT_STREQ(e.what(), "Database is not in Creation mode (dmModeWriteOnly)!");
  }
}

TEST_F(WriterFixture, The65536thRecordIsRefused) {
  FixedEngine m;
  Prepare(m);
  m.CreateDatabase();
  m.payload = {};
  for (int i = 0; i < 65535; ++i) {
    m.Append();
    m.Post();
  }
  m.Append();
  try {
    m.Post();
    FAIL();
  } catch (const EPDBException& e) {
    EXPECT_EQ(e.ErrorCode(), 2);
    EXPECT_STREQ(e.what(), "A database cannot hold more than 65535 records!");
  }
  EXPECT_TRUE(m.AppendMode());
  m.Cancel();
  EXPECT_THROW(m.WriteRawRecordFirst(), EPDBException);
  m.CloseDatabase();
  EXPECT_EQ(Out().size(), 80u + 8u * 65535u);
}

// The handheld cannot hold a record over 65535 bytes: such a record is refused
// before anything is added, however it is written.
TEST_F(WriterFixture, ARecordOver65535BytesIsRefused) {
  FixedEngine m;
  Prepare(m);
  m.CreateDatabase();
  const auto refused = [](auto&& write) {
    try {
      write();
    } catch (const EPDBException& e) {
      EXPECT_STREQ(e.what(), "A record cannot be longer than 65535 bytes!");
      return e.ErrorCode();
    }
    return 0;
  };
  m.payload.assign(65536, 7);
  m.Append();
  EXPECT_EQ(refused([&] { m.Post(); }), 3);
  EXPECT_TRUE(m.AppendMode());  // the caller may shorten a value and post again
  m.payload.assign(65535, 7);
  m.Post();
  m.SetCurrentRecord(Bytes(65536, 8));
  EXPECT_EQ(refused([&] { m.WriteRawRecord(); }), 3);
  EXPECT_EQ(refused([&] { m.WriteRawRecordFirst(); }), 3);
  m.SetCurrentRecord(std::make_shared<const Bytes>(std::size_t{50} << 20, 9));  // 50 MB
  EXPECT_EQ(refused([&] { m.WriteRawRecord(); }), 3);
  EXPECT_EQ(m.RecordCount(), 1);
  m.CloseDatabase();
  const auto b = Out();
  EXPECT_EQ(b.size(), 88u + 65535u);
  EXPECT_EQ(b[76] * 256 + b[77], 1);
}

TEST_F(WriterFixture, ReplacingAFileNeverLosesIt) {
  const std::vector<std::uint8_t> old = {'o', 'l', 'd'};
  test::WriteAll(dir.File("out.pdb"), old);
  auto count_files = [&] {
    return std::distance(std::filesystem::directory_iterator(dir.path()), {});
  };
  {
    FixedEngine m;
    Prepare(m);
    m.CreateDatabase();
    EXPECT_EQ(Out(), old);  // nothing replaced while the database is being written
    m.fail_on_close = true;
    EXPECT_THROW(m.CloseDatabase(), EInOutError);
    EXPECT_TRUE(m.isOpen());
    ExceptionHandlerHook prev = SetExceptionHandlerHook([](std::exception_ptr) {});
    // Destruction retries the close, fails again, and releases everything.
  }
  SetExceptionHandlerHook(nullptr);
  EXPECT_EQ(Out(), old);
  EXPECT_EQ(count_files(), 1);

  FixedEngine m;
  Prepare(m);
  m.CreateDatabase();
  m.CloseDatabase();
  EXPECT_EQ(Out().size(), 80u);
  EXPECT_EQ(count_files(), 1);
}

TEST_F(WriterFixture, DestroyingAnOpenEngineWritesWithItsOwnHooks) {
  std::vector<std::string> handled;
  SetExceptionHandlerHook([&](std::exception_ptr) { handled.push_back("x"); });
  {
    FixedEngine m;
    Prepare(m);
    m.app_on_close = {0xDE, 0xAD};
    m.CreateDatabase();
    m.payload = {4, 2};
    m.Append();
    m.Post();
  }
  SetExceptionHandlerHook(nullptr);
  EXPECT_TRUE(handled.empty());
  const auto b = Out();
  ASSERT_EQ(b.size(), 88u + 2u + 2u);
  EXPECT_EQ(U32At(b, 52), 88u);
  EXPECT_EQ(b[88], 0xDE);
  EXPECT_EQ(b[90], 4);
}

TEST_F(WriterFixture, CreateChecksInOrder) {
  struct Case {
    std::string dir, file, creator, type, name;
    int code;
  };
  const Case cases[] = {
      {"", "a.pdb", "test", "DATA", "n", 3},
      {"D", "", "test", "DATA", "n", 4},
      {"D", "a.pdb", "", "DATA", "n", 5},
      {"D", "a.pdb", "test", "", "", 6},
      {"D", "a.pdb", "test", "DATA", "  ", 8},
      {"/nonexistent/dir", "a.pdb", "test", "DATA", "n", 7},
  };
  for (const Case& c : cases) {
    TPDBBaseMgr m;
    m.SetOpenMode(dmModeWriteOnly);
    m.SetDirectory(c.dir == "D" ? dir.path() : c.dir);
    m.SetPDBFilename(c.file);
    m.SetCreatorID(c.creator);
    m.SetDatabaseType(c.type);
    m.SetDBName(c.name);
    try {
      m.CreateDatabase();
      FAIL() << c.code;
    } catch (const EPDBException& e) {
      EXPECT_EQ(e.ErrorCode(), c.code);
    }
    EXPECT_FALSE(m.isOpen());
  }
  TPDBBaseMgr m;
  try {
    m.CreateDatabase();
    FAIL();
  } catch (const EPDBException& e) {
    EXPECT_EQ(e.ErrorCode(), 1);
  }
  try {
    m.CloseDatabase();
    FAIL();
  } catch (const EPDBException& e) {
    EXPECT_EQ(e.ErrorCode(), 1);
    EXPECT_STREQ(e.what(), "Database not open!");
  }
}

}  // namespace
}  // namespace corvane
