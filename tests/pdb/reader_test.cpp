// The reading side: property checks, opening, the cursor, record lengths,
// categories, and files that lie about themselves.
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "corvane/foundation/exception.h"
#include "corvane/foundation/messages.h"
#include "corvane/host/locale.h"
#include "corvane/pdb/base_mgr.h"
#include "corvane/pdb/file_format.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

using test::ByteWriter;
using test::PdbHeader;
using test::TempDir;

template <class F>
int CodeOf(F&& f) {
  try {
    f();
  } catch (const EPDBException& e) {
    return e.ErrorCode();
  }
  return 0;
}

// The code and message of the EPDBException `f` raises; {0, ""} when none.
template <class F>
std::pair<int, std::string> ErrorOf(F&& f) {
  try {
    f();
  } catch (const EPDBException& e) {
    return {e.ErrorCode(), e.what()};
  }
  return {0, ""};
}

TEST(Properties, SettersCheckInOrderAndKeepTheOldValueOnFailure) {
  ScopedThreadLanguage english("C");
  struct Case {
    void (TCorvane::*set)(const std::string&);
    const std::string& (TCorvane::*get)() const noexcept;
    std::string value;
    int code;
    int message;  // the setter's own message for that check
  };
  const Case cases[] = {
      {&TCorvane::SetDBName, &TCorvane::DatabaseName, std::string(31, 'a'), 0, 0},
      {&TCorvane::SetDBName, &TCorvane::DatabaseName, std::string(32, 'a'), 1, 10400},
      {&TCorvane::SetDBName, &TCorvane::DatabaseName, "  " + std::string(31, 'a') + " ", 0, 0},
      {&TCorvane::SetDBName, &TCorvane::DatabaseName, "tab\there", 2, 10410},
      {&TCorvane::SetDBName, &TCorvane::DatabaseName, "ma\xF1" "ana", 2, 10410},
      {&TCorvane::SetDBName, &TCorvane::DatabaseName, "with spaces inside", 0, 0},
      {&TCorvane::SetCreatorID, &TCorvane::CreatorID, "ab1Z", 0, 0},
      {&TCorvane::SetCreatorID, &TCorvane::CreatorID, "abc", 1, 10600},
      {&TCorvane::SetCreatorID, &TCorvane::CreatorID, "ab-c", 2, 10610},
      {&TCorvane::SetCreatorID, &TCorvane::CreatorID, "abcd ", 2, 10610},
      {&TCorvane::SetCreatorID, &TCorvane::CreatorID, "", 0, 0},
      {&TCorvane::SetDatabaseType, &TCorvane::DatabaseType, "DATA", 0, 0},
      {&TCorvane::SetDatabaseType, &TCorvane::DatabaseType, "DATAS", 1, 10800},
      {&TCorvane::SetDatabaseType, &TCorvane::DatabaseType, "DA_A", 2, 10810},
      {&TCorvane::SetPDBFilename, &TCorvane::PDBFilename, "data.pdb", 0, 0},
      {&TCorvane::SetPDBFilename, &TCorvane::PDBFilename, "DATA.PDB", 0, 0},
      {&TCorvane::SetPDBFilename, &TCorvane::PDBFilename, "data.pdb.bak", 1, 11000},
      {&TCorvane::SetPDBFilename, &TCorvane::PDBFilename, "data", 1, 11000},
      {&TCorvane::SetPDBFilename, &TCorvane::PDBFilename, "d\xE9j\xE0.pdb", 2, 11010},
  };
  for (const Case& c : cases) {
    TCorvane m;
    const std::string before = (m.*c.get)();
    const auto [code, message] = ErrorOf([&] { (m.*c.set)(c.value); });
    EXPECT_EQ(code, c.code) << c.value;
    EXPECT_EQ(message, c.message == 0 ? "" : GetLocaleString(c.message)) << c.value;
    EXPECT_EQ((m.*c.get)(), code == 0 ? c.value : before) << c.value;
  }
}

TEST(Properties, CurrentValueIsNeverCheckedAgain) {
  TCorvane m;
  m.SetCreatorID("abcd");
  EXPECT_EQ(CodeOf([&] { m.SetCreatorID("abcd"); }), 0);
  EXPECT_EQ(CodeOf([&] { m.SetCreatorID("   "); }), 0);  // blank: stored unchecked
  EXPECT_EQ(m.CreatorID(), "   ");
  m.SetDBFlags({dmHdrAttrBackup, dmHdrAttrCopyPrevention});
  EXPECT_EQ(m.GetAttributes(), 0x0048);
  EXPECT_TRUE(m.GetDBFlags().Contains(dmHdrAttrBackup));
  EXPECT_FALSE(m.GetDBFlags().Contains(dmHdrAttrReadOnly));
}

// A database file built by hand in a scratch directory.
struct ReaderFixture : ::testing::Test {
  TempDir dir;
  ScopedThreadLanguage english{"en_US"};

  void Write(const std::vector<std::uint8_t>& bytes, const std::string& name = "db.pdb") {
    test::WriteAll(dir.File(name), bytes);
  }
  void Bind(TCorvane& m, const std::string& name = "db.pdb") {
    m.SetDirectory(dir.path());
    m.SetPDBFilename(name);
  }
  // Three records of 3, 0 and 5 bytes, the last running to the end of the file.
  std::vector<std::uint8_t> ThreeRecords() {
    ByteWriter w = PdbHeader("Three", 3);
    w.U32(104).U8(0x12).U8(0).U8(0).U8(1);
    w.U32(107).U8(0x40).U8(0).U8(0).U8(2);
    w.U32(107).U8(0x9F).U8(0x12).U8(0x34).U8(0x56);
    w.U16(0);
    w.Raw({'a', 'b', 'c'}).Raw({1, 2, 3, 4, 5});
    return w.bytes;
  }
};

TEST_F(ReaderFixture, RecordLengthsFollowTheOffsets) {
  Write(ThreeRecords());
  TPDBBaseMgr m;
  Bind(m);
  m.OpenDatabase();
  EXPECT_EQ(m.RecordCount(), 3);
  EXPECT_EQ(m.DatabaseName(), "Three");
  std::shared_ptr<Bytes> data;
  std::int32_t size = 0, uid = 0;
  TRecFlags flags;
  std::uint8_t cat = 0;
  m.GetRecord(0, data, size, flags, uid, cat);
  EXPECT_EQ(*data, (Bytes{'a', 'b', 'c'}));
  EXPECT_EQ(cat, 2);
  EXPECT_TRUE(flags.Contains(dmRecAttrSecret));
  m.GetRecord(1, data, size, flags, uid, cat);
  EXPECT_EQ(size, 0);
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(data->empty());
  EXPECT_EQ(flags, TRecFlags({dmRecAttrDirty}));
  // The last record: deleted flag set, so no data, but category and unique ID still come.
  size = 42;
  m.GetRecord(2, data, size, flags, uid, cat);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(size, 42);
  EXPECT_EQ(uid, 0x123456);
  EXPECT_EQ(cat, 15);
  EXPECT_EQ(CodeOf([&] { m.GetRecord(3, data, size, flags, uid, cat); }), 2);
  EXPECT_EQ(CodeOf([&] { m.GetRecord(-1, data, size, flags, uid, cat); }), 2);
  EXPECT_EQ(m.GetRecCategoryID(0), 2);
  EXPECT_EQ(CodeOf([&] { m.GetRecCategoryID(3); }), 3);
  m.CloseDatabase();
  EXPECT_TRUE(m.Bof());
  EXPECT_TRUE(m.Eof());
}

TEST_F(ReaderFixture, CursorWalksBothWaysAndStopsAtTheEnds) {
  ByteWriter w = PdbHeader("Three", 3);
  for (int i = 0; i < 3; ++i) w.U32(104 + i).U8(0).U8(0).U8(0).U8(i);
  w.U16(0).Raw({10, 11, 12});
  Write(w.bytes);
  TPDBBaseMgr m;
  Bind(m);
  m.OpenDatabase();
  EXPECT_EQ(m.CurrentRecord()[0], 10);
  m.Next();
  m.Next();
  EXPECT_EQ(m.Cursor(), 2);
  EXPECT_FALSE(m.Bof());
  EXPECT_FALSE(m.Eof());
  EXPECT_EQ(m.CurrentRecord()[0], 12);
  m.Next();
  EXPECT_TRUE(m.Eof());
  EXPECT_EQ(m.Cursor(), 2);
  EXPECT_EQ(CodeOf([&] { m.Next(); }), 2);
  // Previous after EOF moves but leaves EOF set, so Next still refuses.
  m.Previous();
  EXPECT_EQ(m.Cursor(), 1);
  EXPECT_TRUE(m.Eof());
  EXPECT_EQ(CodeOf([&] { m.Next(); }), 2);
  m.Last();
  m.Previous();
  m.Next();
  EXPECT_EQ(m.Cursor(), 2);
  m.First();
  m.Previous();
  EXPECT_TRUE(m.Bof());
  EXPECT_EQ(CodeOf([&] { m.Previous(); }), 2);

  int visited = 0;
  for (m.First(); !m.Eof(); m.Next()) ++visited;
  EXPECT_EQ(visited, 3);
  visited = 0;
  for (m.Last(); !m.Bof(); m.Previous()) ++visited;
  EXPECT_EQ(visited, 3);
}

TEST_F(ReaderFixture, EmptyDatabaseCursor) {
  Write(PdbHeader("Empty", 0).U16(0).bytes);
  TPDBBaseMgr m;
  Bind(m);
  m.OpenDatabase();
  m.First();
  m.Last();
  m.Previous();
  EXPECT_TRUE(m.Bof());
  EXPECT_TRUE(m.Eof());
  m.Next();
  EXPECT_TRUE(m.Eof());
  EXPECT_EQ(m.FileSize(), 80);
  // No application-info block, so no categories.
  EXPECT_EQ(CodeOf([&] { m.GetCategory(0); }), 4);
  EXPECT_EQ(CodeOf([&] { m.GetCategory(16); }), 1);
}

TEST_F(ReaderFixture, OpenChecksInOrder) {
  Write(ThreeRecords());
  {
    TCorvane m;
    Bind(m);
    m.SetOpenMode(dmModeWriteOnly);
    EXPECT_EQ(CodeOf([&] { m.OpenDatabase(); }), 9);
  }
  {
    TCorvane m;
    EXPECT_EQ(CodeOf([&] { m.OpenDatabase(); }), 2);
    m.SetDirectory(dir.path());
    EXPECT_EQ(CodeOf([&] { m.OpenDatabase(); }), 3);
    m.SetPDBFilename("missing.pdb");
    EXPECT_EQ(CodeOf([&] { m.OpenDatabase(); }), 4);
    m.SetDirectory(dir.path() + "/");  // a trailing separator finds the same file
    m.SetPDBFilename("db.pdb");
    m.OpenDatabase();
    EXPECT_EQ(CodeOf([&] { m.OpenDatabase(); }), 1);
    EXPECT_EQ(CodeOf([&] { m.SetOpenMode(dmModeWriteOnly); }), 1);
    EXPECT_EQ(m.GetOpenMode(), dmModeReadOnly);
    EXPECT_EQ(CodeOf([&] { m.SetWriteCategory(true); }), 2);
  }
}

TEST_F(ReaderFixture, MalformedFilesAreRefusedWithTheirStepsCode) {
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    int code;
  };
  std::vector<Case> cases;
  cases.push_back({"shorter than a header", std::vector<std::uint8_t>(77, 0), 7});
  cases.push_back({"empty file", {}, 7});
  cases.push_back({"record list past the end", PdbHeader("x", 9).U16(0).bytes, 7});
  cases.push_back({"resource database", PdbHeader("x", 0, 0, 0, 0x0001).U16(0).bytes, 7});
  cases.push_back({"app-info offset past the end", PdbHeader("x", 0, 5000).U16(0).bytes, 10});
  cases.push_back({"sort-info before app-info", PdbHeader("x", 0, 80, 79).U16(0).Raw({1, 2}).bytes, 10});
  cases.push_back({"sort-info past the end", PdbHeader("x", 0, 0, 81).U16(0).bytes, 10});
  cases.push_back({"app-info after first record", [] {
                     ByteWriter w = PdbHeader("x", 1, 100);
                     w.U32(90).U32(0).U16(0).Raw(std::vector<std::uint8_t>(20, 0));
                     return w.bytes;
                   }(), 10});
  for (const Case& c : cases) {
    Write(c.bytes);
    TPDBBaseMgr m;
    Bind(m);
    EXPECT_EQ(CodeOf([&] { m.OpenDatabase(); }), c.code) << c.what;
    EXPECT_FALSE(m.isOpen()) << c.what;
  }
}

TEST_F(ReaderFixture, RecordsOutsideTheFileAreRefusedWhenRead) {
  ByteWriter w = PdbHeader("x", 2);
  w.U32(98).U32(0).U32(200).U32(0).U16(0).Raw({1, 2, 3, 4});
  Write(w.bytes);
  TPDBBaseMgr m;
  Bind(m);
  // Opening loads record 0, which would run up to record 1's offset, past the end of the file.
  EXPECT_EQ(CodeOf([&] { m.OpenDatabase(); }), 6);
  EXPECT_TRUE(m.isOpen());
  std::shared_ptr<Bytes> data;
  std::int32_t size = 0, uid = 0;
  TRecFlags flags;
  std::uint8_t cat = 0;
  // Record 1 starts past the end of the file: its length would be negative.
  EXPECT_EQ(CodeOf([&] { m.GetRecord(1, data, size, flags, uid, cat); }), 8);
  m.CloseDatabase();
}

TEST_F(ReaderFixture, CategoriesComeFromTheApplicationInfoBlock) {
  ByteWriter w = PdbHeader("Cats", 1, 88);
  w.U32(88 + 275).U8(0x03).U8(0).U8(0).U8(1).U16(0);
  w.U16(0);
  for (int i = 0; i < 16; ++i) w.Str(i == 3 ? "Sixteen bytes!!!" : "Cat" + std::to_string(i), 16);
  for (int i = 0; i < 16; ++i) w.U8(static_cast<std::uint8_t>(100 + i));
  w.U8(99);  // last unique ID; the filler byte is missing, as some writers leave it
  w.Raw({'r'});
  Write(w.bytes);
  TCorvane m;
  Bind(m);
  m.OpenDatabase();
  EXPECT_EQ(m.GetCategory(0), "Cat0");
  EXPECT_EQ(m.GetCategory(3), "Sixteen bytes!!!");
  EXPECT_EQ(m.GetCategoryID(15), 115);
  EXPECT_EQ(m.GetRecCategoryName(0), "Sixteen bytes!!!");
  std::span<const std::uint8_t> app;
  std::int32_t len = 0;
  m.GetAppInfoP(app, len);
  EXPECT_EQ(len, 275);
  m.CloseDatabase();
  EXPECT_EQ(CodeOf([&] { m.GetCategory(0); }), 2);

  // A block too short for the table.
  ByteWriter s = PdbHeader("Short", 0, 80);
  s.U16(0).Raw(std::vector<std::uint8_t>(100, 'x'));
  Write(s.bytes, "short.pdb");
  TCorvane t;
  Bind(t, "short.pdb");
  t.OpenDatabase();
  EXPECT_EQ(CodeOf([&] { t.ReadCategories(); }), 5);
  EXPECT_EQ(CodeOf([&] { t.GetCategoryID(0); }), 6);
}

TEST_F(ReaderFixture, CategoriesOfADatabaseBeingWritten) {
  TCorvane m;
  EXPECT_EQ(CodeOf([&] { m.SetCategory(16, "x"); }), 1);
  m.SetCategory(3, "Three");  // creates all 16 first
  EXPECT_EQ(m.GetCategory(0), "");
  EXPECT_EQ(m.GetCategoryID(7), 7);
  EXPECT_EQ(m.GetCategory(3), "Three");
}

TEST(FileFormat, HeaderDates) {
  // The high bit set: seconds since 1904 in local time, no time-zone move.
  const TDateTime d = pdb::DecodeDate(0xB0000000u, 300);
  const DateParts p = DecodeDate(d);
  const TimeParts t = DecodeTime(d);
  EXPECT_EQ(std::vector<int>({p.year, p.month, p.day, t.hour, t.minute, t.second}),
            std::vector<int>({1997, 7, 26, 19, 26, 56}));
  EXPECT_EQ(pdb::DecodeDate(0x0000FFFFu, 0), 0.0);
  EXPECT_EQ(pdb::DecodeDate(0x00000001u, 0), 0.0);
  // Below the high bit: seconds since 1970 in UTC, moved by the standard bias.
  const TDateTime u = pdb::DecodeDate(86400u, 300);
  const TimeParts ut = DecodeTime(u);
  EXPECT_EQ(DecodeDate(u).day, 1);
  EXPECT_EQ(ut.hour, 19);
  EXPECT_EQ(pdb::EncodeDate(d), 0xB0000000u);
  // Milliseconds are dropped, not rounded.
  EXPECT_EQ(pdb::EncodeDate(d + 0.9 / 86400.0), 0xB0000000u);
}

TEST(FileFormat, StandardBiasFollowsTZAndIgnoresDaylightSaving) {
  const char* old = std::getenv("TZ");
  const std::string saved = old ? old : "";
  setenv("TZ", "EST5EDT", 1);
  EXPECT_EQ(StandardTimeZoneBiasMinutes(), 300);
  setenv("TZ", "UTC", 1);
  EXPECT_EQ(StandardTimeZoneBiasMinutes(), 0);
  if (old) {
    setenv("TZ", saved.c_str(), 1);
  } else {
    unsetenv("TZ");
  }
  tzset();
}

TEST(FileFormat, EntryAndFlagsEncoding) {
  std::array<std::uint8_t, 8> b{};
  pdb::Entry e;
  e.data_offset = 0x01020304;
  e.category = 5;
  e.flags = {dmRecAttrDirty};
  e.unique_id = 0xFF123456;  // only the low 24 bits are stored
  pdb::EncodeEntry(e, b);
  EXPECT_EQ(b, (std::array<std::uint8_t, 8>{1, 2, 3, 4, 0x45, 0x12, 0x34, 0x56}));
  const pdb::Entry r = pdb::DecodeEntry(b);
  EXPECT_EQ(r.unique_id, 0x123456u);
  EXPECT_EQ(r.category, 5);
  EXPECT_EQ(TCorvane::ToTRecFlags(0xF0).ToByte(), 0x0F);
  EXPECT_EQ(TCorvane::ToTDBFlags(0xFFFF).ToByte(), 0x3F);
  EXPECT_EQ(TCorvane::ToTDBFlags(0x0008), TDBFlags({dmHdrAttrBackup}));
}

}  // namespace
}  // namespace corvane
