// A small streaming JSON writer for the command's output. Strings must be
// UTF-8 (see text_encoding.h); the writer escapes quotes, backslashes and
// every control character, so any byte string that went through ToUtf8 gives
// valid JSON.
#pragma once

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::cli {

class JsonWriter {
 public:
  // kBlock puts each member on its own indented line; kInline keeps the
  // container on one line (short arrays, one record per line).
  enum class Layout { kBlock, kInline };

  explicit JsonWriter(std::string& out, int indent = 2) : out_(out), indent_(indent) {}

  void BeginObject(Layout layout = Layout::kBlock) { Open('{', layout); }
  void EndObject() { Close('}'); }
  void BeginArray(Layout layout = Layout::kBlock) { Open('[', layout); }
  void EndArray() { Close(']'); }

  void Key(std::string_view key) {
    Separate();
    AppendString(key);
    out_.append(": ", 2);
    after_key_ = true;
  }
  // A key as Key writes it, escaped and followed by its ": ", for KeyText.
  static std::string KeyText(std::string_view key) {
    std::string text(1, '"');
    AppendEscaped(text, key);
    text.append("\": ", 3);
    return text;
  }
  // The same as Key(key) from KeyText(key): keys written for every record are
  // escaped once.
  void KeyFromText(std::string_view key_text) {
    Separate();
    out_ += key_text;
    after_key_ = true;
  }
  void String(std::string_view utf8) {
    Separate();
    AppendString(utf8);
  }
  void Int(std::int64_t v) {
    Separate();
    AppendNumber(v);
  }
  void UInt(std::uint64_t v) {
    Separate();
    AppendNumber(v);
  }
  void Bool(bool v) {
    Separate();
    out_ += v ? "true" : "false";
  }
  void Null() {
    Separate();
    out_ += "null";
  }
  // A number already in its JSON form (floats, amounts).
  void Raw(std::string_view json) {
    Separate();
    out_ += json;
  }
  // A finished document ends with a newline.
  void EndDocument() { out_ += '\n'; }

  // Starts a value the caller appends to the returned buffer whole, in its
  // JSON form; what a value needs before it (a separator, a line break) is
  // written already.
  std::string& BeginRawValue() {
    Separate();
    return out_;
  }
  // What BeginRawValue writes before a value of the current container that
  // follows another, for a caller writing a run of values itself after the
  // first (which goes through BeginRawValue).
  std::string NextValuePrefix() const {
    if (stack_.empty()) return {};
    if (stack_.back().layout == Layout::kInline) return ", ";
    return ",\n" + std::string(static_cast<std::size_t>(indent_) * stack_.size(), ' ');
  }
  static void AppendEscaped(std::string& out, std::string_view utf8) {
    // Runs of bytes that need no escape are appended whole.
    std::size_t run = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
      const auto c = static_cast<unsigned char>(utf8[i]);
      if (!kEscaped[c]) continue;
      out.append(utf8.substr(run, i - run));
      run = i + 1;
      const char ch = utf8[i];
      switch (c) {
        case '"':
          out += "\\\"";
          break;
        case '\\':
          out += "\\\\";
          break;
        case '\b':
          out += "\\b";
          break;
        case '\f':
          out += "\\f";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        default:
          if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
          } else {
            out += ch;
          }
      }
    }
    out.append(utf8.substr(run));
  }

 private:
  // The bytes AppendEscaped escapes: control characters, DEL, quote, backslash.
  static constexpr auto kEscaped = [] {
    std::array<bool, 256> table{};
    for (int c = 0; c < 0x20; ++c) table[static_cast<std::size_t>(c)] = true;
    table['"'] = table['\\'] = table[0x7F] = true;
    return table;
  }();

  struct Level {
    Layout layout;
    bool empty = true;
  };

  void Open(char bracket, Layout layout) {
    Separate();
    out_ += bracket;
    // Inside an inline container everything stays inline.
    if (!stack_.empty() && stack_.back().layout == Layout::kInline) layout = Layout::kInline;
    stack_.push_back(Level{layout});
  }
  void Close(char bracket) {
    const Level level = stack_.back();
    stack_.pop_back();
    if (level.layout == Layout::kBlock && !level.empty) NewLine();
    out_ += bracket;
  }
  // Writes what must precede a value or key: nothing after a key, else a comma
  // after an earlier member, and the line break of a block container.
  void Separate() {
    if (after_key_) {
      after_key_ = false;
      return;
    }
    if (stack_.empty()) return;
    Level& level = stack_.back();
    if (!level.empty) out_.append(", ", level.layout == Layout::kBlock ? 1 : 2);
    level.empty = false;
    if (level.layout == Layout::kBlock) NewLine();
  }
  void NewLine() {
    out_ += '\n';
    out_.append(static_cast<std::size_t>(indent_) * stack_.size(), ' ');
  }
  template <class T>
  void AppendNumber(T v) {
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out_.append(buf, r.ptr);
  }
  void AppendString(std::string_view s) {
    out_ += '"';
    AppendEscaped(out_, s);
    out_ += '"';
  }

  std::string& out_;
  int indent_;
  std::vector<Level> stack_;
  bool after_key_ = false;
};

}  // namespace corvane::cli
