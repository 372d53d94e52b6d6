// Every engine's posted records, byte for byte: the record Post packs (each
// field measured once, packed with that width into the manager's arena) must
// be what measuring and packing the same values field by field gives, for
// texts with zero bytes inside, empty texts, texts cut or padded to a fixed
// size and records long enough to cross the arena's blocks.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "corvane/engines/appforge.h"
#include "corvane/engines/data_fields.h"
#include "corvane/engines/java.h"
#include "corvane/engines/nsbasic.h"
#include "corvane/engines/pocketstudio.h"
#include "corvane/engines/record_codec.h"
#include "corvane/engines/sqldriver.h"
#include "corvane/host/datetime.h"
#include "engine_support.h"

namespace corvane::test {
namespace {

// The text of record i: now and then empty, holding a zero byte, or long.
std::string Text(int i) {
  switch (i % 7) {
    case 0:
      return {};
    case 1:
      return std::string("before\0after", 12);
    case 2:
      return std::string(3000 + i, static_cast<char>('a' + i % 26));
    default:
      return "text " + std::to_string(i);
  }
}
TDateTime Day(int i) {
  return EncodeDate(1999, 12, 31) + i % 3000 + (i % 3) * 0.25;
}

constexpr int kRecords = 700;

struct PostedPack : EngineFixture {
  // Writes kRecords records through `engine`, checking each against
  // PackRecord on the values `fill` set, then checks the file's records.
  template <class Engine>
  void Check(Engine& engine, const std::function<void(int)>& fill, std::size_t skip = 0) {
    PrepareWrite(engine);
    engine.CreateDatabase();
    std::vector<Rec> want;
    for (int i = 0; i < kRecords; ++i) {
      engine.Append();
      fill(i);
      Rec r(static_cast<std::size_t>(CalcRecordLength(engine.Fields())));
      PackRecord(engine.Fields(), r);
      want.push_back(r);
      engine.Post();
    }
    engine.CloseDatabase();
    std::vector<Rec> got = RecordsOf(Out());
    ASSERT_EQ(got.size(), want.size() + skip);
    got.erase(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(skip));
    for (std::size_t i = 0; i < want.size(); ++i) ASSERT_EQ(got[i], want[i]) << "record " << i;
  }
};

TEST_F(PostedPack, PocketStudio) {
  TPDBPocketStudio e;
  for (TPDBPSFieldType t :
       {PSInt32, PSString, PSDate, PSString, PSDateTime, PSDouble, PSBinary, PSInt8})
    e.Fields().Add().SetDataType(t);
  e.Fields().GetItem(3).SetSize(5);  // cut or zero-filled to five bytes
  Check(e, [&](int i) {
    auto& f = e.Fields();
    f.GetItem(0).SetAsPSInt32(-i * 1000);
    f.GetItem(1).SetAsPSString(Text(i));
    f.GetItem(2).SetAsPSDate(Day(i));
    f.GetItem(3).SetAsPSString(Text(i + 3));
    f.GetItem(4).SetAsPSDateTime(Day(i));
    f.GetItem(5).SetAsPSDouble(i * 0.125);
    const Rec blob(static_cast<std::size_t>(i % 5), static_cast<std::uint8_t>(i));
    f.GetItem(6).SetAsPSBinary(blob);
    if (i % 2 == 0)
      f.GetItem(7).SetAsPSInt8(static_cast<std::int8_t>(-i));  // else left as Append cleared it
  });
}

TEST_F(PostedPack, NSBasic) {
  TPDBNSBasic e;
  for (TPDBNSBFieldType t : {NSBInteger, NSBString, NSBDate, NSBTime, NSBSingle, NSBShort})
    e.Fields().Add().SetDataType(t);
  Check(e, [&](int i) {
    auto& f = e.Fields();
    f.GetItem(0).SetAsNSBInteger(i * 7);
    f.GetItem(1).SetAsNSBString(Text(i));
    f.GetItem(2).SetAsNSBDate(Day(i));
    f.GetItem(3).SetAsNSBTime(Day(i));
    f.GetItem(4).SetAsNSBSingle(static_cast<float>(i) / 3);
    f.GetItem(5).SetAsNSBShort(static_cast<std::uint16_t>(i * 97));
  });
}

TEST_F(PostedPack, AppForge) {
  TPDBAppForge e;
  for (TPDBAFFieldType t : {AFLong, AFString, AFDate, AFCurrency, AFBoolean, AFByte})
    e.Fields().Add().SetDataType(t);
  Check(e, [&](int i) {
    auto& f = e.Fields();
    f.GetItem(0).SetAsAFLong(-i);
    f.GetItem(1).SetAsAFString(Text(i));
    f.GetItem(2).SetAsAFDate(Day(i));
    f.GetItem(3).SetAsAFCurrency(Currency::FromRaw(i * 12345));
    f.GetItem(4).SetAsAFBoolean(i % 3 == 0);
    f.GetItem(5).SetAsAFByte(static_cast<std::uint8_t>(i));
  });
}

TEST_F(PostedPack, Java) {
  TPDBJava e;
  for (TPDBJavaFieldType t : {JInt, JString, JDate, JLong, JBoolean, JString})
    e.Fields().Add().SetDataType(t);
  Check(e, [&](int i) {
    auto& f = e.Fields();
    f.GetItem(0).SetAsInt(i);
    f.GetItem(1).SetAsString(Text(i));
    f.GetItem(2).SetAsDate(Day(i));
    f.GetItem(3).SetAsLong(std::int64_t{i} * -1000003);
    f.GetItem(4).SetAsBoolean(i % 2 == 1);
    f.GetItem(5).SetAsString(Text(i + 1));
  });
}

TEST_F(PostedPack, SQLDriver) {
  TPDBSQLDriver e;
  for (TPDBSQLDriverFieldType t : {PDChar, PDInt, PDDouble, PDChar, PDLong})
    e.Fields().Add().SetDataType(t);
  e.Fields().GetItem(1).SetSize(16);
  e.Fields().GetItem(4).SetSize(1);
  Check(
      e,
      [&](int i) {
        auto& f = e.Fields();
        f.GetItem(0).SetAsInt(i + 1);  // the RowID Post gives it
        f.GetItem(1).SetAsChar(Text(i));
        f.GetItem(2).SetAsInt(-i);
        f.GetItem(3).SetAsDouble(i / 8.0);
        f.GetItem(4).SetAsChar(Text(i + 2));
        f.GetItem(5).SetAsLong(std::int64_t{i} << 33);
      },
      1);  // the structure record comes first
}

TEST_F(PostedPack, Generic) {
  TPDBDataFields e;
  for (TPDBFieldType t :
       {pdtInteger, pdtString, pdtPSDate, pdtPSString, pdtDate, pdtPSUInt32, pdtWord})
    e.Fields().Add().SetDataType(t);
  e.Fields().GetItem(3).SetSize(4);
  Check(e, [&](int i) {
    auto& f = e.Fields();
    f.GetItem(0).SetAsInteger(i - 300);
    f.GetItem(1).SetAsString(Text(i));
    f.GetItem(2).SetAsPSDate(Day(i));
    f.GetItem(3).SetAsPSString(Text(i + 4));
    f.GetItem(4).SetAsDateTime(Day(i));
    f.GetItem(5).SetAsPSUInt32(static_cast<std::uint32_t>(i) * 6000001u);
    f.GetItem(6).SetAsWord(static_cast<std::uint16_t>(i * 3));
  });
}

// The date word and decimal date number of every whole day (taken from the
// day count) are those the date's parts give, across the leap years, the
// years after 2031 that wrap round, and the edges of the span; so are those
// of dates with a time.
TEST(PalmDateWord, EveryWholeDayGivesTheWordOfItsParts) {
  const auto word = [](TDateTime d) {
    const DateParts p = DecodeDate(d);
    return static_cast<std::uint16_t>((p.year - 1904) * 512 + p.month * 32 + p.day);
  };
  const TDateTime first = EncodeDate(1904, 1, 1), last = EncodeDate(2100, 3, 1);
  const auto number = [](TDateTime d) {
    const DateParts p = DecodeDate(d);
    return static_cast<double>((p.year - 1900) * 10000 + p.month * 100 + p.day);
  };
  for (TDateTime d = first - 3; d <= last; d += 1) {
    if (d >= first) {
      ASSERT_EQ(codec::PalmDateWord(d), word(d)) << d;
      ASSERT_EQ(codec::PalmDateWord(d + 0.75), word(d + 0.75)) << d;
    }
    ASSERT_EQ(codec::DecimalDateNumber(d), number(d)) << d;
    ASSERT_EQ(codec::DecimalDateNumber(d + 0.75), number(d + 0.75)) << d;
  }
  EXPECT_EQ(codec::PalmDateWord(first - 1), 0);
  EXPECT_EQ(codec::PalmDateWord(first - 0.5), 0);
  EXPECT_EQ(codec::PalmDateWord(EncodeDate(9999, 12, 31)), word(EncodeDate(9999, 12, 31)));
  EXPECT_EQ(codec::PalmDateWord(EncodeDate(2000, 2, 29)), (2000 - 1904) * 512 + 2 * 32 + 29);
}

}  // namespace
}  // namespace corvane::test
