#include "corvane/host/dataset/fields.h"

#include <array>
#include <cmath>
#include <cstring>
#include <limits>

#include "corvane/host/dataset/dataset.h"
#include "corvane/host/dataset/field_bytes.h"
#include "corvane/host/hooks.h"
#include "corvane/host/text.h"

namespace corvane {

using field_bytes::IntToStr;

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
