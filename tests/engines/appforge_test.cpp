// AppForge records and the self-describing field block: golden bytes, every
// accessor's accepted types, the seconds count at its boundaries, damaged
// application-info blocks, and a whole database compared with a plain file.
#include <bit>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "corvane/engines/appforge.h"
#include "corvane/foundation/messages.h"
#include "corvane/host/locale.h"
#include "engine_support.h"

namespace corvane {
namespace {

using test::ByteWriter;
using test::PdbError;
using test::Rec;

using AF = test::EngineFieldsFixture<TPDBAppForge>;

// The category table CreateDatabase starts with, then the AppForge part for
// `fields` (name, type code) and `table`.
Rec AppForgeBlock(const std::string& table, const std::vector<std::pair<std::string, int>>& fields,
                  const std::string& category0 = "") {
  ByteWriter w;
  w.U16(0).Str(category0, 16);
  for (int i = 1; i < 16; ++i) w.Str("", 16);
  for (int i = 0; i < 16; ++i) w.U8(static_cast<std::uint8_t>(i));
  w.U8(15).U8(0);
  std::size_t names = table.size() + 1;
  for (const auto& f : fields) names += f.first.size() + 1;
  const std::size_t n = fields.size();
  w.Str("APPFORG2", 8).U32(0).U16(static_cast<std::uint16_t>(24 + 6 * n + names));
  w.U16(static_cast<std::uint16_t>(24 + 6 * n)).U16(static_cast<std::uint16_t>(n)).U16(10).U16(0).U16(0);
  std::size_t at = 24 + 6 * n + table.size() + 1;
  for (const auto& f : fields) {
    w.U16(static_cast<std::uint16_t>(at)).U16(static_cast<std::uint16_t>(f.second)).U16(0);
    at += f.first.size() + 1;
  }
  w.Str(table, table.size() + 1);
  for (const auto& f : fields) w.Str(f.first, f.first.size() + 1);
  return w.bytes;
}

// ---------------------------------------------------------------------------

using AccessorRow = test::AccessorRow<TPDBAFField>;

const std::vector<TPDBAFFieldType> kAllAF = {AFByte,    AFInteger, AFLong,   AFSingle,  AFString,
                                             AFBoolean, AFDate,    AFDouble, AFCurrency};

std::vector<AccessorRow> AFAccessors() {
  const std::vector<TPDBAFFieldType> numeric = {AFByte, AFInteger, AFLong, AFSingle, AFDouble, AFCurrency};
  return {
      {"GetAsAFByte", 58000, {AFByte}, [](TPDBAFField& f) { f.GetAsAFByte(); }},
      {"SetAsAFByte", 58010, numeric, [](TPDBAFField& f) { f.SetAsAFByte(1); }},
      {"GetAsAFInteger", 58020, {AFInteger}, [](TPDBAFField& f) { f.GetAsAFInteger(); }},
      {"SetAsAFInteger", 58030, {AFInteger, AFLong, AFSingle, AFDouble, AFCurrency},
       [](TPDBAFField& f) { f.SetAsAFInteger(1); }},
      {"GetAsAFLong", 58040, {AFLong}, [](TPDBAFField& f) { f.GetAsAFLong(); }},
      {"SetAsAFLong", 58050, {AFLong, AFSingle, AFDouble, AFCurrency}, [](TPDBAFField& f) { f.SetAsAFLong(1); }},
      {"GetAsAFSingle", 58060, {AFByte, AFInteger, AFLong, AFSingle}, [](TPDBAFField& f) { f.GetAsAFSingle(); }},
      {"SetAsAFSingle", 58070, {AFSingle, AFDouble, AFCurrency}, [](TPDBAFField& f) { f.SetAsAFSingle(1); }},
      {"GetAsAFDouble", 58080, numeric, [](TPDBAFField& f) { f.GetAsAFDouble(); }},
      {"SetAsAFDouble", 58090, {AFDouble, AFCurrency}, [](TPDBAFField& f) { f.SetAsAFDouble(1); }},
      {"GetAsAFCurrency", 58100, numeric, [](TPDBAFField& f) { f.GetAsAFCurrency(); }},
      {"SetAsAFCurrency", 58110, {AFDouble, AFCurrency}, [](TPDBAFField& f) { f.SetAsAFCurrency({}); }},
      {"GetAsAFDate", 58120, {AFDate}, [](TPDBAFField& f) { f.GetAsAFDate(); }},
      {"SetAsAFDate", 58130, {AFDate}, [](TPDBAFField& f) { f.SetAsAFDate(1); }},
      {"GetAsAFBoolean", 58140, {AFBoolean}, [](TPDBAFField& f) { f.GetAsAFBoolean(); }},
      {"SetAsAFBoolean", 58150, {AFBoolean}, [](TPDBAFField& f) { f.SetAsAFBoolean(true); }},
      {"GetAsAFString", 0, kAllAF, [](TPDBAFField& f) { f.GetAsAFString(); }},
      {"SetAsAFString", 0, kAllAF, [](TPDBAFField& f) { f.SetAsAFString("1"); }},
  };
}

TEST_F(AF, EveryAccessorAcceptsExactlyItsTypes) {
  TPDBAFField& f = Add(AFString);
  test::ExpectAccessorsAcceptExactlyTheirTypes(f, AFAccessors(), kAllAF);
}

// ---------------------------------------------------------------------------
// Records.

TEST_F(AF, RecordEncodings) {
  Add(AFInteger);
  Add(AFLong);
  Add(AFCurrency);
  Add(AFString);
  Add(AFString);
  Add(AFDouble);
  Add(AFBoolean);
  Add(AFSingle);
  const Rec record = PackOne(engine, [&] {
    F(0).SetAsAFInteger(-2);
    F(1).SetAsAFLong(1);
    F(2).SetAsAFCurrency(Currency::FromDouble(1.5));
    F(5).SetAsAFByte(7);  // a byte's value, written as a double
    F(6).SetAsAFBoolean(true);
    F(7).SetAsAFSingle(-1.0f);
  });
  const Rec expected = {0xFF, 0xFE, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0x3A, 0x98, 0, 0,
                        0x40, 0x1C, 0, 0, 0, 0, 0, 0, 0xFF, 0xBF, 0x80, 0, 0};
  EXPECT_EQ(record, expected);
  engine.SetOpenMode(dmModeReadOnly);
  engine.OpenDatabase();
  EXPECT_EQ(F(0).GetAsAFInteger(), -2);
  EXPECT_EQ(F(1).GetAsAFLong(), 1);
  EXPECT_EQ(F(2).GetAsAFCurrency(), Currency::FromRaw(15000));
  EXPECT_EQ(F(3).GetAsAFString(), "");
  EXPECT_EQ(F(5).GetAsAFDouble(), 7.0);
  EXPECT_TRUE(F(6).GetAsAFBoolean());
  EXPECT_EQ(F(7).GetAsAFSingle(), -1.0f);
  engine.CloseDatabase();
}

TEST_F(AF, AnyNonZeroBooleanByteIsTrueAndIsWrittenBackAs255) {
  OpenRecords(engine, {{1}}, AppForgeBlock("T", {{"b", 6}}));
  EXPECT_TRUE(F(0).GetAsAFBoolean());
  engine.CloseDatabase();
  const bool value = F(0).GetAsAFBoolean();
  EXPECT_EQ(PackOne(engine, [&] { F(0).SetAsAFBoolean(value); }), (Rec{0xFF}));
}

TEST_F(AF, SecondsCountAtItsBoundaries) {
  const TDateTime epoch = EncodeDate(1904, 1, 1);
  struct Case {
    TDateTime value;
    std::uint32_t seconds;
    TDateTime read_back;
  };
  const std::vector<Case> cases = {
      {EncodeDate(1904, 1, 2) + EncodeTime(12, 0, 0, 0), 129600, EncodeDate(1904, 1, 2) + 0.5},
      {EncodeDate(1904, 1, 2) + EncodeTime(12, 0, 0, 999), 129600, EncodeDate(1904, 1, 2) + 0.5},
      {0, 0, 0},
      {epoch, 0, 0},
      {epoch - 1, 0, 0},
      {epoch + EncodeTime(0, 0, 1, 0), 1, epoch + EncodeTime(0, 0, 1, 0)},
      {EncodeDate(2040, 2, 6) + EncodeTime(6, 28, 15, 0), 0xFFFFFFFFu,
       EncodeDate(2040, 2, 6) + EncodeTime(6, 28, 15, 0)},
      {EncodeDate(2040, 2, 6) + EncodeTime(6, 28, 17, 0), 1, epoch + EncodeTime(0, 0, 1, 0)},  // wraps
  };
  Add(AFDate);
  for (const Case& c : cases) {
    SCOPED_TRACE(DateTimeToStr(c.value));
    const Rec record = PackOne(engine, [&] { F(0).SetAsAFDate(c.value); });
    ByteWriter w;
    w.U32(c.seconds);
    EXPECT_EQ(record, w.bytes);
    engine.SetOpenMode(dmModeReadOnly);
    engine.OpenDatabase();
    EXPECT_NEAR(F(0).GetAsAFDate(), c.read_back, 1e-9);
    engine.CloseDatabase();
  }
}

TEST_F(AF, DamagedRecordsAreRefusedWithCode1) {
  const auto mismatch = std::make_pair(1, GetLocaleString(57020));
  const Rec block = AppForgeBlock("T", {{"n", 3}, {"s", 5}});
  EXPECT_EQ(PdbError([&] { OpenRecords(engine, {{0, 0, 0}}, block); }), mismatch);
  engine.CloseDatabase();
  EXPECT_EQ(PdbError([&] { OpenRecords(engine, {{0, 0, 0, 1, 'a', 'b'}}, block); }), mismatch);
  engine.CloseDatabase();
  OpenRecords(engine, {{0, 0, 0, 1, 'a', 0, 'x'}}, block);
  EXPECT_EQ(F(1).GetAsAFString(), "a");
  EXPECT_EQ(F(1).RawLength(), 2);
  engine.CloseDatabase();
}

// ---------------------------------------------------------------------------
// The field block.

TEST_F(AF, FieldBlockOfTheWorkedExample) {
  Add(AFLong, "A");
  Add(AFString, "Bee");
  PrepareWrite(engine, "out.pdb", "T");
  engine.CreateDatabase();
  engine.CloseDatabase();
  const Rec file = Out();
  ASSERT_EQ(test::U32At(file, 52), 80u);
  const Rec block(file.begin() + 80, file.end());
  ASSERT_EQ(block.size(), 320u);
  EXPECT_EQ(block, AppForgeBlock("T", {{"A", 3}, {"Bee", 5}}));
  // The field table's header words and first entries, read from the block itself.
  EXPECT_EQ(test::U16At(block, 288), 44);
  EXPECT_EQ(test::U16At(block, 290), 36);
  EXPECT_EQ(test::U16At(block, 292), 2);
  EXPECT_EQ(test::U16At(block, 294), 10);
  EXPECT_EQ(Rec(block.begin() + 300, block.begin() + 312), (Rec{0, 38, 0, 3, 0, 0, 0, 40, 0, 5, 0, 0}));
  EXPECT_EQ(block[312], 'T');
  EXPECT_EQ(block[314], 'A');
  EXPECT_EQ(std::string(block.begin() + 316, block.begin() + 319), "Bee");
}

// The field block begins with the category table; a second one written before
// it would hide the fields, and the file would read back as empty.
TEST_F(AF, WriteCategoryIsRefusedAndTheFileStaysReadable) {
  ScopedThreadLanguage english("en_US");
  Add(AFLong, "A");
  PrepareWrite(engine, "out.pdb", "T");
  engine.CreateDatabase();
  const auto [code, message] = PdbError([&] { engine.SetWriteCategory(true); });
  EXPECT_EQ(code, 1);
  EXPECT_EQ(message, "AppForge databases write their own category table: WriteCategory cannot be set!");
  EXPECT_FALSE(engine.WriteCategory());
  engine.SetWriteCategory(false);
  engine.Append();
  F(0).SetAsAFLong(7);
  engine.Post();
  engine.CloseDatabase();

  TPDBAppForge reader;
  PrepareRead(reader);
  reader.OpenDatabase();
  ASSERT_EQ(reader.Fields().Count(), 1);
  EXPECT_EQ(reader.RecordCount(), 1);
  EXPECT_EQ(reader.Fields().GetItem(0).GetAsAFLong(), 7);
}

TEST_F(AF, TableNameAndHeaderName) {
  Add(AFByte, "x");
  PrepareWrite(engine, "Orders.PDB", "Sales");
  engine.CreateDatabase();
  engine.CloseDatabase();
  EXPECT_EQ(engine.DatabaseName(), "Orders");
  const Rec file = Out("Orders.PDB");
  EXPECT_EQ(std::string(file.begin(), file.begin() + 7), std::string("Orders\0", 7));

  TPDBAppForge reader;
  reader.Fields().Add().SetFieldName("dropped");
  PrepareRead(reader, "Orders.PDB");
  reader.OpenDatabase();
  EXPECT_EQ(reader.DatabaseName(), "Sales");
  ASSERT_EQ(reader.Fields().Count(), 1);
  EXPECT_EQ(reader.Fields().GetItem(0).FieldName(), "x");
  EXPECT_EQ(reader.Fields().GetItem(0).DataType(), AFByte);
  EXPECT_EQ(reader.Fields().GetItem(0).Size(), 1);
  reader.CloseDatabase();
}

TEST_F(AF, AFileWithNoFieldsEmptiesTheCollection) {
  Add(AFByte, "x");
  OpenRecords(engine, {}, AppForgeBlock("T", {}));
  EXPECT_EQ(engine.Fields().Count(), 0);
  EXPECT_EQ(PdbError([&] { engine.FieldByName("x"); }), std::make_pair(1, GetLocaleString(57000)));
  engine.CloseDatabase();
}

TEST_F(AF, DamagedFieldBlocksAreReportedAndChangeNothing) {
  const Rec good = AppForgeBlock("T", {{"A", 3}, {"Bee", 5}});
  auto with = [&](std::size_t at, std::uint16_t word) {
    Rec b = good;
    b[at] = static_cast<std::uint8_t>(word >> 8);
    b[at + 1] = static_cast<std::uint8_t>(word);
    return b;
  };
  const auto bad_table = std::make_pair(6, GetLocaleString(12030));
  const auto bad_type = std::make_pair(7, GetLocaleString(57060));
  struct Case {
    const char* what;
    Rec block;
    std::pair<int, std::string> error;
  };
  const std::vector<Case> cases = {
      {"only the category table", Rec(good.begin(), good.begin() + 276), bad_table},
      {"cut inside the header words", Rec(good.begin(), good.begin() + 295), bad_table},
      {"cut inside the field entries", Rec(good.begin(), good.begin() + 305), bad_table},
      {"more fields than entries", with(292, 20), bad_table},
      {"table name outside the block", with(290, 2000), bad_table},
      {"field name outside the block", with(300, 44), bad_table},
      {"last name without its zero", Rec(good.begin(), good.end() - 1), bad_table},
      {"type code 0", with(302, 0), bad_type},
      {"type code 10", with(308, 10), bad_type},
      {"type code 257", with(302, 257), bad_type},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    engine.Fields().Clear();
    Add(AFDouble, "mine");
    engine.SetDBName("Mine");
    EXPECT_EQ(PdbError([&] { OpenRecords(engine, {}, c.block); }), c.error);
    EXPECT_EQ(engine.Fields().Count(), 1);
    EXPECT_EQ(engine.DatabaseName(), "In");  // as the header gave it
    if (engine.isOpen()) engine.CloseDatabase();
  }
  // No application-info block at all: the category reader's code and message.
  test::WriteAll(dir.File("in.pdb"), test::PlainPdb("In", {}));
  PrepareRead(engine, "in.pdb");
  EXPECT_EQ(PdbError([&] { engine.OpenDatabase(); }), std::make_pair(3, GetLocaleString(12020)));
  engine.CloseDatabase();
}

TEST_F(AF, FieldTableTooLargeForItsWordsIsRefused) {
  Add(AFByte, std::string(70000, 'n'));
  PrepareWrite(engine);
  engine.CreateDatabase();
  EXPECT_EQ(PdbError([&] { engine.CloseDatabase(); }), std::make_pair(1, GetLocaleString(57070)));
  EXPECT_EQ(engine.DatabaseName(), "Test");  // nothing changed before the refusal
  engine.Fields().GetItem(0).SetFieldName("n");
  engine.CloseDatabase();
}

TEST_F(AF, EveryTypeRoundTripsAndMatchesAPlainFile) {
  for (TPDBAFFieldType t : kAllAF) Add(t, "F" + std::to_string(t));
  const TDateTime when = EncodeDate(2010, 5, 6) + EncodeTime(7, 8, 9, 0);
  PrepareWrite(engine, "Every.pdb", "EveryType");
  engine.CreateDatabase();
  engine.SetCategory(0, "Unfiled");
  engine.Append();
  F(0).SetAsAFByte(250);
  F(1).SetAsAFInteger(-300);
  F(2).SetAsAFLong(-70000);
  F(3).SetAsAFSingle(0.25f);
  F(4).SetAsAFString("text");
  F(5).SetAsAFBoolean(false);
  F(6).SetAsAFDate(when);
  F(7).SetAsAFDouble(-1e-3);
  F(8).SetAsAFCurrency(Currency::FromRaw(-123456789));
  engine.Post();
  engine.CloseDatabase();

  ByteWriter w;
  w.U8(250).U16(0xFED4).U32(0xFFFEEE90u).U32(0x3E800000u).Str("text", 5).U8(0);
  w.U32(static_cast<std::uint32_t>((EncodeDate(2010, 5, 6) - 1462) * 86400 + 7 * 3600 + 8 * 60 + 9));
  const auto d = std::bit_cast<std::uint64_t>(-1e-3);
  w.U32(static_cast<std::uint32_t>(d >> 32)).U32(static_cast<std::uint32_t>(d));
  const auto c = static_cast<std::uint64_t>(std::int64_t{-123456789});
  w.U32(static_cast<std::uint32_t>(c >> 32)).U32(static_cast<std::uint32_t>(c));
  std::vector<std::pair<std::string, int>> defs;
  for (int t = 0; t < 9; ++t) defs.push_back({"F" + std::to_string(t), t + 1});
  EXPECT_EQ(Out("Every.pdb"), test::PlainPdb("Every", {w.bytes}, AppForgeBlock("EveryType", defs, "Unfiled")));

  TPDBAppForge reader;
  PrepareRead(reader, "Every.pdb");
  reader.OpenDatabase();
  auto& r = reader.Fields();
  ASSERT_EQ(r.Count(), 9);
  EXPECT_EQ(reader.GetCategory(0), "Unfiled");
  EXPECT_EQ(r.GetItem(0).GetAsAFByte(), 250);
  EXPECT_EQ(r.GetItem(1).GetAsAFInteger(), -300);
  EXPECT_EQ(r.GetItem(2).GetAsAFLong(), -70000);
  EXPECT_EQ(r.GetItem(3).GetAsAFSingle(), 0.25f);
  EXPECT_EQ(reader.FieldByName("f4").GetAsAFString(), "text");
  EXPECT_FALSE(r.GetItem(5).GetAsAFBoolean());
  EXPECT_NEAR(r.GetItem(6).GetAsAFDate(), when, 1e-9);
  EXPECT_EQ(r.GetItem(7).GetAsAFDouble(), -1e-3);
  EXPECT_EQ(r.GetItem(8).GetAsAFCurrency(), Currency::FromRaw(-123456789));
  reader.CloseDatabase();
}

}  // namespace
}  // namespace corvane
