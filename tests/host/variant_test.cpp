#include "corvane/host/variant.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "corvane/host/currency.h"
#include "corvane/host/datetime.h"
#include "corvane/host/exceptions.h"

namespace corvane {
namespace {

constexpr std::int64_t kMin64 = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax64 = std::numeric_limits<std::int64_t>::max();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr std::nullopt_t kFails = std::nullopt;  // the conversion raises EConvertError

// The decimal separator is process-wide; every test that changes it puts it back.
class ScopedDecimalSeparator {
 public:
  explicit ScopedDecimalSeparator(char sep) : saved_(DefaultFormatSettings().DecimalSeparator) {
    ChangeDefaultFormatSettings([sep](FormatSettings& fs) { fs.DecimalSeparator = sep; });
  }
  ~ScopedDecimalSeparator() {
    ChangeDefaultFormatSettings([this](FormatSettings& fs) { fs.DecimalSeparator = saved_; });
  }

 private:
  char saved_;
};

Variant Cur(std::int64_t raw) {
  return Variant(Currency::FromRaw(raw));
}

std::string Describe(const Variant& v) {
  return std::to_string(static_cast<int>(v.Type())) + ":" + (v.IsNull() ? "null" : v.AsString());
}

template <class T>
using Table = std::vector<std::pair<Variant, std::optional<T>>>;

template <class T, class Convert>
void Check(const Table<T>& table, Convert convert) {
  for (const auto& [in, want] : table) {
    SCOPED_TRACE(Describe(in));
    if (want) {
      EXPECT_EQ(convert(in), *want);
    } else {
      EXPECT_THROW(convert(in), EConvertError);
    }
  }
}

// clang-format off
TEST(VariantTest, ToInt64) {
  Check<std::int64_t>({
      {Variant(), 0}, {Variant(true), -1}, {Variant(false), 0}, {Variant(kMin64), kMin64},
      // floats round half to even
      {Variant(0.5), 0}, {Variant(1.5), 2}, {Variant(2.5), 2}, {Variant(3.5), 4},
      {Variant(-0.5), 0}, {Variant(-2.5), -2}, {Variant(-3.5), -4},
      {Variant(2.4999999999999996), 2}, {Variant(4503599627370497.0), 4503599627370497},
      {Variant(9223372036854774784.0), 9223372036854774784}, {Variant(-9223372036854775808.0), kMin64},
      {Variant(9223372036854775808.0), kFails}, {Variant(1e300), kFails}, {Variant(kNaN), kFails},
      {Variant(kInf), kFails},
      {Variant::FromDateTime(45000.5), 45000}, {Variant::FromDateTime(45001.5), 45002},
      {Cur(25000), 2}, {Cur(35000), 4}, {Cur(-25000), -2}, {Cur(-35000), -4}, {Cur(-15001), -2},
      {Cur(kMin64), -922337203685478},
      {Variant(" \t-42 "), -42}, {Variant("+42"), 42}, {Variant("-9223372036854775808"), kMin64},
      {Variant("9223372036854775807"), kMax64}, {Variant("2.5"), 2}, {Variant("3.5"), 4},
      {Variant("1e3"), 1000}, {Variant("True"), -1}, {Variant("false"), 0},
      {Variant("1e30"), kFails}, {Variant("abc"), kFails}, {Variant(""), kFails},
      {Variant("  "), kFails}, {Variant("12abc"), kFails}, {Variant("--1"), kFails},
      {Variant::Null(), kFails},
  }, [](const Variant& v) { return v.AsInt64(); });
  EXPECT_EQ(Variant(-2147483648LL).AsInteger(), std::numeric_limits<std::int32_t>::min());
  EXPECT_THROW(Variant(2147483648LL).AsInteger(), EConvertError);
  EXPECT_THROW(Variant("3000000000").AsInteger(), EConvertError);
}

TEST(VariantTest, ToDouble) {
  Check<double>({
      {Variant(), 0.0}, {Variant(true), -1.0}, {Variant(false), 0.0}, {Variant(-3), -3.0},
      {Cur(12345), 1.2345}, {Cur(-1), -0.0001}, {Variant::FromDateTime(45000.25), 45000.25},
      {Variant(" -1.25e2 "), -125.0}, {Variant(".5"), 0.5}, {Variant("1e-400"), 0.0},
      {Variant("1e400"), kFails}, {Variant("1,5"), kFails}, {Variant("abc"), kFails},
      {Variant(""), kFails}, {Variant("0x10"), kFails}, {Variant("1 5"), kFails},
      {Variant::Null(), kFails},
  }, [](const Variant& v) { return v.AsDouble(); });
}

TEST(VariantTest, ToCurrency) {
  Check<std::int64_t>({
      {Variant(), 0}, {Variant(true), -10000}, {Variant(5), 50000},
      {Variant(922337203685477LL), 9223372036854770000}, {Variant(922337203685478LL), kFails},
      {Variant(-922337203685477LL), -9223372036854770000},
      // a double rounds as the decimal it reads as, halves to even
      {Variant(0.00005), 0}, {Variant(0.00015), 2}, {Variant(0.00025), 2}, {Variant(-0.00025), -2},
      {Variant(1.23456), 12346}, {Variant(1.23455), 12346}, {Variant(1.23445), 12344},
      {Variant(-123.45675), -1234568}, {Variant(0.1), 1000}, {Variant(5e-324), 0},
      {Variant(-0.0), 0}, {Variant(922337203685477.5), 9223372036854775000},
      {Variant(1e15), kFails}, {Variant(-1e20), kFails}, {Variant(kNaN), kFails},
      {Variant(kInf), kFails},
      // text converts exactly, however many digits it has
      {Variant("12.34565"), 123456}, {Variant("12.34575"), 123458},
      {Variant("12.345650000000000000000001"), 123457}, {Variant(" -0.00005 "), 0},
      {Variant("-0.00015"), -2}, {Variant("1e-4"), 1}, {Variant("1.5E2"), 1500000},
      {Variant("000123"), 1230000}, {Variant("922337203685477.5807"), kMax64},
      {Variant("-922337203685477.5808"), kMin64}, {Variant("922337203685477.5808"), kFails},
      {Variant("922337203685477.58075"), kFails},  // rounds up past the top
      {Variant("abc"), kFails}, {Variant("."), kFails}, {Variant(""), kFails},
      {Variant::Null(), kFails},
  }, [](const Variant& v) { return v.AsCurrency().value; });
}

TEST(VariantTest, ToBoolean) {
  Check<bool>({
      {Variant(), false}, {Variant(0), false}, {Variant(-1), true}, {Variant(2), true},
      {Variant(0.0), false}, {Variant(0.1), true}, {Cur(0), false}, {Cur(1), true},
      {Variant("TRUE"), true}, {Variant(" false "), false}, {Variant("0"), false},
      {Variant("1.5"), true}, {Variant("yes"), kFails}, {Variant(""), kFails},
      {Variant::Null(), kFails},
  }, [](const Variant& v) { return v.AsBoolean(); });
}

TEST(VariantTest, ToString) {
  Check<std::string>({
      {Variant(), ""}, {Variant::Null(), ""}, {Variant(kMin64), "-9223372036854775808"},
      {Variant(0.1), "0.1"}, {Variant(2.0), "2"}, {Variant(-0.0), "-0"}, {Cur(12345), "1.2345"},
      {Cur(20000), "2"}, {Cur(15000), "1.5"}, {Cur(-1), "-0.0001"},
      {Cur(kMin64), "-922337203685477.5808"}, {Variant(true), "True"}, {Variant(false), "False"},
      {Variant(std::string("a\0b ", 4)), std::string("a\0b ", 4)},
      {Variant(static_cast<const char*>(nullptr)), ""},
  }, [](const Variant& v) { return v.AsString(); });
}
// clang-format on

TEST(VariantTest, ConversionErrorNamesBothKinds) {
  try {
    Variant("abc").AsDouble();
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "Could not convert variant of type (Text) into type (Double)");
  }
}

TEST(VariantTest, TextUsesTheDecimalSeparator) {
  ScopedDecimalSeparator comma(',');
  EXPECT_EQ(Variant("1,5").AsDouble(), 1.5);
  EXPECT_EQ(Variant("2,5").AsInt64(), 2);
  EXPECT_EQ(Variant("0,0001").AsCurrency().value, 1);
  EXPECT_THROW(Variant("1.5").AsDouble(), EConvertError);
  EXPECT_EQ(Variant(1.5).AsString(), "1,5");
  EXPECT_EQ(Cur(15000).AsString(), "1,5");
  double out = 0;
  EXPECT_TRUE(TryStrToFloat(" -2,25 ", out));
  EXPECT_EQ(out, -2.25);
  EXPECT_FALSE(TryStrToFloat("2.25", out));
  EXPECT_EQ(out, -2.25);  // untouched on failure
}

TEST(VariantTest, TextRoundTripsThroughEveryKind) {
  // What a value becomes as text reads back as the same value.
  for (const Variant& v : {Variant(true), Variant(false), Variant(kMin64), Variant(0.1),
                           Variant(1e300), Cur(kMax64), Cur(-1)}) {
    SCOPED_TRACE(Describe(v));
    const Variant text(v.AsString());
    EXPECT_EQ(Variant::Compare(text, v), 0);
  }
  const TDateTime when = EncodeDate(2024, 2, 29) + EncodeTime(13, 45, 7, 0);
  const Variant dt = Variant::FromDateTime(when);
  EXPECT_EQ(dt.AsString(), DateTimeToStr(when));
  EXPECT_NEAR(Variant(dt.AsString()).AsDateTime(), when, 1e-9);
  EXPECT_EQ(Variant(DateToStr(EncodeDate(1999, 12, 31))).AsDateTime(), EncodeDate(1999, 12, 31));
  EXPECT_THROW(Variant("not a date").AsDateTime(), EConvertError);
  EXPECT_THROW(Variant::Null().AsDateTime(), EConvertError);
  EXPECT_EQ(Variant(45000).AsDateTime(), 45000.0);
}

TEST(VariantTest, CompareOrdersAcrossKinds) {
  // Strictly ascending; every pair must compare by its position.
  const std::vector<Variant> ascending = {
      Variant(),
      Variant::Null(),
      Variant(-1e300),
      Variant(kMin64),
      Variant(true),
      Cur(-5000),
      Variant(false),
      Variant(0.25),
      Cur(5000),
      Variant("0.75"),
      Variant(1),
      Cur(10001),
      Variant(1.5),
      Variant::FromDateTime(2.0),
      Variant(3),
      Variant(9007199254740992.0),
      Variant(9007199254740993LL),  // not representable as a double
      Variant(kMax64),
      Variant(9223372036854775808.0),
      Variant(kInf),
  };
  for (std::size_t i = 0; i < ascending.size(); ++i) {
    for (std::size_t j = 0; j < ascending.size(); ++j) {
      const VarType ti = ascending[i].Type(), tj = ascending[j].Type();
      // A text meets a date only as a date text, so that pair stays out.
      if (i == j || (ti == VarType::Text && tj == VarType::DateTime) ||
          (ti == VarType::DateTime && tj == VarType::Text)) {
        continue;
      }
      SCOPED_TRACE(Describe(ascending[i]) + " vs " + Describe(ascending[j]));
      EXPECT_EQ(Variant::Compare(ascending[i], ascending[j]), i < j ? -1 : 1);
    }
  }
}

TEST(VariantTest, EqualityAcrossKinds) {
  const std::vector<std::pair<Variant, Variant>> equal = {
      {Variant(), Variant()},
      {Variant::Null(), Variant::Null()},
      {Variant(1), Variant(1.0)},
      {Variant(1.5), Cur(15000)},
      {Variant(true), Variant(-1)},
      {Variant(1), Variant(" 1.0 ")},
      {Variant(true), Variant("True")},
      {Variant(kNaN), Variant(kNaN)},
      {Variant::FromDateTime(EncodeDate(2001, 2, 3)), Variant(DateToStr(EncodeDate(2001, 2, 3)))},
  };
  for (const auto& [a, b] : equal) {
    SCOPED_TRACE(Describe(a) + " vs " + Describe(b));
    EXPECT_TRUE(a == b && b == a);
  }
  const std::vector<std::pair<Variant, Variant>> different = {
      {Variant(), Variant::Null()},
      {Variant(), Variant(0)},
      {Variant(), Variant("")},
      {Variant("abc"), Variant("ABC")},
      {Variant("1"), Variant("1.0")},  // texts compare as bytes
      {Variant(1), Variant("abc")},    // cannot compare: not equal
      {Variant(9007199254740993LL), Variant(9007199254740992.0)},
  };
  for (const auto& [a, b] : different) {
    SCOPED_TRACE(Describe(a) + " vs " + Describe(b));
    EXPECT_FALSE(a == b || b == a);
  }
  EXPECT_LT(Variant::Compare(Variant("B"), Variant("a")), 0);
  EXPECT_GT(Variant::Compare(Variant("\xff"), Variant("a")), 0);  // bytes are unsigned
  EXPECT_THROW(Variant::Compare(Variant(1), Variant("abc")), EConvertError);
  EXPECT_THROW(Variant::Compare(Variant::FromDateTime(1.0), Variant("1")), EConvertError);
}

TEST(FloatTextTest, FloatToStrRoundTripsAwkwardDoubles) {
  const std::vector<double> values = {
      0.1,
      0.2 + 0.1,
      1.0 / 3.0,
      -2.0 / 3.0,
      5e-324,
      DBL_MIN,
      std::nextafter(DBL_MIN, 0.0),
      DBL_MAX,
      -DBL_MAX,
      DBL_EPSILON,
      std::nextafter(1.0, 2.0),
      std::nextafter(1.0, 0.0),
      1e21,
      1e22,
      123456789012345678.0,
      9007199254740993.0,
      1e-7,
      4.35,
      0.0,
      -0.0,
      1e15 + 0.3,
      2.5e-310,
      kInf,
      -kInf,
  };
  for (char sep : {'.', ','}) {
    ScopedDecimalSeparator scoped(sep);
    for (double v : values) {
      const std::string text = FloatToStr(v);
      SCOPED_TRACE(text);
      EXPECT_EQ(std::bit_cast<std::uint64_t>(StrToFloat(text)), std::bit_cast<std::uint64_t>(v));
      EXPECT_LE(text.size(), 24U);  // shortest form, not 17 digits every time
    }
  }
  EXPECT_EQ(FloatToStr(100.0), "100");
  EXPECT_TRUE(std::isnan(StrToFloat(FloatToStr(kNaN))));
}

TEST(FloatTextTest, StrToFloatAndStrToInt64Reject) {
  for (const char* bad : {"", " ", "abc", "1.5x", "--1", "+-1", "-+1", "1e", "e5", "1,5", "0x10",
                          "1 5", "1e400", "1..5", "$10", "1_000"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(StrToFloat(bad), EConvertError);
  }
  for (const char* bad :
       {"", "1.0", "1e3", "9223372036854775808", "-9223372036854775809", "+-1", "12 3"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(StrToInt64(bad), EConvertError);
  }
  EXPECT_EQ(StrToInt64(" -7 "), -7);
  EXPECT_EQ(StrToFloat("+3"), 3.0);
  EXPECT_EQ(StrToFloat("5."), 5.0);
}

TEST(RoundHalfEvenTest, Table) {
  const std::vector<std::pair<double, std::int64_t>> cases = {
      {0.5, 0},
      {1.5, 2},
      {2.5, 2},
      {-0.5, 0},
      {-1.5, -2},
      {-2.5, -2},
      {-7.7, -8},
      {7.2, 7},
      {0.49999999999999994, 0},
      {4503599627370497.0, 4503599627370497},
      {-9223372036854775808.0, kMin64},
  };
  for (const auto& [in, want] : cases) {
    SCOPED_TRACE(in);
    EXPECT_EQ(RoundHalfEven(in), want);
  }
  EXPECT_THROW(RoundHalfEven(9223372036854775808.0), EConvertError);
  EXPECT_THROW(RoundHalfEven(kNaN), EConvertError);
  EXPECT_THROW(RoundHalfEven(-kInf), EConvertError);
}

}  // namespace
}  // namespace corvane
