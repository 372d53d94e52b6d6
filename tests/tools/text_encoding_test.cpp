// The names in a file are bytes in the handheld's character set; the command
// turns them into UTF-8 and must never emit ill-formed UTF-8 (JSON readers
// reject it).
#include "corvane/interchange/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::cli {
namespace {

TEST(TextEncoding, EachCharacterSet) {
  struct Case {
    std::string in;
    TextEncoding enc;
    std::string out;
  };
  const Case cases[] = {
      {"plain", TextEncoding::kWindows1252, "plain"},
      {"\x80\x8A\x9F\xA0\xFF", TextEncoding::kWindows1252, "\u20AC\u0160\u0178\u00A0\u00FF"},
      // Bytes Windows-1252 leaves undefined keep their value instead of vanishing.
      {"\x81\x8D\x8F\x90\x9D", TextEncoding::kWindows1252, "\u0081\u008D\u008F\u0090\u009D"},
      {"\x80\xE9", TextEncoding::kLatin1, "\u0080\u00E9"},
      {std::string("a\0b", 3), TextEncoding::kLatin1, std::string("a\0b", 3)},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", TextEncoding::kUtf8,
       "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"\xC0\xAF", TextEncoding::kUtf8, "\uFFFD\uFFFD"},                      // overlong '/'
      {"\xE0\x80\xAF", TextEncoding::kUtf8, "\uFFFD\uFFFD\uFFFD"},            // overlong, 3 bytes
      {"\xED\xA0\x80", TextEncoding::kUtf8, "\uFFFD\uFFFD\uFFFD"},            // a surrogate
      {"\xF4\x90\x80\x80", TextEncoding::kUtf8, "\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
      {"ab\xE2\x82", TextEncoding::kUtf8, "ab\uFFFD\uFFFD"},                  // cut short
      {"\xFF", TextEncoding::kUtf8, "\uFFFD"},
  };
  for (const Case& c : cases) EXPECT_EQ(ToUtf8(c.in, c.enc), c.out) << c.in;
}

TEST(TextEncoding, OptionNames) {
  TextEncoding e = TextEncoding::kUtf8;
  EXPECT_TRUE(ParseTextEncoding("cp1252", e));
  EXPECT_EQ(e, TextEncoding::kWindows1252);
  EXPECT_TRUE(ParseTextEncoding("latin1", e));
  EXPECT_EQ(e, TextEncoding::kLatin1);
  EXPECT_FALSE(ParseTextEncoding("UTF-8", e));
}

}  // namespace
}  // namespace corvane::cli
