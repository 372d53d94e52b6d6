#include "corvane/host/variant_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>
#include <system_error>

#include "corvane/host/exceptions.h"
#include "corvane/host/text.h"
#include "corvane/host/variant.h"

namespace corvane {
namespace variant_text {

namespace {

bool IsBlank(char c) noexcept {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

std::string_view TrimBlanks(std::string_view s) noexcept {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace

// "True"/"False" in any case: what a boolean becomes as text, so it must read back.
std::optional<bool> ParseBoolWord(std::string_view s) noexcept {
  s = TrimBlanks(s);
  if (SameText(s, "true")) return true;
  if (SameText(s, "false")) return false;
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
  if (SameText(s, "inf")) {
    return negative ? -std::numeric_limits<double>::infinity()
                    : std::numeric_limits<double>::infinity();
  }
  if (SameText(s, "nan")) return std::numeric_limits<double>::quiet_NaN();
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
    std::string_view int_part =
        int_len > 0 ? digits.substr(0, static_cast<std::size_t>(int_len)) : std::string_view();
    std::string_view frac_part =
        int_len > 0 ? digits.substr(static_cast<std::size_t>(int_len)) : digits;
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
  std::uint64_t mag =
      c.value < 0 ? 0 - static_cast<std::uint64_t>(c.value) : static_cast<std::uint64_t>(c.value);
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

}  // namespace variant_text

using variant_text::ParseFloat;
using variant_text::ParseInt64;

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

}  // namespace corvane
