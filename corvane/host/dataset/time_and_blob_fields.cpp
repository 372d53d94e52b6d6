// The date and time fields, and the byte and blob fields.
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

using field_bytes::Load;
using field_bytes::StoreAndSet;

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

}  // namespace corvane
