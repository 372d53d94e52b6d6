#include "corvane/host/variant.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>
#include <system_error>

#include "corvane/host/exceptions.h"
#include "corvane/host/variant_text.h"

namespace corvane {

namespace {

using variant_text::CurrencyToStr;
using variant_text::kCurrencyScale;
using variant_text::kTwoPow63;
using variant_text::ParseBoolWord;
using variant_text::ParseCurrencyText;
using variant_text::ParseFloat;
using variant_text::ParseInt64;
using variant_text::ScaleDecimalToCurrency;

const char* TypeName(VarType t) noexcept {
  switch (t) {
    case VarType::Empty:
      return "Empty";
    case VarType::Null:
      return "Null";
    case VarType::Integer:
      return "Integer";
    case VarType::Float:
      return "Float";
    case VarType::Currency:
      return "Currency";
    case VarType::DateTime:
      return "DateTime";
    case VarType::Boolean:
      return "Boolean";
    case VarType::Text:
      return "Text";
  }
  return "Unknown";
}

[[noreturn]] void ThrowCannotConvert(VarType from, const char* to) {
  throw EConvertError(std::string("Could not convert variant of type (") + TypeName(from) +
                      ") into type (" + to + ")");
}

[[noreturn]] void ThrowOutOfRange(VarType from, const char* to) {
  throw EConvertError(std::string("Could not convert variant of type (") + TypeName(from) +
                      ") into type (" + to + "): value out of range");
}

std::int64_t RoundToInt64(double d, VarType from) {
  try {
    return RoundHalfEven(d);
  } catch (const EConvertError&) {
    ThrowOutOfRange(from, "Int64");
  }
}

// Currency count divided by 10000, rounded half to even.
std::int64_t CurrencyToInt64(Currency c) noexcept {
  std::int64_t q = c.value / kCurrencyScale;
  std::int64_t r = c.value % kCurrencyScale;
  if (r > 5000 || (r == 5000 && (q & 1) != 0)) ++q;
  if (r < -5000 || (r == -5000 && (q & 1) != 0)) --q;
  return q;
}

}  // namespace

Currency Currency::FromDouble(double amount) {
  if (!std::isfinite(amount)) {
    throw EConvertError("Could not convert variant of type (Float) into type (Currency)");
  }
  // Round the shortest decimal that reads back as `amount`, so 0.00005 is the
  // half it looks like instead of the binary value just above or below it.
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, amount, std::chars_format::scientific);
  std::string_view s(buf, ec == std::errc() ? static_cast<std::size_t>(end - buf) : 0);
  bool negative = !s.empty() && s.front() == '-';
  if (negative) s.remove_prefix(1);
  std::size_t e = s.find('e');
  if (e == std::string_view::npos) {
    throw EConvertError("Could not convert variant of type (Float) into type (Currency)");
  }
  std::string digits;
  for (char c : s.substr(0, e)) {
    if (c != '.') digits.push_back(c);
  }
  int exp10 = 0;
  std::string_view exp_text = s.substr(e + 1);
  if (!exp_text.empty() && exp_text.front() == '+') exp_text.remove_prefix(1);
  std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exp10);
  exp10 -= static_cast<int>(digits.size()) - 1;
  auto raw = ScaleDecimalToCurrency(negative, digits, exp10);
  if (!raw) ThrowOutOfRange(VarType::Float, "Currency");
  return Currency{*raw};
}

Variant Variant::Null() noexcept {
  Variant v;
  v.type_ = VarType::Null;
  return v;
}

Variant::Variant(bool v) noexcept : type_(VarType::Boolean), value_(v) {}
Variant::Variant(int v) noexcept : type_(VarType::Integer), value_(std::int64_t{v}) {}
Variant::Variant(unsigned v) noexcept : type_(VarType::Integer), value_(std::int64_t{v}) {}
Variant::Variant(long v) noexcept : type_(VarType::Integer), value_(static_cast<std::int64_t>(v)) {}
Variant::Variant(unsigned long v) noexcept
    : type_(VarType::Integer), value_(static_cast<std::int64_t>(v)) {}
Variant::Variant(long long v) noexcept
    : type_(VarType::Integer), value_(static_cast<std::int64_t>(v)) {}
Variant::Variant(unsigned long long v) noexcept
    : type_(VarType::Integer), value_(static_cast<std::int64_t>(v)) {}
Variant::Variant(double v) noexcept : type_(VarType::Float), value_(v) {}
Variant::Variant(Currency v) noexcept : type_(VarType::Currency), value_(v) {}
Variant::Variant(std::string v) noexcept
    : type_(VarType::Text), value_(std::in_place_type<std::string>, std::move(v)) {}
Variant::Variant(const char* v)
    : type_(VarType::Text), value_(std::in_place_type<std::string>, v != nullptr ? v : "") {}

Variant Variant::FromDateTime(TDateTime v) noexcept {
  Variant out(v);
  out.type_ = VarType::DateTime;
  return out;
}

bool Variant::IsNumeric() const noexcept {
  return type_ == VarType::Integer || type_ == VarType::Float || type_ == VarType::Currency ||
         type_ == VarType::Boolean;
}

std::int64_t Variant::AsInt64() const {
  switch (type_) {
    case VarType::Empty:
      return 0;
    case VarType::Null:
      break;
    case VarType::Integer:
      return std::get<std::int64_t>(value_);
    case VarType::Float:
    case VarType::DateTime:
      return RoundToInt64(std::get<double>(value_), type_);
    case VarType::Currency:
      return CurrencyToInt64(std::get<Currency>(value_));
    case VarType::Boolean:
      return std::get<bool>(value_) ? -1 : 0;
    case VarType::Text: {
      const std::string& s = std::get<std::string>(value_);
      if (auto i = ParseInt64(s)) return *i;
      if (auto d = ParseFloat(s, DefaultFormatSettings().DecimalSeparator)) {
        return RoundToInt64(*d, type_);
      }
      if (auto b = ParseBoolWord(s)) return *b ? -1 : 0;
      break;
    }
  }
  ThrowCannotConvert(type_, "Int64");
}

std::int32_t Variant::AsInteger() const {
  std::int64_t v = AsInt64();
  if (v < std::numeric_limits<std::int32_t>::min() ||
      v > std::numeric_limits<std::int32_t>::max()) {
    ThrowOutOfRange(type_, "Integer");
  }
  return static_cast<std::int32_t>(v);
}

double Variant::AsDouble() const {
  switch (type_) {
    case VarType::Empty:
      return 0.0;
    case VarType::Null:
      break;
    case VarType::Integer:
      return static_cast<double>(std::get<std::int64_t>(value_));
    case VarType::Float:
    case VarType::DateTime:
      return std::get<double>(value_);
    case VarType::Currency:
      return std::get<Currency>(value_).ToDouble();
    case VarType::Boolean:
      return std::get<bool>(value_) ? -1.0 : 0.0;
    case VarType::Text: {
      const std::string& s = std::get<std::string>(value_);
      if (auto d = ParseFloat(s, DefaultFormatSettings().DecimalSeparator)) return *d;
      if (auto b = ParseBoolWord(s)) return *b ? -1.0 : 0.0;
      break;
    }
  }
  ThrowCannotConvert(type_, "Double");
}

Currency Variant::AsCurrency() const {
  switch (type_) {
    case VarType::Empty:
      return Currency{};
    case VarType::Null:
      break;
    case VarType::Integer: {
      std::int64_t v = std::get<std::int64_t>(value_);
      constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max() / kCurrencyScale;
      if (v > kMax || v < -kMax) ThrowOutOfRange(type_, "Currency");
      return Currency{v * kCurrencyScale};
    }
    case VarType::Float:
    case VarType::DateTime: {
      double d = std::get<double>(value_);
      if (!std::isfinite(d)) ThrowCannotConvert(type_, "Currency");
      try {
        return Currency::FromDouble(d);
      } catch (const EConvertError&) {
        ThrowOutOfRange(type_, "Currency");
      }
    }
    case VarType::Currency:
      return std::get<Currency>(value_);
    case VarType::Boolean:
      return Currency{std::get<bool>(value_) ? -kCurrencyScale : 0};
    case VarType::Text: {
      const std::string& s = std::get<std::string>(value_);
      char sep = DefaultFormatSettings().DecimalSeparator;
      if (auto raw = ParseCurrencyText(s, sep)) return Currency{*raw};
      if (auto d = ParseFloat(s, sep)) {
        if (!std::isfinite(*d)) ThrowCannotConvert(type_, "Currency");
        try {
          return Currency::FromDouble(*d);
        } catch (const EConvertError&) {
          ThrowOutOfRange(type_, "Currency");
        }
      }
      if (auto b = ParseBoolWord(s)) return Currency{*b ? -kCurrencyScale : 0};
      break;
    }
  }
  ThrowCannotConvert(type_, "Currency");
}

TDateTime Variant::AsDateTime() const {
  switch (type_) {
    case VarType::Empty:
      return 0.0;
    case VarType::Null:
      break;
    case VarType::Integer:
    case VarType::Float:
    case VarType::DateTime:
    case VarType::Currency:
    case VarType::Boolean:
      return AsDouble();
    case VarType::Text: {
      TDateTime dt = 0;
      if (TryStrToDateTime(std::get<std::string>(value_), dt)) return dt;
      break;
    }
  }
  ThrowCannotConvert(type_, "DateTime");
}

bool Variant::AsBoolean() const {
  switch (type_) {
    case VarType::Empty:
      return false;
    case VarType::Null:
      break;
    case VarType::Integer:
      return std::get<std::int64_t>(value_) != 0;
    case VarType::Float:
    case VarType::DateTime:
      return std::get<double>(value_) != 0.0;
    case VarType::Currency:
      return std::get<Currency>(value_).value != 0;
    case VarType::Boolean:
      return std::get<bool>(value_);
    case VarType::Text: {
      const std::string& s = std::get<std::string>(value_);
      if (auto b = ParseBoolWord(s)) return *b;
      if (auto d = ParseFloat(s, DefaultFormatSettings().DecimalSeparator)) return *d != 0.0;
      break;
    }
  }
  ThrowCannotConvert(type_, "Boolean");
}

std::string Variant::AsString() const {
  switch (type_) {
    case VarType::Empty:
    case VarType::Null:
      return std::string();
    case VarType::Integer:
      return std::to_string(std::get<std::int64_t>(value_));
    case VarType::Float:
      return FloatToStr(std::get<double>(value_));
    case VarType::DateTime:
      return DateTimeToStr(std::get<double>(value_));
    case VarType::Currency:
      return CurrencyToStr(std::get<Currency>(value_), DefaultFormatSettings().DecimalSeparator);
    case VarType::Boolean:
      return std::get<bool>(value_) ? "True" : "False";
    case VarType::Text:
      return std::get<std::string>(value_);
  }
  return std::string();
}

std::int64_t RoundHalfEven(double v) {
  if (std::isnan(v)) throw EConvertError("Invalid floating point operation (NaN)");
  double r = std::floor(v);
  double diff = v - r;  // exact: r and v share their exponent or v is whole
  if (diff > 0.5 || (diff == 0.5 && std::fmod(r, 2.0) != 0.0)) r += 1.0;
  if (r >= kTwoPow63 || r < -kTwoPow63) {
    throw EConvertError("Floating point value " + FloatToStr(v) + " is out of the Int64 range");
  }
  return static_cast<std::int64_t>(r);
}

}  // namespace corvane
