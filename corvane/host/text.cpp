#include "corvane/host/text.h"

#include <cstring>
#include <sys/stat.h>

namespace corvane {

std::string TrimLeft(std::string_view s) {
  std::size_t b = 0;
  while (b < s.size() && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s) {
  std::size_t e = s.size();
  while (e > 0 && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(0, e));
}

std::string Trim(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return std::string(s.substr(b, e - b));
}

std::string UpperCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

bool SameText(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

std::string LowerCase(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

namespace {
// strcoll stops at a zero byte; compare zero-separated pieces in turn so
// embedded zeros still order the strings.
int Collate(const std::string& a, const std::string& b) {
  std::size_t ia = 0, ib = 0;
  for (;;) {
    const int r = std::strcoll(a.c_str() + ia, b.c_str() + ib);
    if (r != 0) return r < 0 ? -1 : 1;
    const std::size_t la = std::strlen(a.c_str() + ia), lb = std::strlen(b.c_str() + ib);
    ia += la + 1;
    ib += lb + 1;
    const bool ea = ia > a.size(), eb = ib > b.size();
    if (ea || eb) return ea == eb ? 0 : (ea ? -1 : 1);
  }
}
}  // namespace

int AnsiCompareStr(const std::string& a, const std::string& b) { return Collate(a, b); }

int AnsiCompareText(const std::string& a, const std::string& b) {
  return Collate(LowerCase(a), LowerCase(b));
}

std::string ExtractFileExt(std::string_view path) {
  const std::size_t dot = path.rfind('.');
  if (dot == std::string_view::npos) return {};
  const std::size_t sep = path.rfind('/');
  if (sep != std::string_view::npos && sep > dot) return {};
  return std::string(path.substr(dot));
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string IncludeTrailingPathDelimiter(std::string_view dir) {
  std::string out(dir);
  if (out.empty() || out.back() != '/') out += '/';
  return out;
}

}  // namespace corvane
