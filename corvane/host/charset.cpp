#include "corvane/host/charset.h"

namespace corvane {

namespace {

char32_t SingleByteChar(unsigned char c, TextCharset charset) noexcept {
  if (charset == TextCharset::Windows1252 && c >= 0x80 && c <= 0x9F)
    return kWindows1252High[c - 0x80];
  return c;
}

// Byte to folded byte, for each single-byte set: a letter's lower-case form
// is a byte of the same set (both cases of every letter are there).
struct FoldTable {
  std::array<unsigned char, 256> to{};
  explicit FoldTable(TextCharset charset) noexcept {
    for (int c = 0; c < 256; ++c) {
      const auto byte = static_cast<unsigned char>(c);
      to[byte] = byte;
      if (charset == TextCharset::Utf8) {
        if (c < 0x80) to[byte] = static_cast<unsigned char>(FoldCodePoint(byte));
        continue;
      }
      const char32_t folded = FoldCodePoint(SingleByteChar(byte, charset));
      if (folded == SingleByteChar(byte, charset)) continue;
      for (int d = 0; d < 256; ++d) {
        if (SingleByteChar(static_cast<unsigned char>(d), charset) == folded) {
          to[byte] = static_cast<unsigned char>(d);
          break;
        }
      }
    }
  }
};

const FoldTable& TableOf(TextCharset charset) noexcept {
  static const FoldTable windows(TextCharset::Windows1252), latin(TextCharset::Latin1),
      utf8(TextCharset::Utf8);
  switch (charset) {
    case TextCharset::Windows1252:
      return windows;
    case TextCharset::Latin1:
      return latin;
    case TextCharset::Utf8:
      break;
  }
  return utf8;
}

}  // namespace

std::size_t Utf8SequenceLength(std::string_view s) noexcept {
  if (s.empty()) return 0;
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

char32_t DecodeUtf8Sequence(std::string_view s, std::size_t length) noexcept {
  const auto b = [&](std::size_t i) {
    return static_cast<char32_t>(static_cast<std::uint8_t>(s[i]));
  };
  switch (length) {
    case 1:
      return b(0);
    case 2:
      return ((b(0) & 0x1F) << 6) | (b(1) & 0x3F);
    case 3:
      return ((b(0) & 0x0F) << 12) | ((b(1) & 0x3F) << 6) | (b(2) & 0x3F);
    default:
      return ((b(0) & 0x07) << 18) | ((b(1) & 0x3F) << 12) | ((b(2) & 0x3F) << 6) | (b(3) & 0x3F);
  }
}

void AppendUtf8(std::string& out, char32_t cp) {
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

char32_t FoldCodePoint(char32_t c) noexcept {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + 32 : c;
  if (c < 0x100) return (c >= 0xC0 && c <= 0xDE && c != 0xD7) ? c + 32 : c;
  if (c < 0x180) {
    // Latin Extended-A: pairs upper then lower, shifted by one from 0x139 to
    // 0x148 and from 0x179 on; İ, ı, ĸ, ŉ and ſ have no partner of their own.
    if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    if (c == 0x178) return 0xFF;
    if ((c >= 0x139 && c <= 0x148) || c >= 0x179) return (c & 1) ? c + 1 : c;
    return c | 1;
  }
  if (c == 0x386) return 0x3AC;
  if (c >= 0x388 && c <= 0x38A) return c + 37;
  if (c == 0x38C) return 0x3CC;
  if (c == 0x38E || c == 0x38F) return c + 63;
  if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 32;
  if (c == 0x3C2) return 0x3C3;  // final sigma
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  return c;
}

unsigned char FoldByte(unsigned char c, TextCharset charset) noexcept {
  return TableOf(charset).to[c];
}

std::string FoldCase(std::string_view text, TextCharset charset) {
  std::string out;
  out.reserve(text.size());
  if (charset != TextCharset::Utf8) {
    const FoldTable& table = TableOf(charset);
    for (char c : text) out += static_cast<char>(table.to[static_cast<unsigned char>(c)]);
    return out;
  }
  while (!text.empty()) {
    const std::size_t n = Utf8SequenceLength(text);
    if (n == 0) {
      out += text[0];
      text.remove_prefix(1);
      continue;
    }
    AppendUtf8(out, FoldCodePoint(DecodeUtf8Sequence(text, n)));
    text.remove_prefix(n);
  }
  return out;
}

std::wstring DecodeText(std::string_view text, TextCharset charset, bool fold) {
  static_assert(sizeof(wchar_t) >= 4, "wide characters hold every code point");
  std::wstring out;
  out.reserve(text.size());
  while (!text.empty()) {
    char32_t c;
    std::size_t n = 1;
    const auto byte = static_cast<unsigned char>(text[0]);
    if (charset != TextCharset::Utf8) {
      c = SingleByteChar(byte, charset);
    } else if ((n = Utf8SequenceLength(text)) != 0) {
      c = DecodeUtf8Sequence(text, n);
    } else {
      n = 1;
      c = 0xDC00 + byte;
    }
    out += static_cast<wchar_t>(fold ? FoldCodePoint(c) : c);
    text.remove_prefix(n);
  }
  return out;
}

}  // namespace corvane
