// Text forms of Variant values, shared by the conversions and the comparisons.
// Internal to the library: the public entry points are in variant.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "corvane/host/currency.h"

namespace corvane::variant_text {

inline constexpr double kTwoPow63 = 9223372036854775808.0;  // 2^63, exact as a double
inline constexpr std::int64_t kCurrencyScale = 10000;

// "True"/"False" in any case, blanks around allowed.
std::optional<bool> ParseBoolWord(std::string_view s) noexcept;
// A decimal integer that fits in 64 bits, blanks around allowed.
std::optional<std::int64_t> ParseInt64(std::string_view s) noexcept;
// A number with `sep` as its decimal separator; INF and NAN as FloatToStr writes them.
std::optional<double> ParseFloat(std::string_view s, char sep) noexcept;
// digits * 10^exp10 as a currency count, rounded half to even; nothing when out of range.
std::optional<std::int64_t> ScaleDecimalToCurrency(bool negative, std::string_view digits,
                                                   int exp10) noexcept;
// A plain decimal as an exact currency count (value * 10^4), rounded half to even;
// nothing when the text is no plain decimal or is out of range.
std::optional<std::int64_t> ParseCurrencyText(std::string_view s, char sep) noexcept;
std::string CurrencyToStr(Currency c, char sep);

}  // namespace corvane::variant_text
