#include "corvane/host/dataset/fields.h"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "corvane/host/dataset/dataset.h"
#include "corvane/host/hooks.h"
#include "corvane/host/text.h"

namespace corvane {

namespace {

template <class T, class B>
T Load(const B& buf) noexcept {
  T v{};
  std::memcpy(&v, buf.data(), sizeof v);
  return v;
}

template <class T>
void StoreAndSet(TField& field, T value) {
  std::array<std::uint8_t, sizeof(T)> buf{};
  std::memcpy(buf.data(), &value, sizeof value);
  field.SetData(buf);
}

std::string IntToStr(std::int64_t v) {
  return std::to_string(v);
}

}  // namespace

// ---------------------------------------------------------------------------
// TField

TField::TField(TComponent* owner) : TComponent(owner) {}
TField::TField(TComponent* owner, TFieldType type, int size)
    : TComponent(owner), data_type_(type), size_(size) {}

TField::~TField() {
  if (!dataset_) return;
  // A field that goes away while its dataset is open would leave the bound
  // layout pointing at nothing: close first.
  if (dataset_->Active()) dataset_->CloseForDestroy();
  dataset_->RemoveField(this);
}

void TField::SetDataSet(TDataSet* dataset) {
  if (dataset == dataset_) return;
  if (dataset_) dataset_->CheckInactive();
  if (dataset) {
    dataset->CheckInactive();
    if (!field_name_.empty() && dataset->FindField(field_name_))
      DatabaseErrorFmt(dbmsg::SDuplicateFieldName, {field_name_});
  }
  if (dataset_) dataset_->RemoveField(this);
  dataset_ = nullptr;
  if (dataset) {
    dataset->AddField(this);
    dataset_ = dataset;
  }
}

void TField::SetFieldName(std::string name) {
  if (name == field_name_) return;
  if (dataset_) {
    dataset_->CheckInactive();
    if (TField* other = dataset_->FindField(name); other && other != this)
      DatabaseErrorFmt(dbmsg::SDuplicateFieldName, {name});
  }
  field_name_ = std::move(name);
}

void TField::SetFieldKind(TFieldKind kind) {
  if (dataset_) dataset_->CheckInactive();
  field_kind_ = kind;
}

void TField::SetSize(int size) {
  if (dataset_) dataset_->CheckInactive();
  CheckSize(size);
  size_ = size;
}

void TField::CheckSize(int size) const {
  if (size != 0) DatabaseError(dbmsg::SInvalidFieldSize);
}

int TField::Index() const {
  if (!dataset_) return -1;
  const auto& f = dataset_->Fields();
  for (std::size_t i = 0; i < f.size(); ++i)
    if (f[i] == this) return static_cast<int>(i);
  return -1;
}

bool TField::GetData(std::span<std::uint8_t> buffer) const {
  if (validating_) {
    const std::span<const std::uint8_t>& v = *validating_;
    if (v.data() == nullptr) return false;
    if (buffer.data() != nullptr) {
      std::size_t n = std::min(buffer.size(), v.size());
      std::memcpy(buffer.data(), v.data(), n);
    }
    return true;
  }
  if (!dataset_) DatabaseErrorFmt(dbmsg::SNoDataSet, {DisplayName()});
  return dataset_->GetFieldData(const_cast<TField*>(this), buffer);
}

void TField::SetData(std::span<const std::uint8_t> buffer) {
  if (!dataset_) DatabaseErrorFmt(dbmsg::SNoDataSet, {DisplayName()});
  dataset_->SetFieldData(this, buffer);
}

void TField::Validate(std::span<const std::uint8_t> buffer) {
  if (!OnValidate) return;
  validating_ = &buffer;
  try {
    OnValidate(*this);
  } catch (...) {
    validating_ = nullptr;
    throw;
  }
  validating_ = nullptr;
}

bool TField::IsNull() const {
  return !GetData({});
}
void TField::Clear() {
  SetData({});
}

bool TField::ReadNative(ValueBuffer& buffer) const {
  buffer.Resize(static_cast<std::size_t>(std::max(DataSize(), 0)));
  return GetData(buffer);
}

void TField::SetAsVariant(const Variant& v) {
  if (v.IsNull() || v.IsEmpty())
    Clear();
  else
    SetVarValue(v);
}

void TField::AccessError(const char* type_name) const {
  DatabaseErrorFmt(dbmsg::SFieldAccessError, {DisplayName(), type_name});
}
void TField::RangeError(const std::string& value, const std::string& min,
                        const std::string& max) const {
  DatabaseErrorFmt(dbmsg::SFieldRangeError, {value, DisplayName(), min, max});
}
void TField::ValueError(const std::string& value) const {
  DatabaseErrorFmt(dbmsg::SFieldValueError, {value, DisplayName()});
}

bool TField::GetAsBoolean() const {
  AccessError("Boolean");
}
std::int32_t TField::GetAsInteger() const {
  AccessError("Integer");
}
std::int64_t TField::GetAsLargeInt() const {
  AccessError("LargeInt");
}
double TField::GetAsFloat() const {
  AccessError("Float");
}
Currency TField::GetAsCurrency() const {
  AccessError("Currency");
}
TDateTime TField::GetAsDateTime() const {
  AccessError("DateTime");
}
std::string TField::GetAsString() const {
  AccessError("String");
}
Variant TField::GetAsVariant() const {
  AccessError("Variant");
}
void TField::SetAsBooleanImpl(bool) {
  AccessError("Boolean");
}
void TField::SetAsIntegerImpl(std::int32_t) {
  AccessError("Integer");
}
void TField::SetAsLargeIntImpl(std::int64_t) {
  AccessError("LargeInt");
}
void TField::SetAsFloatImpl(double) {
  AccessError("Float");
}
void TField::SetAsCurrencyImpl(Currency) {
  AccessError("Currency");
}
void TField::SetAsDateTimeImpl(TDateTime) {
  AccessError("DateTime");
}
void TField::SetAsStringImpl(const std::string&) {
  AccessError("String");
}
void TField::SetVarValue(const Variant&) {
  AccessError("Variant");
}

// ---------------------------------------------------------------------------
// TStringField

TStringField::TStringField(TComponent* owner, int size) : TField(owner, ftString, size) {
  CheckSize(size);
}
TStringField::TStringField(TComponent* owner, TFieldType type, int size)
    : TField(owner, type, size) {}

std::string TStringField::GetAsString() const {
  ValueBuffer buf;
  if (!ReadNative(buf)) return {};
  std::size_t n = 0;
  std::size_t limit = static_cast<std::size_t>(Size());
  while (n < limit && n < buf.size() && buf[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(buf.data()), n);
}
void TStringField::SetAsStringImpl(const std::string& v) {
  ValueBuffer buf(static_cast<std::size_t>(Size()) + 1);
  std::memcpy(buf.data(), v.data(), std::min(v.size(), static_cast<std::size_t>(Size())));
  SetData(buf);
}
bool TStringField::GetAsBoolean() const {
  std::string s = GetAsString();
  return s.empty() ? false : Variant(s).AsBoolean();
}
std::int32_t TStringField::GetAsInteger() const {
  return Variant(GetAsString()).AsInteger();
}
std::int64_t TStringField::GetAsLargeInt() const {
  return Variant(GetAsString()).AsInt64();
}
double TStringField::GetAsFloat() const {
  return StrToFloat(GetAsString());
}
Currency TStringField::GetAsCurrency() const {
  return Currency::FromDouble(StrToFloat(GetAsString()));
}
TDateTime TStringField::GetAsDateTime() const {
  return StrToDateTime(GetAsString());
}
Variant TStringField::GetAsVariant() const {
  if (IsNull()) return Variant::Null();
  return Variant(GetAsString());
}
void TStringField::SetAsBooleanImpl(bool v) {
  SetAsString(v ? "True" : "False");
}
void TStringField::SetAsIntegerImpl(std::int32_t v) {
  SetAsString(IntToStr(v));
}
void TStringField::SetAsLargeIntImpl(std::int64_t v) {
  SetAsString(IntToStr(v));
}
void TStringField::SetAsFloatImpl(double v) {
  SetAsString(FloatToStr(v));
}
void TStringField::SetAsCurrencyImpl(Currency v) {
  SetAsString(Variant(v).AsString());
}
void TStringField::SetAsDateTimeImpl(TDateTime v) {
  SetAsString(DateTimeToStr(v));
}
void TStringField::SetVarValue(const Variant& v) {
  SetAsString(v.AsString());
}

TGuidField::TGuidField(TComponent* owner) : TStringField(owner, ftGuid, 38) {}
void TGuidField::CheckSize(int size) const {
  if (size != 38) DatabaseError(dbmsg::SInvalidFieldSize);
}

TWideStringField::TWideStringField(TComponent* owner, int size)
    : TStringField(owner, ftWideString, size) {
  CheckSize(size);
}
std::string TWideStringField::GetAsString() const {
  ValueBuffer buf;
  if (!ReadNative(buf)) return {};
  std::string out;
  for (std::size_t i = 0; i + 1 < buf.size() && out.size() < static_cast<std::size_t>(Size());
       i += 2) {
    std::uint16_t c;
    std::memcpy(&c, buf.data() + i, 2);
    if (c == 0) break;
    out.push_back(c > 255 ? '?' : static_cast<char>(c));
  }
  return out;
}
void TWideStringField::SetAsStringImpl(const std::string& v) {
  ValueBuffer buf(static_cast<std::size_t>(DataSize()));
  std::size_t n = std::min(v.size(), static_cast<std::size_t>(Size()));
  for (std::size_t i = 0; i < n; ++i) {
    std::uint16_t c = static_cast<unsigned char>(v[i]);
    std::memcpy(buf.data() + 2 * i, &c, 2);
  }
  SetData(buf);
}

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

// ---------------------------------------------------------------------------
// Dates and times

namespace {
constexpr std::int32_t kDateDelta = 693594;  // days from 0001-01-01 (day 1) to 1899-12-30
// Dates outside years 1..9999 have no day number.
constexpr double kMinDateTime = -693593.0;
constexpr double kMaxDateTime = 2958466.0;
}  // namespace

std::int32_t DateTimeToDateNumber(TDateTime dt) noexcept {
  return static_cast<std::int32_t>(DateOf(dt)) + kDateDelta;
}
TDateTime DateNumberToDateTime(std::int32_t date) noexcept {
  return static_cast<double>(date) - kDateDelta;
}

TDateTimeField::TDateTimeField(TComponent* owner) : TField(owner, ftDateTime) {}
TDateTimeField::TDateTimeField(TComponent* owner, TFieldType type) : TField(owner, type) {}

int TDateTimeField::DataSize() const {
  return DataType() == ftDateTime ? 8 : 4;
}

bool TDateTimeField::ReadDateTime(TDateTime& out) const {
  ValueBuffer buf;
  out = 0;
  if (!ReadNative(buf)) return false;
  switch (DataType()) {
    case ftDate:
      out = DateNumberToDateTime(Load<std::int32_t>(buf));
      break;
    case ftTime:
      out = Load<std::int32_t>(buf) / kMSecsPerDay;
      break;
    default:
      out = Load<double>(buf);
      break;
  }
  return true;
}
double TDateTimeField::GetAsFloat() const {
  return GetAsDateTime();
}
TDateTime TDateTimeField::GetAsDateTime() const {
  TDateTime v;
  ReadDateTime(v);
  return v;
}
std::string TDateTimeField::GetAsString() const {
  TDateTime v;
  if (!ReadDateTime(v)) return {};
  switch (DataType()) {
    case ftDate:
      return DateToStr(v);
    case ftTime:
      return TimeToStr(v);
    default:
      return DateTimeToStr(v);
  }
}
Variant TDateTimeField::GetAsVariant() const {
  TDateTime v;
  if (!ReadDateTime(v)) return Variant::Null();
  return Variant::FromDateTime(v);
}
void TDateTimeField::SetAsDateTimeImpl(TDateTime v) {
  if (!std::isfinite(v) || v < kMinDateTime || v >= kMaxDateTime) ValueError(FloatToStr(v));
  switch (DataType()) {
    case ftDate:
      StoreAndSet(*this, DateTimeToDateNumber(v));
      break;
    case ftTime: {
      TimeParts t = DecodeTime(v);
      StoreAndSet(*this, static_cast<std::int32_t>(
                             ((t.hour * 60 + t.minute) * 60 + t.second) * 1000 + t.msec));
      break;
    }
    default:
      StoreAndSet(*this, v);
      break;
  }
}
void TDateTimeField::SetAsStringImpl(const std::string& v) {
  if (Trim(v).empty()) {
    Clear();
    return;
  }
  TDateTime d;
  if (!TryStrToDateTime(v, d)) ValueError(v);
  SetAsDateTimeImpl(d);
}
void TDateTimeField::SetVarValue(const Variant& v) {
  if (v.Type() == VarType::Text)
    SetAsStringImpl(v.AsString());
  else
    SetAsDateTimeImpl(v.AsDateTime());
}

// ---------------------------------------------------------------------------
// TBytesField, TVarBytesField

TBytesField::TBytesField(TComponent* owner, int size) : TField(owner, ftBytes, size) {
  CheckSize(size);
}
TBytesField::TBytesField(TComponent* owner, TFieldType type, int size)
    : TField(owner, type, size) {}

int TBytesField::DataSize() const {
  return DataType() == ftVarBytes ? Size() + 2 : Size();
}

std::string TBytesField::GetAsString() const {
  ValueBuffer buf;
  if (!ReadNative(buf)) return {};
  if (DataType() != ftVarBytes) return std::string(buf.begin(), buf.end());
  std::uint16_t len;
  std::memcpy(&len, buf.data(), 2);
  std::size_t n = std::min<std::size_t>(len, static_cast<std::size_t>(Size()));
  return std::string(reinterpret_cast<const char*>(buf.data()) + 2, n);
}
Variant TBytesField::GetAsVariant() const {
  if (IsNull()) return Variant::Null();
  return Variant(GetAsString());
}
void TBytesField::SetAsStringImpl(const std::string& v) {
  ValueBuffer buf(static_cast<std::size_t>(DataSize()));
  std::size_t n = std::min(v.size(), static_cast<std::size_t>(Size()));
  if (DataType() == ftVarBytes) {
    auto len = static_cast<std::uint16_t>(n);
    std::memcpy(buf.data(), &len, 2);
    std::memcpy(buf.data() + 2, v.data(), n);
  } else {
    std::memcpy(buf.data(), v.data(), n);
  }
  SetData(buf);
}
void TBytesField::SetVarValue(const Variant& v) {
  SetAsStringImpl(v.AsString());
}
void TBytesField::CheckSize(int size) const {
  if (size < 0 || size > 65533) DatabaseError(dbmsg::SInvalidFieldSize);
}

// Sized fields: strings up to the 64 KiB a record can hold.
void TStringField::CheckSize(int size) const {
  if (size < 0 || size > 65534) DatabaseError(dbmsg::SInvalidFieldSize);
}

// ---------------------------------------------------------------------------
// TBlobField

TBlobField::TBlobField(TComponent* owner) : TField(owner, ftBlob) {}
TBlobField::TBlobField(TComponent* owner, TFieldType type) : TField(owner, type) {}
void TBlobField::CheckSize(int size) const {
  if (size < 0) DatabaseError(dbmsg::SInvalidFieldSize);
}
std::int64_t TBlobField::BlobSize() const {
  if (!DataSet()) DatabaseErrorFmt(dbmsg::SNoDataSet, {DisplayName()});
  auto stream = DataSet()->CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
  return stream ? stream->Size() : 0;
}
bool TBlobField::IsNull() const {
  return BlobSize() == 0;
}
void TBlobField::Clear() {
  SetAsStringImpl(std::string());
}
std::string TBlobField::GetAsString() const {
  if (!DataSet()) DatabaseErrorFmt(dbmsg::SNoDataSet, {DisplayName()});
  auto stream = DataSet()->CreateBlobStream(const_cast<TBlobField*>(this), bmRead);
  if (!stream) return {};
  std::int64_t size = stream->Size();
  std::string out(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)), '\0');
  std::int64_t got = stream->Read(
      std::span<std::uint8_t>(reinterpret_cast<std::uint8_t*>(out.data()), out.size()));
  out.resize(static_cast<std::size_t>(std::max<std::int64_t>(got, 0)));
  return out;
}
Variant TBlobField::GetAsVariant() const {
  std::string s = GetAsString();
  if (s.empty()) return Variant::Null();
  return Variant(std::move(s));
}
void TBlobField::SetAsStringImpl(const std::string& v) {
  if (!DataSet()) DatabaseErrorFmt(dbmsg::SNoDataSet, {DisplayName()});
  auto stream = DataSet()->CreateBlobStream(this, bmWrite);
  if (!stream) DatabaseErrorFmt(dbmsg::SNoBlobStream, {DisplayName()});
  const std::int64_t written = stream->Write(
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(v.data()), v.size()));
  // A stream with no record to write to takes nothing: the value is not kept.
  if (written != static_cast<std::int64_t>(v.size())) DatabaseError(dbmsg::SNotEditing);
}
void TBlobField::LoadFromStream(TStream& stream) {
  std::string value;
  std::uint8_t chunk[4096];
  for (;;) {
    const std::int64_t got = stream.Read(chunk);
    if (got <= 0) break;
    value.append(reinterpret_cast<const char*>(chunk), static_cast<std::size_t>(got));
  }
  SetAsStringImpl(value);
}
void TBlobField::SaveToStream(TStream& stream) const {
  const std::string value = GetAsString();
  const std::int64_t written = stream.Write(std::span<const std::uint8_t>(
      reinterpret_cast<const std::uint8_t*>(value.data()), value.size()));
  if (written != static_cast<std::int64_t>(value.size())) throw EInOutError("Stream write error");
}
void TBlobField::SetVarValue(const Variant& v) {
  SetAsStringImpl(v.AsString());
}

// ---------------------------------------------------------------------------

std::unique_ptr<TField> CreateFieldForType(TFieldType type, TComponent* owner) {
  std::unique_ptr<TField> f;
  switch (type) {
    case ftString:
      f = std::make_unique<TStringField>(owner);
      break;
    case ftFixedChar: {
      auto s = std::make_unique<TStringField>(owner);
      s->SetFixedChar(true);
      f = std::move(s);
      break;
    }
    case ftGuid:
      f = std::make_unique<TGuidField>(owner);
      break;
    case ftWideString:
      f = std::make_unique<TWideStringField>(owner);
      break;
    case ftSmallint:
      f = std::make_unique<TSmallintField>(owner);
      break;
    case ftInteger:
      f = std::make_unique<TIntegerField>(owner);
      break;
    case ftWord:
      f = std::make_unique<TWordField>(owner);
      break;
    case ftAutoInc:
      f = std::make_unique<TAutoIncField>(owner);
      break;
    case ftLargeint:
      f = std::make_unique<TLargeintField>(owner);
      break;
    case ftBoolean:
      f = std::make_unique<TBooleanField>(owner);
      break;
    case ftFloat:
      f = std::make_unique<TFloatField>(owner);
      break;
    case ftCurrency:
      f = std::make_unique<TCurrencyField>(owner);
      break;
    case ftBCD:
      f = std::make_unique<TBCDField>(owner);
      break;
    case ftDate:
      f = std::make_unique<TDateField>(owner);
      break;
    case ftTime:
      f = std::make_unique<TTimeField>(owner);
      break;
    case ftDateTime:
      f = std::make_unique<TDateTimeField>(owner);
      break;
    case ftBytes:
      f = std::make_unique<TBytesField>(owner);
      break;
    case ftVarBytes:
      f = std::make_unique<TVarBytesField>(owner);
      break;
    case ftMemo:
    case ftFmtMemo:
    case ftOraClob:
      f = std::make_unique<TMemoField>(owner);
      break;
    case ftGraphic:
      f = std::make_unique<TGraphicField>(owner);
      break;
    case ftBlob:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
      f = std::make_unique<TBlobField>(owner);
      break;
    default:
      return nullptr;
  }
  f->SetDataType(type);
  return f;
}

}  // namespace corvane
