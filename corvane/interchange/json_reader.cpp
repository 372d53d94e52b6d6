#include "corvane/interchange/json_reader.h"

#include <cstdint>

#include "corvane/interchange/text_encoding.h"

namespace corvane::cli {

JsonValue::JsonValue() noexcept = default;

namespace {

constexpr int kMaxDepth = 64;

class Parser {
 public:
  explicit Parser(std::string_view text) : s_(text) {}

  JsonValue Document() {
    if (s_.starts_with("\xEF\xBB\xBF")) pos_ = counted_ = 3;  // a byte-order mark
    SkipBlanks();
    JsonValue v = Value(0);
    SkipBlanks();
    if (pos_ != s_.size()) Fail("unexpected text after the JSON value");
    return v;
  }

 private:
  [[noreturn]] void Fail(const std::string& what) const {
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < pos_ && i < s_.size(); ++i) {
      if (s_[i] == '\n') {
        ++line;
        column = 1;
      } else {
        ++column;
      }
    }
    throw JsonError("JSON line " + std::to_string(line) + ", column " + std::to_string(column) +
                    ": " + what);
  }

  void SkipBlanks() {
    while (pos_ < s_.size() &&
           (s_[pos_] == ' ' || s_[pos_] == '\t' || s_[pos_] == '\n' || s_[pos_] == '\r')) {
      ++pos_;
    }
  }

  bool Take(std::string_view word) {
    if (s_.substr(pos_, word.size()) != word) return false;
    pos_ += word.size();
    return true;
  }

  JsonValue Value(int depth) {
    if (depth > kMaxDepth) Fail("nested more than " + std::to_string(kMaxDepth) + " levels deep");
    if (pos_ >= s_.size()) Fail("unexpected end of the input");
    JsonValue v;
    v.line = CountLines();
    const char c = s_[pos_];
    if (c == '{') {
      v.kind = JsonValue::Kind::kObject;
      ++pos_;
      SkipBlanks();
      if (pos_ < s_.size() && s_[pos_] == '}') {
        ++pos_;
        return v;
      }
      for (;;) {
        SkipBlanks();
        if (pos_ >= s_.size() || s_[pos_] != '"') Fail("expected a member name in quotes");
        std::string key = String();
        for (const auto& m : v.members) {
          if (m.first == key) Fail("the member \"" + key + "\" appears twice");
        }
        SkipBlanks();
        if (pos_ >= s_.size() || s_[pos_] != ':') Fail("expected ':' after a member name");
        ++pos_;
        SkipBlanks();
        JsonValue member = Value(depth + 1);
        v.members.push_back(JsonMember{std::move(key), std::move(member)});
        SkipBlanks();
        if (pos_ < s_.size() && s_[pos_] == ',') {
          ++pos_;
          continue;
        }
        if (pos_ < s_.size() && s_[pos_] == '}') {
          ++pos_;
          return v;
        }
        Fail("expected ',' or '}' in an object");
      }
    }
    if (c == '[') {
      v.kind = JsonValue::Kind::kArray;
      ++pos_;
      SkipBlanks();
      if (pos_ < s_.size() && s_[pos_] == ']') {
        ++pos_;
        return v;
      }
      for (;;) {
        SkipBlanks();
        v.items.push_back(Value(depth + 1));
        SkipBlanks();
        if (pos_ < s_.size() && s_[pos_] == ',') {
          ++pos_;
          continue;
        }
        if (pos_ < s_.size() && s_[pos_] == ']') {
          ++pos_;
          return v;
        }
        Fail("expected ',' or ']' in an array");
      }
    }
    if (c == '"') {
      v.kind = JsonValue::Kind::kString;
      v.text = String();
      return v;
    }
    if (Take("true")) {
      v.kind = JsonValue::Kind::kBool;
      v.boolean = true;
      return v;
    }
    if (Take("false")) {
      v.kind = JsonValue::Kind::kBool;
      return v;
    }
    if (Take("null")) return v;
    if (c == '-' || (c >= '0' && c <= '9')) {
      v.kind = JsonValue::Kind::kNumber;
      v.text = Number();
      return v;
    }
    Fail("expected a JSON value");
  }

  // Lines up to pos_, counted incrementally (values come in order).
  std::size_t CountLines() {
    for (; counted_ < pos_; ++counted_) lines_ += s_[counted_] == '\n';
    return lines_;
  }

  std::string Number() {
    const std::size_t start = pos_;
    const JsonNumberScan scan = ScanJsonNumber(s_.substr(pos_));
    pos_ += scan.length;
    if (scan.missing != nullptr) Fail(scan.missing);
    return std::string(s_.substr(start, scan.length));
  }

  unsigned Hex4() {
    if (pos_ + 4 > s_.size()) Fail("a \\u escape needs four hexadecimal digits");
    unsigned v = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = s_[pos_++];
      v <<= 4;
      if (c >= '0' && c <= '9') {
        v |= static_cast<unsigned>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        v |= static_cast<unsigned>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        v |= static_cast<unsigned>(c - 'A' + 10);
      } else {
        --pos_;
        Fail("a \\u escape needs four hexadecimal digits");
      }
    }
    return v;
  }

  std::string String() {
    ++pos_;  // the opening quote
    std::string out;
    for (;;) {
      if (pos_ >= s_.size()) Fail("the string has no closing quote");
      const auto c = static_cast<unsigned char>(s_[pos_]);
      if (c == '"') {
        ++pos_;
        return out;
      }
      if (c < 0x20) Fail("a control character inside a string must be escaped");
      if (c == '\\') {
        ++pos_;
        if (pos_ >= s_.size()) Fail("the string has no closing quote");
        const char e = s_[pos_++];
        switch (e) {
          case '"':
            out += '"';
            break;
          case '\\':
            out += '\\';
            break;
          case '/':
            out += '/';
            break;
          case 'b':
            out += '\b';
            break;
          case 'f':
            out += '\f';
            break;
          case 'n':
            out += '\n';
            break;
          case 'r':
            out += '\r';
            break;
          case 't':
            out += '\t';
            break;
          case 'u': {
            std::uint32_t cp = Hex4();
            if (cp >= 0xD800 && cp <= 0xDBFF) {
              if (!Take("\\u")) Fail("a high surrogate must be followed by a low one");
              const unsigned low = Hex4();
              if (low < 0xDC00 || low > 0xDFFF)
                Fail("a high surrogate must be followed by a low one");
              cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
            } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
              Fail("a low surrogate without a high one");
            }
            detail::AppendUtf8(out, cp);
            break;
          }
          default:
            --pos_;
            Fail("unknown escape in a string");
        }
        continue;
      }
      if (c < 0x80) {
        out += static_cast<char>(c);
        ++pos_;
        continue;
      }
      const std::size_t n = detail::Utf8SequenceLength(s_.substr(pos_));
      if (n == 0) Fail("the string is not valid UTF-8");
      out.append(s_.substr(pos_, n));
      pos_ += n;
    }
  }

  std::string_view s_;
  std::size_t pos_ = 0;
  std::size_t counted_ = 0;
  std::size_t lines_ = 1;
};

}  // namespace

const JsonValue* JsonValue::Find(std::string_view key) const noexcept {
  for (const auto& m : members) {
    if (m.first == key) return &m.second;
  }
  return nullptr;
}

JsonValue ParseJson(std::string_view text) {
  return Parser(text).Document();
}

JsonNumberScan ScanJsonNumber(std::string_view s) noexcept {
  std::size_t i = 0;
  const auto digit = [&] { return i < s.size() && s[i] >= '0' && s[i] <= '9'; };
  const auto cut = [&](const char* missing) { return JsonNumberScan{i, missing}; };
  if (i < s.size() && s[i] == '-') ++i;
  if (!digit()) return cut("expected a digit");
  if (s[i] == '0') {
    ++i;
  } else {
    while (digit()) ++i;
  }
  if (i < s.size() && s[i] == '.') {
    ++i;
    if (!digit()) return cut("expected a digit after the decimal point");
    while (digit()) ++i;
  }
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    if (!digit()) return cut("expected a digit in the exponent");
    while (digit()) ++i;
  }
  return JsonNumberScan{i, nullptr};
}

std::string_view JsonKindName(JsonValue::Kind kind) noexcept {
  switch (kind) {
    case JsonValue::Kind::kNull:
      return "null";
    case JsonValue::Kind::kBool:
      return "a boolean";
    case JsonValue::Kind::kNumber:
      return "a number";
    case JsonValue::Kind::kString:
      return "a string";
    case JsonValue::Kind::kArray:
      return "an array";
    case JsonValue::Kind::kObject:
      return "an object";
  }
  return "a value";
}

}  // namespace corvane::cli
