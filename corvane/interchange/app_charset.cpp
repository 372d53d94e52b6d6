#include "corvane/interchange/app_charset.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "corvane/host/exceptions.h"
#include "corvane/interchange/output.h"
#include "corvane/interchange/values.h"

namespace corvane::cli {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

struct IconvCloser {
  void operator()(void* cd) const noexcept { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle Open(const std::string& to, const std::string& from) {
  iconv_t cd = iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return IconvHandle(cd);
}

// Converts with iconv; on a sequence it cannot convert, `bad` decides: it
// appends a replacement (and returns how many input bytes to skip) or raises.
template <class OnBad>
std::string Convert(const IconvHandle& cd, std::string_view in, OnBad&& bad) {
  std::string out;
  out.reserve(in.size() * 2 + 16);
  char* src = const_cast<char*>(in.data());
  std::size_t left = in.size();
  char buf[4096];
  while (left > 0) {
    char* dst = buf;
    std::size_t room = sizeof buf;
    const std::size_t r = iconv(static_cast<iconv_t>(cd.get()), &src, &left, &dst, &room);
    out.append(buf, static_cast<std::size_t>(dst - buf));
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL (a sequence cut at the end): skip what cannot convert.
      const std::size_t skip = bad(out, std::string_view(src, left));
      src += skip;
      left -= skip;
      iconv(static_cast<iconv_t>(cd.get()), nullptr, nullptr, nullptr, nullptr);
    }
  }
  char* dst = buf;
  std::size_t room = sizeof buf;
  iconv(static_cast<iconv_t>(cd.get()), nullptr, nullptr, &dst, &room);  // shift back
  out.append(buf, static_cast<std::size_t>(dst - buf));
  return out;
}

// A byte kept as a character: U+10FF00 + byte, F4 8F BC..BF 80..BF in UTF-8.
void AppendByteChar(std::string& out, std::uint8_t byte) {
  out += '\xF4';
  out += '\x8F';
  out += static_cast<char>(0xBC | (byte >> 6));
  out += static_cast<char>(0x80 | (byte & 0x3F));
}

bool IsByteChar(std::string_view s, std::size_t at) {
  const auto b = [&](std::size_t i) { return static_cast<std::uint8_t>(s[at + i]); };
  return at + 4 <= s.size() && b(0) == 0xF4 && b(1) == 0x8F && (b(2) & 0xFC) == 0xBC &&
         (b(3) & 0xC0) == 0x80;
}

std::uint8_t ByteOfChar(std::string_view s, std::size_t at) {
  return static_cast<std::uint8_t>(((static_cast<std::uint8_t>(s[at + 2]) & 0x03) << 6) |
                                   (static_cast<std::uint8_t>(s[at + 3]) & 0x3F));
}

// UTF-8 bytes as they are; what is not well-formed, and characters that
// would read as kept bytes, byte by byte.
std::string Utf8Lossless(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    const std::size_t n = detail::Utf8SequenceLength(bytes);
    if (n == 0 || IsByteChar(bytes, 0)) {
      for (std::size_t i = 0; i < std::max<std::size_t>(n, 1); ++i)
        AppendByteChar(out, static_cast<std::uint8_t>(bytes[i]));
      bytes.remove_prefix(std::max<std::size_t>(n, 1));
    } else {
      out.append(bytes.substr(0, n));
      bytes.remove_prefix(n);
    }
  }
  return out;
}

}  // namespace

Charset::Charset(std::string_view name) {
  const std::string lower = Lower(name);
  if (lower == "cp1252" || lower == "windows-1252") {
    builtin_ = TextEncoding::kWindows1252;
  } else if (lower == "latin1" || lower == "iso-8859-1") {
    builtin_ = TextEncoding::kLatin1;
  } else if (lower == "utf8" || lower == "utf-8") {
    builtin_ = TextEncoding::kUtf8;
  } else if (lower == "shift_jis" || lower == "shift-jis" || lower == "sjis") {
    iconv_name_ = "CP932";
  } else {
    if (!Open("UTF-8", std::string(name)) || !Open(std::string(name), "UTF-8")) {
      throw UsageError("unknown --encoding '" + std::string(name) +
                       "' (cp1252, latin1, utf8 or a name iconv knows, such as SHIFT_JIS)");
    }
    iconv_name_ = std::string(name);
  }
}

std::string Charset::ToUtf8(std::string_view bytes) const {
  // Windows-1252 and Latin-1 define every byte.
  if (Builtin() && builtin_ != TextEncoding::kUtf8) return corvane::cli::ToUtf8(bytes, builtin_);
  if (Builtin()) return Utf8Lossless(bytes);
  const IconvHandle cd = Open("UTF-8", iconv_name_);
  return Convert(cd, bytes, [](std::string& out, std::string_view rest) -> std::size_t {
    AppendByteChar(out, static_cast<std::uint8_t>(rest[0]));
    return 1;
  });
}

std::string Charset::FromUtf8(std::string_view utf8) const {
  std::string out;
  std::size_t from = 0;
  const auto flush = [&](std::size_t to) {
    if (to == from) return;
    const std::string_view part = utf8.substr(from, to - from);
    if (Builtin()) {
      out += corvane::cli::FromUtf8(part, builtin_);
      return;
    }
    const IconvHandle cd = Open(iconv_name_, "UTF-8");
    out += Convert(cd, part, [&](std::string&, std::string_view rest) -> std::size_t {
      const std::size_t n = detail::Utf8SequenceLength(rest);
      throw EConvertError("\"" + std::string(rest.substr(0, n == 0 ? 1 : n)) +
                          "\" has no byte sequence in " + iconv_name_);
    });
  };
  for (std::size_t at = 0; at < utf8.size();) {
    if (IsByteChar(utf8, at)) {
      flush(at);
      out += static_cast<char>(ByteOfChar(utf8, at));
      at += 4;
      from = at;
    } else {
      ++at;
    }
  }
  flush(utf8.size());
  return out;
}

}  // namespace corvane::cli
