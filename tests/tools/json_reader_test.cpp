// The command's JSON reader on its own: every escape, \u escapes and their
// surrogate pairs, the nesting limit, numbers at the edges of the grammar, and
// the line and column of each refusal.
#include "corvane/interchange/json_reader.h"

#include <gtest/gtest.h>

#include <string>

namespace corvane::cli {
namespace {

std::string StringOf(const std::string& json) {
  const JsonValue v = ParseJson(json);
  EXPECT_EQ(v.kind, JsonValue::Kind::kString) << json;
  return v.text;
}

// The message of the refusal, or "" when the text is accepted.
std::string Refusal(const std::string& json) {
  try {
    ParseJson(json);
  } catch (const JsonError& e) {
    return e.what();
  }
  return "";
}

TEST(JsonReader, EveryEscapeAndUnicodeEscape) {
  const struct {
    std::string json;
    std::string text;
  } cases[] = {
      {R"("\"")", "\""},
      {R"("\\")", "\\"},
      {R"("\/")", "/"},
      {R"("\b")", "\b"},
      {R"("\f")", "\f"},
      {R"("\n")", "\n"},
      {R"("\r")", "\r"},
      {R"("\t")", "\t"},
      {R"("a\tb\\c\"d")", "a\tb\\c\"d"},
      {R"("\u0041")", "A"},
      {R"("\u0000")", std::string(1, '\0')},
      {R"("\u001f")", "\x1F"},
      {R"("\u007F")", "\x7F"},
      {R"("\u0080")", "\xC2\x80"},
      {R"("\u00e9\u00E9")", "\xC3\xA9\xC3\xA9"},
      {R"("\u07FF")", "\xDF\xBF"},
      {R"("\u0800")", "\xE0\xA0\x80"},
      {R"("\u20AC")", "\xE2\x82\xAC"},
      {R"("\uFFFF")", "\xEF\xBF\xBF"},
      {R"("\uD800\uDC00")", "\xF0\x90\x80\x80"},  // the first pair
      {R"("\uD83D\uDE00")", "\xF0\x9F\x98\x80"},  // U+1F600
      {R"("\uDBFF\uDFFF")", "\xF4\x8F\xBF\xBF"},  // U+10FFFF, the last
      {"\"\xF0\x9F\x98\x80 as it is\"", "\xF0\x9F\x98\x80 as it is"},
      {"\"caf\xC3\xA9\"", "caf\xC3\xA9"},
      {R"("")", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(StringOf(c.json), c.text) << c.json;
}

TEST(JsonReader, BadStringsAreRefusedWithTheirReason) {
  const struct {
    std::string json;
    std::string reason;
  } cases[] = {
      {R"("\x")", "column 3: unknown escape in a string"},
      {R"("\U0041")", "unknown escape"},
      {R"("\u12")", "a \\u escape needs four hexadecimal digits"},
      {R"("\u12G4")", "column 6: a \\u escape needs four hexadecimal digits"},
      {R"("\uD800")", "a high surrogate must be followed by a low one"},
      {R"("\uD800x")", "a high surrogate must be followed by a low one"},
      {R"("\uD800\u0041")", "a high surrogate must be followed by a low one"},
      {R"("\uD800\uD800")", "a high surrogate must be followed by a low one"},
      {R"("\uDC00")", "a low surrogate without a high one"},
      {R"("\uDFFF\uD800")", "a low surrogate without a high one"},
      {"\"tab\there\"", "a control character inside a string must be escaped"},
      {"\"line\nbreak\"", "a control character inside a string must be escaped"},
      {"\"\xC3\"", "not valid UTF-8"},
      {"\"\xFF\"", "not valid UTF-8"},
      {"\"\xED\xA0\x80\"", "not valid UTF-8"},  // a surrogate written out in UTF-8
      {"\"\xC0\xAF\"", "not valid UTF-8"},      // an overlong slash
      {R"("open)", "the string has no closing quote"},
      {R"("ends in \)", "the string has no closing quote"},
  };
  for (const auto& c : cases) {
    const std::string got = Refusal(c.json);
    EXPECT_NE(got.find(c.reason), std::string::npos) << c.json << " -> " << got;
  }
}

TEST(JsonReader, NumbersKeepTheirTextAtTheEdgesOfTheGrammar) {
  for (const std::string n :
       {"0", "-0", "7", "-9223372036854775808", "18446744073709551615",
        "123456789012345678901234567890", "0.5", "-0.0", "1e5", "1E+5", "1e-5", "2.5E-308",
        "1.7976931348623157e308", "4.9e-324", "1e999999"}) {
    const JsonValue v = ParseJson(" " + n + " ");
    EXPECT_EQ(v.kind, JsonValue::Kind::kNumber) << n;
    EXPECT_EQ(v.text, n);
  }
  const struct {
    std::string json;
    std::string reason;
  } bad[] = {
      {"-", "expected a digit"},
      {"-a", "expected a digit"},
      {"+1", "expected a JSON value"},
      {".5", "expected a JSON value"},
      {"01", "unexpected text after the JSON value"},
      {"-01", "unexpected text after the JSON value"},
      {"1.", "expected a digit after the decimal point"},
      {"1.e5", "expected a digit after the decimal point"},
      {"1e", "expected a digit in the exponent"},
      {"1e+", "expected a digit in the exponent"},
      {"0x10", "unexpected text after the JSON value"},
      {"NaN", "expected a JSON value"},
      {"Infinity", "expected a JSON value"},
      {"[1,]", "expected a JSON value"},
  };
  for (const auto& c : bad) {
    const std::string got = Refusal(c.json);
    EXPECT_NE(got.find(c.reason), std::string::npos) << c.json << " -> " << got;
  }
}

TEST(JsonReader, NestingIsLimitedWithoutExhaustingTheStack) {
  const auto nested = [](std::size_t depth, char open, char close) {
    return std::string(depth, open) + std::string(depth, close);
  };
  EXPECT_EQ(Refusal(nested(64, '[', ']')), "");
  const std::string wide = std::string("[")
                               .append(nested(63, '[', ']'))
                               .append(",{\"a\":")
                               .append(nested(63, '[', ']'))
                               .append("}]");
  EXPECT_EQ(Refusal(wide), "");
  for (const std::size_t depth : {66u, 1000u, 200000u}) {
    EXPECT_NE(Refusal(nested(depth, '[', ']')).find("nested more than 64 levels deep"),
              std::string::npos)
        << depth;
  }
  std::string objects;
  for (int i = 0; i < 100; ++i) objects += "{\"k\":";
  objects += "1" + std::string(100, '}');
  EXPECT_NE(Refusal(objects).find("nested more than 64 levels deep"), std::string::npos);
}

TEST(JsonReader, DocumentsAndTheirFaults) {
  const JsonValue v =
      ParseJson("\xEF\xBB\xBF{\"a\": [true, false, null],\n \"b\": {\"c\": \"d\"}}");
  ASSERT_EQ(v.kind, JsonValue::Kind::kObject);
  ASSERT_EQ(v.members.size(), 2u);
  const JsonValue* a = v.Find("a");
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->items.size(), 3u);
  EXPECT_TRUE(a->items[0].boolean);
  EXPECT_EQ(a->items[1].kind, JsonValue::Kind::kBool);
  EXPECT_FALSE(a->items[1].boolean);
  EXPECT_TRUE(a->items[2].IsNull());
  EXPECT_EQ(v.Find("b")->line, 2u);
  EXPECT_EQ(v.Find("b")->Find("c")->text, "d");
  EXPECT_EQ(v.Find("z"), nullptr);

  const struct {
    std::string json;
    std::string reason;
  } bad[] = {
      {"", "line 1, column 1: unexpected end of the input"},
      {"  \n  ", "line 2, column 3: unexpected end of the input"},
      {"{\"a\": 1, \"a\": 2}", "the member \"a\" appears twice"},
      {"{\"a\" 1}", "expected ':' after a member name"},
      {"{a: 1}", "expected a member name in quotes"},
      {"{\"a\": 1,}", "expected a member name in quotes"},
      {"{\"a\": 1 \"b\": 2}", "expected ',' or '}' in an object"},
      {"[1 2]", "expected ',' or ']' in an array"},
      {"[1,\n\n  x]", "line 3, column 3: expected a JSON value"},
      {"tru", "expected a JSON value"},
      {"true false", "unexpected text after the JSON value"},
      {"[", "unexpected end of the input"},
  };
  for (const auto& c : bad) {
    const std::string got = Refusal(c.json);
    EXPECT_NE(got.find(c.reason), std::string::npos) << c.json << " -> " << got;
  }
}

}  // namespace
}  // namespace corvane::cli
