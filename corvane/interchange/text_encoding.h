// Turning the 8-bit texts stored in a database (names, category names) into
// UTF-8 for output. Handhelds store Windows-1252; some desktop tools wrote
// Latin-1 or UTF-8, hence the choice.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "corvane/host/charset.h"

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

// Windows-1252 bytes 0x80..0x9F, and UTF-8's rules, as the library has them.
inline constexpr const auto& kCp1252High = corvane::kWindows1252High;
using corvane::AppendUtf8;
using corvane::Utf8SequenceLength;

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
