#include "corvane/rescue/safe_name.h"

#include <array>

#include "corvane/host/charset.h"

namespace corvane::rescue {

namespace {

bool Forbidden(unsigned char c) noexcept {
  if (c < 0x20 || c == 0x7f) return true;
  constexpr std::string_view kReserved = "/\\:*?\"<>|";
  return kReserved.find(static_cast<char>(c)) != std::string_view::npos;
}

bool DeviceName(std::string_view stem) {
  // Windows refuses these with any extension, in any case.
  const std::string base = FoldCase(stem.substr(0, stem.find('.')), TextCharset::Utf8);
  constexpr std::array<std::string_view, 4> kPlain = {"con", "prn", "aux", "nul"};
  for (std::string_view d : kPlain) {
    if (base == d) return true;
  }
  return base.size() == 4 && (base.starts_with("com") || base.starts_with("lpt")) &&
         base[3] >= '1' && base[3] <= '9';
}

}  // namespace

std::string_view CutUtf8(std::string_view text, std::size_t max_bytes) noexcept {
  if (text.size() <= max_bytes) return text;
  std::size_t end = max_bytes;
  // Back off continuation bytes to the start of the character that does not fit.
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

std::string SafeStem(std::string_view text, std::size_t max_bytes) {
  std::string out;
  bool space = false;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == ' ' || c == '\t') {
      space = true;
      ++i;
      continue;
    }
    if (space && !out.empty()) out += ' ';
    space = false;
    if (c < 0x80) {
      out += Forbidden(c) ? '_' : static_cast<char>(c);
      ++i;
      continue;
    }
    const std::size_t n = Utf8SequenceLength(text.substr(i));
    if (n == 0) {
      out += '_';
      ++i;
      continue;
    }
    const char32_t cp = DecodeUtf8Sequence(text.substr(i), n);
    // C1 controls and the line and paragraph separators are control characters too.
    if ((cp >= 0x80 && cp < 0xA0) || cp == 0x2028 || cp == 0x2029) {
      out += '_';
    } else {
      out.append(text.substr(i, n));
    }
    i += n;
  }
  std::size_t first = out.find_first_not_of(" .");
  if (first == std::string::npos) return {};
  out.erase(0, first);
  out = std::string(CutUtf8(out, max_bytes));
  while (!out.empty() && (out.back() == ' ' || out.back() == '.')) out.pop_back();
  if (!out.empty() && DeviceName(out)) {
    if (out.size() >= max_bytes) out = std::string(CutUtf8(out, max_bytes - 1));
    out += '_';
  }
  return out;
}

bool NameSet::Taken(std::string_view name) const {
  return folded_.count(FoldCase(name, TextCharset::Utf8)) != 0;
}

std::string NameSet::Claim(std::string_view stem, std::string_view extension,
                           std::string_view fallback) {
  const std::string base(stem.empty() ? fallback : stem);
  for (unsigned n = 1;; ++n) {
    const std::string suffix = n == 1 ? std::string() : " (" + std::to_string(n) + ")";
    const std::size_t room = kMaxNameBytes > suffix.size() + extension.size()
                                 ? kMaxNameBytes - suffix.size() - extension.size()
                                 : 1;
    std::string name(CutUtf8(base, room));
    while (!name.empty() && (name.back() == ' ' || name.back() == '.')) name.pop_back();
    if (name.empty()) name = std::string(fallback);
    name += suffix;
    name += extension;
    if (folded_.insert(FoldCase(name, TextCharset::Utf8)).second) return name;
  }
}

}  // namespace corvane::rescue
