// Dates, text helpers, the binary file and the hooks.
#include "corvane/host/datetime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "corvane/host/binary_file.h"
#include "corvane/host/exceptions.h"
#include "corvane/host/hooks.h"
#include "corvane/host/text.h"
#include "support/temp_dir.h"

namespace corvane {
namespace {

TEST(Dates, KnownDayNumbers) {
  struct Case {
    int y, m, d;
    double day;
  };
  const Case cases[] = {
      {1899, 12, 30, 0},    {1899, 12, 29, -1},  {1900, 1, 1, 2},
      {1904, 1, 1, 1462},   {1970, 1, 1, 25569}, {1990, 1, 1, 32874},
      {2000, 2, 29, 36585}, {1, 1, 1, -693593},  {9999, 12, 31, 2958465},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeDate(c.y, c.m, c.d), c.day) << c.y << "-" << c.m << "-" << c.d;
    const DateParts p = DecodeDate(c.day);
    EXPECT_EQ(std::vector<int>({p.year, p.month, p.day}), std::vector<int>({c.y, c.m, c.d}));
  }
}

// Day after day from 0001-01-01 to 9999-12-31, each decoded as the calendar
// says it follows the one before, and encoded back to its number.
TEST(Dates, EveryDayOfTheRangeRoundTrips) {
  DateParts expect{1, 1, 1};
  for (double day = -693593; day <= 2958465; day += 1) {
    const DateParts p = DecodeDate(day);
    ASSERT_EQ(std::vector<int>({p.year, p.month, p.day}),
              std::vector<int>({expect.year, expect.month, expect.day}));
    ASSERT_EQ(EncodeDate(p.year, p.month, p.day), day);
    if (++expect.day > DaysInMonth(expect.year, expect.month)) {
      expect.day = 1;
      if (++expect.month > 12) {
        expect.month = 1;
        ++expect.year;
      }
    }
  }
}

// Decoding takes shortcuts for whole days and rounds without the library;
// it must agree with rounding through llround for every value: day boundaries
// and their neighbours, negative dates, and fractions on and beside the half
// milliseconds where rounding turns.
TEST(Dates, DecodingAgreesWithRoundingByLlround) {
  const auto expect_same = [](TDateTime dt) {
    const double whole = std::trunc(dt);
    std::int64_t ms = std::llround(std::fabs(dt - whole) * kMSecsPerDay);
    auto days = static_cast<std::int64_t>(whole);
    if (ms >= static_cast<std::int64_t>(kMSecsPerDay)) {
      ms = 0;
      days += dt < 0 ? -1 : 1;
    }
    const DateParts want_d = DecodeDate(static_cast<double>(days));
    const DateParts got_d = DecodeDate(dt);
    const TimeParts got_t = DecodeTime(dt);
    // Compared whole, without building messages: this runs for millions of values.
    const bool same = got_d.year == want_d.year && got_d.month == want_d.month &&
                      got_d.day == want_d.day && got_t.hour == ms / 3600000 &&
                      got_t.minute == ms / 60000 % 60 && got_t.second == ms / 1000 % 60 &&
                      got_t.msec == ms % 1000;
    ASSERT_TRUE(same) << std::hexfloat << dt;
  };
  const TDateTime first = EncodeDate(1, 1, 1), last = EncodeDate(9999, 12, 31);
  // Every day boundary in the range, and the values one step either side.
  for (TDateTime d = first; d <= last; d += 1) {
    expect_same(d);
    if (d > first) expect_same(std::nextafter(d, -1e9));
    if (d < last) expect_same(std::nextafter(d, 1e9));
    if (HasFatalFailure()) return;
  }
  // Times of day on and around every half millisecond of a few whole seconds,
  // each on a positive and a negative day.
  for (const TDateTime day : {0.0, 1.0, 36525.0, 2958465.0 - 1, -1.0, -693593.0 + 1}) {
    for (int second : {0, 1, 59, 3599, 43200, 86399}) {
      for (int half = -3; half <= 3; ++half) {
        const double frac = (second * 1000.0 + half * 0.5) / kMSecsPerDay;
        if (frac < 0) continue;
        for (const double f : {frac, std::nextafter(frac, 0.0), std::nextafter(frac, 1.0)}) {
          expect_same(day < 0 ? day - f : day + f);
        }
      }
    }
  }
  // Just outside the range, whole or rounding into it or out of it.
  for (const TDateTime outside : {first - 1, last + 1, last + 0.9999999999, first - 1.5, 1e300,
                                  -1e300, HUGE_VAL, -HUGE_VAL, std::nan("")}) {
    EXPECT_THROW(DecodeDate(outside), EConvertError) << outside;
  }
  EXPECT_EQ(DecodeDate(first - 0.5).day, 1);  // noon of the first day: negative fractions are times
  EXPECT_EQ(DecodeDate(-0.0).day, 30);
  // The time numbers of every second of the day as stored by records.
  for (int s = 0; s < 86400; ++s) {
    const TDateTime t = EncodeTime(s / 3600, s / 60 % 60, s % 60, 0);
    expect_same(t);
    expect_same(-1 - t);
  }
}

TEST(Dates, BadPartsRaiseConversionErrors) {
  EXPECT_THROW(EncodeDate(2001, 2, 29), EConvertError);
  EXPECT_THROW(EncodeDate(2000, 13, 1), EConvertError);
  EXPECT_THROW(EncodeDate(0, 1, 1), EConvertError);
  EXPECT_THROW(EncodeDate(10000, 1, 1), EConvertError);
  EXPECT_THROW(EncodeTime(24, 0, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 60, 0, 0), EConvertError);
  EXPECT_THROW(EncodeTime(0, 0, 0, 1000), EConvertError);
  EXPECT_THROW(DecodeDate(NAN), EConvertError);
  EXPECT_THROW(DecodeDate(1e12), EConvertError);
  EXPECT_NO_THROW(EncodeDate(2000, 2, 29));
}

TEST(Dates, TimeOfDayOfNegativeValuesAndRounding) {
  const TimeParts t = DecodeTime(-1.25);
  EXPECT_EQ(t.hour, 6);
  EXPECT_EQ(DecodeDate(-1.25).day, 29);
  const TDateTime almost = EncodeDate(2020, 12, 31) + 0.99999999999;
  EXPECT_EQ(DecodeDate(almost).year, 2021);  // rounds to the next midnight
  EXPECT_EQ(DecodeTime(almost).hour, 0);
  const TDateTime t1 = EncodeTime(23, 59, 59, 999);
  const TimeParts p = DecodeTime(t1);
  EXPECT_EQ(std::vector<int>({p.hour, p.minute, p.second, p.msec}),
            std::vector<int>({23, 59, 59, 999}));
}

// The time of day is rounded to the millisecond half away from zero, as
// llround rounds, also for values a hair either side of a half millisecond
// and for negative values (whose fraction is the time of day).
TEST(Dates, MillisecondsRoundHalfAwayFromZeroAtEveryEdge) {
  for (double day : {0.0, 1.0, 36525.0, 2958465.0, -1.0, -693593.0}) {
    for (std::int64_t ms : {0, 1, 499, 500, 43199999, 86399998, 86399999}) {
      const double half = (static_cast<double>(ms) + 0.5) / 86400000.0;
      for (double frac : {half, std::nextafter(half, 0.0), std::nextafter(half, 1.0)}) {
        const TDateTime dt = day < 0 ? day - frac : day + frac;
        const double whole = std::trunc(dt);
        std::int64_t want = std::llround(std::fabs(dt - whole) * 86400000.0);
        std::int64_t want_day = static_cast<std::int64_t>(whole);
        if (want >= 86400000) {
          want = 0;
          want_day += dt < 0 ? -1 : 1;
        }
        const TimeParts t = DecodeTime(dt);
        EXPECT_EQ(((t.hour * 60 + t.minute) * 60 + t.second) * 1000 + t.msec, want) << dt;
        if (want_day >= -693593 && want_day < 2958466) {
          TDateTime back = 0;
          const DateParts d = DecodeDate(dt);
          ASSERT_TRUE(TryEncodeDate(d.year, d.month, d.day, back)) << dt;
          EXPECT_EQ(static_cast<std::int64_t>(back), want_day) << dt;
        }
      }
    }
  }
}

TEST(Dates, TextFollowsTheFormatSettings) {
  FormatSettings fs;
  fs.ShortDateFormat = "dd/mm/yyyy";
  fs.LongTimeFormat = "hh:nn";
  fs.DateSeparator = '/';
  fs.TimeSeparator = ':';
  const TDateTime dt = EncodeDate(2003, 4, 5) + EncodeTime(6, 7, 8, 0);
  EXPECT_EQ(DateTimeToStr(dt, fs), "05/04/2003 06:07");
  EXPECT_EQ(DateTimeToStr(EncodeDate(2003, 4, 5), fs), "05/04/2003");
  EXPECT_EQ(StrToDateTime("05/04/2003 06:07", fs), EncodeDate(2003, 4, 5) + EncodeTime(6, 7, 0, 0));
  EXPECT_EQ(StrToDateTime("5/4/2003", fs), EncodeDate(2003, 4, 5));
  EXPECT_EQ(StrToDateTime("06:07:08", fs), EncodeTime(6, 7, 8, 0));
  EXPECT_THROW(StrToDateTime("31/02/2003", fs), EConvertError);
  EXPECT_THROW(StrToDateTime("yesterday", fs), EConvertError);
  EXPECT_THROW(StrToDateTime("05/04/2003 x", fs), EConvertError);
  FormatSettings iso;  // the defaults: yyyy-mm-dd hh:nn:ss
  EXPECT_EQ(DateTimeToStr(dt, iso), "2003-04-05 06:07:08");
  EXPECT_EQ(StrToDateTime(DateTimeToStr(dt, iso), iso), dt);
}

// A reader may hold the settings in force while another thread changes them:
// what it holds must stay as it was, and going back to an earlier set reuses it.
TEST(Dates, ChangingTheSettingsLeavesAHeldSetAlone) {
  const FormatSettings& held = DefaultFormatSettings();
  const FormatSettings copy = held;
  const auto dotted = [](FormatSettings& fs) {
    fs.DateSeparator = '.';
    fs.ShortDateFormat = "d/m/yy";
  };
  ChangeDefaultFormatSettings(dotted);
  const FormatSettings& changed = DefaultFormatSettings();
  EXPECT_NE(&changed, &held);
  EXPECT_EQ(changed.ShortDateFormat, "d/m/yy");
  EXPECT_EQ(changed.DecimalSeparator, copy.DecimalSeparator);  // the rest kept
  EXPECT_EQ(DateToStr(EncodeDate(2003, 4, 5)), "5.4.03");
  EXPECT_TRUE(held == copy);
  SetDefaultFormatSettings(copy);
  EXPECT_EQ(&DefaultFormatSettings(), &held);
  SetDefaultFormatSettings(copy);  // equal: nothing published
  EXPECT_EQ(&DefaultFormatSettings(), &held);
  ChangeDefaultFormatSettings(dotted);
  EXPECT_EQ(&DefaultFormatSettings(), &changed);
  SetDefaultFormatSettings(copy);
}

TEST(Text, HelpersTouchOnlyAsciiLetters) {
  EXPECT_EQ(Trim("  a b \t"), "a b");
  EXPECT_EQ(Trim(" \n "), "");
  EXPECT_EQ(UpperCase("abc\xE9z"), "ABC\xE9Z");
  EXPECT_EQ(LowerCase("ABC\xC9Z"), "abc\xC9z");
  EXPECT_EQ(ExtractFileExt("dir.d/name.pdb"), ".pdb");
  EXPECT_EQ(ExtractFileExt("dir.d/name"), "");
  EXPECT_EQ(ExtractFileExt("a.pdb.bak"), ".bak");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp"), "/tmp/");
  EXPECT_EQ(IncludeTrailingPathDelimiter("/tmp/"), "/tmp/");
  EXPECT_LT(AnsiCompareStr("a", "b"), 0);
  EXPECT_EQ(AnsiCompareText("ABC", "abc"), 0);
  EXPECT_NE(AnsiCompareStr(std::string("a\0b", 3), std::string("a\0c", 3)), 0);
}

TEST(BinaryFile, EveryFailureIsAnInputOutputError) {
  test::TempDir dir;
  TBinaryFile f(dir.File("x.bin"));
  EXPECT_THROW(f.Reset(), EInOutError);  // does not exist
  f.Rewrite();
  const std::vector<std::uint8_t> data = {1, 2, 3, 4, 5};
  f.BlockWrite(data);
  EXPECT_EQ(f.Size(), 5);
  f.Close();
  f.Reset();
  f.Seek(3);
  std::vector<std::uint8_t> two(2);
  f.BlockRead(two);
  EXPECT_EQ(two, (std::vector<std::uint8_t>{4, 5}));
  std::vector<std::uint8_t> more(1);
  EXPECT_THROW(f.BlockRead(more), EInOutError);
  EXPECT_THROW(f.Seek(-1), EInOutError);
  EXPECT_THROW(f.Assign("other"), EInOutError);
  f.Close();
  TBinaryFile dirfile(dir.path());
  EXPECT_THROW(dirfile.Reset(), EInOutError);  // a directory is no file
  EXPECT_TRUE(FileExists(dir.File("x.bin")));
  EXPECT_FALSE(FileExists(dir.path()));
}

TEST(Hooks, DefaultsAndReplacements) {
  std::string seen;
  SetErrorBoxHook([&](const std::string& m) { seen = m; });
  ShowErrorBox("boom");
  EXPECT_EQ(seen, "boom");
  SetErrorBoxHook(nullptr);
  SetExceptionHandlerHook([&](std::exception_ptr e) {
    try {
      std::rethrow_exception(e);
    } catch (const std::exception& x) {
      seen = x.what();
    }
  });
  try {
    throw EConvertError("bad");
  } catch (...) {
    HandleException();
  }
  EXPECT_EQ(seen, "bad");
  SetExceptionHandlerHook(nullptr);
}

}  // namespace
}  // namespace corvane
