// The generic typed-record manager: the type table, every accessor's accepted
// types, the worked word and date examples, the fields forgotten on closing,
// raw records and their replacement, damaged records, and a whole file
// compared with a hand-built one.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "corvane/engines/data_fields.h"
#include "corvane/foundation/message_ids.h"
#include "corvane/foundation/messages.h"
#include "corvane/host/exceptions.h"
#include "engine_support.h"

namespace corvane {
namespace {

using test::PdbError;
using test::Rec;

struct Generic : test::EngineFieldsFixture<TPDBDataFields> {
  // Fields are forgotten on every close, so each write and read defines them.
  using Define = std::function<void()>;
  Rec WriteOne(const Define& define, const std::function<void()>& set) {
    PrepareWrite(engine);
    define();
    engine.CreateDatabase();
    engine.Append();
    set();
    engine.Post();
    engine.CloseDatabase();
    const auto records = test::RecordsOf(Out());
    return records.empty() ? Rec{} : records[0];
  }
  void ReadBack(const Define& define) {
    PrepareRead(engine);
    define();
    engine.OpenDatabase();
  }
};

std::vector<TPDBFieldType> AllTypes() {
  std::vector<TPDBFieldType> all;
  for (int t = 0; t < kPDBFieldTypeCount; ++t) all.push_back(static_cast<TPDBFieldType>(t));
  return all;
}

std::vector<TPDBFieldType> AllBut(std::initializer_list<TPDBFieldType> except) {
  std::vector<TPDBFieldType> out;
  for (TPDBFieldType t : AllTypes()) {
    if (std::find(except.begin(), except.end(), t) == except.end()) out.push_back(t);
  }
  return out;
}

// ---------------------------------------------------------------------------
// The field definition.

TEST_F(Generic, DataTypeSetsWidthAndZeroAndOnlyTextTakesASize) {
  TPDBField& f = engine.Fields().Add();
  EXPECT_EQ(f.DataType(), pdtString);
  EXPECT_EQ(f.Size(), 0);
  EXPECT_EQ(f.Value().Type(), VarType::Text);
  f.SetDataType(pdtPSDate);
  EXPECT_EQ(f.Size(), 2);
  f.SetDataType(pdtPSUInt32);
  EXPECT_EQ(f.Size(), 4);
  EXPECT_EQ(f.Value().AsDouble(), 0.0);
  f.SetDataType(pdtInteger);
  f.SetSize(10);
  EXPECT_EQ(f.Size(), 4);
  f.SetDataType(pdtPSString);
  f.SetSize(10);
  EXPECT_EQ(f.Size(), 10);
  f.SetDataType(pdtString);
  EXPECT_EQ(f.Size(), 0);
}

using AccessorRow = test::AccessorRow<TPDBField>;

std::vector<AccessorRow> GenericAccessors() {
  const std::vector<TPDBFieldType> set_byte = {pdtByte,    pdtWord,     pdtInteger,  pdtFloat,
                                               pdtDouble,  pdtPSInt16,  pdtPSInt32,  pdtPSUInt8,
                                               pdtPSUInt16, pdtPSUInt32, pdtPSSingle, pdtPSDouble};
  const std::vector<TPDBFieldType> get_float = {pdtByte,    pdtWord,     pdtInteger,  pdtFloat,
                                                pdtPSInt8,  pdtPSInt16,  pdtPSInt32,  pdtPSUInt8,
                                                pdtPSUInt16, pdtPSUInt32, pdtPSSingle};
  const std::vector<TPDBFieldType> floats = {pdtFloat, pdtDouble, pdtPSSingle, pdtPSDouble};
  const std::vector<TPDBFieldType> dates = {pdtDate, pdtPSDate, pdtPSTime, pdtPSDateTime};
  using F = TPDBField;
  return {
      {"GetAsByte", 40800, {pdtByte, pdtPSUInt8}, [](F& f) { f.GetAsByte(); }},
      {"SetAsByte", 41000, set_byte, [](F& f) { f.SetAsByte(1); }},
      {"GetAsWord", 41200, {pdtByte, pdtWord, pdtPSUInt8, pdtPSUInt16}, [](F& f) { f.GetAsWord(); }},
      {"SetAsWord", 41400,
       {pdtWord, pdtInteger, pdtFloat, pdtDouble, pdtPSUInt16, pdtPSUInt32, pdtPSSingle, pdtPSDouble},
       [](F& f) { f.SetAsWord(1); }},
      {"GetAsInteger", 41600,
       {pdtByte, pdtWord, pdtInteger, pdtPSInt8, pdtPSInt16, pdtPSInt32, pdtPSUInt8, pdtPSUInt16},
       [](F& f) { f.GetAsInteger(); }},
      {"SetAsInteger", 41800, {pdtInteger, pdtFloat, pdtDouble, pdtPSInt32, pdtPSSingle, pdtPSDouble},
       [](F& f) { f.SetAsInteger(1); }},
      {"GetAsFloat", 42000, get_float, [](F& f) { f.GetAsFloat(); }},
      {"SetAsFloat", 42200, floats, [](F& f) { f.SetAsFloat(1); }},
      {"GetAsDouble", 40400, AllBut({pdtPSBoolean, pdtPSDate, pdtPSTime, pdtPSDateTime}),
       [](F& f) { f.GetAsDouble(); }},
      {"SetAsDouble", 40600, {pdtDouble, pdtDate}, [](F& f) { f.SetAsDouble(1); }},
      {"GetAsDateTime", 42400, {pdtDate}, [](F& f) { f.GetAsDateTime(); }},
      {"SetAsDateTime", 42600, {pdtDate}, [](F& f) { f.SetAsDateTime(1); }},
      {"GetAsString", 0, AllTypes(), [](F& f) { f.GetAsString(); }},
      {"SetAsString", 0, AllTypes(), [](F& f) { f.SetAsString("1"); }},
      {"GetAsPSInt8", 44200, {pdtPSInt8}, [](F& f) { f.GetAsPSInt8(); }},
      {"SetAsPSInt8", 44210,
       {pdtByte, pdtWord, pdtInteger, pdtFloat, pdtDouble, pdtPSInt8, pdtPSInt16, pdtPSInt32, pdtPSSingle,
        pdtPSDouble},
       [](F& f) { f.SetAsPSInt8(1); }},
      {"GetAsPSInt16", 44220, {pdtPSInt16}, [](F& f) { f.GetAsPSInt16(); }},
      {"SetAsPSInt16", 44230,
       {pdtInteger, pdtFloat, pdtDouble, pdtPSInt16, pdtPSInt32, pdtPSSingle, pdtPSDouble},
       [](F& f) { f.SetAsPSInt16(1); }},
      {"GetAsPSInt32", 44240, {pdtPSInt32}, [](F& f) { f.GetAsPSInt32(); }},
      {"SetAsPSInt32", 44250, {pdtInteger, pdtFloat, pdtDouble, pdtPSInt32, pdtPSSingle, pdtPSDouble},
       [](F& f) { f.SetAsPSInt32(1); }},
      {"GetAsPSUInt8", 44260, {pdtPSUInt8}, [](F& f) { f.GetAsPSUInt8(); }},
      {"SetAsPSUInt8", 44270, set_byte, [](F& f) { f.SetAsPSUInt8(1); }},
      {"GetAsPSUInt16", 44280, {pdtPSUInt16}, [](F& f) { f.GetAsPSUInt16(); }},
      {"SetAsPSUInt16", 44290,
       {pdtInteger, pdtFloat, pdtDouble, pdtPSInt32, pdtPSUInt16, pdtPSUInt32, pdtPSSingle, pdtPSDouble},
       [](F& f) { f.SetAsPSUInt16(1); }},
      {"GetAsPSUInt32", 44300, {pdtPSUInt32}, [](F& f) { f.GetAsPSUInt32(); }},
      {"SetAsPSUInt32", 44310, {pdtFloat, pdtDouble, pdtPSUInt32, pdtPSSingle, pdtPSDouble},
       [](F& f) { f.SetAsPSUInt32(1); }},
      {"GetAsPSSingle", 44320, get_float, [](F& f) { f.GetAsPSSingle(); }},
      {"SetAsPSSingle", 44330, floats, [](F& f) { f.SetAsPSSingle(1); }},
      {"GetAsPSDouble", 44340, AllBut({pdtPSBoolean}), [](F& f) { f.GetAsPSDouble(); }},
      {"SetAsPSDouble", 44350, {pdtDouble, pdtDate, pdtPSDate, pdtPSTime, pdtPSDateTime, pdtPSDouble},
       [](F& f) { f.SetAsPSDouble(1); }},
      {"GetAsPSDate", 44360, dates, [](F& f) { f.GetAsPSDate(); }},
      {"SetAsPSDate", 44370, dates, [](F& f) { f.SetAsPSDate(1); }},
      {"GetAsPSTime", 44380, dates, [](F& f) { f.GetAsPSTime(); }},
      {"SetAsPSTime", 44390, dates, [](F& f) { f.SetAsPSTime(1); }},
      {"GetAsPSDateTime", 44400, dates, [](F& f) { f.GetAsPSDateTime(); }},
      {"SetAsPSDateTime", 44410, dates, [](F& f) { f.SetAsPSDateTime(1); }},
      {"GetAsPSString", 0, AllTypes(), [](F& f) { f.GetAsPSString(); }},
      {"SetAsPSString", 0, AllTypes(), [](F& f) { f.SetAsPSString("1"); }},
      {"GetAsPSBoolean", 44420, {pdtPSBoolean}, [](F& f) { f.GetAsPSBoolean(); }},
      {"SetAsPSBoolean", 44430, {pdtPSBoolean}, [](F& f) { f.SetAsPSBoolean(true); }},
  };
}

TEST_F(Generic, EveryAccessorAcceptsExactlyItsTypes) {
  TPDBField& f = Add(pdtString);
  // An accepted getter may still find the zero text of a text type no
  // number: that is the conversion's error, past the type check.
  std::vector<AccessorRow> rows = GenericAccessors();
  for (AccessorRow& row : rows) {
    row.call = [call = std::move(row.call)](TPDBField& field) {
      try {
        call(field);
      } catch (const EConvertError&) {
      }
    };
  }
  test::ExpectAccessorsAcceptExactlyTheirTypes(f, rows, AllTypes());
}

TEST_F(Generic, SettersStoreTheKindOfTheirOwnType) {
  TPDBField& f = Add(pdtInteger);
  f.SetAsPSInt8(-1);
  EXPECT_EQ(f.GetAsInteger(), -1);
  f.SetDataType(pdtPSInt8);
  EXPECT_EQ(PdbError([&] { f.SetAsByte(255); }), std::make_pair(1, GetLocaleString(41000)));
  f.SetDataType(pdtPSUInt32);
  for (std::uint32_t v : {4294967295u, 16777217u}) {
    f.SetAsPSUInt32(v);
    EXPECT_EQ(f.Value().Type(), VarType::Float);
    EXPECT_EQ(f.GetAsPSUInt32(), v);
  }
  f.SetDataType(pdtPSBoolean);
  EXPECT_EQ(PdbError([&] { f.GetAsDouble(); }), std::make_pair(1, GetLocaleString(40400)));
  f.SetDataType(pdtString);
  f.SetAsString("2.5");
  EXPECT_EQ(f.GetAsDouble(), 2.5);
  f.SetDataType(pdtPSUInt32);
  f.SetAsString("-1");
  EXPECT_THROW(f.GetAsPSUInt32(), EConvertError);
}

// ---------------------------------------------------------------------------
// Encodings.

TEST_F(Generic, WordAndDateExamples) {
  const TDateTime leap = EncodeDate(2004, 2, 29);
  const TDateTime jan2 = EncodeDate(1904, 1, 2) + EncodeTime(12, 0, 0, 0);
  auto define = [&] {
    Add(pdtPSDate, "d");
    Add(pdtPSTime, "t");
    Add(pdtPSDateTime, "dt");
    Add(pdtDate, "date");
    Add(pdtString, "s", 4);
  };
  const Rec record = WriteOne(define, [&] {
    F(0).SetAsPSDate(leap);
    F(1).SetAsPSTime(EncodeTime(13, 45, 0, 0));
    F(2).SetAsPSDateTime(jan2);
    F(3).SetAsDateTime(jan2);
    F(4).SetAsString("abcdef");
  });
  EXPECT_EQ(record, (Rec{0xC8, 0x5D, 0x0D, 0x2D, 0x00, 0x01, 0xFA, 0x40, 0x00, 0x01, 0xFA, 0x40, 'a', 'b', 'c',
                         'd', 0x00}));
  ReadBack(define);
  EXPECT_EQ(F(0).GetAsPSDate(), leap);
  EXPECT_EQ(F(1).GetAsPSTime(), EncodeTime(13, 45, 0, 0));
  EXPECT_EQ(F(2).GetAsPSDateTime(), jan2);
  // Written and read with the same epoch: the date comes back as it was set.
  EXPECT_EQ(F(3).GetAsDateTime(), jan2);
  EXPECT_EQ(F(4).GetAsString(), "abcd");
  const auto raw = F(4).RawCopy();
  EXPECT_EQ(Rec(raw.begin(), raw.end()), (Rec{'a', 'b', 'c', 'd', 0}));
}

TEST_F(Generic, ClearedRecordReadsBackAsZeros) {
  auto define = [&] {
    for (TPDBFieldType t : AllTypes()) Add(t);
  };
  const Rec record = WriteOne(define, [] {});
  EXPECT_EQ(record.size(), 1u + 2 + 4 + 4 + 8 + 4 + 1 + 1 + 1 + 2 + 4 + 1 + 2 + 4 + 2 + 2 + 4 + 1 + 4 + 8);
  EXPECT_TRUE(std::all_of(record.begin(), record.end(), [](std::uint8_t b) { return b == 0; }));
  ReadBack(define);
  for (int i = 0; i < kPDBFieldTypeCount; ++i) {
    SCOPED_TRACE(i);
    if (i == pdtString || i == pdtPSString) {
      EXPECT_EQ(F(i).GetAsString(), "");
    } else if (i == pdtDate || i == pdtPSDateTime) {
      // Seconds since 1904-01-01: 0 is that midnight, not "no date".
      EXPECT_EQ(F(i).Value().AsDouble(), EncodeDate(1904, 1, 1));
    } else {
      EXPECT_EQ(F(i).Value().AsDouble(), 0.0);  // the date word 0 is no date
    }
  }
}

TEST_F(Generic, RoundTripOfEveryType) {
  auto define = [&] {
    for (TPDBFieldType t : AllTypes()) Add(t, std::string("f").append(std::to_string(t)));
  };
  const TDateTime when = EncodeDate(2031, 12, 31) + EncodeTime(23, 59, 59, 0);
  WriteOne(define, [&] {
    F(pdtByte).SetAsByte(255);
    F(pdtWord).SetAsWord(65535);
    F(pdtInteger).SetAsInteger(-2147483647 - 1);
    F(pdtFloat).SetAsFloat(3.25f);
    F(pdtDouble).SetAsDouble(-1e-300);
    F(pdtDate).SetAsDateTime(when);
    F(pdtString).SetAsString("variable length");
    F(pdtPSBoolean).SetAsPSBoolean(true);
    F(pdtPSInt8).SetAsPSInt8(-128);
    F(pdtPSInt16).SetAsPSInt16(-32768);
    F(pdtPSInt32).SetAsPSInt32(2147483647);
    F(pdtPSUInt8).SetAsPSUInt8(200);
    F(pdtPSUInt16).SetAsPSUInt16(40000);
    F(pdtPSUInt32).SetAsPSUInt32(4000000000u);
    F(pdtPSDate).SetAsPSDate(EncodeDate(2031, 12, 31));
    F(pdtPSTime).SetAsPSTime(EncodeTime(23, 59, 0, 0));
    F(pdtPSDateTime).SetAsPSDateTime(when);
    F(pdtPSString).SetAsPSString("");
    F(pdtPSSingle).SetAsPSSingle(-0.5f);
    F(pdtPSDouble).SetAsPSDouble(6.02214076e23);
  });
  ReadBack(define);
  EXPECT_EQ(F(pdtByte).GetAsByte(), 255);
  EXPECT_EQ(F(pdtWord).GetAsWord(), 65535);
  EXPECT_EQ(F(pdtInteger).GetAsInteger(), -2147483647 - 1);
  EXPECT_EQ(F(pdtFloat).GetAsFloat(), 3.25f);
  EXPECT_EQ(F(pdtDouble).GetAsDouble(), -1e-300);
  EXPECT_EQ(F(pdtDate).GetAsDateTime(), when);
  EXPECT_EQ(F(pdtString).GetAsString(), "variable length");
  EXPECT_TRUE(F(pdtPSBoolean).GetAsPSBoolean());
  EXPECT_EQ(F(pdtPSInt8).GetAsPSInt8(), -128);
  EXPECT_EQ(F(pdtPSInt16).GetAsPSInt16(), -32768);
  EXPECT_EQ(F(pdtPSInt32).GetAsPSInt32(), 2147483647);
  EXPECT_EQ(F(pdtPSUInt8).GetAsPSUInt8(), 200);
  EXPECT_EQ(F(pdtPSUInt16).GetAsPSUInt16(), 40000);
  EXPECT_EQ(F(pdtPSUInt32).GetAsPSUInt32(), 4000000000u);
  EXPECT_EQ(F(pdtPSDate).GetAsPSDate(), EncodeDate(2031, 12, 31));
  EXPECT_EQ(F(pdtPSTime).GetAsPSTime(), EncodeTime(23, 59, 0, 0));
  EXPECT_EQ(F(pdtPSDateTime).GetAsPSDateTime(), when);
  EXPECT_EQ(F(pdtPSString).GetAsPSString(), "");
  EXPECT_EQ(F(pdtPSSingle).GetAsPSSingle(), -0.5f);
  EXPECT_EQ(F(pdtPSDouble).GetAsPSDouble(), 6.02214076e23);
}

// A narrow signed value read back through another type's getter keeps its
// sign, whether split from a record or stored by a setter.
TEST_F(Generic, NarrowSignedValuesKeepTheirSignThroughOtherGetters) {
  struct Case {
    TPDBFieldType type;
    Rec bytes;
    std::function<void(TPDBField&)> set;
    std::int64_t value;
  };
  const Case cases[] = {
      {pdtPSInt8, {0xFF}, [](TPDBField& f) { f.SetAsPSInt8(-1); }, -1},
      {pdtPSInt8, {0x80}, [](TPDBField& f) { f.SetAsPSInt8(-128); }, -128},
      {pdtPSInt16, {0xFF, 0xFE}, [](TPDBField& f) { f.SetAsPSInt16(-2); }, -2},
      {pdtPSInt16, {0x80, 0x00}, [](TPDBField& f) { f.SetAsPSInt16(-32768); }, -32768},
      {pdtPSInt32, {0xFF, 0xFF, 0xFF, 0xFD}, [](TPDBField& f) { f.SetAsPSInt32(-3); }, -3},
      {pdtInteger, {0x80, 0x00, 0x00, 0x00},
       [](TPDBField& f) { f.SetAsInteger(-2147483647 - 1); }, -2147483647LL - 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.value));
    const auto define = [&] { Add(c.type); };
    const auto expect = [&](TPDBField& f) {
      EXPECT_EQ(f.GetAsString(), std::to_string(c.value));
      EXPECT_EQ(f.GetAsPSString(), std::to_string(c.value));
      EXPECT_EQ(f.GetAsDouble(), static_cast<double>(c.value));
      EXPECT_EQ(f.GetAsPSDouble(), static_cast<double>(c.value));
      EXPECT_EQ(f.GetAsFloat(), static_cast<float>(c.value));
      EXPECT_EQ(f.GetAsPSSingle(), static_cast<float>(c.value));
      if (c.type != pdtPSInt32) {
        EXPECT_EQ(f.GetAsInteger(), c.value);
      }
    };
    test::WriteAll(dir.File("out.pdb"), test::PlainPdb("In", {c.bytes}));
    ReadBack(define);
    expect(F(0));
    engine.CloseDatabase();
    EXPECT_EQ(WriteOne(define,
                       [&] {
                         c.set(F(0));
                         expect(F(0));
                       }),
              c.bytes);
  }
}

TEST_F(Generic, BooleanIsWrittenAsFFAndAnyNonZeroByteIsTrue) {
  auto define = [&] { Add(pdtPSBoolean); };
  EXPECT_EQ(WriteOne(define, [&] { F(0).SetAsPSBoolean(true); }), Rec{0xFF});
  test::WriteAll(dir.File("out.pdb"), test::PlainPdb("In", {{0x01}, {0x00}}));
  ReadBack(define);
  EXPECT_TRUE(F(0).GetAsPSBoolean());
  engine.Next();
  EXPECT_FALSE(F(0).GetAsPSBoolean());
}

TEST_F(Generic, RecordsThatDoNotHoldTheFieldsAreRefused) {
  const std::vector<std::pair<TPDBFieldType, Rec>> bad = {
      {pdtInteger, {0, 0, 1}},   {pdtPSDouble, {}},       {pdtString, {'a', 'b'}},
      {pdtWord, {0}},            {pdtPSDateTime, {0, 0}},
  };
  for (const auto& [type, record] : bad) {
    SCOPED_TRACE(type);
    test::WriteAll(dir.File("in.pdb"), test::PlainPdb("In", {record}));
    TPDBDataFields reader;
    reader.Fields().Add().SetDataType(type);
    PrepareRead(reader, "in.pdb");
    EXPECT_EQ(PdbError([&] { reader.OpenDatabase(); }), std::make_pair(1, GetLocaleString(40200)));
  }
  // A fixed-width text needs its bytes; a variable one its zero byte.
  test::WriteAll(dir.File("in.pdb"), test::PlainPdb("In", {{'a', 'b', 'c', 0, 'x', 'y', 0}, {'a', 'b', 'c'}}));
  PrepareRead(engine, "in.pdb");
  Add(pdtString, "fixed", 3);
  Add(pdtPSString, "var");
  engine.OpenDatabase();
  EXPECT_EQ(F(0).GetAsString(), "abc");
  EXPECT_EQ(F(1).GetAsString(), "xy");
  EXPECT_EQ(PdbError([&] { engine.Next(); }), std::make_pair(1, GetLocaleString(40200)));
}

// ---------------------------------------------------------------------------
// The manager.

TEST_F(Generic, ClosingForgetsTheFields) {
  auto define = [&] { Add(pdtByte); };
  WriteOne(define, [&] { F(0).SetAsByte(1); });
  EXPECT_EQ(engine.Fields().Count(), 0);
  PrepareWrite(engine, "other.pdb");
  engine.CreateDatabase();
  EXPECT_EQ(PdbError([&] { engine.Append(); }), std::make_pair(3, GetLocaleString(43200)));
  engine.CloseDatabase();
  ReadBack(define);
  EXPECT_EQ(F(0).GetAsByte(), 1);
  engine.CloseDatabase();
  EXPECT_EQ(engine.Fields().Count(), 0);
}

TEST_F(Generic, OwnMessagesForPostCancelAndCategory) {
  EXPECT_EQ(PdbError([&] { engine.Post(); }), std::make_pair(1, GetLocaleString(43800)));
  EXPECT_EQ(PdbError([&] { engine.Cancel(); }), std::make_pair(1, GetLocaleString(43600)));
  EXPECT_EQ(PdbError([&] { engine.SetRecCategory(16); }), std::make_pair(1, GetLocaleString(44000)));
  engine.SetRecCategory(15);
  EXPECT_EQ(engine.GetRecCategory(), 15);
  EXPECT_EQ(PdbError([&] { engine.Append(); }), std::make_pair(1, GetLocaleString(42800)));
  EXPECT_EQ(PdbError([&] { engine.FieldByName("x"); }), std::make_pair(1, GetLocaleString(40000)));
  Add(pdtByte, "a");
  EXPECT_EQ(PdbError([&] { engine.FieldByName("x"); }), std::make_pair(2, GetLocaleString(43400)));
  EXPECT_EQ(TPDBDataFields::RecFlagsToByte(TRecFlags{dmRecAttrDirty, dmRecAttrDelete}), 0xC0);
}

TEST_F(Generic, RawRecordsAndTheirReplacement) {
  auto a = std::make_shared<const Bytes>(Bytes{1, 1});
  auto b = std::make_shared<const Bytes>(Bytes{2, 2, 2});
  auto c = std::make_shared<const Bytes>(Bytes{3});
  PrepareWrite(engine);
  engine.CreateDatabase();
  engine.SetCurrentRecord(a);
  engine.WriteRawRecord();
  engine.WriteRawRecord();  // the same block twice
  engine.SetCurrentRecord(b);
  engine.WriteRawRecord();
  Bytes copied{4, 4};
  engine.WriteRawRecord(copied);  // a copy: the caller may reuse its bytes
  copied.assign({5});
  const Bytes stranger{9};
  engine.ReplaceRecord(&stranger, c);  // held by no entry: nothing changes
  engine.ReplaceRecord(a.get(), c);    // only the first entry that holds it
  EXPECT_EQ(engine.RecordCount(), 4);
  // A block too long for the handheld is refused either way, and changes nothing.
  auto huge = std::make_shared<const Bytes>(Bytes(65536, 4));
  EXPECT_THROW(engine.ReplaceRecord(b.get(), huge), EPDBException);
  engine.SetCurrentRecord(huge);
  EXPECT_THROW(engine.WriteRawRecord(), EPDBException);
  EXPECT_EQ(PdbError([&] { engine.WriteRawRecord(*huge); }),
            std::make_pair(2, GetLocaleString(kMsgRecordTooLong)));
  EXPECT_EQ(engine.RecordCount(), 4);
  engine.CloseDatabase();
  EXPECT_EQ(test::RecordsOf(Out()), (std::vector<Rec>{{3}, {1, 1}, {2, 2, 2}, {4, 4}}));
  EXPECT_EQ(*a, (Bytes{1, 1}));  // the caller's block is left alone

  // Reading, a raw record is accepted too and counted.
  PrepareRead(engine);
  Add(pdtByte);
  engine.OpenDatabase();
  engine.WriteRawRecord();
  EXPECT_EQ(engine.RecordCount(), 5);
}

TEST_F(Generic, WrittenFileEqualsAnIndependentBuild) {
  // No sort-info block and a unique ID seed of 0, whatever the component holds.
  PrepareWrite(engine);
  engine.SetUniqueIDSeed(77);
  Add(pdtWord, "n");
  Add(pdtString, "s");
  Add(pdtPSDateTime, "when");
  engine.CreateDatabase();
  engine.SetSortInfoP(Bytes{1, 2, 3, 4});
  const std::vector<std::pair<int, std::string>> rows = {{1, "one"}, {2, ""}, {65535, "last"}};
  for (const auto& [n, s] : rows) {
    engine.Append();
    F(0).SetAsWord(static_cast<std::uint16_t>(n));
    F(1).SetAsString(s);
    F(2).SetAsPSDateTime(test::CreatedDate());
    engine.Post();
  }
  engine.CloseDatabase();
  EXPECT_EQ(engine.GetUniqueIDSeed(), 77u);

  std::vector<Rec> records;
  for (const auto& [n, s] : rows) {
    test::ByteWriter w;
    w.U16(static_cast<std::uint16_t>(n)).Str(s, s.size()).U8(0).U32(test::kCreated);
    records.push_back(w.bytes);
  }
  EXPECT_EQ(Out(), test::PlainPdb("Test", records));
}

}  // namespace
}  // namespace corvane
