// Field classes: native forms, conversions, ranges and their errors; field
// definitions and the flattened definition list; the framework's helpers.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "one_column_dataset.h"

namespace corvane {
namespace {

using testing::OneColumnDataSet;

// A dataset with one field of class F, open, in insert state on a new row.
template <class F>
struct Editing {
  OneColumnDataSet ds;
  F& field;
  explicit Editing(int size = -1) : field(ds.NewField<F>("V", size)) {
    ds.Open();
    ds.Append();
  }
  // The native bytes the field wrote.
  std::vector<std::uint8_t> Native() {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(field.DataSize()));
    EXPECT_TRUE(field.GetData(out));
    return out;
  }
};

TEST(FieldsTest, StringTruncatesToSize) {
  Editing<TStringField> e(5);
  EXPECT_EQ(e.field.DataSize(), 6);
  e.field.SetAsString("abcdefgh");
  EXPECT_EQ(e.field.AsString(), "abcde");
  e.field.SetAsString("");
  EXPECT_EQ(e.field.AsString(), "");
  e.field.Clear();
  EXPECT_TRUE(e.field.AsVariant().IsNull());
  e.field.SetAsInteger(-42);
  EXPECT_EQ(e.field.AsInteger(), -42);
  e.field.SetAsString("x1");
  EXPECT_THROW(e.field.AsInteger(), EConvertError);
  e.ds.Post();
  EXPECT_EQ(e.field.AsString(), "x1");
}

TEST(FieldsTest, IntegerWidthsRejectValuesOutsideTheirRange) {
  struct Case {
    TFieldType type;
    std::int64_t low, high;
  };
  for (Case c : {Case{ftSmallint, -32768, 32767}, Case{ftWord, 0, 65535},
                 Case{ftInteger, INT32_MIN, INT32_MAX}, Case{ftLargeint, INT64_MIN, INT64_MAX}}) {
    SCOPED_TRACE(FieldTypeName(c.type));
    OneColumnDataSet ds;
    ds.FieldDefs().Add("V", c.type);
    ds.Open();
    ds.Append();
    TField& f = ds.FieldByName("V");
    for (std::int64_t v : {c.low, c.high}) {
      f.SetAsLargeInt(v);
      EXPECT_EQ(f.AsLargeInt(), v);
      EXPECT_EQ(f.AsString(), std::to_string(v));
    }
    if (c.type != ftLargeint) {
      EXPECT_THROW(f.SetAsLargeInt(c.low - 1), EDatabaseError);
      EXPECT_THROW(f.SetAsLargeInt(c.high + 1), EDatabaseError);
      EXPECT_EQ(f.AsLargeInt(), c.high);  // the rejected value left no trace
    }
  }
}

TEST(FieldsTest, IntegerConversions) {
  Editing<TSmallintField> e;
  e.field.SetAsFloat(2.5);  // halves round to even
  EXPECT_EQ(e.field.AsInteger(), 2);
  e.field.SetAsFloat(3.5);
  EXPECT_EQ(e.field.AsInteger(), 4);
  EXPECT_THROW(e.field.SetAsFloat(1e10), EDatabaseError);
  EXPECT_THROW(e.field.SetAsFloat(std::nan("")), EDatabaseError);
  e.field.SetAsString(" 12 ");
  EXPECT_EQ(e.field.AsInteger(), 12);
  EXPECT_THROW(e.field.SetAsString("12abc"), EDatabaseError);
  e.field.SetAsString("");
  EXPECT_TRUE(e.field.IsNull());
  EXPECT_EQ(e.field.AsInteger(), 0);  // null reads as 0
  EXPECT_EQ(e.field.AsString(), "");
  EXPECT_THROW(e.field.AsDateTime(), EDatabaseError);
}

TEST(FieldsTest, BooleanIsSixteenBitsAndRoundTripsAsText) {
  Editing<TBooleanField> e;
  e.field.SetAsBoolean(true);
  EXPECT_EQ(e.Native(), (std::vector<std::uint8_t>{0xFF, 0xFF}));
  EXPECT_EQ(e.field.AsString(), "True");
  e.field.SetAsString("false");
  EXPECT_FALSE(e.field.AsBoolean());
  EXPECT_FALSE(e.field.IsNull());
  EXPECT_THROW(e.field.SetAsString("perhaps"), EDatabaseError);
  e.field.SetAsVariant(Variant::Null());
  EXPECT_TRUE(e.field.IsNull());
  try {
    (void)e.field.AsDateTime();
    FAIL();
  } catch (const EDatabaseError& err) {
    EXPECT_EQ(std::string(err.what()), "Cannot access field 'V' as type DateTime");
  }
}

TEST(FieldsTest, FloatAndCurrency) {
  Editing<TCurrencyField> e;
  e.field.SetAsString("12.3456");
  EXPECT_DOUBLE_EQ(e.field.AsFloat(), 12.3456);
  EXPECT_EQ(e.field.AsCurrency().value, 123456);
  EXPECT_EQ(e.field.AsVariant().Type(), VarType::Currency);
  e.field.SetAsLargeInt(-3);
  EXPECT_EQ(e.field.AsString(), "-3");
  EXPECT_THROW(e.field.SetAsString("1,5x"), EDatabaseError);
}

TEST(FieldsTest, BcdRoundTripsCurrencies) {
  for (std::int64_t raw : {std::int64_t{0}, std::int64_t{1}, std::int64_t{-1}, std::int64_t{123456},
                           INT64_MAX, INT64_MIN + 1}) {
    SCOPED_TRACE(raw);
    std::array<std::uint8_t, 34> bcd{};
    CurrencyToBcd(Currency::FromRaw(raw), bcd);
    Currency back;
    ASSERT_TRUE(BcdToCurrency(bcd, back));
    EXPECT_EQ(back.value, raw);
  }
  // 12.3456 packs as precision 6, four places, digits 1 2 3 4 5 6.
  std::array<std::uint8_t, 34> bcd{};
  CurrencyToBcd(Currency::FromRaw(123456), bcd);
  EXPECT_EQ(bcd[0], 6);
  EXPECT_EQ(bcd[1], 4);
  EXPECT_EQ(bcd[2], 0x12);
  EXPECT_EQ(bcd[3], 0x34);
  EXPECT_EQ(bcd[4], 0x56);
}

TEST(FieldsTest, BcdWithMorePlacesRoundsHalfToEvenAndRejectsBadDigits) {
  struct Case {
    std::vector<std::uint8_t> digits;  // packed nibbles
    int precision, places;
    std::int64_t raw;
  };
  // 0.00005 -> 0.0000 (tie to even), 0.00015 -> 0.0002, 0.000051 -> 0.0001
  for (const Case& c : {Case{{0x00, 0x00, 0x05}, 6, 5, 0}, Case{{0x00, 0x00, 0x15}, 6, 5, 2},
                        Case{{0x00, 0x00, 0x05, 0x10}, 7, 6, 1}}) {
    std::array<std::uint8_t, 34> bcd{};
    bcd[0] = static_cast<std::uint8_t>(c.precision);
    bcd[1] = static_cast<std::uint8_t>(c.places);
    std::copy(c.digits.begin(), c.digits.end(), bcd.begin() + 2);
    Currency out;
    ASSERT_TRUE(BcdToCurrency(bcd, out));
    EXPECT_EQ(out.value, c.raw);
  }
  std::array<std::uint8_t, 34> bad{};
  bad[0] = 2;
  bad[2] = 0x1A;  // a nibble above 9
  Currency out;
  EXPECT_FALSE(BcdToCurrency(bad, out));
  bad[2] = 0x11;
  bad[0] = 65;  // more digits than the 32 bytes hold
  EXPECT_FALSE(BcdToCurrency(bad, out));
  std::array<std::uint8_t, 34> huge{};
  huge[0] = 30;  // 30 nines overflow a currency
  std::fill(huge.begin() + 2, huge.begin() + 17, 0x99);
  EXPECT_FALSE(BcdToCurrency(huge, out));
}

TEST(FieldsTest, DatesTimesAndDateTimes) {
  const TDateTime stamp = EncodeDate(2024, 2, 29) + EncodeTime(13, 45, 30, 250);
  {
    Editing<TDateTimeField> e;
    e.field.SetAsDateTime(stamp);
    EXPECT_EQ(e.field.AsDateTime(), stamp);
    EXPECT_EQ(e.field.AsVariant().Type(), VarType::DateTime);
    EXPECT_THROW(e.field.SetAsFloat(std::numeric_limits<double>::infinity()), EDatabaseError);
  }
  {
    Editing<TDateField> e;
    e.field.SetAsDateTime(stamp);
    EXPECT_EQ(e.field.AsDateTime(), EncodeDate(2024, 2, 29));
    e.field.SetAsDateTime(EncodeDate(1, 1, 1));
    std::int32_t day;
    std::memcpy(&day, e.Native().data(), 4);
    EXPECT_EQ(day, 1);  // 0001-01-01 is day 1
    EXPECT_EQ(e.field.AsDateTime(), EncodeDate(1, 1, 1));
    EXPECT_THROW(e.field.SetAsDateTime(1e12), EDatabaseError);
  }
  {
    Editing<TTimeField> e;
    e.field.SetAsDateTime(stamp);
    std::int32_t ms;
    std::memcpy(&ms, e.Native().data(), 4);
    EXPECT_EQ(ms, ((13 * 60 + 45) * 60 + 30) * 1000 + 250);
    EXPECT_NEAR(e.field.AsDateTime(), EncodeTime(13, 45, 30, 250), 1e-9);
  }
}

TEST(FieldsTest, BytesKeepZerosAndVarBytesKeepTheirLength) {
  const std::string raw("a\0b", 3);
  {
    Editing<TBytesField> e(4);
    e.field.SetAsString(raw);
    EXPECT_EQ(e.field.AsString(), std::string("a\0b\0", 4));
  }
  {
    Editing<TVarBytesField> e(4);
    EXPECT_EQ(e.field.DataSize(), 6);
    e.field.SetAsString(raw);
    EXPECT_EQ(e.field.AsString(), raw);
    e.field.SetAsString("abcdefg");
    EXPECT_EQ(e.field.AsString(), "abcd");
  }
}

TEST(FieldsTest, WideStringMapsBytesToCharacters) {
  Editing<TWideStringField> e(3);
  EXPECT_EQ(e.field.DataSize(), 8);
  e.field.SetAsString("\xE9t\xE9!");
  EXPECT_EQ(e.field.AsString(), "\xE9t\xE9");
  EXPECT_EQ(e.Native(), (std::vector<std::uint8_t>{0xE9, 0, 't', 0, 0xE9, 0, 0, 0}));
}

TEST(FieldsTest, BlobWithoutStreamsReadsEmptyAndRefusesWrites) {
  OneColumnDataSet ds;
  TBlobField& f = ds.NewField<TBlobField>("B");
  EXPECT_TRUE(f.IsBlob());
  ds.Open();
  ds.Append();
  EXPECT_TRUE(f.IsNull());
  EXPECT_EQ(f.AsString(), "");
  EXPECT_THROW(f.SetAsString("x"), EDatabaseError);
}

TEST(FieldsTest, SizesAreChecked) {
  TStringField s;
  EXPECT_THROW(s.SetSize(-1), EDatabaseError);
  TIntegerField i;
  EXPECT_THROW(i.SetSize(4), EDatabaseError);
  TFieldDefs defs(nullptr);
  EXPECT_THROW(defs.Add("A", ftString, -5), EDatabaseError);
}

TEST(FieldDefsTest, FlattenedListNamesChildrenAfterTheirParents) {
  OneColumnDataSet ds;
  TFieldDefs& defs = ds.FieldDefs();
  defs.Add("Id", ftInteger);
  TFieldDef& addr = defs.Add("Addr", ftADT);
  addr.ChildDefs().Add("Street", ftString, 30);
  TFieldDef& geo = addr.ChildDefs().Add("Geo", ftADT);
  geo.ChildDefs().Add("Lat", ftFloat);
  defs.Add("Note", ftMemo);
  TFieldDefList& list = ds.FieldDefList();
  std::vector<std::string> names;
  for (int i = 0; i < list.Count(); ++i) {
    names.push_back(list.Strings(i));
    EXPECT_EQ(list.Items(i).FieldNo(), i + 1);
  }
  EXPECT_EQ(names, (std::vector<std::string>{"Id", "Addr", "Addr.Street", "Addr.Geo",
                                             "Addr.Geo.Lat", "Note"}));
  EXPECT_EQ(list.Items(4).FullName(), "Addr.Geo.Lat");
  EXPECT_EQ(list.IndexOf("addr.geo.lat"), 4);
  EXPECT_EQ(list.Find("Nope"), nullptr);
  EXPECT_THROW(list.Items(6), EListError);
  EXPECT_THROW(defs.Add("ID", ftString, 3), EDatabaseError);  // names are unique in any case
  defs.Items(0).SetName("Key");                               // a change rebuilds the list
  EXPECT_EQ(ds.FieldDefList().Strings(0), "Key");
  defs.Clear();
  EXPECT_EQ(ds.FieldDefList().Count(), 0);
}

TEST(HelpersTest, ExtractFieldNameSplitsAtSemicolonsAndTrims) {
  const std::string names = " A; B ;;C";
  std::size_t pos = 0;
  std::vector<std::string> got;
  while (pos < names.size()) got.push_back(ExtractFieldName(names, pos));
  EXPECT_EQ(got, (std::vector<std::string>{"A", "B", "", "C"}));
  EXPECT_EQ(ExtractFieldName(names, pos), "");
}

TEST(HelpersTest, FormatMessageFillsInOrder) {
  EXPECT_EQ(FormatMessage("%s is %s%%", {"x", "50"}), "x is 50%");
  EXPECT_EQ(FormatMessage("%s and %s", {"only"}), "only and ");
  EXPECT_EQ(FormatMessage("trailing %", {}), "trailing %");
}

TEST(HelpersTest, GetFieldListFindsEveryNameOrFails) {
  OneColumnDataSet ds;
  ds.FieldDefs().Add("N", ftInteger);
  ds.Open();
  std::vector<TField*> list;
  ds.GetFieldList(list, "N; n");
  EXPECT_EQ(list.size(), 2u);
  try {
    ds.GetFieldList(list, "N;Missing");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::string(e.what()), "Field 'Missing' not found");
  }
}

TEST(HelpersTest, FieldTypeOrdinalsAreTheContractsOnes) {
  EXPECT_EQ(ftString, 1);
  EXPECT_EQ(ftAutoInc, 14);
  EXPECT_EQ(ftBlob, 15);
  EXPECT_EQ(ftFixedChar, 23);
  EXPECT_EQ(ftLargeint, 25);
  EXPECT_EQ(ftVariant, 32);
  EXPECT_EQ(ftGuid, 35);
  EXPECT_EQ(dsInternalCalc, 11);
  for (int t = 0; t <= 37; ++t) {
    bool blob = (t >= 15 && t <= 21) || t == 30 || t == 31;
    EXPECT_EQ(IsBlobType(static_cast<TFieldType>(t)), blob) << t;
  }
}

}  // namespace
}  // namespace corvane
