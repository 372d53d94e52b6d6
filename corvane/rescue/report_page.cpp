#include "corvane/rescue/report_page.h"

#include <cstddef>
#include <cstdint>

namespace corvane::rescue {
namespace {

// report_page.html, compiled in by CMake as kPageTemplate / kPageTemplateSize.
#include "report_page_template.inc"

constexpr std::string_view kReportMarker = "@REPORT_JSON@";

std::string_view PageTemplate() {
  return {reinterpret_cast<const char*>(kPageTemplate), kPageTemplateSize};
}

void AppendEscape(std::string& out, std::uint32_t unit) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) {
    out += kHex[(unit >> shift) & 0xF];
  }
}

// The length of the well-formed UTF-8 sequence at `at` (overlong forms,
// surrogates and code points past U+10FFFF are not), or 0.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(at);
  std::size_t length = 0;
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - at < length) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

// Everything that could end the script element or open markup inside it is
// replaced by the JSON escape that means the same character inside a string;
// outside a string such a character makes the JSON invalid either way.
void AppendEmbeddedJson(std::string& out, std::string_view json) {
  for (std::size_t i = 0; i < json.size();) {
    const auto c = static_cast<std::uint8_t>(json[i]);
    if (c < 0x80) {
      if (c == '<' || c == '>' || c == '&' || c == 0x7F ||
          (c < 0x20 && c != '\t' && c != '\n' && c != '\r')) {
        AppendEscape(out, c);
      } else {
        out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    const std::size_t length = Utf8SequenceLength(json, i);
    if (length == 0) {
      AppendEscape(out, 0xFFFD);
      ++i;
      continue;
    }
    // U+2028 and U+2029 end a line in older script parsers.
    if (length == 3 && c == 0xE2 && static_cast<std::uint8_t>(json[i + 1]) == 0x80 &&
        (static_cast<std::uint8_t>(json[i + 2]) == 0xA8 ||
         static_cast<std::uint8_t>(json[i + 2]) == 0xA9)) {
      AppendEscape(out, static_cast<std::uint8_t>(json[i + 2]) == 0xA8 ? 0x2028 : 0x2029);
    } else {
      out.append(json, i, length);
    }
    i += length;
  }
}

} // namespace

std::string RenderReportPage(std::string_view reportJson) {
  const std::string_view page = PageTemplate();
  const std::size_t marker = page.find(kReportMarker);
  std::string out;
  out.reserve(page.size() + reportJson.size() + reportJson.size() / 8);
  if (marker == std::string_view::npos) {
    // The template is built in; without its marker the page shows its
    // "could not be read" message rather than a report it cannot hold.
    out.append(page);
    return out;
  }
  out.append(page.substr(0, marker));
  AppendEmbeddedJson(out, reportJson);
  out.append(page.substr(marker + kReportMarker.size()));
  return out;
}

} // namespace corvane::rescue
