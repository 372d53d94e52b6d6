#include "tools/app_charset.h"

#include <iconv.h>

#include <cerrno>
#include <memory>

#include "corvane/host/exceptions.h"
#include "tools/cli.h"
#include "tools/values.h"

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

}  // namespace

Charset::Charset(std::string_view name) {
  const std::string lower = Lower(name);
  if (lower == "cp1252" || lower == "windows-1252") {
    builtin_ = TextEncoding::kWindows1252;
  } else if (lower == "latin1" || lower == "iso-8859-1") {
    builtin_ = TextEncoding::kLatin1;
  } else if (lower == "utf8" || lower == "utf-8") {
    builtin_ = TextEncoding::kUtf8;
  } else {
    if (!Open("UTF-8", std::string(name)) || !Open(std::string(name), "UTF-8")) {
      throw UsageError("unknown --encoding '" + std::string(name) +
                       "' (cp1252, latin1, utf8 or a name iconv knows, such as SHIFT_JIS)");
    }
    iconv_name_ = std::string(name);
  }
}

std::string Charset::ToUtf8(std::string_view bytes) const {
  if (Builtin()) return corvane::cli::ToUtf8(bytes, builtin_);
  const IconvHandle cd = Open("UTF-8", iconv_name_);
  return Convert(cd, bytes, [](std::string& out, std::string_view) -> std::size_t {
    out += "\xEF\xBF\xBD";
    return 1;
  });
}

std::string Charset::FromUtf8(std::string_view utf8) const {
  if (Builtin()) return corvane::cli::FromUtf8(utf8, builtin_);
  const IconvHandle cd = Open(iconv_name_, "UTF-8");
  return Convert(cd, utf8, [&](std::string&, std::string_view rest) -> std::size_t {
    const std::size_t n = detail::Utf8SequenceLength(rest);
    throw EConvertError("\"" + std::string(rest.substr(0, n == 0 ? 1 : n)) +
                        "\" has no byte sequence in " + iconv_name_);
  });
}

}  // namespace corvane::cli
