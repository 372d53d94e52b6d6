#include "corvane/interchange/eml.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace corvane::interchange {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

std::string OneLine(std::string_view text) {
  std::string out;
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    out += (u < 0x20 || u == 0x7f) ? ' ' : c;
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

bool Ascii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::string Base64(std::string_view bytes) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::uint32_t v = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << 16;
    if (i + 1 < bytes.size()) v |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8;
    if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
    out += kDigits[(v >> 18) & 63];
    out += kDigits[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kDigits[(v >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kDigits[v & 63] : '=';
  }
  return out;
}

// A header: "Name: value", non-ASCII values as encoded words of at most 45
// bytes each (never splitting a character), one per folded line.
void Header(std::string& out, std::string_view name, std::string_view raw) {
  const std::string value = OneLine(raw);
  if (value.empty()) return;
  out += name;
  out += ": ";
  if (Ascii(value)) {
    out += value;
  } else {
    std::size_t at = 0;
    bool first = true;
    while (at < value.size()) {
      std::size_t end = std::min(value.size(), at + 45);
      while (end < value.size() && end > at && (static_cast<unsigned char>(value[end]) & 0xC0) == 0x80)
        --end;
      if (end == at) end = std::min(value.size(), at + 45);
      if (!first) out += "\r\n ";
      out += "=?UTF-8?B?" + Base64(value.substr(at, end - at)) + "?=";
      first = false;
      at = end;
    }
  }
  out += "\r\n";
}

// Quoted-printable (RFC 2045): lines of at most 76 characters, CR LF line
// breaks, trailing white space encoded.
std::string QuotedPrintable(std::string_view text) {
  std::string out, line;
  const auto flush_soft = [&] {
    out += line;
    out += "=\r\n";
    line.clear();
  };
  const auto put = [&](std::string_view piece) {
    if (line.size() + piece.size() > 75) flush_soft();
    line += piece;
  };
  // A space or tab ending a line would be dropped by mail programs: encoded.
  const auto encode_trailing_blank = [&] {
    if (line.empty() || (line.back() != ' ' && line.back() != '\t')) return;
    const auto last = static_cast<unsigned char>(line.back());
    line.pop_back();
    const char enc[] = {'=', kHex[last >> 4], kHex[last & 15], 0};
    put(enc);
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (c == '\n' || c == '\r') {
      encode_trailing_blank();
      out += line;
      out += "\r\n";
      line.clear();
      continue;
    }
    if ((c >= 33 && c <= 126 && c != '=') || c == ' ' || c == '\t') {
      const char plain[] = {static_cast<char>(c), 0};
      put(plain);
    } else {
      const char enc[] = {'=', kHex[c >> 4], kHex[c & 15], 0};
      put(enc);
    }
  }
  encode_trailing_blank();
  out += line;
  if (!out.empty() && !out.ends_with("\r\n")) out += "\r\n";
  return out;
}

}  // namespace

std::string FormatEml(const MailMessage& m) {
  std::string out;
  if (m.year > 0 && m.month >= 1 && m.month <= 12 && m.day >= 1 && m.day <= 31) {
    static constexpr std::array<const char*, 12> kMonths = {
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char buf[64];
    // -0000: a local time whose zone is not known (RFC 5322 3.3).
    std::snprintf(buf, sizeof buf, "%d %s %04d %02d:%02d:00 -0000", m.day, kMonths[m.month - 1],
                  m.year, m.hour % 24, m.minute % 60);
    out += "Date: ";
    out += buf;
    out += "\r\n";
  }
  Header(out, "From", m.from);
  Header(out, "To", m.to);
  Header(out, "Cc", m.cc);
  Header(out, "Bcc", m.bcc);
  Header(out, "Reply-To", m.replyTo);
  Header(out, "Subject", m.subject);
  if (m.priority == 0) out += "X-Priority: 1\r\nImportance: high\r\n";
  if (m.priority == 2) out += "X-Priority: 5\r\nImportance: low\r\n";
  out += "MIME-Version: 1.0\r\n";
  out += "Content-Type: text/plain; charset=UTF-8\r\n";
  out += "Content-Transfer-Encoding: quoted-printable\r\n";
  out += "\r\n";
  out += QuotedPrintable(m.body);
  return out;
}

}  // namespace corvane::interchange
