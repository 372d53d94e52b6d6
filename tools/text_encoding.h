// Turning the 8-bit texts stored in a database (names, category names) into
// UTF-8 for output. Handhelds store Windows-1252; some desktop tools wrote
// Latin-1 or UTF-8, hence the choice.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane::cli {

enum class TextEncoding { kWindows1252, kLatin1, kUtf8 };

// Accepts the names the command line offers: cp1252, latin1, utf8.
inline bool ParseTextEncoding(std::string_view name, TextEncoding& out) {
  if (name == "cp1252") {
    out = TextEncoding::kWindows1252;
  } else if (name == "latin1") {
    out = TextEncoding::kLatin1;
  } else if (name == "utf8") {
    out = TextEncoding::kUtf8;
  } else {
    return false;
  }
  return true;
}

namespace detail {

inline void AppendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Windows-1252 bytes 0x80..0x9F. The five bytes the code page leaves undefined
// keep their C1 control code point, as browsers decode them, so nothing is lost.
inline constexpr std::array<std::uint16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

// Length of the well-formed UTF-8 sequence at the start of s (1..4), or 0.
inline std::size_t Utf8SequenceLength(std::string_view s) {
  const auto b = [&](std::size_t i) { return static_cast<std::uint8_t>(s[i]); };
  const std::uint8_t c = b(0);
  if (c < 0x80) return 1;
  std::size_t n;
  std::uint8_t lo = 0x80, hi = 0xBF;  // bounds of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;  // overlong
    if (c == 0xED) hi = 0x9F;  // surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;  // overlong
    if (c == 0xF4) hi = 0x8F;  // beyond U+10FFFF
  } else {
    return 0;
  }
  if (s.size() < n || b(1) < lo || b(1) > hi) return 0;
  for (std::size_t i = 2; i < n; ++i) {
    if (b(i) < 0x80 || b(i) > 0xBF) return 0;
  }
  return n;
}

}  // namespace detail

// Appends the bytes as UTF-8. In UTF-8 mode every ill-formed sequence becomes
// U+FFFD, so what is appended is always valid UTF-8.
inline void AppendAsUtf8(std::string& out, std::string_view bytes, TextEncoding encoding) {
  // Plain ASCII, what most texts are, reads the same in every encoding.
  std::size_t ascii = 0;
  while (ascii < bytes.size() && static_cast<std::uint8_t>(bytes[ascii]) < 0x80) ++ascii;
  out.append(bytes.substr(0, ascii));
  bytes.remove_prefix(ascii);
  if (bytes.empty()) return;
  if (encoding == TextEncoding::kUtf8) {
    while (!bytes.empty()) {
      const std::size_t n = detail::Utf8SequenceLength(bytes);
      if (n == 0) {
        detail::AppendUtf8(out, 0xFFFD);
        bytes.remove_prefix(1);
      } else {
        out.append(bytes.substr(0, n));
        bytes.remove_prefix(n);
      }
    }
    return;
  }
  for (char ch : bytes) {
    const auto c = static_cast<std::uint8_t>(ch);
    if (encoding == TextEncoding::kWindows1252 && c >= 0x80 && c <= 0x9F) {
      detail::AppendUtf8(out, detail::kCp1252High[c - 0x80]);
    } else {
      detail::AppendUtf8(out, c);
    }
  }
}

// The bytes as UTF-8 (see AppendAsUtf8).
inline std::string ToUtf8(std::string_view bytes, TextEncoding encoding) {
  std::string out;
  out.reserve(bytes.size());
  AppendAsUtf8(out, bytes, encoding);
  return out;
}

}  // namespace corvane::cli
