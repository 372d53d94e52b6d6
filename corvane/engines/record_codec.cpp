#include "corvane/engines/record_codec.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "corvane/host/exceptions.h"

namespace corvane::codec {

namespace {
constexpr double kLastDay = 2958466.0;  // 10000-01-01: the first day that is no date
constexpr std::int64_t kMsPerDay = 86400000;

[[noreturn]] void NoDate() { throw EConvertError("Invalid date/time value"); }
}  // namespace

void SplitDayAndMs(TDateTime d, std::int64_t& days, std::int64_t& ms_of_day) {
  if (!std::isfinite(d) || d < 0 || d >= kLastDay) NoDate();
  // Rounded half away from zero, as llround would, without the library call
  // every packed date paid: the product is below 2^53, so its whole part and
  // fraction are exact.
  const double scaled = d * kMSecsPerDay;
  auto ms = static_cast<std::int64_t>(scaled);
  if (scaled - static_cast<double>(ms) >= 0.5) ++ms;
  days = ms / kMsPerDay;
  ms_of_day = ms % kMsPerDay;
}

std::uint32_t PalmSecondsFromDateTime(TDateTime d) {
  if (std::isfinite(d) && d < kPalmEpochDay) return 0;
  std::int64_t days = 0, ms = 0;
  SplitDayAndMs(d, days, ms);
  const std::int64_t seconds = (days - static_cast<std::int64_t>(kPalmEpochDay)) * 86400 + ms / 1000;
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(seconds));
}

TDateTime DateTimeFromPalmSeconds(std::uint32_t s) noexcept {
  if (s == 0) return 0;
  return DateTimeFromPalmSecondsSinceEpoch(s);
}

TDateTime DateTimeFromPalmSecondsSinceEpoch(std::uint32_t s) noexcept {
  const std::uint32_t days = s / 86400;
  return (static_cast<double>(days) + kPalmEpochDay) + static_cast<double>(s - days * 86400) / 86400.0;
}

namespace {

// 1904-01-01 to 2099-12-31: 49 cycles of four years, each starting with a
// leap year (2000 is one, and no year of the span is a century year that is not).
constexpr std::uint32_t kFourYears = 4 * 365 + 1;
constexpr std::uint32_t kDays1904To2099 = 49 * kFourYears;

// month * 32 + day of each day of a leap year, from January 1.
constexpr std::array<std::uint16_t, 366> kLeapMonthDay = [] {
  std::array<std::uint16_t, 366> t{};
  constexpr int kLengths[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  std::size_t i = 0;
  for (int m = 0; m < 12; ++m) {
    for (int day = 1; day <= kLengths[m]; ++day) t[i++] = static_cast<std::uint16_t>((m + 1) * 32 + day);
  }
  return t;
}();

// The parts of a whole day of 1904 to 2099 straight from the day count, as
// (year - 1904) * 512 + month * 32 + day; false for any other value (a time of
// day, another year, no date). Most stored dates are such days.
bool WholeDayWord(TDateTime d, std::uint32_t& word) noexcept {
  if (!(d >= kPalmEpochDay && d < kPalmEpochDay + kDays1904To2099)) return false;
  const auto k = static_cast<std::uint32_t>(d - kPalmEpochDay);
  if (static_cast<double>(k) + kPalmEpochDay != d) return false;
  const std::uint32_t r = k % kFourYears;
  std::uint32_t year = 4 * (k / kFourYears);
  std::uint32_t day_of_year = r;  // counted in a leap year
  if (r >= 366) {
    year += (r - 1) / 365;
    day_of_year = (r - 1) % 365;
    if (day_of_year >= 59) ++day_of_year;  // no February 29
  }
  word = year * 512 + kLeapMonthDay[day_of_year];
  return true;
}

}  // namespace

std::uint16_t PalmDateWord(TDateTime d) {
  if (std::isfinite(d) && d < kPalmEpochDay) return 0;
  if (std::uint32_t word = 0; WholeDayWord(d, word)) return static_cast<std::uint16_t>(word);
  const DateParts p = DecodeDate(d);
  return static_cast<std::uint16_t>((p.year - 1904) * 512 + p.month * 32 + p.day);
}

TDateTime DateFromPalmWord(std::uint16_t w) {
  const int day = w & 31;
  const int month = (w >> 5) & 15;
  const int year = (w >> 9) + 1904;
  if (day == 0 || month == 0) return 0;
  return EncodeDate(year, month, day);
}

std::uint16_t PalmTimeWord(TDateTime d) {
  const TimeParts t = DecodeTime(d);
  return static_cast<std::uint16_t>(t.hour * 256 + t.minute);
}

TDateTime TimeFromPalmWord(std::uint16_t w) { return EncodeTime(w >> 8, w & 0xFF, 0, 0); }

std::int64_t TruncToInt64(const Variant& v) {
  switch (v.Type()) {
    case VarType::Integer:
    case VarType::Boolean:
    case VarType::Empty: return v.AsInt64();
    default: break;
  }
  const double d = std::trunc(v.AsDouble());
  // 2^63 is the first double outside the signed 64-bit range.
  if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) {
    throw EConvertError("Invalid floating point operation: value out of the 64-bit integer range");
  }
  return static_cast<std::int64_t>(d);
}

bool ReadZeroTerminated(std::span<const std::uint8_t> rest, std::string_view& text) noexcept {
  if (rest.empty()) return false;
  const void* zero = std::memchr(rest.data(), 0, rest.size());
  if (zero == nullptr) return false;
  const auto n = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - rest.data());
  text = std::string_view(reinterpret_cast<const char*>(rest.data()), n);
  return true;
}

void PackSizedText(std::uint8_t* out, std::string_view text, std::int32_t size) noexcept {
  if (size >= 1) {
    const std::size_t width = static_cast<std::size_t>(size);
    const std::size_t n = std::min(text.size(), width);
    if (n > 0) std::memcpy(out, text.data(), n);
    std::memset(out + n, 0, width + 1 - n);
    return;
  }
  const std::string_view stored = StoredText(text);
  if (!stored.empty()) std::memcpy(out, stored.data(), stored.size());
  out[stored.size()] = 0;
}

bool ReadSizedText(std::span<const std::uint8_t> rest, std::int32_t size, std::string_view& text,
                   std::size_t& taken) noexcept {
  if (size < 1) {
    if (!ReadZeroTerminated(rest, text)) return false;
    taken = text.size() + 1;
    return true;
  }
  const std::size_t width = static_cast<std::size_t>(size);
  if (width + 1 > rest.size()) return false;
  const auto* chars = reinterpret_cast<const char*>(rest.data());
  const void* zero = std::memchr(chars, 0, width);
  text = std::string_view(chars, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - chars) : width);
  taken = width + 1;
  return true;
}

double DecimalDateNumber(TDateTime d) {
  if (d == 0) return 0;
  if (std::uint32_t word = 0; WholeDayWord(d, word)) {
    const std::uint32_t year = (word >> 9) + 1904, month = (word >> 5) & 15, day = word & 31;
    return static_cast<double>((year - 1900) * 10000 + month * 100 + day);
  }
  const DateParts p = DecodeDate(d);
  return static_cast<double>((p.year - 1900) * 10000 + p.month * 100 + p.day);
}

double DecimalTimeNumber(TDateTime d) {
  const TimeParts t = DecodeTime(d);
  return static_cast<double>(t.hour * 10000 + t.minute * 100 + t.second);
}

namespace {

// Splits the two lowest decimal digits off n (truncating toward zero), as the
// stored numbers are read: the part, and n without them.
double TakeTwoDigits(double& n) noexcept {
  const double part = std::trunc(n - std::trunc(n / 100) * 100);
  n = (n - part) / 100;
  return part;
}

// Parts are checked as numbers before they become ints, so a negative part or
// one of a huge number is refused rather than wrapped into a valid-looking one.
bool Within(double v, int lo, int hi) noexcept { return v >= lo && v <= hi; }

// Stored numbers are whole in practice. For a whole number this small every
// step of TakeTwoDigits is exact, so integer arithmetic gives the same parts
// (n = high * 10000 + mid * 100 + low) without three double divisions per field.
bool WholeParts(double n, std::int64_t& high, int& mid, int& low) noexcept {
  if (!(n >= 0 && n < 1e12)) return false;
  const auto i = static_cast<std::int64_t>(n);
  if (static_cast<double>(i) != n) return false;
  low = static_cast<int>(i % 100);
  mid = static_cast<int>(i / 100 % 100);
  high = i / 10000;
  return true;
}

}  // namespace

TDateTime DateFromDecimalNumber(double n) {
  if (n == 0) return 0;
  if (!std::isfinite(n)) NoDate();
  std::int64_t whole_year = 0;
  int whole_month = 0, whole_day = 0;
  if (WholeParts(n, whole_year, whole_month, whole_day)) {
    if (whole_day < 1 || whole_day > 31 || whole_month < 1 || whole_month > 12 || whole_year + 1900 > 9999) {
      throw EConvertError("Invalid argument to date encode");
    }
    return EncodeDate(static_cast<int>(whole_year + 1900), whole_month, whole_day);
  }
  const double day = TakeTwoDigits(n);
  const double month = TakeTwoDigits(n);
  const double year = std::trunc(n) + 1900;
  if (!Within(day, 1, 31) || !Within(month, 1, 12) || !Within(year, 1, 9999)) {
    throw EConvertError("Invalid argument to date encode");
  }
  return EncodeDate(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day));
}

TDateTime TimeFromDecimalNumber(double n) {
  if (!std::isfinite(n)) NoDate();
  std::int64_t whole_hour = 0;
  int whole_minute = 0, whole_second = 0;
  if (WholeParts(n, whole_hour, whole_minute, whole_second)) {
    if (whole_second > 59 || whole_minute > 59 || whole_hour > 23) {
      throw EConvertError("Invalid argument to time encode");
    }
    return EncodeTime(static_cast<int>(whole_hour), whole_minute, whole_second, 0);
  }
  const double second = TakeTwoDigits(n);
  const double minute = TakeTwoDigits(n);
  const double hour = std::trunc(n);
  if (!Within(second, 0, 59) || !Within(minute, 0, 59) || !Within(hour, 0, 23)) {
    throw EConvertError("Invalid argument to time encode");
  }
  return EncodeTime(static_cast<int>(hour), static_cast<int>(minute), static_cast<int>(second), 0);
}

}  // namespace corvane::codec
