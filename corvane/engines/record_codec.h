// Value conversions and date encodings that several record layouts share.
// Every date helper raises EConvertError (the host's conversion error) for a
// TDateTime that is no date (not finite, or outside years 1 to 9999) and for
// stored words and numbers whose parts give no valid date or time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <string_view>

#include "corvane/host/datetime.h"
#include "corvane/host/variant.h"

namespace corvane::codec {

// A TDateTime split into whole days and milliseconds of the day, rounded to the
// nearest millisecond first (so the time never reads 24:00). For dates on or
// after 1899-12-30; earlier ones are refused like non-dates.
void SplitDayAndMs(TDateTime d, std::int64_t& days, std::int64_t& ms_of_day);

// Seconds since 1904-01-01 00:00:00 as an unsigned 32-bit count: 0 for a date
// before 1904-01-01 (the "no date" of the format); milliseconds dropped; later
// than 2040-02-06 06:28:15 wraps modulo 2^32.
std::uint32_t PalmSecondsFromDateTime(TDateTime d);
// 0 gives the TDateTime 0; anything else 1904-01-01 plus that many seconds.
TDateTime DateTimeFromPalmSeconds(std::uint32_t s) noexcept;
// 1904-01-01 plus that many seconds, 0 included (the generic manager's reading).
TDateTime DateTimeFromPalmSecondsSinceEpoch(std::uint32_t s) noexcept;

// The Palm date word: (year - 1904) * 512 + month * 32 + day, kept to 16 bits
// (a year after 2031 wraps round); 0 for a date before 1904-01-01.
std::uint16_t PalmDateWord(TDateTime d);
// Day or month 0 gives the TDateTime 0 (no date); an impossible date raises.
TDateTime DateFromPalmWord(std::uint16_t w);

// The Palm time word: hour * 256 + minute (seconds dropped).
std::uint16_t PalmTimeWord(TDateTime d);
// A time of day with date part 0; hour above 23 or minute above 59 raises.
TDateTime TimeFromPalmWord(std::uint16_t w);

// The value as an integer truncated toward zero (floats and text that holds a
// float are not rounded); EConvertError outside the 64-bit range.
std::int64_t TruncToInt64(const Variant& v);

// Zero-terminated text in a record: the bytes of `text` up to its first zero
// byte, since a zero inside would end the text early on reading and shift
// every field after it.
inline std::string_view StoredText(std::string_view text) noexcept {
  return text.substr(0, text.find('\0'));
}
// The text at the start of `rest` up to its zero byte; false when the zero
// byte is not inside `rest`.
bool ReadZeroTerminated(std::span<const std::uint8_t> rest, std::string_view& text) noexcept;

// Text of a declared width (the string types whose Size the caller may set):
// Size >= 1 takes Size bytes of text (cut, or zero-filled) and a zero byte;
// Size < 1 is variable length, StoredText and a zero byte.
inline std::int64_t SizedTextWidth(std::string_view text, std::int32_t size) noexcept {
  if (size >= 1) return static_cast<std::int64_t>(size) + 1;
  return static_cast<std::int64_t>(StoredText(text).size()) + 1;
}
// Writes exactly SizedTextWidth(text, size) bytes.
void PackSizedText(std::uint8_t* out, std::string_view text, std::int32_t size) noexcept;
// A zero-ended text of `width` bytes (at least 1): the first width - 1 bytes of
// the text, zero-filled should it be shorter, and the zero byte.
inline void PackZeroEnded(std::uint8_t* out, std::string_view text, std::size_t width) noexcept {
  const std::size_t n = width - 1 < text.size() ? width - 1 : text.size();
  if (n > 0) std::memcpy(out, text.data(), n);
  if (width - n == 1) {
    out[n] = 0;  // the usual case: the text and its zero byte
  } else {
    std::memset(out + n, 0, width - n);
  }
}
// PackSizedText for a width already measured (at least 1): the text is not
// searched for a zero byte again. Writes exactly `width` bytes, the text
// zero-filled should it be shorter than the width says.
inline void PackMeasuredText(std::uint8_t* out, std::string_view text, std::int32_t size,
                             std::size_t width) noexcept {
  if (size >= 1) {
    PackSizedText(out, text, size);
  } else {
    PackZeroEnded(out, text, width);
  }
}
// Reads such a text at the start of `rest`: the text (for Size >= 1, up to its
// first zero byte within the Size bytes) and the bytes the field takes; false
// when they are not all inside `rest`.
bool ReadSizedText(std::span<const std::uint8_t> rest, std::int32_t size, std::string_view& text,
                   std::size_t& taken) noexcept;

// Decimal date number (year - 1900) * 10000 + month * 100 + day and decimal
// time number hour * 10000 + minute * 100 + second, held in a double.
double DecimalDateNumber(TDateTime d);  // the TDateTime 0 gives 0
double DecimalTimeNumber(TDateTime d);
// 0 gives the TDateTime 0; parts that give no date (or no time) raise.
TDateTime DateFromDecimalNumber(double n);
TDateTime TimeFromDecimalNumber(double n);

}  // namespace corvane::codec
