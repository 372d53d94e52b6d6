// The handheld applications' packed date: a 16-bit word holding the year
// since 1904 in bits 15-9, the month in bits 8-5 and the day in bits 4-0.
#pragma once

#include <cstdint>

namespace corvane::apps {

struct PackedDate {
  int year = 1904, month = 1, day = 1;

  static constexpr PackedDate FromWord(std::uint16_t w) noexcept {
    return {1904 + (w >> 9), (w >> 5) & 0x0F, w & 0x1F};
  }
  // False when the date is out of the word's range (1904..2031) or no
  // calendar date (a word read from a file need not be one).
  constexpr bool Valid() const noexcept {
    if (year < 1904 || year > 2031 || month < 1 || month > 12 || day < 1) return false;
    constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return day <= (month == 2 && !leap ? 28 : kDays[month - 1]);
  }
  constexpr std::uint16_t Word() const noexcept {
    return static_cast<std::uint16_t>(((year - 1904) << 9) | (month << 5) | day);
  }
};

inline constexpr std::uint16_t kNoDate = 0xFFFF;

}  // namespace corvane::apps
