// The character set of the texts inside the handheld applications' records:
// Windows-1252 (our own table, the default), Latin-1, UTF-8, or any name the
// system's iconv knows (SHIFT_JIS, CP932, CP1251, BIG5, ...).
#pragma once

#include <string>
#include <string_view>

#include "corvane/interchange/text_encoding.h"

namespace corvane::cli {

class Charset {
 public:
  // cp1252 (also windows-1252), latin1, utf8, else an iconv name; SHIFT_JIS
  // and SJIS mean CP932, the handhelds' Japanese set (glibc's SHIFT_JIS reads
  // the backslash and '~' as the yen sign and the overline). An unknown name raises
  // UsageError.
  explicit Charset(std::string_view name = "cp1252");

  // Bytes to UTF-8, always valid. A byte the character set does not define
  // (or that would decode to such a character itself) becomes the private-use
  // character U+10FF00 plus its value, which FromUtf8 turns back into the
  // byte: texts come back as they were.
  std::string ToUtf8(std::string_view bytes) const;
  // UTF-8 to bytes; raises EConvertError naming what has no byte sequence.
  std::string FromUtf8(std::string_view utf8) const;
  // The name iconv is given; empty for the built-in tables.
  const std::string& IconvName() const noexcept { return iconv_name_; }
  // The table the built-in path uses, when not iconv.
  bool Builtin() const noexcept { return iconv_name_.empty(); }

 private:
  TextEncoding builtin_ = TextEncoding::kWindows1252;
  std::string iconv_name_;  // empty: the built-in table
};

}  // namespace corvane::cli
