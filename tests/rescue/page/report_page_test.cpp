#include "corvane/rescue/report_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

namespace {

using corvane::rescue::RenderReportPage;

constexpr std::string_view kOpenTag = R"(<script type="application/json" id="report">)";

std::string Lower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

struct Split {
  std::string before;
  std::string embedded;
  std::string after;
};

// Splits a page where a browser would: the report element ends at the first
// "</script" (in any case) after its start tag.
Split SplitPage(const std::string& page) {
  const std::size_t open = page.find(kOpenTag);
  EXPECT_NE(open, std::string::npos);
  const std::size_t start = open + kOpenTag.size();
  const std::size_t end = Lower(page).find("</script", start);
  EXPECT_NE(end, std::string::npos);
  return {page.substr(0, start), page.substr(start, end - start), page.substr(end)};
}

bool ValidUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<std::uint8_t>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c >= 0xC2 && c <= 0xDF) ? 2 : (c >= 0xE0 && c <= 0xEF) ? 3
                  : (c >= 0xF0 && c <= 0xF4) ? 4 : 0;
    if (n == 0 || s.size() - i < n) return false;
    std::uint32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
      const auto b = static_cast<std::uint8_t>(s[i + k]);
      if ((b & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr std::uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

// Whatever the report holds, the page around it is the template's, and the
// text inside its element holds nothing a browser could take for markup.
void ExpectContained(const std::string& report, const Split& empty) {
  SCOPED_TRACE(::testing::PrintToString(report));
  const std::string page = RenderReportPage(report);
  const Split split = SplitPage(page);
  EXPECT_EQ(split.before, empty.before);
  EXPECT_EQ(split.after, empty.after);
  EXPECT_EQ(split.embedded.find_first_of("<>&"), std::string::npos);
  EXPECT_EQ(split.embedded.find("\xE2\x80\xA8"), std::string::npos);
  EXPECT_EQ(split.embedded.find("\xE2\x80\xA9"), std::string::npos);
  for (unsigned char c : split.embedded) {
    EXPECT_TRUE(c >= 0x20 ? c != 0x7F : (c == '\t' || c == '\n' || c == '\r')) << int(c);
  }
  EXPECT_TRUE(ValidUtf8(page));
  EXPECT_EQ(RenderReportPage(report), page);
}

TEST(ReportPage, HostileReportsStayInsideTheirElement) {
  const Split empty = SplitPage(RenderReportPage(""));
  EXPECT_EQ(empty.embedded, "");
  const std::string hostile[] = {
      R"({"files":[{"input":"</script><img src=x onerror=alert(1)>"}]})",
      "</SCRIPT >",
      "</ScRiPt\t",
      "<!--<script>",
      "<!-- </script> -->",
      "]]></script>",
      "\"</scr\" + \"ipt>\"",
      "&lt;/script&gt;",
      "\xE2\x80\xA8\xE2\x80\xA9",
      std::string("a\0b", 3),
      "\x1B[31m\x7F",
      "\xFF\xFE</script>",
      "\xC0\xBC/script\xC0\xBE",  // '<' and '>' as overlong forms
      "\xE0\x80\xBC",             // '<' as a three-byte overlong form
      "\xED\xA0\x80",             // a surrogate
      "\xF4\x90\x80\x80",         // past U+10FFFF
      "\xE2\x82",                 // cut short
  };
  for (const std::string& s : hostile) {
    ExpectContained(s, empty);
    ExpectContained(R"({"input":")" + s + R"("})", empty);
  }

  // Random bytes, weighted towards the characters that matter.
  std::mt19937 random(20261208);
  static constexpr char kAlphabet[] = "<>&/!-sScCrRiIpPtT \"\\u\t\n\r\x00\xE2\x80\xA8\xA9\xC0\xED\xF4\xFF"
                                      "\xF0\x9F\x98";
  const std::string alphabet(kAlphabet, sizeof kAlphabet - 1);  // holds a NUL
  ASSERT_EQ(alphabet.back(), '\x98');
  for (int round = 0; round < 2000; ++round) {
    std::string s;
    const int length = static_cast<int>(random() % 40);
    for (int i = 0; i < length; ++i) {
      s += random() % 4 == 0 ? static_cast<char>(random() % 256)
                             : alphabet[random() % (alphabet.size())];
    }
    ExpectContained(s, empty);
  }
}

TEST(ReportPage, EscapesMeanTheSameCharacters) {
  const std::string report = "{\"a\":\"</script><!--\xE2\x80\xA8x&y\x01\xE2\x80\xA9\"}";
  EXPECT_EQ(SplitPage(RenderReportPage(report)).embedded,
            R"({"a":"\u003c/script\u003e\u003c!--\u2028x\u0026y\u0001\u2029"})");
  // Valid UTF-8 passes as it is; each byte of a broken sequence becomes U+FFFD.
  EXPECT_EQ(SplitPage(RenderReportPage("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80")).embedded,
            "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(SplitPage(RenderReportPage("\xC0\xAF|\xED\xA0\x80|\xE2\x82")).embedded,
            R"(\ufffd\ufffd|\ufffd\ufffd\ufffd|\ufffd\ufffd)");
  EXPECT_EQ(SplitPage(RenderReportPage("\xF4\x90\x80\x80\xF4\x8F\xBF\xBF")).embedded,
            "\\ufffd\\ufffd\\ufffd\\ufffd\xF4\x8F\xBF\xBF");
  // Backslashes and quotes of the report are left alone, so its own escapes keep their meaning.
  EXPECT_EQ(SplitPage(RenderReportPage(R"({"a":"\u003c\\\""})")).embedded, R"({"a":"\u003c\\\""})");
}

TEST(ReportPage, LoadsNothingFromElsewhere) {
  const std::string page = Lower(RenderReportPage(R"({"files":[]})"));
  EXPECT_EQ(page.find("http:"), std::string::npos);
  EXPECT_EQ(page.find("https:"), std::string::npos);
  EXPECT_EQ(page.find("//cdn"), std::string::npos);
  EXPECT_EQ(page.find("<script src"), std::string::npos);
  EXPECT_EQ(page.find("<link rel=\"stylesheet\""), std::string::npos);
  EXPECT_EQ(page.find("@import"), std::string::npos);
  EXPECT_NE(page.find("content-security-policy"), std::string::npos);
  EXPECT_EQ(page.find("@report_json@"), std::string::npos);
  // Report data reaches the page as text only.
  EXPECT_EQ(page.find("innerhtml"), std::string::npos);
  EXPECT_EQ(page.find("insertadjacenthtml"), std::string::npos);
  EXPECT_EQ(page.find("document.write"), std::string::npos);
}

} // namespace
