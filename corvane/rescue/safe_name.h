// File names that every common file system takes, made from text a file
// holds (a memo's first line, a mail's subject) or from the name of an input.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>

namespace corvane::rescue {

inline constexpr std::size_t kMaxNameBytes = 100;

// `text` (UTF-8) as a file name stem: / \ : * ? " < > | and control
// characters become "_", a byte that is no well-formed UTF-8 too; runs of
// white space become one space; leading and trailing spaces and dots go
// (a name of dots alone would mean a folder); a name a Windows device takes
// (CON, NUL, COM1, ...) gets a "_". Cut to at most `max_bytes` at a
// character boundary. Empty when nothing is left: the caller picks a name.
std::string SafeStem(std::string_view text, std::size_t max_bytes = kMaxNameBytes);

// Names handed out in one folder: a name equal, ignoring case, to one given
// before gets " (2)", " (3)", ... before its extension, so that no two names
// clash on a file system that ignores case. Every name stays within
// kMaxNameBytes, the stem cut at a character boundary to make room.
class NameSet {
 public:
  // `stem` as SafeStem gives it (or empty: `fallback` then), `extension`
  // with its dot or empty.
  std::string Claim(std::string_view stem, std::string_view extension,
                    std::string_view fallback = "untitled");
  // Whether a name (any case) was handed out.
  bool Taken(std::string_view name) const;

 private:
  std::set<std::string> folded_;
};

// The longest prefix of `text` of at most `max_bytes` that ends at a UTF-8
// character boundary.
std::string_view CutUtf8(std::string_view text, std::size_t max_bytes) noexcept;

}  // namespace corvane::rescue
