// Fixed-point currency: a signed 64-bit count of ten-thousandths.
#pragma once

#include <compare>
#include <cstdint>

namespace corvane {

struct Currency {
  std::int64_t value = 0;  // the amount times 10000

  static constexpr Currency FromRaw(std::int64_t raw) noexcept { return Currency{raw}; }
  // Rounds to the nearest ten-thousandth, halves to even; raises EConvertError
  // when the amount is outside the representable range or not a number.
  static Currency FromDouble(double amount);
  double ToDouble() const noexcept { return static_cast<double>(value) / 10000.0; }

  friend constexpr auto operator<=>(Currency, Currency) = default;
};

}  // namespace corvane
