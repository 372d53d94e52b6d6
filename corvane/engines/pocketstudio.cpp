#include "corvane/engines/pocketstudio.h"

#include <cstring>

#include "corvane/engines/record_codec.h"
#include "corvane/foundation/byte_order.h"
#include "corvane/foundation/message_ids.h"

namespace corvane {

namespace {

constexpr TEngineMessages kPSMessages{kMsgPSNoFieldsInStructure, kMsgPSNoFieldWithName,
                                      kMsgPSRecordMismatch,      kMsgPSNotOpen,
                                      kMsgPSNotOpenForWrite,     kMsgPSNoFieldsSpecified};
constexpr TypeMask kDates = Types({PSDate, PSTime, PSDateTime});
constexpr TypeMask kFloats = Types({PSUInt32, PSSingle, PSDouble});

}  // namespace

void TPDBPSField::SetSize(std::int32_t Value) {
  if (type_ != PSString) return;
  // A negative width has no meaning in a record; refusing it keeps Size either
  // "variable" (0) or a real width.
  if (Value < 0 || Value > kPSMaxBytes) RaisePDB(1, kMsgPSFieldSize);
  size_ = Value;
}

void TPDBPSField::StoreWhole(std::int64_t v) {
  if (Accepts(kFloats)) {
    value_.SetFloat(static_cast<double>(v));
  } else {
    value_.SetInteger(static_cast<std::int64_t>(v));
  }
}

// ---------------------------------------------------------------------------
// Accessors.

std::int8_t TPDBPSField::GetAsPSInt8() const {
  Require(TypeBit(PSInt8), kMsgPSGetAsPSInt8WrongType);
  return static_cast<std::int8_t>(value_.AsInt64());
}
void TPDBPSField::SetAsPSInt8(std::int8_t Value) {
  Require(Types({PSInt8, PSInt16, PSInt32, PSSingle, PSDouble}), kMsgPSSetAsPSInt8WrongType);
  StoreWhole(Value);
}
std::int16_t TPDBPSField::GetAsPSInt16() const {
  Require(TypeBit(PSInt16), kMsgPSGetAsPSInt16WrongType);
  return static_cast<std::int16_t>(value_.AsInt64());
}
void TPDBPSField::SetAsPSInt16(std::int16_t Value) {
  Require(Types({PSInt16, PSInt32, PSSingle, PSDouble}), kMsgPSSetAsPSInt16WrongType);
  StoreWhole(Value);
}
std::int32_t TPDBPSField::GetAsPSInt32() const {
  Require(TypeBit(PSInt32), kMsgPSGetAsPSInt32WrongType);
  return static_cast<std::int32_t>(value_.AsInt64());
}
void TPDBPSField::SetAsPSInt32(std::int32_t Value) {
  Require(Types({PSInt32, PSSingle, PSDouble}), kMsgPSSetAsPSInt32WrongType);
  StoreWhole(Value);
}
std::uint8_t TPDBPSField::GetAsPSUInt8() const {
  Require(TypeBit(PSUInt8), kMsgPSGetAsPSUInt8WrongType);
  return static_cast<std::uint8_t>(value_.AsInt64());
}
void TPDBPSField::SetAsPSUInt8(std::uint8_t Value) {
  Require(Types({PSInt16, PSInt32, PSUInt8, PSUInt16, PSUInt32, PSSingle, PSDouble}),
          kMsgPSSetAsPSUInt8WrongType);
  StoreWhole(Value);
}
std::uint16_t TPDBPSField::GetAsPSUInt16() const {
  Require(TypeBit(PSUInt16), kMsgPSGetAsPSUInt16WrongType);
  return static_cast<std::uint16_t>(value_.AsInt64());
}
void TPDBPSField::SetAsPSUInt16(std::uint16_t Value) {
  Require(Types({PSInt32, PSUInt16, PSUInt32, PSSingle, PSDouble}), kMsgPSSetAsPSUInt16WrongType);
  StoreWhole(Value);
}
std::uint32_t TPDBPSField::GetAsPSUInt32() const {
  Require(TypeBit(PSUInt32), kMsgPSGetAsPSUInt32WrongType);
  return static_cast<std::uint32_t>(codec::TruncToInt64(value_));
}
void TPDBPSField::SetAsPSUInt32(std::uint32_t Value) {
  Require(kFloats, kMsgPSSetAsPSUInt32WrongType);
  value_.SetFloat(static_cast<double>(Value));
}
float TPDBPSField::GetAsPSSingle() const {
  Require(TypeRange(PSInt8, PSUInt32) | TypeBit(PSSingle), kMsgPSGetAsPSSingleWrongType);
  return static_cast<float>(value_.AsDouble());
}
void TPDBPSField::SetAsPSSingle(float Value) {
  Require(Types({PSSingle, PSDouble}), kMsgPSSetAsPSSingleWrongType);
  value_.SetFloat(static_cast<double>(Value));
}
double TPDBPSField::GetAsPSDouble() const {
  Require(TypeRange(PSInt8, PSDateTime) | Types({PSSingle, PSDouble}),
          kMsgPSGetAsPSDoubleWrongType);
  return value_.AsDouble();
}
void TPDBPSField::SetAsPSDouble(double Value) {
  Require(kDates | TypeBit(PSDouble), kMsgPSSetAsPSDoubleWrongType);
  value_.SetFloat(Value);
}
TDateTime TPDBPSField::GetAsPSDate() const {
  Require(kDates, kMsgPSGetAsPSDateWrongType);
  return value_.AsDateTime();
}
void TPDBPSField::SetAsPSDate(TDateTime Value) {
  Require(kDates, kMsgPSSetAsPSDateWrongType);
  value_.SetDateTime(Value);
}
TDateTime TPDBPSField::GetAsPSTime() const {
  Require(kDates, kMsgPSGetAsPSTimeWrongType);
  return value_.AsDateTime();
}
void TPDBPSField::SetAsPSTime(TDateTime Value) {
  Require(kDates, kMsgPSSetAsPSTimeWrongType);
  value_.SetDateTime(Value);
}
TDateTime TPDBPSField::GetAsPSDateTime() const {
  Require(kDates, kMsgPSGetAsPSDateTimeWrongType);
  return value_.AsDateTime();
}
void TPDBPSField::SetAsPSDateTime(TDateTime Value) {
  Require(kDates, kMsgPSSetAsPSDateTimeWrongType);
  value_.SetDateTime(Value);
}
bool TPDBPSField::GetAsPSBoolean() const {
  Require(TypeBit(PSBoolean), kMsgPSGetAsPSBooleanWrongType);
  return value_.AsBoolean();
}
void TPDBPSField::SetAsPSBoolean(bool Value) {
  Require(TypeBit(PSBoolean), kMsgPSSetAsPSBooleanWrongType);
  value_.SetBoolean(Value);
}
std::string TPDBPSField::GetAsPSString() const { return value_.AsString(); }
void TPDBPSField::SetAsPSString(const std::string& Value) { value_.SetText(Value); }

void TPDBPSField::SetAsPSBinary(std::span<const std::uint8_t> Data) {
  Require(TypeBit(PSBinary), kMsgPSSetAsPSBinaryWrongType);
  if (Data.size() > static_cast<std::size_t>(kPSMaxBytes)) RaisePDB(2, kMsgPSBinaryTooLong);
  TakeRaw(Data);
}

Bytes TPDBPSField::GetAsPSBinary() const {
  Require(TypeBit(PSBinary), kMsgPSGetAsPSBinaryWrongType);
  return Bytes(raw_.begin(), raw_.end());
}

// ---------------------------------------------------------------------------
// The record frame's side.

std::int32_t TPDBPSField::TypeWidth(TPDBPSFieldType type) noexcept {
  switch (type) {
    case PSBoolean:
    case PSInt8:
    case PSUInt8: return 1;
    case PSInt16:
    case PSUInt16:
    case PSDate:
    case PSTime: return 2;
    case PSInt32:
    case PSUInt32:
    case PSDateTime:
    case PSSingle: return 4;
    case PSDouble: return 8;
    case PSString:
    case PSBinary: return 0;
  }
  return 0;
}

Variant TPDBPSField::ZeroOf(TPDBPSFieldType type) {
  switch (type) {
    case PSBoolean: return Variant(false);
    case PSString: return Variant(std::string());
    default: return Variant(0);
  }
}

std::int64_t TPDBPSField::RecordWidth() const {
  switch (type_) {
    case PSString: {
      std::string scratch;
      return codec::SizedTextWidth(TextValue(scratch), size_);
    }
    case PSBinary: return static_cast<std::int64_t>(raw_.size()) + 2;
    default: return size_;
  }
}

void TPDBPSField::PackInto(std::uint8_t* out, std::size_t width) const {
  switch (type_) {
    case PSBoolean:
    case PSInt8:
    case PSUInt8: out[0] = static_cast<std::uint8_t>(IntValue()); break;
    case PSInt16:
    case PSUInt16: StoreU16(out, static_cast<std::uint16_t>(IntValue())); break;
    case PSInt32: StoreU32(out, static_cast<std::uint32_t>(IntValue())); break;
    case PSUInt32: StoreU32(out, static_cast<std::uint32_t>(codec::TruncToInt64(value_))); break;
    case PSDate: StoreU16(out, codec::PalmDateWord(DateValue())); break;
    case PSTime: StoreU16(out, codec::PalmTimeWord(DateValue())); break;
    case PSDateTime: StoreU32(out, codec::PalmSecondsFromDateTime(DateValue())); break;
    case PSString: {
      std::string scratch;
      codec::PackMeasuredText(out, TextValue(scratch), size_, width);
      break;
    }
    case PSSingle: StoreFloat(out, static_cast<float>(FloatValue())); break;
    case PSDouble: StoreDouble(out, FloatValue()); break;
    case PSBinary:
      StoreU16(out, static_cast<std::uint16_t>(raw_.size()));
      if (!raw_.empty()) std::memcpy(out + 2, raw_.data(), raw_.size());
      break;
  }
}

bool TPDBPSField::SplitFrom(std::span<const std::uint8_t> rest, std::size_t& taken) {
  if (type_ == PSBinary) {
    if (rest.size() < 2) return false;
    const std::size_t n = LoadU16(rest.data());
    if (n > rest.size() - 2) return false;
    TakeRaw(rest.subspan(2, n));
    value_.SetInteger(0);
    taken = 2 + n;
    return true;
  }
  if (type_ == PSString) {
    return SplitSizedText(rest, taken);
  }
  const auto width = static_cast<std::size_t>(size_);
  if (width > rest.size()) return false;
  const std::uint8_t* p = rest.data();
  // The value first: a date word that is no date raises before the raw copy changes.
  switch (type_) {
    case PSBoolean: value_.SetBoolean(p[0] != 0); break;
    case PSInt8: value_.SetInteger(static_cast<std::int8_t>(p[0])); break;
    case PSUInt8: value_.SetInteger(p[0]); break;
    case PSInt16: value_.SetInteger(static_cast<std::int16_t>(LoadU16(p))); break;
    case PSUInt16: value_.SetInteger(LoadU16(p)); break;
    case PSInt32: value_.SetInteger(static_cast<std::int32_t>(LoadU32(p))); break;
    case PSUInt32: value_.SetFloat(static_cast<double>(LoadU32(p))); break;
    case PSDate: value_.SetDateTime(codec::DateFromPalmWord(LoadU16(p))); break;
    case PSTime: value_.SetDateTime(codec::TimeFromPalmWord(LoadU16(p))); break;
    case PSDateTime: value_.SetDateTime(codec::DateTimeFromPalmSeconds(LoadU32(p))); break;
    case PSSingle: value_.SetFloat(static_cast<double>(LoadFloat(p))); break;
    case PSDouble: value_.SetFloat(LoadDouble(p)); break;
    case PSString:
    case PSBinary: break;
  }
  TakeRaw(rest.first(width));
  taken = width;
  return true;
}

// Append clears every field of every record: the zero is set in place, in
// the kind the type's own setter would store it.
void TPDBPSField::ClearValue() {
  ReleaseRaw();
  switch (type_) {
    case PSBoolean: value_.SetBoolean(false); break;
    case PSInt8:
    case PSInt16:
    case PSInt32:
    case PSUInt8:
    case PSUInt16: value_.SetInteger(0); break;
    case PSUInt32:
    case PSSingle:
    case PSDouble: value_.SetFloat(0); break;
    case PSDate:
    case PSTime:
    case PSDateTime: value_.SetDateTime(0); break;
    case PSString: value_.SetText({}); break;
    case PSBinary: break;
  }
}

TPDBPocketStudio::TPDBPocketStudio(TComponent* owner) : TPDBEngine(owner, kPSMessages) {}

TPDBPocketStudio::~TPDBPocketStudio() { CloseOnDestroy(); }

}  // namespace corvane
