// NS Basic records: the worked example, every accessor's accepted types, the
// decimal date and time numbers at their boundaries, damaged records, and a
// whole database written, reread and compared with a hand-built file.
#include <bit>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "corvane/engines/nsbasic.h"
#include "corvane/foundation/messages.h"
#include "corvane/host/locale.h"
#include "engine_support.h"

namespace corvane {
namespace {

using test::PdbError;
using test::Rec;

using NSB = test::EngineFieldsFixture<TPDBNSBasic>;

Rec DoubleBytes(double v) {
  test::ByteWriter w;
  const auto bits = std::bit_cast<std::uint64_t>(v);
  w.U32(static_cast<std::uint32_t>(bits >> 32)).U32(static_cast<std::uint32_t>(bits));
  return w.bytes;
}

using AccessorRow = test::AccessorRow<TPDBNSBField>;

const std::vector<TPDBNSBFieldType> kAllNSB = {NSBByte,   NSBShort, NSBInteger, NSBFloat, NSBSingle,
                                               NSBDouble, NSBDate,  NSBTime,    NSBString};

std::vector<AccessorRow> NSBAccessors() {
  return {
      {"GetAsNSBByte", 55020, {NSBByte}, [](TPDBNSBField& f) { f.GetAsNSBByte(); }},
      {"SetAsNSBByte", 55030, {NSBByte, NSBShort, NSBInteger, NSBFloat, NSBSingle, NSBDouble},
       [](TPDBNSBField& f) { f.SetAsNSBByte(1); }},
      {"GetAsNSBShort", 55040, {NSBByte, NSBShort}, [](TPDBNSBField& f) { f.GetAsNSBShort(); }},
      {"SetAsNSBShort", 55050, {NSBShort, NSBInteger, NSBFloat, NSBSingle, NSBDouble},
       [](TPDBNSBField& f) { f.SetAsNSBShort(1); }},
      {"GetAsNSBInteger", 55060, {NSBByte, NSBShort, NSBInteger}, [](TPDBNSBField& f) { f.GetAsNSBInteger(); }},
      {"SetAsNSBInteger", 55070, {NSBInteger, NSBFloat, NSBSingle, NSBDouble},
       [](TPDBNSBField& f) { f.SetAsNSBInteger(1); }},
      {"GetAsNSBFloat", 55080, {NSBByte, NSBShort, NSBInteger, NSBFloat, NSBSingle, NSBDouble, NSBDate, NSBTime},
       [](TPDBNSBField& f) { f.GetAsNSBFloat(); }},
      {"SetAsNSBFloat", 55090, {NSBFloat, NSBSingle, NSBDouble}, [](TPDBNSBField& f) { f.SetAsNSBFloat(1); }},
      {"GetAsNSBSingle", 55000, {NSBByte, NSBShort, NSBInteger, NSBSingle},
       [](TPDBNSBField& f) { f.GetAsNSBSingle(); }},
      {"SetAsNSBSingle", 55010, {NSBFloat, NSBSingle, NSBDouble}, [](TPDBNSBField& f) { f.SetAsNSBSingle(1); }},
      {"GetAsNSBDate", 55100, {NSBDate}, [](TPDBNSBField& f) { f.GetAsNSBDate(); }},
      {"SetAsNSBDate", 55110, {NSBDate}, [](TPDBNSBField& f) { f.SetAsNSBDate(1); }},
      {"GetAsNSBTime", 55120, {NSBTime}, [](TPDBNSBField& f) { f.GetAsNSBTime(); }},
      {"SetAsNSBTime", 55130, {NSBTime}, [](TPDBNSBField& f) { f.SetAsNSBTime(1); }},
      {"GetAsNSBString", 0, kAllNSB, [](TPDBNSBField& f) { f.GetAsNSBString(); }},
      {"SetAsNSBString", 0, kAllNSB, [](TPDBNSBField& f) { f.SetAsNSBString("1"); }},
  };
}

TEST_F(NSB, EveryAccessorAcceptsExactlyItsTypes) {
  TPDBNSBField& f = Add(NSBString);
  test::ExpectAccessorsAcceptExactlyTheirTypes(f, NSBAccessors(), kAllNSB);
}

TEST_F(NSB, WorkedExamplePacksAndSplitsBack) {
  Add(NSBShort);
  Add(NSBDate);
  Add(NSBTime);
  Add(NSBString);
  const Rec expected = {0x02, 0x01, 0x41, 0x2F, 0x74, 0x76, 0, 0, 0, 0, 0x41, 0x00,
                        0x6C, 0x10, 0,    0,    0,    0,    0x61, 0x62, 0x63, 0};
  const TDateTime when = EncodeDate(2003, 7, 15) + EncodeTime(13, 45, 30, 0);
  const Rec record = PackOne(engine, [&] {
    F(0).SetAsNSBShort(513);
    F(1).SetAsNSBDate(when);
    F(2).SetAsNSBTime(when);
    F(3).SetAsNSBString("abc");
  });
  EXPECT_EQ(record, expected);
  OpenRecords(engine, {record});
  EXPECT_EQ(F(0).GetAsNSBShort(), 513);
  EXPECT_EQ(F(1).GetAsNSBDate(), EncodeDate(2003, 7, 15));
  EXPECT_NEAR(F(2).GetAsNSBTime(), EncodeTime(13, 45, 30, 0), 1e-12);
  EXPECT_EQ(F(3).GetAsNSBString(), "abc");
  engine.CloseDatabase();
}

// A text too long for one record is refused when posted; nothing reaches the file.
TEST_F(NSB, ARecordOver65535BytesIsNotPosted) {
  ScopedThreadLanguage english("en_US");
  Add(NSBShort);
  Add(NSBString);
  PrepareWrite(engine);
  engine.CreateDatabase();
  engine.Append();
  F(1).SetAsNSBString(std::string(std::size_t{50} << 20, 'x'));
  try {
    engine.Post();
    ADD_FAILURE() << "posted a 50 MB record";
  } catch (const EPDBException& e) {
    EXPECT_EQ(e.ErrorCode(), 3);
    EXPECT_STREQ(e.what(), "A record cannot be longer than 65535 bytes!");
  }
  F(1).SetAsNSBString(std::string(65535 - 2 - 1, 'x'));  // the short, the text, its zero
  engine.Post();
  engine.CloseDatabase();
  const auto records = test::RecordsOf(Out());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].size(), 65535u);
}

TEST_F(NSB, ValuesKeepTheirRangeAndKind) {
  Add(NSBShort);
  Add(NSBSingle);
  Add(NSBString, "", 3);
  Add(NSBDate);
  Add(NSBInteger);
  const Rec record = PackOne(engine, [&] {
    F(0).SetAsNSBShort(65535);
    F(1).SetAsNSBFloat(2.5);
    F(2).SetAsNSBString("abcdef");
    // F(3) is left as Append cleared it: no date.
    F(4).SetAsNSBByte(200);
  });
  const Rec expected = {0xFF, 0xFF, 0x40, 0x20, 0, 0, 0x61, 0x62, 0x63, 0, 0, 0,
                        0,    0,    0,    0,    0, 0, 0,    0,    0,    200};
  EXPECT_EQ(record, expected);
  OpenRecords(engine, {record});
  EXPECT_EQ(F(0).GetAsNSBShort(), 65535);
  EXPECT_EQ(F(0).GetAsNSBInteger(), 65535);
  EXPECT_EQ(F(1).GetAsNSBFloat(), 2.5);
  EXPECT_EQ(F(2).GetAsNSBString(), "abc");
  EXPECT_EQ(F(3).GetAsNSBDate(), 0);
  EXPECT_EQ(F(4).GetAsNSBSingle(), 200.0f);
  EXPECT_EQ(F(4).Value().Type(), VarType::Integer);
  engine.CloseDatabase();

  TPDBNSBField& f = F(1);
  f.SetDataType(NSBDouble);
  f.SetAsNSBByte(3);
  EXPECT_EQ(f.Value().Type(), VarType::Float);  // the kind of the field's type
}

TEST_F(NSB, SizeLimits) {
  TPDBNSBField& s = Add(NSBString);
  EXPECT_EQ(PdbError([&] { s.SetSize(65506); }), std::make_pair(1, GetLocaleString(55140)));
  TPDBNSBField& i = Add(NSBInteger);
  i.SetSize(65506);
  EXPECT_EQ(i.Size(), 4);
}

TEST_F(NSB, DecimalNumbersAtTheirBoundaries) {
  struct Case {
    TPDBNSBFieldType type;
    TDateTime value;
    double number;
    TDateTime read_back;
  };
  const std::vector<Case> cases = {
      {NSBDate, 0, 0, 0},
      {NSBDate, EncodeDate(1900, 1, 1), 101, EncodeDate(1900, 1, 1)},
      {NSBDate, EncodeDate(2003, 7, 15) + 0.75, 1030715, EncodeDate(2003, 7, 15)},
      {NSBDate, EncodeDate(9999, 12, 31), 80991231, EncodeDate(9999, 12, 31)},
      {NSBTime, 0, 0, 0},
      {NSBTime, EncodeTime(23, 59, 59, 999), 235959, EncodeTime(23, 59, 59, 0)},
      {NSBTime, EncodeDate(2003, 7, 15) + EncodeTime(0, 0, 1, 0), 1, EncodeTime(0, 0, 1, 0)},
  };
  TPDBNSBField& f = Add(NSBDate);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.number));
    f.SetDataType(c.type);
    const Rec record = PackOne(engine, [&] {
      if (c.type == NSBDate) f.SetAsNSBDate(c.value);
      else f.SetAsNSBTime(c.value);
    });
    EXPECT_EQ(record, DoubleBytes(c.number));
    OpenRecords(engine, {record});
    EXPECT_NEAR(f.GetAsNSBFloat(), c.read_back, 1e-9);
    engine.CloseDatabase();
  }
}

TEST_F(NSB, NumbersThatAreNoDateOrTimeRaiseTheConversionError) {
  Add(NSBByte);
  TPDBNSBField& f = Add(NSBDate);
  const std::vector<std::pair<TPDBNSBFieldType, double>> bad = {
      {NSBDate, 1031315},    // month 13
      {NSBDate, 1030015},    // month 0
      {NSBDate, 1030700},    // day 0
      {NSBDate, 1030229},    // 2003-02-29
      {NSBDate, -8769},      // 1899-12-31 is written this way but no part may be negative
      {NSBDate, 681000101},  // year 70000 must not wrap into a valid year
      {NSBDate, 1e300},
      {NSBDate, std::numeric_limits<double>::quiet_NaN()},
      {NSBTime, 240000},
      {NSBTime, 6000},
      {NSBTime, 60},
      {NSBTime, -1},
      {NSBTime, 6553600},  // hour 655: 16 bits must not wrap it
      {NSBTime, std::numeric_limits<double>::infinity()},
  };
  for (const auto& [type, number] : bad) {
    SCOPED_TRACE(std::to_string(type) + " " + std::to_string(number));
    f.SetDataType(type);
    Rec good = {1};
    Rec zero = DoubleBytes(0);
    good.insert(good.end(), zero.begin(), zero.end());
    Rec record = {2};
    Rec num = DoubleBytes(number);
    record.insert(record.end(), num.begin(), num.end());
    OpenRecords(engine, {good, record});
    EXPECT_THROW(engine.Next(), EConvertError);
    EXPECT_EQ(F(0).GetAsNSBByte(), 2);
    engine.CloseDatabase();
  }
  // Dates before 1900 are written as negative numbers, as stored files have them.
  f.SetDataType(NSBDate);
  EXPECT_EQ(PackOne(engine, [&] { f.SetAsNSBDate(EncodeDate(1899, 12, 31)); }),
            [] {
              Rec r = {0};
              Rec n = DoubleBytes(-8769);
              r.insert(r.end(), n.begin(), n.end());
              return r;
            }());
}

TEST_F(NSB, DamagedRecordsAreRefusedWithCode1) {
  const auto mismatch = std::make_pair(1, GetLocaleString(61020));
  Add(NSBInteger);
  EXPECT_EQ(PdbError([&] { OpenRecords(engine, {{0, 0, 0}}); }), mismatch);
  engine.CloseDatabase();
  Add(NSBString);
  EXPECT_EQ(PdbError([&] { OpenRecords(engine, {{0, 0, 0, 1, 'x'}}); }), mismatch);
  engine.CloseDatabase();
  EXPECT_EQ(PdbError([&] { OpenRecords(engine, {{0, 0, 0, 1, 0}}); }).first, -1);
  EXPECT_EQ(F(1).GetAsNSBString(), "");
  engine.CloseDatabase();
}

TEST_F(NSB, EveryTypeRoundTripsAndMatchesAPlainFile) {
  for (TPDBNSBFieldType t : kAllNSB) Add(t, "f" + std::to_string(t), t == NSBString ? 2 : 0);
  Add(NSBString, "var");
  const TDateTime when = EncodeDate(2010, 5, 6) + EncodeTime(7, 8, 9, 0);
  PrepareWrite(engine);
  engine.CreateDatabase();
  engine.Append();
  F(0).SetAsNSBByte(255);
  F(1).SetAsNSBShort(40000);
  F(2).SetAsNSBInteger(-5);
  F(3).SetAsNSBFloat(1e100);
  F(4).SetAsNSBSingle(-0.5f);
  F(5).SetAsNSBFloat(3.25);
  F(6).SetAsNSBDate(when);
  F(7).SetAsNSBTime(when);
  F(8).SetAsNSBString("xyz");
  F(9).SetAsNSBString("tail");
  engine.Post();
  engine.CloseDatabase();

  test::ByteWriter w;
  w.U8(255).U16(40000).U32(0xFFFFFFFBu).Raw(DoubleBytes(1e100)).U32(0xBF000000u).Raw(DoubleBytes(3.25));
  w.Raw(DoubleBytes(1100506)).Raw(DoubleBytes(70809)).Raw({'x', 'y', 0}).Raw({'t', 'a', 'i', 'l', 0});
  EXPECT_EQ(Out(), test::PlainPdb("Test", {w.bytes}));

  PrepareRead(engine);
  engine.OpenDatabase();
  EXPECT_EQ(F(0).GetAsNSBByte(), 255);
  EXPECT_EQ(F(1).GetAsNSBShort(), 40000);
  EXPECT_EQ(F(2).GetAsNSBInteger(), -5);
  EXPECT_EQ(F(3).GetAsNSBFloat(), 1e100);
  EXPECT_EQ(F(4).GetAsNSBSingle(), -0.5f);
  EXPECT_EQ(F(5).GetAsNSBFloat(), 3.25);
  EXPECT_EQ(F(6).GetAsNSBDate(), EncodeDate(2010, 5, 6));
  EXPECT_NEAR(F(7).GetAsNSBTime(), EncodeTime(7, 8, 9, 0), 1e-12);
  EXPECT_EQ(F(8).GetAsNSBString(), "xy");
  EXPECT_EQ(F(9).GetAsNSBString(), "tail");
  engine.CloseDatabase();
}

}  // namespace
}  // namespace corvane
