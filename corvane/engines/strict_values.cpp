#include "corvane/engines/strict_values.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "corvane/host/exceptions.h"
#include "corvane/pdb/file_format.h"

namespace corvane::any {

[[noreturn]] void Refuse(const std::string& why) {
  throw EConvertError(why);
}

std::string Shown(const Variant& v) {
  switch (v.Type()) {
    case VarType::Empty:
      return "nothing";
    case VarType::Null:
      return "null";
    case VarType::Text:
      return "the text \"" + v.AsString() + "\"";
    case VarType::Boolean:
      return v.AsBoolean() ? "true" : "false";
    case VarType::DateTime:
      return "a date";
    default:
      return v.AsString();
  }
}

std::int64_t Whole(const Variant& v, std::int64_t lo, std::int64_t hi) {
  std::int64_t n = 0;
  switch (v.Type()) {
    case VarType::Integer:
      n = v.AsInt64();
      break;
    case VarType::Float: {
      const double d = v.AsDouble();
      if (std::isnan(d) || (std::isfinite(d) && d != std::trunc(d))) {
        Refuse(Shown(v) + " is not a whole number");
      }
      // Past what 64 bits hold, a double is whole but no field's value.
      if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) {
        Refuse(Shown(v) + " is outside " + std::to_string(lo) + " to " + std::to_string(hi));
      }
      n = static_cast<std::int64_t>(d);
      break;
    }
    case VarType::Currency: {
      const std::int64_t raw = v.AsCurrency().value;
      if (raw % 10000 != 0) Refuse(Shown(v) + " is not a whole number");
      n = raw / 10000;
      break;
    }
    default:
      Refuse("expected a whole number, not " + Shown(v));
  }
  if (n < lo || n > hi) {
    Refuse(std::to_string(n) + " is outside " + std::to_string(lo) + " to " + std::to_string(hi));
  }
  return n;
}

double Real(const Variant& v, bool single) {
  switch (v.Type()) {
    case VarType::Integer:
    case VarType::Float:
    case VarType::Currency:
      break;
    default:
      Refuse("expected a number, not " + Shown(v));
  }
  const double d = v.AsDouble();
  // Up to half a unit past the largest single, a value still rounds to it.
  if (single && std::isfinite(d) &&
      std::fabs(d) >= static_cast<double>(FLT_MAX) + std::ldexp(1.0, 103)) {
    Refuse(Shown(v) + " is too large for a single-precision number");
  }
  return d;
}

Currency Money(const Variant& v) {
  switch (v.Type()) {
    case VarType::Integer: {
      const std::int64_t n = v.AsInt64();
      if (n > INT64_MAX / 10000 || n < INT64_MIN / 10000)
        Refuse(Shown(v) + " is too large for a currency");
      return Currency::FromRaw(n * 10000);
    }
    case VarType::Text: {
      // Decimal text converts exactly, so a fifth decimal would be lost, not rounded.
      const std::string s = v.AsString();
      const std::size_t point = s.find('.');
      if (point != std::string::npos) {
        const std::size_t last = s.find_last_not_of("0 \t");
        if (last != std::string::npos && last > point + 4)
          Refuse(s + " has more than four decimals");
      }
      return v.AsCurrency();
    }
    case VarType::Float:
    case VarType::Currency:
      return v.AsCurrency();  // floats to the nearest 0.0001
    default:
      Refuse("expected an amount, not " + Shown(v));
  }
}

bool Flag(const Variant& v) {
  if (v.Type() != VarType::Boolean) Refuse("expected true or false, not " + Shown(v));
  return v.AsBoolean();
}

// Text of at most `max` bytes without a zero byte (which would end it early).
const std::string& Text(const Variant& v, std::size_t max, std::string& scratch) {
  if (v.Type() != VarType::Text) Refuse("expected text, not " + Shown(v));
  // Borrowed: every text set from a Variant would otherwise be copied twice.
  const std::string* held = v.TextIf();
  if (held == nullptr) {
    scratch = v.AsString();
    held = &scratch;
  }
  const std::string& s = *held;
  if (s.find('\0') != std::string::npos) Refuse("the text holds a zero byte");
  if (s.size() > max) {
    Refuse("the text has " + std::to_string(s.size()) + " bytes, more than the " +
           std::to_string(max) + " the field holds");
  }
  return s;
}

// A 16-bit character code as UTF-8; the code 0 is no character (empty
// text, as an empty text sets it). Half of a surrogate pair is no character
// UTF-8 can hold.
std::string CharAsUtf8(std::uint16_t code) {
  std::string s;
  if (code == 0) return s;
  if (code >= 0xD800 && code <= 0xDFFF) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "the code 0x%04X is half of a surrogate pair, no character",
                  unsigned{code});
    Refuse(buf);
  }
  if (code < 0x80) {
    s += static_cast<char>(code);
  } else if (code < 0x800) {
    s += static_cast<char>(0xC0 | (code >> 6));
    s += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    s += static_cast<char>(0xE0 | (code >> 12));
    s += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    s += static_cast<char>(0x80 | (code & 0x3F));
  }
  return s;
}

// One character of U+0000 to U+FFFF as UTF-8, or the empty text (0).
std::uint16_t CharFromUtf8(const Variant& v) {
  if (v.Type() != VarType::Text) Refuse("expected a character, not " + Shown(v));
  const std::string s = v.AsString();
  if (s.empty()) return 0;
  const auto b = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  const auto cont = [&](std::size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
  std::uint32_t cp = 0;
  std::size_t n = 0;
  if (b(0) < 0x80) {
    cp = b(0), n = 1;
  } else if ((b(0) & 0xE0) == 0xC0 && cont(1)) {
    cp = ((b(0) & 0x1Fu) << 6) | (b(1) & 0x3Fu), n = 2;
    if (cp < 0x80) n = 0;
  } else if ((b(0) & 0xF0) == 0xE0 && cont(1) && cont(2)) {
    cp = ((b(0) & 0x0Fu) << 12) | ((b(1) & 0x3Fu) << 6) | (b(2) & 0x3Fu), n = 3;
    if (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)) n = 0;
  } else if ((b(0) & 0xF8) == 0xF0) {
    Refuse("a character beyond U+FFFF does not fit in 16 bits");
  }
  if (n == 0) Refuse("the text is not valid UTF-8");
  if (n != s.size()) Refuse("expected one character, not " + std::to_string(s.size()) + " bytes");
  return static_cast<std::uint16_t>(cp);
}

Bytes Binary(const Variant& v, std::size_t max) {
  if (v.Type() != VarType::Text) Refuse("expected bytes, not " + Shown(v));
  const std::string s = v.AsString();
  if (s.size() > max)
    Refuse(std::to_string(s.size()) + " bytes are more than the " + std::to_string(max) +
           " the field holds");
  return Bytes(s.begin(), s.end());
}

TDateTime When(const Variant& v) {
  if (v.IsNull() || v.IsEmpty()) return 0;
  if (v.Type() != VarType::DateTime) Refuse("expected a date, not " + Shown(v));
  const TDateTime d = v.AsDateTime();
  if (!std::isfinite(d)) Refuse("not a date");
  return d;
}

// Seconds since 1904-01-01 in 32 bits (0: no date).
TDateTime PalmSecondsDate(const Variant& v) {
  const TDateTime d = When(v);
  if (d == 0) return 0;
  const double s = std::round((d - kPalmEpochDay) * 86400.0);
  if (s < 0 || s > 4294967295.0)
    Refuse("only dates from 1904-01-01 to 2040-02-06T06:28:15 can be stored");
  return d;
}

// The date word (year - 1904) * 512 + month * 32 + day.
TDateTime PalmWordDate(const Variant& v) {
  const TDateTime d = When(v);
  if (d == 0) return 0;
  const DateParts p = DecodeDate(d);
  if (p.year < 1904 || p.year > 2031)
    Refuse("only dates from 1904-01-01 to 2031-12-31 can be stored");
  return d;
}

// The time word hour * 256 + minute.
TDateTime PalmWordTime(const Variant& v) {
  const TDateTime d = When(v);
  if (DecodeTime(d).second != 0) Refuse("the time has seconds; only hours and minutes are stored");
  return d;
}

TDateTime DecimalDate(const Variant& v) {
  const TDateTime d = When(v);
  if (d != 0 && DecodeDate(d).year < 1900) Refuse("only dates from 1900-01-01 on can be stored");
  return d;
}

}  // namespace corvane::any
