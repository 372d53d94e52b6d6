// PocketStudio records: the worked example, every accessor's accepted types,
// the Palm date encodings at their boundaries, damaged records, and a whole
// database written, reread and compared with a hand-built file.
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "corvane/engines/pocketstudio.h"
#include "corvane/foundation/messages.h"
#include "engine_support.h"

namespace corvane {
namespace {

using test::PdbError;
using test::Rec;

using PS = test::EngineFieldsFixture<TPDBPocketStudio>;

// ---------------------------------------------------------------------------
// Accessors: one row per accessor, with the field types it accepts.

using AccessorRow = test::AccessorRow<TPDBPSField>;

const std::vector<TPDBPSFieldType> kAllPS = {PSBoolean, PSInt8,     PSInt16,  PSInt32, PSUInt8,
                                             PSUInt16,  PSUInt32,   PSDate,   PSTime,  PSDateTime,
                                             PSString,  PSSingle,   PSDouble, PSBinary};

std::vector<AccessorRow> PSAccessors() {
  const std::vector<TPDBPSFieldType> dates = {PSDate, PSTime, PSDateTime};
  return {
      {"GetAsPSInt8", 50000, {PSInt8}, [](TPDBPSField& f) { f.GetAsPSInt8(); }},
      {"SetAsPSInt8", 50010, {PSInt8, PSInt16, PSInt32, PSSingle, PSDouble},
       [](TPDBPSField& f) { f.SetAsPSInt8(1); }},
      {"GetAsPSInt16", 50020, {PSInt16}, [](TPDBPSField& f) { f.GetAsPSInt16(); }},
      {"SetAsPSInt16", 50030, {PSInt16, PSInt32, PSSingle, PSDouble},
       [](TPDBPSField& f) { f.SetAsPSInt16(1); }},
      {"GetAsPSInt32", 50040, {PSInt32}, [](TPDBPSField& f) { f.GetAsPSInt32(); }},
      {"SetAsPSInt32", 50050, {PSInt32, PSSingle, PSDouble}, [](TPDBPSField& f) { f.SetAsPSInt32(1); }},
      {"GetAsPSUInt8", 50060, {PSUInt8}, [](TPDBPSField& f) { f.GetAsPSUInt8(); }},
      {"SetAsPSUInt8", 50070, {PSInt16, PSInt32, PSUInt8, PSUInt16, PSUInt32, PSSingle, PSDouble},
       [](TPDBPSField& f) { f.SetAsPSUInt8(1); }},
      {"GetAsPSUInt16", 50080, {PSUInt16}, [](TPDBPSField& f) { f.GetAsPSUInt16(); }},
      {"SetAsPSUInt16", 50090, {PSInt32, PSUInt16, PSUInt32, PSSingle, PSDouble},
       [](TPDBPSField& f) { f.SetAsPSUInt16(1); }},
      {"GetAsPSUInt32", 50100, {PSUInt32}, [](TPDBPSField& f) { f.GetAsPSUInt32(); }},
      {"SetAsPSUInt32", 50110, {PSUInt32, PSSingle, PSDouble}, [](TPDBPSField& f) { f.SetAsPSUInt32(1); }},
      {"GetAsPSSingle", 50120, {PSInt8, PSInt16, PSInt32, PSUInt8, PSUInt16, PSUInt32, PSSingle},
       [](TPDBPSField& f) { f.GetAsPSSingle(); }},
      {"SetAsPSSingle", 50130, {PSSingle, PSDouble}, [](TPDBPSField& f) { f.SetAsPSSingle(1); }},
      {"GetAsPSDouble", 50140,
       {PSInt8, PSInt16, PSInt32, PSUInt8, PSUInt16, PSUInt32, PSDate, PSTime, PSDateTime, PSSingle,
        PSDouble},
       [](TPDBPSField& f) { f.GetAsPSDouble(); }},
      {"SetAsPSDouble", 50150, {PSDate, PSTime, PSDateTime, PSDouble},
       [](TPDBPSField& f) { f.SetAsPSDouble(1); }},
      {"GetAsPSDate", 50160, dates, [](TPDBPSField& f) { f.GetAsPSDate(); }},
      {"SetAsPSDate", 50170, dates, [](TPDBPSField& f) { f.SetAsPSDate(1); }},
      {"GetAsPSTime", 50180, dates, [](TPDBPSField& f) { f.GetAsPSTime(); }},
      {"SetAsPSTime", 50190, dates, [](TPDBPSField& f) { f.SetAsPSTime(1); }},
      {"GetAsPSDateTime", 50200, dates, [](TPDBPSField& f) { f.GetAsPSDateTime(); }},
      {"SetAsPSDateTime", 50210, dates, [](TPDBPSField& f) { f.SetAsPSDateTime(1); }},
      {"GetAsPSBoolean", 50220, {PSBoolean}, [](TPDBPSField& f) { f.GetAsPSBoolean(); }},
      {"SetAsPSBoolean", 50230, {PSBoolean}, [](TPDBPSField& f) { f.SetAsPSBoolean(true); }},
      {"SetAsPSBinary", 50240, {PSBinary}, [](TPDBPSField& f) { f.SetAsPSBinary(Rec{1}); }},
      {"GetAsPSBinary", 50260, {PSBinary}, [](TPDBPSField& f) { f.GetAsPSBinary(); }},
      {"GetAsPSString", 0, kAllPS, [](TPDBPSField& f) { f.GetAsPSString(); }},
      {"SetAsPSString", 0, kAllPS, [](TPDBPSField& f) { f.SetAsPSString("1"); }},
  };
}

TEST_F(PS, EveryAccessorAcceptsExactlyItsTypes) {
  TPDBPSField& f = Add(PSString);
  test::ExpectAccessorsAcceptExactlyTheirTypes(f, PSAccessors(), kAllPS);
}

TEST_F(PS, RefusedSetterLeavesTheValue) {
  TPDBPSField& f = Add(PSInt8);
  f.SetAsPSInt8(7);
  EXPECT_THROW(f.SetAsPSUInt8(1), EPDBException);
  EXPECT_EQ(f.GetAsPSInt8(), 7);
}

// ---------------------------------------------------------------------------
// Encodings.

TEST_F(PS, WorkedExamplePacksAndSplitsBack) {
  Add(PSInt16, "n");
  Add(PSDate, "d");
  Add(PSTime, "t");
  Add(PSString, "s");
  Add(PSBinary, "b");
  const Rec expected = {0xFF, 0xFE, 0xC6, 0xEF, 0x0D, 0x2D, 0x61, 0x62, 0x63, 0x00, 0x00, 0x02, 0x01, 0x02};
  const Rec record = PackOne(engine, [&] {
    F(0).SetAsPSInt16(-2);
    F(1).SetAsPSDate(EncodeDate(2003, 7, 15));
    F(2).SetAsPSTime(EncodeTime(13, 45, 0, 0));
    F(3).SetAsPSString("abc");
    F(4).SetAsPSBinary(Rec{1, 2});
  });
  EXPECT_EQ(record, expected);

  engine.SetOpenMode(dmModeReadOnly);
  engine.OpenDatabase();
  EXPECT_EQ(engine.FieldByName("N").GetAsPSInt16(), -2);
  EXPECT_EQ(F(1).GetAsPSDate(), EncodeDate(2003, 7, 15));
  EXPECT_EQ(F(2).GetAsPSTime(), EncodeTime(13, 45, 0, 0));
  EXPECT_EQ(F(3).GetAsPSString(), "abc");
  EXPECT_EQ(F(4).GetAsPSBinary(), (Rec{1, 2}));
  EXPECT_EQ(F(4).GetAsPSString(), "0");
  engine.CloseDatabase();
}

TEST_F(PS, StringWidths) {
  TPDBPSField& s = Add(PSString);
  EXPECT_EQ(PackOne(engine, [&] { s.SetAsPSString("abc"); }), (Rec{0x61, 0x62, 0x63, 0}));
  s.SetSize(5);
  EXPECT_EQ(PackOne(engine, [&] { s.SetAsPSString("abc"); }), (Rec{0x61, 0x62, 0x63, 0, 0, 0}));
  s.SetSize(2);
  EXPECT_EQ(PackOne(engine, [&] { s.SetAsPSString("abc"); }), (Rec{0x61, 0x62, 0}));
}

TEST_F(PS, SizeLimits) {
  TPDBPSField& s = Add(PSString);
  EXPECT_EQ(PdbError([&] { s.SetSize(70000); }), std::make_pair(1, GetLocaleString(50270)));
  EXPECT_EQ(PdbError([&] { s.SetSize(-1); }).first, 1);
  s.SetSize(65505);
  EXPECT_EQ(s.Size(), 65505);
  TPDBPSField& i = Add(PSInt32);
  i.SetSize(70000);
  EXPECT_EQ(i.Size(), 4);
}

TEST_F(PS, BinaryLimit) {
  TPDBPSField& b = Add(PSBinary);
  const Rec most(65505, 0xAB);
  const Rec record = PackOne(engine, [&] { b.SetAsPSBinary(most); });
  ASSERT_EQ(record.size(), 65507u);
  EXPECT_EQ(record[0], 0xFF);
  EXPECT_EQ(record[1], 0xE1);
  EXPECT_EQ(PdbError([&] { b.SetAsPSBinary(Rec(65506)); }), std::make_pair(2, GetLocaleString(50250)));
  EXPECT_EQ(b.GetAsPSBinary().size(), 65505u);  // the refused call changed nothing
}

struct Encoded {
  TPDBPSFieldType type;
  TDateTime value;
  Rec bytes;
  TDateTime read_back;
};

TEST_F(PS, DateEncodingsAndTheirBoundaries) {
  const TDateTime d1904 = EncodeDate(1904, 1, 1);
  const TDateTime noon = EncodeDate(2003, 7, 15) + EncodeTime(13, 45, 30, 0);
  const std::vector<Encoded> cases = {
      {PSDate, d1904, {0x00, 0x21}, d1904},
      {PSDate, EncodeDate(2031, 12, 31), {0xFF, 0x9F}, EncodeDate(2031, 12, 31)},
      {PSDate, EncodeDate(2032, 1, 1), {0x00, 0x21}, d1904},  // the 7-bit year wraps
      {PSDate, EncodeDate(1903, 12, 31), {0, 0}, 0},
      {PSDate, noon, {0xC6, 0xEF}, EncodeDate(2003, 7, 15)},
      {PSTime, noon, {0x0D, 0x2D}, EncodeTime(13, 45, 0, 0)},
      {PSTime, EncodeTime(23, 59, 59, 999), {0x17, 0x3B}, EncodeTime(23, 59, 0, 0)},
      {PSTime, 0, {0, 0}, 0},
      {PSDateTime, noon, {0xBB, 0x39, 0xB5, 0xFA}, noon},
      {PSDateTime, d1904, {0, 0, 0, 0}, 0},
      {PSDateTime, EncodeDate(1903, 12, 31), {0, 0, 0, 0}, 0},
      {PSDateTime, d1904 + EncodeTime(0, 0, 1, 0), {0, 0, 0, 1}, d1904 + EncodeTime(0, 0, 1, 0)},
      {PSDateTime, EncodeDate(2040, 2, 6) + EncodeTime(6, 28, 15, 0), {0xFF, 0xFF, 0xFF, 0xFF},
       EncodeDate(2040, 2, 6) + EncodeTime(6, 28, 15, 0)},
      {PSDateTime, EncodeDate(2040, 2, 6) + EncodeTime(6, 28, 16, 0), {0, 0, 0, 0}, 0},  // wraps
  };
  TPDBPSField& f = Add(PSDate);
  for (const Encoded& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " " + DateTimeToStr(c.value));
    f.SetDataType(c.type);
    const Rec record = PackOne(engine, [&] { f.SetAsPSDateTime(c.value); });
    EXPECT_EQ(record, c.bytes);
    OpenRecords(engine, {record});
    EXPECT_NEAR(f.GetAsPSDateTime(), c.read_back, 1e-9);
    engine.CloseDatabase();
  }
}

TEST_F(PS, WordsThatAreNoDateRaiseTheConversionError) {
  TPDBPSField& f = Add(PSInt8, "before");
  Add(PSDate);
  const std::vector<std::pair<TPDBPSFieldType, Rec>> bad = {
      {PSDate, {0x01, 0xA1}},  // 1904-13-01
      {PSDate, {0xC8, 0x5E}},  // 2004-02-30
      {PSTime, {24, 0}},
      {PSTime, {23, 60}},
  };
  for (const auto& [type, word] : bad) {
    SCOPED_TRACE(std::to_string(word[0]) + " " + std::to_string(word[1]));
    F(1).SetDataType(type);
    Rec good = {5, 0, 0};
    Rec record = {9, word[0], word[1]};
    OpenRecords(engine, {good, record});
    EXPECT_THROW(engine.Next(), EConvertError);
    EXPECT_EQ(f.GetAsPSInt8(), 9);  // the field before took its new value
    engine.CloseDatabase();
  }
}

TEST_F(PS, NumbersKeepTheirRange) {
  Add(PSUInt32);
  Add(PSInt16);
  Add(PSInt16);
  Add(PSUInt16);
  Add(PSBoolean);
  const Rec record = PackOne(engine, [&] {
    F(0).SetAsPSUInt32(4000000000u);
    F(1).SetAsPSInt8(-1);
    F(2).SetAsPSString("12");
    F(3).SetAsPSUInt16(65535);
    F(4).SetAsPSBoolean(true);
  });
  EXPECT_EQ(record, (Rec{0xEE, 0x6B, 0x28, 0x00, 0xFF, 0xFF, 0x00, 0x0C, 0xFF, 0xFF, 0xFF}));
  OpenRecords(engine, {record});
  EXPECT_EQ(F(0).GetAsPSUInt32(), 4000000000u);
  EXPECT_EQ(F(0).Value().Type(), VarType::Float);
  EXPECT_EQ(F(1).GetAsPSInt16(), -1);
  EXPECT_EQ(F(2).GetAsPSInt16(), 12);
  EXPECT_EQ(F(3).GetAsPSUInt16(), 65535);
  EXPECT_TRUE(F(4).GetAsPSBoolean());
  engine.CloseDatabase();

  TPDBPSField& g = F(1);
  g.SetAsPSInt16(300);
  EXPECT_FLOAT_EQ(g.GetAsPSSingle(), 300.0f);
}

// A narrow signed value read back through a wider getter keeps its sign, both
// when it was split from a record and when a setter stored it.
TEST_F(PS, NarrowSignedValuesKeepTheirSignThroughOtherGetters) {
  struct Case {
    TPDBPSFieldType type;
    Rec bytes;
    std::function<void(TPDBPSField&)> set;
    std::int64_t value;
  };
  const Case cases[] = {
      {PSInt8, {0xFF}, [](TPDBPSField& f) { f.SetAsPSInt8(-1); }, -1},
      {PSInt8, {0x80}, [](TPDBPSField& f) { f.SetAsPSInt8(-128); }, -128},
      {PSInt16, {0xFF, 0xFE}, [](TPDBPSField& f) { f.SetAsPSInt16(-2); }, -2},
      {PSInt16, {0x80, 0x00}, [](TPDBPSField& f) { f.SetAsPSInt16(-32768); }, -32768},
      {PSInt32, {0xFF, 0xFF, 0xFF, 0xFD}, [](TPDBPSField& f) { f.SetAsPSInt32(-3); }, -3},
      {PSInt32, {0x80, 0x00, 0x00, 0x00},
       [](TPDBPSField& f) { f.SetAsPSInt32(std::numeric_limits<std::int32_t>::min()); },
       std::numeric_limits<std::int32_t>::min()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.value));
    engine.Fields().Clear();
    Add(c.type);
    const auto expect = [&](TPDBPSField& f) {
      EXPECT_EQ(f.GetAsPSString(), std::to_string(c.value));
      EXPECT_EQ(f.GetAsPSDouble(), static_cast<double>(c.value));
      EXPECT_EQ(f.GetAsPSSingle(), static_cast<float>(c.value));
    };
    OpenRecords(engine, {c.bytes});
    expect(F(0));
    engine.CloseDatabase();
    // Through the setter, and packed to the same bytes.
    const Rec packed = PackOne(engine, [&] {
      c.set(F(0));
      expect(F(0));
    });
    EXPECT_EQ(packed, c.bytes);
  }
}

TEST_F(PS, TextThatIsNoNumberStopsPost) {
  Add(PSInt16);
  PrepareWrite(engine);
  engine.CreateDatabase();
  engine.Append();
  F(0).SetAsPSString("abc");
  EXPECT_THROW(engine.Post(), EConvertError);
  EXPECT_TRUE(engine.AppendMode());
  EXPECT_EQ(engine.RecordCount(), 0);
  F(0).SetAsPSInt16(3);
  engine.Post();
  engine.CloseDatabase();
  EXPECT_EQ(test::RecordsOf(Out()), (std::vector<Rec>{{0x00, 0x03}}));
}

// ---------------------------------------------------------------------------
// Records that do not match the fields.

TEST_F(PS, DamagedRecordsAreRefusedWithCode1) {
  const std::string mismatch = GetLocaleString(65020);
  struct Case {
    const char* what;
    std::vector<std::pair<TPDBPSFieldType, std::int32_t>> fields;
    Rec record;
  };
  const std::vector<Case> cases = {
      {"short by one byte", {{PSInt16, 0}, {PSInt32, 0}}, {0, 1, 0, 0, 0}},
      {"text without its zero", {{PSInt8, 0}, {PSString, 0}}, {1, 'a', 'b'}},
      {"fixed text without its zero", {{PSString, 3}}, {'a', 'b', 'c'}},
      {"binary length past the end", {{PSBinary, 0}}, {0, 3, 1, 2}},
      {"binary without its length", {{PSBinary, 0}}, {0}},
      {"empty record", {{PSBoolean, 0}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    engine.Fields().Clear();
    for (const auto& [type, size] : c.fields) Add(type, "", size);
    EXPECT_EQ(PdbError([&] { OpenRecords(engine, {c.record}); }), std::make_pair(1, mismatch));
    engine.CloseDatabase();
  }
}

TEST_F(PS, RecordLengthsAroundTheFields) {
  Add(PSInt16);
  Add(PSUInt8);
  OpenRecords(engine, {{0, 1, 2}, {0, 3, 4, 99, 98}, {0, 5}});
  EXPECT_EQ(F(1).GetAsPSUInt8(), 2);
  engine.Next();  // extra bytes after the last field are ignored
  EXPECT_EQ(F(1).GetAsPSUInt8(), 4);
  EXPECT_EQ(PdbError([&] { engine.Next(); }).first, 1);
  EXPECT_EQ(F(0).GetAsPSInt16(), 5);  // fields before the failing one hold their new values
  EXPECT_EQ(F(1).GetAsPSUInt8(), 4);
  engine.CloseDatabase();
}

TEST_F(PS, DeletedRecordHasNoBytesToSplit) {
  Add(PSInt16);
  Rec file = test::PlainPdb("In", {{0, 1}, {0, 2}});
  file[78 + 8 + 4] = 0x80;  // the second record is marked deleted
  test::WriteAll(dir.File("in.pdb"), file);
  PrepareRead(engine, "in.pdb");
  engine.OpenDatabase();
  EXPECT_EQ(PdbError([&] { engine.Next(); }), std::make_pair(1, GetLocaleString(65020)));
  EXPECT_EQ(F(0).GetAsPSInt16(), 1);
  engine.CloseDatabase();
}

// ---------------------------------------------------------------------------
// A database with every type, written, reread and compared with plain bytes.

TEST_F(PS, EveryTypeRoundTripsAndMatchesAPlainFile) {
  for (TPDBPSFieldType t : kAllPS) Add(t, "f" + std::to_string(t), t == PSString ? 4 : 0);
  Add(PSString, "var");
  const TDateTime when = EncodeDate(2010, 5, 6) + EncodeTime(7, 8, 9, 0);
  PrepareWrite(engine);
  engine.CreateDatabase();
  for (int r = 0; r < 2; ++r) {
    engine.Append();
    F(0).SetAsPSBoolean(r == 0);
    F(1).SetAsPSInt8(-100 + r);
    F(2).SetAsPSInt16(-30000);
    F(3).SetAsPSInt32(-2000000000);
    F(4).SetAsPSUInt8(200);
    F(5).SetAsPSUInt16(60000);
    F(6).SetAsPSUInt32(4294967295u);
    F(7).SetAsPSDate(when);
    F(8).SetAsPSTime(when);
    F(9).SetAsPSDateTime(when);
    F(10).SetAsPSString(r == 0 ? "toolong" : "ab");
    F(11).SetAsPSSingle(1.5f);
    F(12).SetAsPSDouble(-2.25);
    F(13).SetAsPSBinary(Rec{9, 8, 7});
    F(14).SetAsPSString(r == 0 ? "" : "hello");
    engine.Post();
  }
  engine.CloseDatabase();

  auto record = [](bool first) {
    test::ByteWriter w;
    w.U8(first ? 0xFF : 0).U8(first ? 0x9C : 0x9D).U16(0x8AD0).U32(0x88CA6C00u).U8(200).U16(60000);
    w.U32(0xFFFFFFFFu);
    w.U16(((2010 - 1904) << 9) | (5 << 5) | 6).U16(0x0708);
    w.U32(static_cast<std::uint32_t>((EncodeDate(2010, 5, 6) - 1462) * 86400 + 7 * 3600 + 8 * 60 + 9));
    w.Raw(first ? Rec{'t', 'o', 'o', 'l', 0} : Rec{'a', 'b', 0, 0, 0});
    w.U32(0x3FC00000u).U32(0xC0020000u).U32(0).U16(3).U8(9).U8(8).U8(7);
    w.Raw(first ? Rec{0} : Rec{'h', 'e', 'l', 'l', 'o', 0});
    return w.bytes;
  };
  EXPECT_EQ(Out(), test::PlainPdb("Test", {record(true), record(false)}));

  PrepareRead(engine);
  engine.OpenDatabase();
  for (int r = 0; r < 2; ++r) {
    SCOPED_TRACE(r);
    if (r == 1) engine.Next();
    EXPECT_EQ(F(0).GetAsPSBoolean(), r == 0);
    EXPECT_EQ(F(1).GetAsPSInt8(), -100 + r);
    EXPECT_EQ(F(2).GetAsPSInt16(), -30000);
    EXPECT_EQ(F(3).GetAsPSInt32(), -2000000000);
    EXPECT_EQ(F(4).GetAsPSUInt8(), 200);
    EXPECT_EQ(F(5).GetAsPSUInt16(), 60000);
    EXPECT_EQ(F(6).GetAsPSUInt32(), 4294967295u);
    EXPECT_EQ(F(7).GetAsPSDate(), EncodeDate(2010, 5, 6));
    EXPECT_NEAR(F(8).GetAsPSTime(), EncodeTime(7, 8, 0, 0), 1e-12);
    EXPECT_NEAR(F(9).GetAsPSDateTime(), when, 1e-9);
    EXPECT_EQ(F(10).GetAsPSString(), r == 0 ? "tool" : "ab");
    EXPECT_EQ(F(10).RawLength(), 5);
    EXPECT_EQ(F(11).GetAsPSSingle(), 1.5f);
    EXPECT_EQ(F(12).GetAsPSDouble(), -2.25);
    EXPECT_EQ(F(13).GetAsPSBinary(), (Rec{9, 8, 7}));
    EXPECT_EQ(F(14).GetAsPSString(), r == 0 ? "" : "hello");
  }
  engine.CloseDatabase();
}

}  // namespace
}  // namespace corvane
