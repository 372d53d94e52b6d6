// The number fields: integers of every width, booleans, floats, currency and BCD.
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "corvane/host/dataset/dataset.h"
#include "corvane/host/dataset/field_bytes.h"
#include "corvane/host/dataset/fields.h"
#include "corvane/host/hooks.h"
#include "corvane/host/text.h"

namespace corvane {

using field_bytes::IntToStr;
using field_bytes::Load;
using field_bytes::StoreAndSet;

// ---------------------------------------------------------------------------
// TIntegerField and its widths

TIntegerField::TIntegerField(TComponent* owner) : TField(owner, ftInteger) {}
TIntegerField::TIntegerField(TComponent* owner, TFieldType type) : TField(owner, type) {}

int TIntegerField::DataSize() const {
  switch (DataType()) {
    case ftSmallint:
    case ftWord:
      return 2;
    case ftLargeint:
      return 8;
    default:
      return 4;
  }
}
std::int64_t TIntegerField::MinRange() const noexcept {
  switch (DataType()) {
    case ftSmallint:
      return -32768;
    case ftWord:
      return 0;
    case ftLargeint:
      return std::numeric_limits<std::int64_t>::min();
    default:
      return std::numeric_limits<std::int32_t>::min();
  }
}
std::int64_t TIntegerField::MaxRange() const noexcept {
  switch (DataType()) {
    case ftSmallint:
      return 32767;
    case ftWord:
      return 65535;
    case ftLargeint:
      return std::numeric_limits<std::int64_t>::max();
    default:
      return std::numeric_limits<std::int32_t>::max();
  }
}
bool TIntegerField::ReadInt(std::int64_t& out) const {
  ValueBuffer buf;
  out = 0;
  if (!ReadNative(buf)) return false;
  switch (DataType()) {
    case ftSmallint:
      out = Load<std::int16_t>(buf);
      break;
    case ftWord:
      out = Load<std::uint16_t>(buf);
      break;
    case ftLargeint:
      out = Load<std::int64_t>(buf);
      break;
    default:
      out = Load<std::int32_t>(buf);
      break;
  }
  return true;
}
bool TIntegerField::GetAsBoolean() const {
  std::int64_t v;
  ReadInt(v);
  return v != 0;
}
std::int32_t TIntegerField::GetAsInteger() const {
  std::int64_t v;
  ReadInt(v);
  if (v < INT32_MIN || v > INT32_MAX)
    throw EConvertError("Value " + IntToStr(v) + " is out of the Integer range");
  return static_cast<std::int32_t>(v);
}
std::int64_t TIntegerField::GetAsLargeInt() const {
  std::int64_t v;
  ReadInt(v);
  return v;
}
double TIntegerField::GetAsFloat() const {
  return static_cast<double>(GetAsLargeInt());
}
Currency TIntegerField::GetAsCurrency() const {
  std::int64_t v = GetAsLargeInt();
  std::int64_t raw;
  if (__builtin_mul_overflow(v, std::int64_t{10000}, &raw))
    throw EConvertError("Value " + IntToStr(v) + " is out of the currency range");
  return Currency::FromRaw(raw);
}
std::string TIntegerField::GetAsString() const {
  std::int64_t v;
  return ReadInt(v) ? IntToStr(v) : std::string();
}
Variant TIntegerField::GetAsVariant() const {
  std::int64_t v;
  if (!ReadInt(v)) return Variant::Null();
  return Variant(static_cast<long long>(v));
}
void TIntegerField::SetAsBooleanImpl(bool v) {
  SetAsLargeIntImpl(v ? 1 : 0);
}
void TIntegerField::SetAsLargeIntImpl(std::int64_t v) {
  if (v < MinRange() || v > MaxRange())
    RangeError(IntToStr(v), IntToStr(MinRange()), IntToStr(MaxRange()));
  switch (DataType()) {
    case ftSmallint:
      StoreAndSet(*this, static_cast<std::int16_t>(v));
      break;
    case ftWord:
      StoreAndSet(*this, static_cast<std::uint16_t>(v));
      break;
    case ftLargeint:
      StoreAndSet(*this, v);
      break;
    default:
      StoreAndSet(*this, static_cast<std::int32_t>(v));
      break;
  }
}
void TIntegerField::SetAsFloatImpl(double v) {
  if (!std::isfinite(v)) ValueError(FloatToStr(v));
  std::int64_t i;
  try {
    i = RoundHalfEven(v);
  } catch (const EConvertError&) {
    RangeError(FloatToStr(v), IntToStr(MinRange()), IntToStr(MaxRange()));
  }
  SetAsLargeIntImpl(i);
}
void TIntegerField::SetAsCurrencyImpl(Currency v) {
  SetAsFloatImpl(v.ToDouble());
}
void TIntegerField::SetAsStringImpl(const std::string& v) {
  if (Trim(v).empty()) {
    Clear();
    return;
  }
  std::int64_t i;
  try {
    i = StrToInt64(v);
  } catch (const EConvertError&) {
    ValueError(v);
  }
  SetAsLargeIntImpl(i);
}
void TIntegerField::SetVarValue(const Variant& v) {
  if (v.Type() == VarType::Text)
    SetAsStringImpl(v.AsString());
  else
    SetAsLargeIntImpl(v.AsInt64());
}

// ---------------------------------------------------------------------------
// TBooleanField

TBooleanField::TBooleanField(TComponent* owner) : TField(owner, ftBoolean) {}
bool TBooleanField::GetAsBoolean() const {
  ValueBuffer buf;
  if (!ReadNative(buf)) return false;
  return Load<std::int16_t>(buf) != 0;
}
std::string TBooleanField::GetAsString() const {
  if (IsNull()) return {};
  return GetAsBoolean() ? "True" : "False";
}
Variant TBooleanField::GetAsVariant() const {
  if (IsNull()) return Variant::Null();
  return Variant(GetAsBoolean());
}
void TBooleanField::SetAsBooleanImpl(bool v) {
  StoreAndSet(*this, static_cast<std::int16_t>(v ? -1 : 0));
}
void TBooleanField::SetAsStringImpl(const std::string& v) {
  if (Trim(v).empty()) {
    Clear();
    return;
  }
  bool b;
  try {
    b = Variant(v).AsBoolean();
  } catch (const EConvertError&) {
    ValueError(v);
  }
  SetAsBooleanImpl(b);
}
void TBooleanField::SetVarValue(const Variant& v) {
  SetAsBooleanImpl(v.AsBoolean());
}

// ---------------------------------------------------------------------------
// TFloatField, TCurrencyField

TFloatField::TFloatField(TComponent* owner) : TField(owner, ftFloat) {}
TFloatField::TFloatField(TComponent* owner, TFieldType type) : TField(owner, type) {}

bool TFloatField::ReadFloat(double& out) const {
  ValueBuffer buf;
  out = 0;
  if (!ReadNative(buf)) return false;
  out = Load<double>(buf);
  return true;
}
std::int32_t TFloatField::GetAsInteger() const {
  return Variant(RoundHalfEven(GetAsFloat())).AsInteger();
}
std::int64_t TFloatField::GetAsLargeInt() const {
  return RoundHalfEven(GetAsFloat());
}
double TFloatField::GetAsFloat() const {
  double v;
  ReadFloat(v);
  return v;
}
Currency TFloatField::GetAsCurrency() const {
  return Currency::FromDouble(GetAsFloat());
}
std::string TFloatField::GetAsString() const {
  double v;
  return ReadFloat(v) ? FloatToStr(v) : std::string();
}
Variant TFloatField::GetAsVariant() const {
  double v;
  if (!ReadFloat(v)) return Variant::Null();
  return Variant(v);
}
void TFloatField::SetAsLargeIntImpl(std::int64_t v) {
  SetAsFloatImpl(static_cast<double>(v));
}
void TFloatField::SetAsFloatImpl(double v) {
  StoreAndSet(*this, v);
}
void TFloatField::SetAsStringImpl(const std::string& v) {
  if (Trim(v).empty()) {
    Clear();
    return;
  }
  double d;
  if (!TryStrToFloat(v, d)) ValueError(v);
  SetAsFloatImpl(d);
}
void TFloatField::SetVarValue(const Variant& v) {
  if (v.Type() == VarType::Text)
    SetAsStringImpl(v.AsString());
  else
    SetAsFloatImpl(v.AsDouble());
}

Variant TCurrencyField::GetAsVariant() const {
  double v;
  if (!ReadFloat(v)) return Variant::Null();
  return Variant(Currency::FromDouble(v));
}

// ---------------------------------------------------------------------------
// TBCDField

void CurrencyToBcd(Currency value, std::span<std::uint8_t, 34> out) noexcept {
  std::fill(out.begin(), out.end(), std::uint8_t{0});
  bool negative = value.value < 0;
  std::uint64_t mag = negative ? 0 - static_cast<std::uint64_t>(value.value)
                               : static_cast<std::uint64_t>(value.value);
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>(mag % 10);
    mag /= 10;
  } while (mag != 0);
  while (n < 5) digits[n++] = 0;  // at least one digit before the four places
  out[0] = static_cast<std::uint8_t>(n);
  out[1] = static_cast<std::uint8_t>((negative ? 0x80 : 0) | 4);
  for (int i = 0; i < n; ++i) {
    std::uint8_t d = static_cast<std::uint8_t>(digits[n - 1 - i]);
    std::uint8_t& b = out[2 + i / 2];
    b = static_cast<std::uint8_t>(i % 2 == 0 ? (b | (d << 4)) : (b | d));
  }
}

bool BcdToCurrency(std::span<const std::uint8_t, 34> bcd, Currency& out) noexcept {
  int precision = bcd[0];
  int places = bcd[1] & 0x3F;
  bool negative = (bcd[1] & 0x80) != 0;
  if (precision > 64 || places > precision) return false;
  // Whole digits accumulate exactly; extra places beyond four round half to even.
  std::int64_t acc = 0;
  int keep = precision - std::max(places - 4, 0);
  int first_dropped = -1;
  bool rest_nonzero = false;
  for (int i = 0; i < precision; ++i) {
    std::uint8_t b = bcd[2 + i / 2];
    int d = i % 2 == 0 ? b >> 4 : b & 0x0F;
    if (d > 9) return false;
    if (i < keep) {
      if (__builtin_mul_overflow(acc, std::int64_t{10}, &acc) ||
          __builtin_add_overflow(acc, d, &acc))
        return false;
    } else if (first_dropped < 0) {
      first_dropped = d;
    } else if (d != 0) {
      rest_nonzero = true;
    }
  }
  for (int p = places; p < 4; ++p)
    if (__builtin_mul_overflow(acc, std::int64_t{10}, &acc)) return false;
  if (first_dropped > 5 || (first_dropped == 5 && (rest_nonzero || acc % 2 != 0)))
    if (__builtin_add_overflow(acc, std::int64_t{1}, &acc)) return false;
  out = Currency::FromRaw(negative ? -acc : acc);
  return true;
}

TBCDField::TBCDField(TComponent* owner) : TField(owner, ftBCD, 4) {}
void TBCDField::CheckSize(int size) const {
  if (size < 0 || size > 32) DatabaseError(dbmsg::SInvalidFieldSize);
}
bool TBCDField::ReadCurrency(Currency& out) const {
  ValueBuffer buf;
  out = Currency{};
  if (!ReadNative(buf)) return false;
  if (!BcdToCurrency(std::span<const std::uint8_t, 34>(buf.data(), 34), out))
    throw EConvertError("Invalid BCD value in field '" + DisplayName() + "'");
  return true;
}
std::int32_t TBCDField::GetAsInteger() const {
  return Variant(GetAsLargeInt()).AsInteger();
}
std::int64_t TBCDField::GetAsLargeInt() const {
  return RoundHalfEven(GetAsCurrency().ToDouble());
}
double TBCDField::GetAsFloat() const {
  return GetAsCurrency().ToDouble();
}
Currency TBCDField::GetAsCurrency() const {
  Currency c;
  ReadCurrency(c);
  return c;
}
std::string TBCDField::GetAsString() const {
  Currency c;
  return ReadCurrency(c) ? Variant(c).AsString() : std::string();
}
Variant TBCDField::GetAsVariant() const {
  Currency c;
  if (!ReadCurrency(c)) return Variant::Null();
  return Variant(c);
}
void TBCDField::SetAsLargeIntImpl(std::int64_t v) {
  std::int64_t raw;
  if (__builtin_mul_overflow(v, std::int64_t{10000}, &raw)) RangeError(IntToStr(v), "", "");
  SetAsCurrencyImpl(Currency::FromRaw(raw));
}
void TBCDField::SetAsCurrencyImpl(Currency v) {
  std::array<std::uint8_t, 34> buf{};
  CurrencyToBcd(v, buf);
  SetData(buf);
}
void TBCDField::SetAsStringImpl(const std::string& v) {
  if (Trim(v).empty()) {
    Clear();
    return;
  }
  double d;
  if (!TryStrToFloat(v, d)) ValueError(v);
  SetAsCurrencyImpl(Currency::FromDouble(d));
}
void TBCDField::SetVarValue(const Variant& v) {
  SetAsCurrencyImpl(v.AsCurrency());
}

}  // namespace corvane
