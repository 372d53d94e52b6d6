// Dates and times as the handheld libraries exchange them: a double counting
// days since 1899-12-30 00:00, the fraction being the time of day. 0 means
// "no date". For negative values the whole part gives the day and the absolute
// value of the fraction the time of day (-1.25 is 1899-12-29 06:00).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace corvane {

using TDateTime = double;

inline constexpr TDateTime kPalmEpochDay = 1462.0;   // 1904-01-01
inline constexpr TDateTime kUnixEpochDay = 25569.0;  // 1970-01-01
inline constexpr double kMSecsPerDay = 86400000.0;

struct DateParts {
  int year = 0, month = 0, day = 0;
};
struct TimeParts {
  int hour = 0, minute = 0, second = 0, msec = 0;
};

bool IsLeapYear(int year) noexcept;
int DaysInMonth(int year, int month) noexcept;  // 0 for a month outside 1..12

// Raise EConvertError on a part out of range (year 1..9999).
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime& out) noexcept;
bool TryEncodeTime(int hour, int minute, int second, int msec, TDateTime& out) noexcept;

namespace datetime_detail {
// The civil date of day z counted from 0000-03-01 (z <= 2^30), so that the
// leap day ends each year: centuries, then years, then months by
// multiplications and shifts only.
constexpr DateParts CivilFromDays(std::uint32_t z) noexcept {
  const std::uint32_t n1 = 4 * z + 3;
  const std::uint32_t century = n1 / 146097;
  const std::uint32_t n2 = (n1 % 146097) | 3;  // 4 * (day of the century) + 3
  const std::uint64_t p2 = std::uint64_t{2939745} * n2;
  const auto year_of_century = static_cast<std::uint32_t>(p2 >> 32);
  const std::uint32_t day_of_year = static_cast<std::uint32_t>(p2) / 2939745 / 4;  // March 1 = 0
  const std::uint32_t n3 = 2141 * day_of_year + 197913;
  const bool jan_or_feb = day_of_year >= 306;
  return DateParts{static_cast<int>(100 * century + year_of_century + (jan_or_feb ? 1 : 0)),
                   static_cast<int>(jan_or_feb ? (n3 >> 16) - 12 : n3 >> 16),
                   static_cast<int>((n3 & 0xFFFF) / 2141 + 1)};
}
// DecodeDate for every value: rounds, checks the range, raises.
DateParts DecodeDateSplit(TDateTime dt);
}  // namespace datetime_detail

// Decoding rounds to the nearest millisecond first, so 0.9999999999 is the next day.
// Raises EConvertError outside 0001-01-01 to 9999-12-31 and for NaN.
// Inline for whole days in range (every date a record stores, every one printed).
inline DateParts DecodeDate(TDateTime dt) {
  if (dt >= -693593.0 && dt <= 2958465.0) {
    const auto whole = static_cast<std::int32_t>(dt);
    // 693899 days from 0000-03-01 to 1899-12-30, day 0.
    if (static_cast<double>(whole) == dt) {
      return datetime_detail::CivilFromDays(static_cast<std::uint32_t>(whole + 693899));
    }
  }
  return datetime_detail::DecodeDateSplit(dt);
}
TimeParts DecodeTime(TDateTime dt);
// Whole days of a date (its day number, time dropped) and its time of day as a fraction.
double DateOf(TDateTime dt) noexcept;
double TimeOf(TDateTime dt) noexcept;

// The current local date and time.
TDateTime Now();

// Process-wide date/time and number settings, used when dates and numbers
// become text and back (tagged values). Format letters: d dd m mm yy yyyy for
// dates, h hh n nn s ss z zzz for times; '/' and ':' in a format stand for the
// separators below.
struct FormatSettings {
  std::string ShortDateFormat = "yyyy-mm-dd";
  std::string LongTimeFormat = "hh:nn:ss";
  char DateSeparator = '-';
  char TimeSeparator = ':';
  char DecimalSeparator = '.';

  friend bool operator==(const FormatSettings&, const FormatSettings&) = default;
};

// The settings in force. Threads may read them while another thread changes
// them: a change publishes a new, immutable set and never alters one that a
// reader may hold, and every set ever published stays valid until the process
// ends (a set equal to an earlier one is published again, not copied, so
// switching among a few sets costs no memory).
const FormatSettings& DefaultFormatSettings() noexcept;
// Publishes `settings` when they differ from the ones in force; changes made
// by several threads at once are serialised, each one whole.
void SetDefaultFormatSettings(const FormatSettings& settings);
// Applies `change` to a copy of the settings in force and publishes the result
// when it differs, as one step against other threads' changes.
void ChangeDefaultFormatSettings(const std::function<void(FormatSettings&)>& change);

// Date as ShortDateFormat, then (when the time of day is not 0, or the date part is 0)
// a blank and the time as LongTimeFormat; a date without time of day gives the date alone.
std::string DateTimeToStr(TDateTime dt, const FormatSettings& fs = DefaultFormatSettings());
std::string DateToStr(TDateTime dt, const FormatSettings& fs = DefaultFormatSettings());
std::string TimeToStr(TDateTime dt, const FormatSettings& fs = DefaultFormatSettings());
// Parses a date, a time, or a date and a time in the settings' order and separators;
// raises EConvertError on text that is not one.
TDateTime StrToDateTime(const std::string& text,
                        const FormatSettings& fs = DefaultFormatSettings());
bool TryStrToDateTime(const std::string& text, TDateTime& out,
                      const FormatSettings& fs = DefaultFormatSettings()) noexcept;

}  // namespace corvane
