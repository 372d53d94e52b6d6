// The tagged value: empty, null, integer, float, currency, date-time, boolean
// or text. Field definitions hold their current value in one; conversions
// follow the rules callers of a typed-record library expect:
//  - boolean true converts to the integer -1, false to 0; any non-zero number
//    converts to true;
//  - a float converts to an integer by rounding half to even; a float outside
//    the 64-bit range fails;
//  - text converts to a number by parsing it (blanks around it allowed) with
//    the format settings' decimal separator; to a boolean from "true"/"false"
//    (any case) or a number; to a date-time through the format settings;
//  - a boolean becomes the text "True" or "False", and those texts read back
//    as -1 and 0 wherever a number is wanted; empty text is not a number;
//  - a float becomes a currency by rounding the shortest decimal that reads
//    back as it (so 0.00005 is a half) to ten-thousandths, halves to even; a
//    text becomes a currency exactly, without going through a float;
//  - empty converts to 0, "" or false; null fails every conversion but to text
//    (which gives ""), as does any impossible conversion: EConvertError.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "corvane/host/currency.h"
#include "corvane/host/datetime.h"

namespace corvane {

enum class VarType : std::uint8_t {
  Empty,
  Null,
  Integer,
  Float,
  Currency,
  DateTime,
  Boolean,
  Text,
};

class Variant {
 public:
  Variant() noexcept = default;  // empty
  static Variant Null() noexcept;
  // One constructor per kind; integral types become Integer.
  Variant(bool v) noexcept;  // NOLINT(google-explicit-constructor)
  Variant(int v) noexcept;   // NOLINT
  Variant(unsigned v) noexcept;               // NOLINT
  Variant(long v) noexcept;                   // NOLINT
  Variant(unsigned long v) noexcept;          // NOLINT: values above INT64_MAX wrap
  Variant(long long v) noexcept;              // NOLINT
  Variant(unsigned long long v) noexcept;     // NOLINT: values above INT64_MAX wrap
  Variant(double v) noexcept;                 // NOLINT
  Variant(Currency v) noexcept;               // NOLINT
  Variant(std::string v) noexcept;            // NOLINT
  Variant(const char* v);                     // NOLINT
  static Variant FromDateTime(TDateTime v) noexcept;

  // In place: the same value as assigning Variant(v) (FromDateTime for
  // SetDateTime), without a temporary. Record splits set every field of every
  // record, and SetText reuses the text's storage rather than allocating anew.
  void SetInteger(std::int64_t v) noexcept {
    value_ = v;
    type_ = VarType::Integer;
  }
  void SetFloat(double v) noexcept {
    value_ = v;
    type_ = VarType::Float;
  }
  void SetDateTime(TDateTime v) noexcept {
    value_ = v;
    type_ = VarType::DateTime;
  }
  void SetBoolean(bool v) noexcept {
    value_ = v;
    type_ = VarType::Boolean;
  }
  void SetText(std::string_view v) {
    if (auto* s = std::get_if<std::string>(&value_)) {
      s->assign(v);
    } else {
      value_.emplace<std::string>(v);
    }
    type_ = VarType::Text;
  }
  // The text held, when the kind is Text: lets record packing measure and copy
  // it without the copy AsString makes.
  const std::string* TextIf() const noexcept { return std::get_if<std::string>(&value_); }
  // The number held, when the kind is Integer (IntegerIf) or Float or DateTime
  // (FloatIf), so that record packing takes it without a conversion call;
  // nullptr for every other kind.
  const std::int64_t* IntegerIf() const noexcept { return std::get_if<std::int64_t>(&value_); }
  const double* FloatIf() const noexcept { return std::get_if<double>(&value_); }

  VarType Type() const noexcept { return type_; }
  bool IsEmpty() const noexcept { return type_ == VarType::Empty; }
  bool IsNull() const noexcept { return type_ == VarType::Null; }
  bool IsNumeric() const noexcept;  // Integer, Float, Currency, Boolean

  // Conversions; each raises EConvertError when the value cannot convert.
  std::int64_t AsInt64() const;
  // AsInt64 narrowed to 32 bits; out of range raises EConvertError.
  std::int32_t AsInteger() const;
  double AsDouble() const;
  Currency AsCurrency() const;
  TDateTime AsDateTime() const;
  bool AsBoolean() const;
  std::string AsString() const;

  // Ordering between two values (-1, 0, 1): numbers (and dates, booleans)
  // compare as numbers, exactly between integers and currencies, texts as
  // unsigned bytes, a number and a text by converting the text to the number's
  // kind; empty comes first, then null, each equal only to itself. NaN sorts
  // before every other number and equals NaN, so the order is total.
  // Raises EConvertError when the two cannot be compared.
  static int Compare(const Variant& a, const Variant& b);
  // Compare(a, b) == 0, and false where Compare would raise.
  friend bool operator==(const Variant& a, const Variant& b);

 private:
  VarType type_ = VarType::Empty;
  std::variant<std::monostate, std::int64_t, double, Currency, bool, std::string> value_;
};

// Parses a number with the format settings' decimal separator; blanks around
// it are allowed. Raises EConvertError on anything else.
double StrToFloat(const std::string& text);
std::int64_t StrToInt64(const std::string& text);
bool TryStrToFloat(const std::string& text, double& out) noexcept;
// Shortest text that reads back to the same double, with the decimal separator.
std::string FloatToStr(double v);

// Rounds half to even; raises EConvertError when out of the 64-bit range or NaN.
std::int64_t RoundHalfEven(double v);

}  // namespace corvane
