#include "corvane/interchange/values.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

#include "corvane/engines/strict_values.h"
#include "corvane/host/exceptions.h"
#include "corvane/interchange/csv.h"
#include "corvane/interchange/output.h"

namespace corvane::cli {

namespace {

using K = TValueKind;

using any::Refuse;

bool IsAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<std::uint8_t>(c) < 0x80; });
}

bool IsNumberKind(K k) {
  return k == K::Integer || k == K::Unsigned || k == K::Float || k == K::Currency;
}
bool IsDateKind(K k) {
  return k == K::DateTime || k == K::Date || k == K::Time;
}

std::string_view Expected(K k) {
  switch (k) {
    case K::Integer:
    case K::Unsigned:
      return "a whole number";
    case K::Float:
      return "a number";
    case K::Currency:
      return "an amount";
    case K::Boolean:
      return "true or false";
    case K::Text:
      return "a string";
    case K::Binary:
      return "hexadecimal bytes";
    case K::DateTime:
      return "a date and time YYYY-MM-DDTHH:MM:SS or null";
    case K::Date:
      return "a date YYYY-MM-DD or null";
    case K::Time:
      return "a time HH:MM:SS";
  }
  return "a value";
}

// A number from its JSON form (also a CSV cell's): whole numbers that fit
// 64 bits as integers, amounts as exact decimal text, anything else a double.
Variant Number(std::string_view text, K kind) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  // A float field reads "-0" as the float it is, sign and all.
  bool fraction = false, exponent = false;  // one pass: find_first_of searches per byte
  for (const char c : text) {
    fraction |= c == '.';
    exponent |= c == 'e' || c == 'E';
  }
  const bool plain_integer = kind != K::Float && !fraction && !exponent;
  if (plain_integer) {
    long long n = 0;
    const auto r = std::from_chars(first, last, n);
    if (r.ec == std::errc() && r.ptr == last) return Variant(n);
  }
  if (kind == K::Currency && !exponent) return Variant(std::string(text));
  double d = 0;
  const auto r = std::from_chars(first, last, d);
  if (r.ec == std::errc::result_out_of_range)
    Refuse(std::string(text) + " is out of the range of a number");
  if (r.ec != std::errc() || r.ptr != last)
    Refuse("expected " + std::string(Expected(kind)) + ", not \"" + std::string(text) + "\"");
  return Variant(d);
}

// A CSV cell reads as a number when it is a JSON number.
bool LooksLikeJsonNumber(std::string_view s) {
  const JsonNumberScan scan = ScanJsonNumber(s);
  return scan.missing == nullptr && scan.length == s.size();
}

Variant SpecialFloat(std::string_view s) {
  if (s == "NaN") return Variant(std::numeric_limits<double>::quiet_NaN());
  if (s == "Infinity") return Variant(std::numeric_limits<double>::infinity());
  if (s == "-Infinity") return Variant(-std::numeric_limits<double>::infinity());
  return Variant();
}

std::string Hex(std::string_view bytes) {
  std::string out;
  AppendHex(out, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                               bytes.size()));
  return out;
}

std::string Unhex(std::string_view hex) {
  if (hex.size() % 2 != 0) Refuse("hexadecimal bytes come in pairs of digits");
  std::string out;
  out.reserve(hex.size() / 2);
  const auto nibble = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int hi = nibble(hex[i]), lo = nibble(hex[i + 1]);
    if (hi < 0 || lo < 0)
      Refuse(std::string("\"").append(hex.substr(i, 2)).append("\" is no hexadecimal byte"));
    out += static_cast<char>(hi * 16 + lo);
  }
  return out;
}

Variant FromText(std::string_view text, const TAnyFieldType& type, TextEncoding enc, bool csv) {
  switch (type.Kind) {
    case K::Text:
      // A Wide type takes its character as UTF-8, whatever the 8-bit encoding.
      // ASCII reads the same in every encoding.
      return Variant(type.Wide || IsAscii(text) ? std::string(text) : FromUtf8(text, enc));
    case K::Binary:
      return Variant(Unhex(text));
    case K::DateTime:
    case K::Date:
    case K::Time: {
      if (csv && text.empty()) return Variant::Null();
      TDateTime d = 0;
      if (!ParseWhen(text, type.Kind, d)) {
        Refuse("expected " + std::string(Expected(type.Kind)) + ", not \"" + std::string(text) +
               "\"");
      }
      return Variant::FromDateTime(d);
    }
    case K::Float: {
      const Variant special = SpecialFloat(text);
      if (!special.IsEmpty()) return special;
      break;
    }
    case K::Boolean:
      if (csv && text == "true") return Variant(true);
      if (csv && text == "false") return Variant(false);
      break;
    default:
      break;
  }
  if (csv && IsNumberKind(type.Kind) && LooksLikeJsonNumber(text)) return Number(text, type.Kind);
  Refuse("expected " + std::string(Expected(type.Kind)) + ", not \"" + std::string(text) + "\"");
}

bool Digits(std::string_view s, std::size_t at, std::size_t n, int& out) {
  if (at + n > s.size()) return false;
  out = 0;
  for (std::size_t i = at; i < at + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    out = out * 10 + (s[i] - '0');
  }
  return true;
}

bool ParseTime(std::string_view s, TDateTime& out) {
  int h = 0, m = 0, sec = 0;
  if (s.size() != 8 || s[2] != ':' || s[5] != ':' || !Digits(s, 0, 2, h) || !Digits(s, 3, 2, m) ||
      !Digits(s, 6, 2, sec)) {
    return false;
  }
  return TryEncodeTime(h, m, sec, 0, out);
}

bool ParseDate(std::string_view s, TDateTime& out) {
  int y = 0, mo = 0, d = 0;
  if (s.size() != 10 || s[4] != '-' || s[7] != '-' || !Digits(s, 0, 4, y) || !Digits(s, 5, 2, mo) ||
      !Digits(s, 8, 2, d)) {
    return false;
  }
  return TryEncodeDate(y, mo, d, out);
}

}  // namespace

std::string FormatFloat(double v, bool single) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
  char buf[64];
  const auto r = single ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(v))
                        : std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

std::string FormatCurrency(Currency c) {
  const bool negative = c.value < 0;
  // Through unsigned, so the most negative amount has a magnitude too.
  const std::uint64_t magnitude =
      negative ? 0 - static_cast<std::uint64_t>(c.value) : static_cast<std::uint64_t>(c.value);
  std::string out = negative ? "-" : "";
  out += std::to_string(magnitude / 10000);
  std::uint64_t fraction = magnitude % 10000;
  if (fraction != 0) {
    char buf[8];
    std::snprintf(buf, sizeof buf, ".%04u", static_cast<unsigned>(fraction));
    std::string f = buf;
    while (f.back() == '0') f.pop_back();
    out += f;
  }
  return out;
}

namespace {

// Two digits of v (0 <= v < 100): every date and time part but the year.
char* PutTwo(char* at, int v) {
  at[0] = static_cast<char>('0' + v / 10);
  at[1] = static_cast<char>('0' + v % 10);
  return at + 2;
}

char* PutDate(char* at, const DateParts& d) {
  // DecodeDate gives years 1 to 9999 only.
  at = PutTwo(PutTwo(at, d.year / 100), d.year % 100);
  *at++ = '-';
  at = PutTwo(at, d.month);
  *at++ = '-';
  return PutTwo(at, d.day);
}

char* PutTime(char* at, const TimeParts& t) {
  at = PutTwo(at, t.hour);
  *at++ = ':';
  at = PutTwo(at, t.minute);
  *at++ = ':';
  return PutTwo(at, t.second);
}

// FormatWhen's text into buf (at least kWhenChars long); its length.
constexpr std::size_t kWhenChars = 24;
std::size_t FormatWhenInto(char* buf, TDateTime dt, TValueKind kind) {
  if (dt == 0 && kind != K::Time) return 0;
  char* at = buf;
  if (kind == K::Time) {
    at = PutTime(at, DecodeTime(dt));
  } else {
    at = PutDate(at, DecodeDate(dt));
    if (kind != K::Date) {
      *at++ = 'T';
      at = PutTime(at, DecodeTime(dt));
    }
  }
  return static_cast<std::size_t>(at - buf);
}

// As FormatWhen, appended: every exported date goes through here.
void AppendWhen(std::string& out, TDateTime dt, TValueKind kind) {
  char buf[kWhenChars];
  out.append(buf, FormatWhenInto(buf, dt, kind));
}

// ASCII without a comma, a quote or a line break: a CSV cell as it stands.
bool IsPlainCsvText(std::string_view text) {
  unsigned bad = 0;
  // One pass with no early exit, so the loop has no branch per byte.
  for (const char ch : text) {
    const auto c = static_cast<std::uint8_t>(ch);
    bad |= static_cast<unsigned>(c >= 0x80) | static_cast<unsigned>(c == ',') |
           static_cast<unsigned>(c == '"') | static_cast<unsigned>(c == '\r') |
           static_cast<unsigned>(c == '\n');
  }
  return bad == 0;
}

void AppendFloat(std::string& out, double v, bool single) {
  if (!std::isfinite(v)) {
    out += FormatFloat(v, single);
    return;
  }
  char buf[64];
  const auto r = single ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(v))
                        : std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, static_cast<std::size_t>(r.ptr - buf));
}

}  // namespace

std::string FormatWhen(TDateTime dt, TValueKind kind) {
  std::string out;
  AppendWhen(out, dt, kind);
  return out;
}

bool ParseWhen(std::string_view s, TValueKind kind, TDateTime& out) {
  if (kind == K::Time) return ParseTime(s, out);
  if (kind == K::Date) return ParseDate(s, out);
  TDateTime date = 0, time = 0;
  if (s.size() != 19 || s[10] != 'T' || !ParseDate(s.substr(0, 10), date) ||
      !ParseTime(s.substr(11), time)) {
    return false;
  }
  // Before 1899-12-30 the day counts down while the time of day counts up.
  out = date < 0 ? date - time : date + time;
  return true;
}

std::string FromUtf8(std::string_view utf8, TextEncoding enc) {
  if (enc == TextEncoding::kUtf8) return std::string(utf8);
  std::string out;
  out.reserve(utf8.size());
  while (!utf8.empty()) {
    const std::size_t n = detail::Utf8SequenceLength(utf8);
    if (n == 0) Refuse("the text is not valid UTF-8");
    std::uint32_t cp = static_cast<std::uint8_t>(utf8[0]);
    if (n > 1) {
      cp &= 0x3Fu >> (n - 1);
      for (std::size_t i = 1; i < n; ++i)
        cp = (cp << 6) | (static_cast<std::uint8_t>(utf8[i]) & 0x3F);
    }
    int byte = -1;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      byte = static_cast<int>(cp);
    } else if (enc == TextEncoding::kLatin1) {
      if (cp <= 0xFF) byte = static_cast<int>(cp);
    } else {
      for (std::size_t i = 0; i < detail::kCp1252High.size(); ++i) {
        if (detail::kCp1252High[i] == cp) byte = static_cast<int>(0x80 + i);
      }
    }
    if (byte < 0) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(cp));
      Refuse(std::string("the character ") + buf + " (\"" + std::string(utf8.substr(0, n)) +
             "\") has no byte in " + (enc == TextEncoding::kLatin1 ? "Latin-1" : "Windows-1252"));
    }
    out += static_cast<char>(byte);
    utf8.remove_prefix(n);
  }
  return out;
}

namespace {

void AppendJsonString(std::string& out, std::string_view utf8) {
  out += '"';
  JsonWriter::AppendEscaped(out, utf8);
  out += '"';
}

// A string with nothing to escape (a date, hexadecimal, NaN).
void AppendPlainJsonString(std::string& out, std::string_view text) {
  out += '"';
  out += text;
  out += '"';
}

}  // namespace

void AppendJsonValue(std::string& out, const TAnyValueView& v, const TAnyFieldType& type,
                     TextEncoding enc) {
  switch (type.Kind) {
    case K::Integer:
    case K::Unsigned: {
      char buf[24];
      const auto r = std::to_chars(buf, buf + sizeof buf, v.Integer);
      out.append(buf, static_cast<std::size_t>(r.ptr - buf));
      return;
    }
    case K::Float: {
      const double d = v.Float;
      if (std::isfinite(d)) {
        char buf[64];
        const auto r = type.Single ? std::to_chars(buf, buf + sizeof buf, static_cast<float>(d))
                                   : std::to_chars(buf, buf + sizeof buf, d);
        out.append(buf, static_cast<std::size_t>(r.ptr - buf));
      } else {
        AppendPlainJsonString(out, FormatFloat(d, type.Single));
      }
      return;
    }
    case K::Currency:
      out += FormatCurrency(v.Amount);
      return;
    case K::Boolean:
      out += v.Flag ? "true" : "false";
      return;
    case K::Text:
      // A wide type's text is UTF-8 already; ASCII text is its own UTF-8 in
      // every encoding: both are written without a copy.
      if (type.Wide || IsAscii(v.Text)) {
        AppendJsonString(out, v.Text);
      } else {
        AppendJsonString(out, ToUtf8(v.Text, enc));
      }
      return;
    case K::Binary:
      AppendPlainJsonString(out, Hex(v.Text));
      return;
    case K::DateTime:
    case K::Date:
    case K::Time: {
      if (v.When == 0 && type.Kind != K::Time) {
        out += "null";
        return;
      }
      char buf[kWhenChars];
      AppendPlainJsonString(out, std::string_view(buf, FormatWhenInto(buf, v.When, type.Kind)));
      return;
    }
  }
}

void WriteJsonValue(JsonWriter& w, const TAnyValueView& v, const TAnyFieldType& type,
                    TextEncoding enc) {
  AppendJsonValue(w.BeginRawValue(), v, type, enc);
}

void WriteJsonValue(JsonWriter& w, const Variant& v, const TAnyFieldType& type, TextEncoding enc) {
  std::string scratch;
  WriteJsonValue(w, ViewOfValue(v, type.Kind, scratch), type, enc);
}

namespace {

void AppendCell(std::string& out, const TAnyValueView& v, const TAnyFieldType& type,
                TextEncoding enc, bool quote) {
  switch (type.Kind) {
    case K::Integer:
    case K::Unsigned: {
      char buf[24];
      const auto r = std::to_chars(buf, buf + sizeof buf, v.Integer);
      out.append(buf, static_cast<std::size_t>(r.ptr - buf));
      return;
    }
    case K::Float:
      AppendFloat(out, v.Float, type.Single);
      return;
    case K::Currency:
      out += FormatCurrency(v.Amount);
      return;
    case K::Boolean:
      out += v.Flag ? "true" : "false";
      return;
    case K::Text: {
      if (!type.Wide && IsPlainCsvText(v.Text)) {
        out += v.Text;  // the same in every encoding, and never quoted
        return;
      }
      // Converted in place; quoted afterwards only when it must be.
      const std::size_t at = out.size();
      if (type.Wide) {
        out += v.Text;  // UTF-8 already
      } else {
        AppendAsUtf8(out, v.Text, enc);
      }
      if (quote && CsvFieldNeedsQuotes(std::string_view(out).substr(at))) {
        const std::string cell = out.substr(at);
        out.resize(at);
        AppendCsvField(out, cell);
      }
      return;
    }
    case K::Binary:
      AppendHex(out, std::span<const std::uint8_t>(
                         reinterpret_cast<const std::uint8_t*>(v.Text.data()), v.Text.size()));
      return;
    case K::DateTime:
    case K::Date:
    case K::Time:
      AppendWhen(out, v.When, type.Kind);
      return;
  }
}

}  // namespace

void AppendCsvCell(std::string& out, const TAnyValueView& v, const TAnyFieldType& type,
                   TextEncoding enc) {
  AppendCell(out, v, type, enc, true);
}

void AppendCsvCell(std::string& out, const Variant& v, const TAnyFieldType& type,
                   TextEncoding enc) {
  std::string scratch;
  AppendCell(out, ViewOfValue(v, type.Kind, scratch), type, enc, true);
}

std::string CsvCell(const Variant& v, const TAnyFieldType& type, TextEncoding enc) {
  std::string cell, scratch;
  AppendCell(cell, ViewOfValue(v, type.Kind, scratch), type, enc, false);
  return cell;
}

namespace {

// A text's bytes are checked eight at a time, as one 64-bit word: these give
// a nonzero word when any byte of x is below n, above n, or equal to c
// (exact as to whether there is one, which is all that is asked).
constexpr std::uint64_t kOnes = 0x0101010101010101u;
constexpr std::uint64_t kHighs = 0x8080808080808080u;
constexpr std::uint64_t AnyBelow(std::uint64_t x, std::uint8_t n) {
  return (x - kOnes * n) & ~x & kHighs;
}
constexpr std::uint64_t AnyAbove(std::uint64_t x, std::uint8_t n) {
  return ((x + kOnes * (127 - n)) | x) & kHighs;
}
constexpr std::uint64_t AnyEqual(std::uint64_t x, std::uint8_t c) {
  return AnyBelow(x ^ (kOnes * c), 1);
}

// The bytes a CSV cell cannot hold as they stand (it is quoted, or, not
// ASCII, converted).
struct CsvSpecial {
  static constexpr std::uint64_t Any(std::uint64_t x) {
    return (x & kHighs) | AnyEqual(x, ',') | AnyEqual(x, '"') | AnyEqual(x, '\r') |
           AnyEqual(x, '\n');
  }
};
// The bytes a JSON string cannot hold as they stand (escaped or converted).
struct JsonSpecial {
  static constexpr std::uint64_t Any(std::uint64_t x) {
    return AnyBelow(x, 0x20) | AnyAbove(x, 0x7E) | AnyEqual(x, '"') | AnyEqual(x, '\\');
  }
};

// Copies `text` to `to`; false when a byte of it is special, and then the
// copy is not to be used. Checked and copied a word at a time, the last word
// overlapping the one before; texts shorter than a word are taken into one.
template <class Special>
bool CopyPlain(char* to, std::string_view text) {
  const std::size_t n = text.size();
  const char* from = text.data();
  std::uint64_t found = 0, x = 0;
  if (n < 8) {
    for (std::size_t i = 0; i < n; ++i) {
      x |= std::uint64_t{static_cast<std::uint8_t>(from[i])} << (8 * i);
      to[i] = from[i];
    }
    // The bytes beyond the text are spaces, which nothing finds special.
    return Special::Any(x | (std::uint64_t{0x2020202020202020u} << (8 * n))) == 0;
  }
  for (std::size_t i = 0; i + 8 <= n; i += 8) {
    std::memcpy(&x, from + i, 8);
    std::memcpy(to + i, &x, 8);
    found |= Special::Any(x);
  }
  std::memcpy(&x, from + n - 8, 8);
  std::memcpy(to + n - 8, &x, 8);
  return (found | Special::Any(x)) == 0;
}

// The longest to_chars text of a 64-bit integer or a double (or float) in its
// shortest form, "-2.2250738585072014e-308", with room to spare.
constexpr std::size_t kNumberChars = 32;

void PutInteger(OutCursor& out, std::int64_t n) {
  char* p = out.Room(kNumberChars);
  // Most values fit 32 bits, whose digits come faster than 64-bit ones.
  const bool narrow = n >= INT32_MIN && n <= INT32_MAX;
  out.Advance(narrow ? std::to_chars(p, p + kNumberChars, static_cast<std::int32_t>(n)).ptr
                     : std::to_chars(p, p + kNumberChars, n).ptr);
}

// A finite float as its shortest text.
void PutFinite(OutCursor& out, double d, bool single) {
  char* p = out.Room(kNumberChars);
  out.Advance(single ? std::to_chars(p, p + kNumberChars, static_cast<float>(d)).ptr
                     : std::to_chars(p, p + kNumberChars, d).ptr);
}

// Numbers and booleans print the same in CSV and JSON. False for any other
// value, and for a float with no number form (NaN, infinities).
bool PutNumberOrFlag(OutCursor& out, const TAnyValueView& v, const TAnyFieldType& type) {
  switch (type.Kind) {
    case K::Integer:
    case K::Unsigned:
      PutInteger(out, v.Integer);
      return true;
    case K::Float:
      if (!std::isfinite(v.Float)) return false;
      PutFinite(out, v.Float, type.Single);
      return true;
    case K::Boolean:
      out.Put(v.Flag ? std::string_view("true") : std::string_view("false"));
      return true;
    default:
      return false;
  }
}

}  // namespace

void PutCsvCell(OutCursor& out, const TAnyValueView& v, const TAnyFieldType& type, TextEncoding enc,
                std::string& scratch) {
  if (PutNumberOrFlag(out, v, type)) return;
  switch (type.Kind) {
    case K::Text:
      if (!type.Wide) {
        char* p = out.Room(v.Text.size());
        if (CopyPlain<CsvSpecial>(p, v.Text)) {
          out.Advance(p + v.Text.size());
          return;
        }
      }
      break;
    case K::DateTime:
    case K::Date:
    case K::Time: {
      // Written only once whole: a date no calendar has raises first.
      char* p = out.Room(kWhenChars);
      out.Advance(p + FormatWhenInto(p, v.When, type.Kind));
      return;
    }
    default:  // currency, binary, and what the printers above leave
      break;
  }
  scratch.clear();
  AppendCell(scratch, v, type, enc, true);
  out.Put(scratch);
}

void PutJsonValue(OutCursor& out, const TAnyValueView& v, const TAnyFieldType& type,
                  TextEncoding enc, std::string& scratch) {
  if (PutNumberOrFlag(out, v, type)) return;
  switch (type.Kind) {
    case K::Text:
      if (!type.Wide) {
        const std::size_t n = v.Text.size();
        char* p = out.Room(n + 2);
        p[0] = '"';
        if (CopyPlain<JsonSpecial>(p + 1, v.Text)) {
          p[n + 1] = '"';
          out.Advance(p + n + 2);
          return;
        }
      }
      break;
    case K::DateTime:
    case K::Date:
    case K::Time: {
      if (v.When == 0 && type.Kind != K::Time) {
        out.Put("null");
        return;
      }
      char* p = out.Room(kWhenChars + 2);
      p[0] = '"';
      char* end = p + 1 + FormatWhenInto(p + 1, v.When, type.Kind);
      *end++ = '"';
      out.Advance(end);
      return;
    }
    default:  // currency, binary, and what the printers above leave
      break;
  }
  scratch.clear();
  AppendJsonValue(scratch, v, type, enc);
  out.Put(scratch);
}

Variant ValueFromJson(const JsonValue& json, const TAnyFieldType& type, TextEncoding enc) {
  using J = JsonValue::Kind;
  switch (json.kind) {
    case J::kNull:
      if (IsDateKind(type.Kind)) return Variant::Null();
      break;
    case J::kBool:
      if (type.Kind == K::Boolean) return Variant(json.boolean);
      break;
    case J::kNumber:
      if (IsNumberKind(type.Kind)) return Number(json.text, type.Kind);
      break;
    case J::kString:
      if (!IsNumberKind(type.Kind) && type.Kind != K::Boolean)
        return FromText(json.text, type, enc, false);
      if (type.Kind == K::Float) {
        const Variant special = SpecialFloat(json.text);
        if (!special.IsEmpty()) return special;
      }
      break;
    default:
      break;
  }
  Refuse("expected " + std::string(Expected(type.Kind)) + ", not " +
         std::string(JsonKindName(json.kind)));
}

Variant ValueFromCsv(std::string_view cell, const TAnyFieldType& type, TextEncoding enc) {
  return FromText(cell, type, enc, true);
}

namespace {

// A whole number as JSON writes it ("-0" included) of at most 18 digits, so
// that it cannot overflow: what Number reads it as, without its scans.
// False for any other text, which the general path then reads or refuses.
bool ShortWholeNumber(std::string_view s, std::int64_t& value, bool& negative) noexcept {
  const char* p = s.data();
  const char* const end = p + s.size();
  negative = p != end && *p == '-';
  if (negative) ++p;
  const auto digits = static_cast<std::size_t>(end - p);
  if (digits == 0 || digits > 18 || (*p == '0' && digits > 1)) return false;
  std::int64_t v = 0;
  for (; p != end; ++p) {
    const unsigned d = static_cast<unsigned char>(*p) - unsigned{'0'};
    if (d > 9) return false;
    v = v * 10 + static_cast<std::int64_t>(d);
  }
  value = negative ? -v : v;
  return true;
}

// A number with a decimal point as JSON writes it, of at most 15 digits in
// all: the digits as a whole number and the power of ten are both exact
// doubles, so their quotient is the correctly rounded value from_chars gives.
// False for any other text.
bool ShortDecimal(std::string_view s, double& value) noexcept {
  static constexpr double kTens[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                     1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* p = s.data();
  const char* const end = p + s.size();
  const bool negative = p != end && *p == '-';
  if (negative) ++p;
  if (p == end || (*p == '0' && p + 1 != end && p[1] != '.')) return false;
  std::int64_t m = 0;
  int digits = 0, decimals = 0;
  bool point = false;
  for (; p != end; ++p) {
    if (*p == '.') {
      if (point || digits == 0) return false;
      point = true;
      continue;
    }
    const unsigned d = static_cast<unsigned char>(*p) - unsigned{'0'};
    if (d > 9 || ++digits > 15) return false;
    m = m * 10 + static_cast<std::int64_t>(d);
    decimals += point ? 1 : 0;
  }
  if (!point || decimals == 0) return false;
  const double v = static_cast<double>(m) / kTens[decimals];
  value = negative ? -v : v;
  return true;
}

// Every cell of every imported row comes here: the forms export writes are
// read in place, without a Variant built per cell; whatever they do not
// cover goes through FromText, so values and refusals are its own.
bool FastCsvValue(Variant& out, std::string_view cell, const TAnyFieldType& type) {
  switch (type.Kind) {
    case K::Text:
      if (!type.Wide && !IsAscii(cell)) return false;
      out.SetText(cell);  // in the storage out already has
      return true;
    case K::Integer:
    case K::Unsigned:
    case K::Currency: {
      std::int64_t v = 0;
      bool negative = false;
      if (!ShortWholeNumber(cell, v, negative)) return false;
      out.SetInteger(v);
      return true;
    }
    case K::Float: {
      std::int64_t v = 0;
      bool negative = false;
      if (ShortWholeNumber(cell, v, negative)) {
        // Exact below 2^53, correctly rounded above, as from_chars rounds the
        // same digits; -0 keeps its sign.
        out.SetFloat(v == 0 && negative ? -0.0 : static_cast<double>(v));
        return true;
      }
      double d = 0;
      if (ShortDecimal(cell, d)) {
        out.SetFloat(d);
        return true;
      }
      if (!LooksLikeJsonNumber(cell)) return false;  // NaN, Infinity, refusals
      const char* last = cell.data() + cell.size();
      const auto r = std::from_chars(cell.data(), last, d);
      if (r.ec != std::errc() || r.ptr != last) return false;
      out.SetFloat(d);
      return true;
    }
    case K::Date:
    case K::Time:
    case K::DateTime: {
      TDateTime d = 0;
      if (cell.empty() || !ParseWhen(cell, type.Kind, d)) return false;
      out.SetDateTime(d);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

void ValueFromCsvInto(Variant& out, std::string_view cell, const TAnyFieldType& type,
                      TextEncoding enc) {
  if (FastCsvValue(out, cell, type)) return;
  out = FromText(cell, type, enc, true);
}

std::string BytesFromHex(std::string_view hex) { return Unhex(hex); }

namespace {

void AddFlag(std::string_view name, TRecFlags& flags) {
  for (std::size_t f = 0; f < kRecordFlagNames.size(); ++f) {
    if (kRecordFlagNames[f] != name) continue;
    if (f == dmRecAttrDelete) Refuse("a deleted record has no data to import: no \"delete\" flag");
    flags.Include(static_cast<TRecEnumFlags>(f));
    return;
  }
  Refuse(std::string("\"").append(name).append("\" is no record flag (secret, busy or dirty)"));
}

std::uint32_t Bounded(std::string_view text, std::uint32_t max, std::string_view key) {
  std::uint32_t n = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
  if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || n > max) {
    Refuse(std::string(key) + " must be a whole number from 0 to " + std::to_string(max) +
           ", not \"" + std::string(text) + "\"");
  }
  return n;
}

void SetNumber(std::string_view key, std::string_view text, RecordAttributes& out) {
  if (key == kCategoryKey) {
    out.category = static_cast<std::uint8_t>(Bounded(text, 15, key));
  } else {
    out.unique_id = Bounded(text, 0xFFFFFF, key);
  }
}

}  // namespace

std::vector<std::string_view> RecordFlagNames(TRecFlags flags) {
  std::vector<std::string_view> names;
  ForEachRecordFlagName(flags, [&](std::string_view name) { names.push_back(name); });
  return names;
}

void AttributeFromJson(std::string_view key, const JsonValue& json, RecordAttributes& out) {
  using J = JsonValue::Kind;
  if (key == kFlagsKey) {
    if (json.kind != J::kArray)
      Refuse("flags must be an array of names, not " + std::string(JsonKindName(json.kind)));
    out.flags = TRecFlags();
    for (const JsonValue& f : json.items) {
      if (f.kind != J::kString)
        Refuse("flags must be an array of names, not of " + std::string(JsonKindName(f.kind)));
      AddFlag(f.text, out.flags);
    }
    return;
  }
  if (json.kind != J::kNumber)
    Refuse(std::string(key) + " must be a number, not " + std::string(JsonKindName(json.kind)));
  SetNumber(key, json.text, out);
}

void AttributeFromCsv(std::string_view key, std::string_view cell, RecordAttributes& out) {
  if (key != kFlagsKey) return SetNumber(key, cell, out);
  out.flags = TRecFlags();
  std::size_t at = 0;
  while (at < cell.size()) {
    std::size_t comma = cell.find(',', at);
    if (comma == std::string::npos) comma = cell.size();
    AddFlag(std::string_view(cell).substr(at, comma - at), out.flags);
    at = comma + 1;
  }
}

}  // namespace corvane::cli
