// A value of a flat-file table's field as its type reads it. The tables store
// every value as text; a typed field's text that is not written the way its
// type writes it stays text, so reading and writing back loses nothing.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <variant>

namespace corvane::apps {

struct TableDate {
  int year = 0, month = 0, day = 0;
  friend bool operator==(const TableDate&, const TableDate&) = default;
  // A date of the Gregorian calendar in the years 1 to 9999.
  bool Valid() const noexcept;
};
struct TableTime {
  int hour = 0, minute = 0, second = 0;
  friend bool operator==(const TableTime&, const TableTime&) = default;
  bool Valid() const noexcept;  // 00:00:00 to 23:59:59
};

// monostate: an empty value of a typed field; string: a text (the value of a
// text field, or a typed field's text not written the way its type writes it).
using TableValue =
    std::variant<std::monostate, std::string, bool, std::int64_t, double, TableDate, TableTime>;

// A float as the tables write it: the shortest text that reads back as the
// same number, without an exponent unless that would run past 24 characters.
inline std::string TableFloatText(double v) {
  char buf[400];
  const auto fixed = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  if (fixed.ec == std::errc() && fixed.ptr - buf <= 24) return std::string(buf, fixed.ptr);
  return std::string(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

// Digits of a date (year to 9999) and a clock time, without going through
// printf: YYYY-MM-DD (or YYYYMMDD with no separator) and HH:MM[:SS].
inline std::string TableDateText(const TableDate& d, char separator) {
  char buf[10];
  char* p = buf;
  const auto two = [&](int v) {
    *p++ = static_cast<char>('0' + v / 10 % 10);
    *p++ = static_cast<char>('0' + v % 10);
  };
  two(d.year / 100);
  two(d.year);
  if (separator) *p++ = separator;
  two(d.month);
  if (separator) *p++ = separator;
  two(d.day);
  return std::string(buf, p);
}
inline std::string TableTimeText(const TableTime& t, bool seconds) {
  char buf[8];
  char* p = buf;
  const auto two = [&](int v) {
    *p++ = static_cast<char>('0' + v / 10 % 10);
    *p++ = static_cast<char>('0' + v % 10);
  };
  two(t.hour);
  *p++ = ':';
  two(t.minute);
  if (seconds) {
    *p++ = ':';
    two(t.second);
  }
  return std::string(buf, p);
}

inline bool TableDate::Valid() const noexcept {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  constexpr int kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= (month == 2 && !leap ? 28 : kDays[month - 1]);
}

inline bool TableTime::Valid() const noexcept {
  return hour >= 0 && hour < 24 && minute >= 0 && minute < 60 && second >= 0 && second < 60;
}

}  // namespace corvane::apps
