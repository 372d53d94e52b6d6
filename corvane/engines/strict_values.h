// Strict conversions from a Variant to what a typed field's setter takes, for
// the engine adapters behind TAnyEngine. Each raises EConvertError for a value
// the record would not keep as given (out of range, cut short, a date the
// layout cannot hold), saying why; the adapter adds the field's name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "corvane/foundation/types.h"
#include "corvane/host/currency.h"
#include "corvane/host/datetime.h"
#include "corvane/host/variant.h"

namespace corvane::any {

// Raises EConvertError with `why`.
[[noreturn]] void Refuse(const std::string& why);

// The value as a message shows it ("the text \"x\"", "nothing", "a date").
std::string Shown(const Variant& v);

// A whole number in [lo, hi]: an integer, a float without fraction, or decimal text.
std::int64_t Whole(const Variant& v, std::int64_t lo, std::int64_t hi);

// A float, integer or numeric text; `single` refuses what IEEE single cannot hold.
double Real(const Variant& v, bool single);

// An amount exactly in ten-thousandths: integers, floats and decimal text.
Currency Money(const Variant& v);

// A boolean (also 0 and 1, and the texts true and false).
bool Flag(const Variant& v);

// Text of at most `max` bytes without a zero byte (which would end it early):
// the text v holds, or (a text v holds in another form) its copy in `scratch`.
// Valid while both are.
const std::string& Text(const Variant& v, std::size_t max, std::string& scratch);

// A 16-bit character code as UTF-8; the code 0 is no character (empty
// text, as an empty text sets it). Half of a surrogate pair is no character
// UTF-8 can hold.
std::string CharAsUtf8(std::uint16_t code);

// One character of U+0000 to U+FFFF as UTF-8, or the empty text (0).
std::uint16_t CharFromUtf8(const Variant& v);

// The bytes of a text, at most `max` of them.
Bytes Binary(const Variant& v, std::size_t max);

// A date-time, or 0 (no date) for nothing.
TDateTime When(const Variant& v);

// Seconds since 1904-01-01 in 32 bits (0: no date).
TDateTime PalmSecondsDate(const Variant& v);

// The date word (year - 1904) * 512 + month * 32 + day.
TDateTime PalmWordDate(const Variant& v);

// The time word hour * 256 + minute.
TDateTime PalmWordTime(const Variant& v);

// The decimal date number (year - 1900) * 10000 + month * 100 + day.
TDateTime DecimalDate(const Variant& v);

}  // namespace corvane::any
