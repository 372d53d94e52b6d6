// A small JSON reader for the command's input: the whole document into a
// tree. Numbers keep their text, so 64-bit integers and amounts are read
// exactly by whoever knows what they stand for. Malformed input raises
// JsonError with the line and column of the fault; nesting is limited so that
// no input can exhaust the stack.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane::cli {

class JsonError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct JsonMember;

struct JsonValue {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  // Declared, not implicit: an implicit one makes clang look for a default
  // constructor of std::pair<std::string, JsonValue> while JsonValue is
  // still incomplete.
  JsonValue() noexcept;
  Kind kind = Kind::kNull;
  bool boolean = false;
  std::string text;                                        // a number's text, or a string (UTF-8)
  std::vector<JsonValue> items;                            // array
  std::vector<JsonMember> members;                         // object, in order
  std::size_t line = 0;                                    // where the value starts, for messages

  bool IsNull() const noexcept { return kind == Kind::kNull; }
  // The member of that name; nullptr when there is none.
  const JsonValue* Find(std::string_view key) const noexcept;
};

// A member of an object: its key and value. A struct rather than a pair, whose
// checks of its parts want JsonValue complete before it is.
struct JsonMember {
  std::string first;
  JsonValue second;
};

// Parses one JSON document (RFC 8259): strings must be valid UTF-8, \u
// escapes pair their surrogates, duplicate keys are refused.
JsonValue ParseJson(std::string_view text);

// The JSON number grammar (RFC 8259) at the start of `s`: how far a number
// reaches, or, when it is cut short, where and what is missing (`missing` is
// null for a whole number).
struct JsonNumberScan {
  std::size_t length = 0;
  const char* missing = nullptr;
};
JsonNumberScan ScanJsonNumber(std::string_view s) noexcept;

// "an object", "a string", ... for messages.
std::string_view JsonKindName(JsonValue::Kind kind) noexcept;

}  // namespace corvane::cli
