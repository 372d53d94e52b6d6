#include "corvane/dataset/text_compare.h"

#include <clocale>
#include <cstring>

#include "corvane/host/text.h"

namespace corvane {

namespace {

unsigned char Fold(unsigned char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

int CompareBytes(std::string_view a, std::string_view b, bool fold) noexcept {
  const std::size_t n = a.size() < b.size() ? a.size() : b.size();
  if (!fold) {
    const int r = n ? std::memcmp(a.data(), b.data(), n) : 0;
    if (r != 0) return r < 0 ? -1 : 1;
  } else {
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned char x = Fold(static_cast<unsigned char>(a[i]));
      const unsigned char y = Fold(static_cast<unsigned char>(b[i]));
      if (x != y) return x < y ? -1 : 1;
    }
  }
  return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
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

int CollateText(std::string_view a, std::string_view b, bool case_insensitive, bool bytewise) {
  if (bytewise) return CompareBytes(a, b, case_insensitive);
  const std::string x(a), y(b);
  return case_insensitive ? AnsiCompareText(x, y) : AnsiCompareStr(x, y);
}

}  // namespace corvane
