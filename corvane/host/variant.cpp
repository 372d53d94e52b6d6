#include "corvane/host/variant.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>
#include <system_error>

#include "corvane/host/exceptions.h"

namespace corvane {

namespace {

constexpr double kTwoPow63 = 9223372036854775808.0;  // 2^63, exact as a double
constexpr std::int64_t kCurrencyScale = 10000;

const char* TypeName(VarType t) noexcept {
  switch (t) {
    case VarType::Empty: return "Empty";
    case VarType::Null: return "Null";
    case VarType::Integer: return "Integer";
    case VarType::Float: return "Float";
    case VarType::Currency: return "Currency";
    case VarType::DateTime: return "DateTime";
    case VarType::Boolean: return "Boolean";
    case VarType::Text: return "Text";
  }
  return "Unknown";
}

[[noreturn]] void ThrowCannotConvert(VarType from, const char* to) {
  throw EConvertError(std::string("Could not convert variant of type (") + TypeName(from) +
                      ") into type (" + to + ")");
}

[[noreturn]] void ThrowOutOfRange(VarType from, const char* to) {
  throw EConvertError(std::string("Could not convert variant of type (") + TypeName(from) +
                      ") into type (" + to + "): value out of range");
}

std::int64_t RoundToInt64(double d, VarType from) {
  try {
    return RoundHalfEven(d);
  } catch (const EConvertError&) {
    ThrowOutOfRange(from, "Int64");
  }
}

bool IsBlank(char c) noexcept { return c == ' ' || (c >= '\t' && c <= '\r'); }

std::string_view TrimBlanks(std::string_view s) noexcept {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// "True"/"False" in any case: what a boolean becomes as text, so it must read back.
std::optional<bool> ParseBoolWord(std::string_view s) noexcept {
  s = TrimBlanks(s);
  if (EqualsIgnoringCase(s, "true")) return true;
  if (EqualsIgnoringCase(s, "false")) return false;
  return std::nullopt;
}

std::optional<std::int64_t> ParseInt64(std::string_view s) noexcept {
  s = TrimBlanks(s);
  if (!s.empty() && s.front() == '+') {
    s.remove_prefix(1);
    if (!s.empty() && s.front() == '-') return std::nullopt;
  }
  if (s.empty()) return std::nullopt;
  std::int64_t v = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

// Reads a number written with `sep` as its decimal separator. Only what a
// number can hold is accepted (no locale digits, no hex, no group separators);
// INF/NAN read back what FloatToStr writes for them.
std::optional<double> ParseFloat(std::string_view s, char sep) noexcept {
  s = TrimBlanks(s);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  if (EqualsIgnoringCase(s, "inf")) {
    return negative ? -std::numeric_limits<double>::infinity()
                    : std::numeric_limits<double>::infinity();
  }
  if (EqualsIgnoringCase(s, "nan")) return std::numeric_limits<double>::quiet_NaN();
  char buf[512];
  if (s.size() >= sizeof buf) return std::nullopt;
  std::size_t n = 0;
  for (char c : s) {
    if (c >= '0' && c <= '9') {
      buf[n++] = c;
    } else if (c == sep) {
      buf[n++] = '.';
    } else if (c == 'e' || c == 'E' || c == '+' || c == '-') {
      buf[n++] = c;  // from_chars checks where they may stand
    } else {
      return std::nullopt;
    }
  }
  if (buf[0] == '-' || buf[0] == '+') return std::nullopt;  // a second sign
  double v = 0;
  auto [ptr, ec] = std::from_chars(buf, buf + n, v, std::chars_format::general);
  if (ptr != buf + n) return std::nullopt;
  if (ec == std::errc::result_out_of_range) {
    // Too small to be represented reads as zero; too large is an error.
    std::string_view body(buf, n);
    std::size_t e = body.find_first_of("eE");
    if (e == std::string_view::npos || e + 1 >= body.size() || body[e + 1] != '-') {
      return std::nullopt;
    }
    v = 0.0;
  } else if (ec != std::errc()) {
    return std::nullopt;
  }
  return negative ? -v : v;
}

// A decimal number given as its digits and a power of ten (value = digits *
// 10^exp10), scaled by 10^4 and rounded half to even into a currency count.
std::optional<std::int64_t> ScaleDecimalToCurrency(bool negative, std::string_view digits,
                                                   int exp10) noexcept {
  while (!digits.empty() && digits.front() == '0') digits.remove_prefix(1);
  if (digits.empty()) return 0;
  long long shift = static_cast<long long>(exp10) + 4;  // digits * 10^shift ten-thousandths
  std::uint64_t whole = 0;
  bool round_up = false;
  const std::uint64_t limit = negative ? 9223372036854775808ULL : 9223372036854775807ULL;
  auto push_digit = [&](int d) {
    if (whole > (limit - static_cast<std::uint64_t>(d)) / 10) return false;
    whole = whole * 10 + static_cast<std::uint64_t>(d);
    return true;
  };
  if (shift >= 0) {
    if (static_cast<long long>(digits.size()) + shift > 19) return std::nullopt;
    for (char c : digits) {
      if (!push_digit(c - '0')) return std::nullopt;
    }
    for (long long i = 0; i < shift; ++i) {
      if (!push_digit(0)) return std::nullopt;
    }
  } else {
    long long frac_len = -shift;
    long long int_len = static_cast<long long>(digits.size()) - frac_len;
    std::string_view int_part = int_len > 0 ? digits.substr(0, static_cast<std::size_t>(int_len))
                                            : std::string_view();
    std::string_view frac_part = int_len > 0 ? digits.substr(static_cast<std::size_t>(int_len))
                                             : digits;
    if (int_part.size() > 19) return std::nullopt;
    for (char c : int_part) {
      if (!push_digit(c - '0')) return std::nullopt;
    }
    // The first dropped digit only exists when the fraction reaches the digits.
    if (int_len >= 0 && !frac_part.empty()) {
      int first = frac_part.front() - '0';
      bool rest_nonzero = frac_part.substr(1).find_first_not_of('0') != std::string_view::npos;
      if (first > 5 || (first == 5 && (rest_nonzero || (whole & 1U) != 0))) round_up = true;
    }
  }
  if (round_up) {
    if (whole == limit) return std::nullopt;
    ++whole;
  }
  if (negative) return static_cast<std::int64_t>(0 - whole);  // well defined for 2^63
  return static_cast<std::int64_t>(whole);
}

// Text written as a plain decimal (sign, digits, one separator, digits, an
// optional exponent) becomes a currency exactly, without a trip through double.
std::optional<std::int64_t> ParseCurrencyText(std::string_view s, char sep) noexcept {
  s = TrimBlanks(s);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  std::string digits;
  int exp10 = 0;
  bool seen_sep = false, seen_digit = false;
  std::size_t i = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c >= '0' && c <= '9') {
      seen_digit = true;
      if (digits.empty() && c == '0') {
        if (seen_sep) --exp10;
        continue;
      }
      if (digits.size() > 400) return std::nullopt;
      digits.push_back(c);
      if (seen_sep) --exp10;
    } else if (c == sep && !seen_sep) {
      seen_sep = true;
    } else {
      break;
    }
  }
  if (!seen_digit) return std::nullopt;
  if (i < s.size()) {
    if (s[i] != 'e' && s[i] != 'E') return std::nullopt;
    auto e = ParseInt64(s.substr(i + 1));
    if (!e || s.substr(i + 1).empty() || IsBlank(s[i + 1]) || *e < -100000 || *e > 100000) {
      return std::nullopt;
    }
    exp10 += static_cast<int>(*e);
  }
  if (digits.empty()) return 0;
  return ScaleDecimalToCurrency(negative, digits, exp10);
}

std::string CurrencyToStr(Currency c, char sep) {
  std::uint64_t mag = c.value < 0 ? 0 - static_cast<std::uint64_t>(c.value)
                                  : static_cast<std::uint64_t>(c.value);
  std::string out = c.value < 0 ? "-" : "";
  out += std::to_string(mag / kCurrencyScale);
  std::uint64_t frac = mag % kCurrencyScale;
  if (frac != 0) {
    char f[5] = {static_cast<char>('0' + frac / 1000), static_cast<char>('0' + frac / 100 % 10),
                 static_cast<char>('0' + frac / 10 % 10), static_cast<char>('0' + frac % 10), 0};
    std::string_view fv(f, 4);
    while (fv.back() == '0') fv.remove_suffix(1);
    out += sep;
    out += fv;
  }
  return out;
}

// Currency count divided by 10000, rounded half to even.
std::int64_t CurrencyToInt64(Currency c) noexcept {
  std::int64_t q = c.value / kCurrencyScale;
  std::int64_t r = c.value % kCurrencyScale;
  if (r > 5000 || (r == 5000 && (q & 1) != 0)) ++q;
  if (r < -5000 || (r == -5000 && (q & 1) != 0)) --q;
  return q;
}

template <class T>
int Sign(T a, T b) noexcept {
  return a < b ? -1 : (b < a ? 1 : 0);
}

// NaN sorts before every other number and equals itself, so the order is total.
int CompareDoubles(double a, double b) noexcept {
  bool na = std::isnan(a), nb = std::isnan(b);
  if (na || nb) return na && nb ? 0 : (na ? -1 : 1);
  return Sign(a, b);
}

// Exact, where converting the integer to double would lose its low bits.
int CompareIntDouble(std::int64_t a, double d) noexcept {
  if (std::isnan(d)) return 1;
  if (d >= kTwoPow63) return -1;
  if (d < -kTwoPow63) return 1;
  double t = std::trunc(d);
  auto ti = static_cast<std::int64_t>(t);
  if (a != ti) return Sign(a, ti);
  return Sign(0.0, d - t);
}

int CompareIntCurrency(std::int64_t a, Currency c) noexcept {
  std::int64_t q = c.value / kCurrencyScale;
  std::int64_t r = c.value % kCurrencyScale;
  if (a != q) return Sign(a, q);
  return Sign(std::int64_t{0}, r);
}

// A value as a number for comparing: exact kinds stay exact.
struct NumberKey {
  enum Kind { Int, Cur, Dbl } kind;
  std::int64_t i = 0;
  Currency c{};
  double d = 0;
};

NumberKey ToNumberKey(const Variant& v) {
  switch (v.Type()) {
    case VarType::Integer:
    case VarType::Boolean: return {NumberKey::Int, v.AsInt64()};
    case VarType::Currency: return {NumberKey::Cur, 0, v.AsCurrency()};
    default: return {NumberKey::Dbl, 0, {}, v.AsDouble()};
  }
}

int CompareNumbers(const NumberKey& a, const NumberKey& b) noexcept {
  using K = NumberKey;
  if (a.kind == K::Int && b.kind == K::Int) return Sign(a.i, b.i);
  if (a.kind == K::Cur && b.kind == K::Cur) return Sign(a.c.value, b.c.value);
  if (a.kind == K::Int && b.kind == K::Cur) return CompareIntCurrency(a.i, b.c);
  if (a.kind == K::Cur && b.kind == K::Int) return -CompareIntCurrency(b.i, a.c);
  if (a.kind == K::Int && b.kind == K::Dbl) return CompareIntDouble(a.i, b.d);
  if (a.kind == K::Dbl && b.kind == K::Int) return -CompareIntDouble(b.i, a.d);
  double x = a.kind == K::Cur ? a.c.ToDouble() : a.d;
  double y = b.kind == K::Cur ? b.c.ToDouble() : b.d;
  return CompareDoubles(x, y);
}

// A text compared with a number is read as that number's kind (a boolean's
// kind being the number it stands for, so that the order stays total).
Variant TextAsKindOf(const Variant& text, VarType kind) {
  switch (kind) {
    case VarType::Integer: {
      if (auto i = ParseInt64(text.AsString())) return Variant(static_cast<long long>(*i));
      return Variant(text.AsDouble());
    }
    case VarType::Currency: return Variant(text.AsCurrency());
    case VarType::DateTime: return Variant::FromDateTime(text.AsDateTime());
    default: return Variant(text.AsDouble());
  }
}

}  // namespace

Currency Currency::FromDouble(double amount) {
  if (!std::isfinite(amount)) {
    throw EConvertError("Could not convert variant of type (Float) into type (Currency)");
  }
  // Round the shortest decimal that reads back as `amount`, so 0.00005 is the
  // half it looks like instead of the binary value just above or below it.
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, amount, std::chars_format::scientific);
  std::string_view s(buf, ec == std::errc() ? static_cast<std::size_t>(end - buf) : 0);
  bool negative = !s.empty() && s.front() == '-';
  if (negative) s.remove_prefix(1);
  std::size_t e = s.find('e');
  if (e == std::string_view::npos) {
    throw EConvertError("Could not convert variant of type (Float) into type (Currency)");
  }
  std::string digits;
  for (char c : s.substr(0, e)) {
    if (c != '.') digits.push_back(c);
  }
  int exp10 = 0;
  std::string_view exp_text = s.substr(e + 1);
  if (!exp_text.empty() && exp_text.front() == '+') exp_text.remove_prefix(1);
  std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exp10);
  exp10 -= static_cast<int>(digits.size()) - 1;
  auto raw = ScaleDecimalToCurrency(negative, digits, exp10);
  if (!raw) ThrowOutOfRange(VarType::Float, "Currency");
  return Currency{*raw};
}

Variant Variant::Null() noexcept {
  Variant v;
  v.type_ = VarType::Null;
  return v;
}

Variant::Variant(bool v) noexcept : type_(VarType::Boolean), value_(v) {}
Variant::Variant(int v) noexcept : type_(VarType::Integer), value_(std::int64_t{v}) {}
Variant::Variant(unsigned v) noexcept : type_(VarType::Integer), value_(std::int64_t{v}) {}
Variant::Variant(long v) noexcept
    : type_(VarType::Integer), value_(static_cast<std::int64_t>(v)) {}
Variant::Variant(unsigned long v) noexcept
    : type_(VarType::Integer), value_(static_cast<std::int64_t>(v)) {}
Variant::Variant(long long v) noexcept
    : type_(VarType::Integer), value_(static_cast<std::int64_t>(v)) {}
Variant::Variant(unsigned long long v) noexcept
    : type_(VarType::Integer), value_(static_cast<std::int64_t>(v)) {}
Variant::Variant(double v) noexcept : type_(VarType::Float), value_(v) {}
Variant::Variant(Currency v) noexcept : type_(VarType::Currency), value_(v) {}
Variant::Variant(std::string v) noexcept
    : type_(VarType::Text), value_(std::in_place_type<std::string>, std::move(v)) {}
Variant::Variant(const char* v)
    : type_(VarType::Text), value_(std::in_place_type<std::string>, v != nullptr ? v : "") {}

Variant Variant::FromDateTime(TDateTime v) noexcept {
  Variant out(v);
  out.type_ = VarType::DateTime;
  return out;
}

bool Variant::IsNumeric() const noexcept {
  return type_ == VarType::Integer || type_ == VarType::Float || type_ == VarType::Currency ||
         type_ == VarType::Boolean;
}

std::int64_t Variant::AsInt64() const {
  switch (type_) {
    case VarType::Empty: return 0;
    case VarType::Null: break;
    case VarType::Integer: return std::get<std::int64_t>(value_);
    case VarType::Float:
    case VarType::DateTime: return RoundToInt64(std::get<double>(value_), type_);
    case VarType::Currency: return CurrencyToInt64(std::get<Currency>(value_));
    case VarType::Boolean: return std::get<bool>(value_) ? -1 : 0;
    case VarType::Text: {
      const std::string& s = std::get<std::string>(value_);
      if (auto i = ParseInt64(s)) return *i;
      if (auto d = ParseFloat(s, DefaultFormatSettings().DecimalSeparator)) {
        return RoundToInt64(*d, type_);
      }
      if (auto b = ParseBoolWord(s)) return *b ? -1 : 0;
      break;
    }
  }
  ThrowCannotConvert(type_, "Int64");
}

std::int32_t Variant::AsInteger() const {
  std::int64_t v = AsInt64();
  if (v < std::numeric_limits<std::int32_t>::min() ||
      v > std::numeric_limits<std::int32_t>::max()) {
    ThrowOutOfRange(type_, "Integer");
  }
  return static_cast<std::int32_t>(v);
}

double Variant::AsDouble() const {
  switch (type_) {
    case VarType::Empty: return 0.0;
    case VarType::Null: break;
    case VarType::Integer: return static_cast<double>(std::get<std::int64_t>(value_));
    case VarType::Float:
    case VarType::DateTime: return std::get<double>(value_);
    case VarType::Currency: return std::get<Currency>(value_).ToDouble();
    case VarType::Boolean: return std::get<bool>(value_) ? -1.0 : 0.0;
    case VarType::Text: {
      const std::string& s = std::get<std::string>(value_);
      if (auto d = ParseFloat(s, DefaultFormatSettings().DecimalSeparator)) return *d;
      if (auto b = ParseBoolWord(s)) return *b ? -1.0 : 0.0;
      break;
    }
  }
  ThrowCannotConvert(type_, "Double");
}

Currency Variant::AsCurrency() const {
  switch (type_) {
    case VarType::Empty: return Currency{};
    case VarType::Null: break;
    case VarType::Integer: {
      std::int64_t v = std::get<std::int64_t>(value_);
      constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max() / kCurrencyScale;
      if (v > kMax || v < -kMax) ThrowOutOfRange(type_, "Currency");
      return Currency{v * kCurrencyScale};
    }
    case VarType::Float:
    case VarType::DateTime: {
      double d = std::get<double>(value_);
      if (!std::isfinite(d)) ThrowCannotConvert(type_, "Currency");
      try {
        return Currency::FromDouble(d);
      } catch (const EConvertError&) {
        ThrowOutOfRange(type_, "Currency");
      }
    }
    case VarType::Currency: return std::get<Currency>(value_);
    case VarType::Boolean: return Currency{std::get<bool>(value_) ? -kCurrencyScale : 0};
    case VarType::Text: {
      const std::string& s = std::get<std::string>(value_);
      char sep = DefaultFormatSettings().DecimalSeparator;
      if (auto raw = ParseCurrencyText(s, sep)) return Currency{*raw};
      if (auto d = ParseFloat(s, sep)) {
        if (!std::isfinite(*d)) ThrowCannotConvert(type_, "Currency");
        try {
          return Currency::FromDouble(*d);
        } catch (const EConvertError&) {
          ThrowOutOfRange(type_, "Currency");
        }
      }
      if (auto b = ParseBoolWord(s)) return Currency{*b ? -kCurrencyScale : 0};
      break;
    }
  }
  ThrowCannotConvert(type_, "Currency");
}

TDateTime Variant::AsDateTime() const {
  switch (type_) {
    case VarType::Empty: return 0.0;
    case VarType::Null: break;
    case VarType::Integer:
    case VarType::Float:
    case VarType::DateTime:
    case VarType::Currency:
    case VarType::Boolean: return AsDouble();
    case VarType::Text: {
      TDateTime dt = 0;
      if (TryStrToDateTime(std::get<std::string>(value_), dt)) return dt;
      break;
    }
  }
  ThrowCannotConvert(type_, "DateTime");
}

bool Variant::AsBoolean() const {
  switch (type_) {
    case VarType::Empty: return false;
    case VarType::Null: break;
    case VarType::Integer: return std::get<std::int64_t>(value_) != 0;
    case VarType::Float:
    case VarType::DateTime: return std::get<double>(value_) != 0.0;
    case VarType::Currency: return std::get<Currency>(value_).value != 0;
    case VarType::Boolean: return std::get<bool>(value_);
    case VarType::Text: {
      const std::string& s = std::get<std::string>(value_);
      if (auto b = ParseBoolWord(s)) return *b;
      if (auto d = ParseFloat(s, DefaultFormatSettings().DecimalSeparator)) return *d != 0.0;
      break;
    }
  }
  ThrowCannotConvert(type_, "Boolean");
}

std::string Variant::AsString() const {
  switch (type_) {
    case VarType::Empty:
    case VarType::Null: return std::string();
    case VarType::Integer: return std::to_string(std::get<std::int64_t>(value_));
    case VarType::Float: return FloatToStr(std::get<double>(value_));
    case VarType::DateTime: return DateTimeToStr(std::get<double>(value_));
    case VarType::Currency:
      return CurrencyToStr(std::get<Currency>(value_), DefaultFormatSettings().DecimalSeparator);
    case VarType::Boolean: return std::get<bool>(value_) ? "True" : "False";
    case VarType::Text: return std::get<std::string>(value_);
  }
  return std::string();
}

int Variant::Compare(const Variant& a, const Variant& b) {
  auto rank = [](VarType t) { return t == VarType::Empty ? 0 : (t == VarType::Null ? 1 : 2); };
  int ra = rank(a.type_), rb = rank(b.type_);
  if (ra != 2 || rb != 2) return Sign(ra, rb);
  bool ta = a.type_ == VarType::Text, tb = b.type_ == VarType::Text;
  if (ta && tb) {
    int c = std::get<std::string>(a.value_).compare(std::get<std::string>(b.value_));
    return Sign(c, 0);
  }
  if (ta) return CompareNumbers(ToNumberKey(TextAsKindOf(a, b.type_)), ToNumberKey(b));
  if (tb) return CompareNumbers(ToNumberKey(a), ToNumberKey(TextAsKindOf(b, a.type_)));
  return CompareNumbers(ToNumberKey(a), ToNumberKey(b));
}

bool operator==(const Variant& a, const Variant& b) {
  try {
    return Variant::Compare(a, b) == 0;
  } catch (const EConvertError&) {
    return false;  // values that cannot be compared are not equal
  }
}

double StrToFloat(const std::string& text) {
  if (auto d = ParseFloat(text, DefaultFormatSettings().DecimalSeparator)) return *d;
  throw EConvertError("'" + text + "' is not a valid floating point value");
}

std::int64_t StrToInt64(const std::string& text) {
  if (auto i = ParseInt64(text)) return *i;
  throw EConvertError("'" + text + "' is not a valid integer value");
}

bool TryStrToFloat(const std::string& text, double& out) noexcept {
  auto d = ParseFloat(text, DefaultFormatSettings().DecimalSeparator);
  if (d) out = *d;
  return d.has_value();
}

std::string FloatToStr(double v) {
  if (std::isnan(v)) return "NAN";
  if (std::isinf(v)) return v < 0 ? "-INF" : "INF";
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
  std::string out(buf, ec == std::errc() ? end : buf);
  char sep = DefaultFormatSettings().DecimalSeparator;
  if (sep != '.') {
    for (char& c : out) {
      if (c == '.') c = sep;
    }
  }
  return out;
}

std::int64_t RoundHalfEven(double v) {
  if (std::isnan(v)) throw EConvertError("Invalid floating point operation (NaN)");
  double r = std::floor(v);
  double diff = v - r;  // exact: r and v share their exponent or v is whole
  if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
  if (r >= kTwoPow63 || r < -kTwoPow63) {
    throw EConvertError("Floating point value " + FloatToStr(v) + " is out of the Int64 range");
  }
  return static_cast<std::int64_t>(r);
}

}  // namespace corvane
