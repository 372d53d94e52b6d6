#include "corvane/dataset/text_compare.h"

#include <clocale>
#include <cstring>
#include <cwchar>
#include <vector>

namespace corvane {

namespace {

int Sign(int r) noexcept {
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int CompareBytes(std::string_view a, std::string_view b) noexcept {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  const int r = n ? std::memcmp(a.data(), b.data(), n) : 0;
  if (r != 0) return Sign(r);
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int CompareFoldedBytes(std::string_view a, std::string_view b, TextCharset charset) noexcept {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    const unsigned char x = FoldByte(static_cast<unsigned char>(a[i]), charset);
    const unsigned char y = FoldByte(static_cast<unsigned char>(b[i]), charset);
    if (x != y) return x < y ? -1 : 1;
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// wcscoll stops at a zero character: zero-separated pieces compare in turn,
// so a text with a zero still orders after the same text without it.
int CollateWide(const std::wstring& a, const std::wstring& b) {
  std::size_t ia = 0, ib = 0;
  for (;;) {
    const int r = std::wcscoll(a.c_str() + ia, b.c_str() + ib);
    if (r != 0) return Sign(r);
    ia += std::wcslen(a.c_str() + ia) + 1;
    ib += std::wcslen(b.c_str() + ib) + 1;
    const bool ea = ia > a.size(), eb = ib > b.size();
    if (ea || eb) return ea == eb ? 0 : (ea ? -1 : 1);
  }
}

}  // namespace

bool BytewiseCollation() noexcept {
  const char* name = std::setlocale(LC_COLLATE, nullptr);
  return !name || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0;
}

std::string_view SlotText(const std::uint8_t* value, int width) noexcept {
  if (width <= 0) return {};
  const char* p = reinterpret_cast<const char*>(value);
  const void* zero = std::memchr(p, 0, static_cast<std::size_t>(width));
  return {p, zero ? static_cast<std::size_t>(static_cast<const char*>(zero) - p)
                  : static_cast<std::size_t>(width)};
}

int CollateText(std::string_view a, std::string_view b, const TextOrder& order) {
  if (order.bytewise) {
    if (!order.fold) return CompareBytes(a, b);
    if (order.charset != TextCharset::Utf8) return CompareFoldedBytes(a, b, order.charset);
    return CompareBytes(FoldCase(a, order.charset), FoldCase(b, order.charset));
  }
  return CollateWide(DecodeText(a, order.charset, order.fold),
                     DecodeText(b, order.charset, order.fold));
}

std::uint64_t TextPrefix(std::string_view text, const TextOrder& order) noexcept {
  const bool fold = order.fold && order.charset != TextCharset::Utf8;
  std::uint64_t key = 0;
  for (std::size_t i = 0; i < 8; ++i) {
    unsigned char c = i < text.size() ? static_cast<unsigned char>(text[i]) : 0;
    if (fold) c = FoldByte(c, order.charset);
    key = (key << 8) | c;
  }
  return key;
}

std::wstring CollationKey(std::string_view text, const TextOrder& order) {
  const std::wstring wide = DecodeText(text, order.charset, order.fold);
  std::wstring key;
  std::vector<wchar_t> piece;
  for (std::size_t at = 0;;) {
    const wchar_t* start = wide.c_str() + at;
    const std::size_t need = std::wcsxfrm(nullptr, start, 0) + 1;
    piece.resize(need);
    std::wcsxfrm(piece.data(), start, need);
    key.append(piece.data());
    at += std::wcslen(start) + 1;
    if (at > wide.size()) break;
    key += L'\0';
  }
  return key;
}

}  // namespace corvane
