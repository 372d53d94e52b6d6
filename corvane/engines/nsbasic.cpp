#include "corvane/engines/nsbasic.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "corvane/engines/record_codec.h"
#include "corvane/foundation/byte_order.h"
#include "corvane/foundation/message_ids.h"
#include "corvane/host/exceptions.h"

namespace corvane {

namespace {

constexpr TEngineMessages kNSBMessages{kMsgNSBNoFieldsInStructure, kMsgNSBNoFieldWithName,
                                       kMsgNSBRecordMismatch,      kMsgNSBNotOpen,
                                       kMsgNSBNotOpenForWrite,     kMsgNSBNoFieldsSpecified};
constexpr TypeMask kFloats = Types({NSBFloat, NSBSingle, NSBDouble});

}  // namespace

void TPDBNSBField::SetSize(std::int32_t Value) {
  if (type_ != NSBString) return;
  // A negative width has no meaning in a record; refusing it keeps Size either
  // "variable" (0) or a real width.
  if (Value < 0 || Value > kNSBMaxTextSize) RaisePDB(1, kMsgNSBFieldSize);
  size_ = Value;
}

void TPDBNSBField::StoreNumber(double v) {
  if (Accepts(kFloats)) {
    value_.SetFloat(v);
  } else {
    value_.SetInteger(static_cast<std::int64_t>(v));
  }
}

// ---------------------------------------------------------------------------
// Accessors.

std::uint8_t TPDBNSBField::GetAsNSBByte() const {
  Require(TypeBit(NSBByte), kMsgNSBGetAsNSBByteWrongType);
  return static_cast<std::uint8_t>(IntegerValue());
}
void TPDBNSBField::SetAsNSBByte(std::uint8_t Value) {
  Require(TypeRange(NSBByte, NSBDouble), kMsgNSBSetAsNSBByteWrongType);
  StoreNumber(Value);
}
std::uint16_t TPDBNSBField::GetAsNSBShort() const {
  Require(Types({NSBByte, NSBShort}), kMsgNSBGetAsNSBShortWrongType);
  return static_cast<std::uint16_t>(IntegerValue());
}
void TPDBNSBField::SetAsNSBShort(std::uint16_t Value) {
  Require(TypeRange(NSBShort, NSBDouble), kMsgNSBSetAsNSBShortWrongType);
  StoreNumber(Value);
}
std::int32_t TPDBNSBField::GetAsNSBInteger() const {
  Require(Types({NSBByte, NSBShort, NSBInteger}), kMsgNSBGetAsNSBIntegerWrongType);
  return static_cast<std::int32_t>(IntegerValue());
}
void TPDBNSBField::SetAsNSBInteger(std::int32_t Value) {
  Require(TypeRange(NSBInteger, NSBDouble), kMsgNSBSetAsNSBIntegerWrongType);
  StoreNumber(Value);
}
double TPDBNSBField::GetAsNSBFloat() const {
  Require(TypeRange(NSBByte, NSBTime), kMsgNSBGetAsNSBFloatWrongType);
  return DoubleValue();
}
void TPDBNSBField::SetAsNSBFloat(double Value) {
  Require(kFloats, kMsgNSBSetAsNSBFloatWrongType);
  value_.SetFloat(Value);
}
float TPDBNSBField::GetAsNSBSingle() const {
  Require(Types({NSBByte, NSBShort, NSBInteger, NSBSingle}), kMsgNSBGetAsNSBSingleWrongType);
  return static_cast<float>(DoubleValue());
}
void TPDBNSBField::SetAsNSBSingle(float Value) {
  Require(kFloats, kMsgNSBSetAsNSBSingleWrongType);
  value_.SetFloat(static_cast<double>(Value));
}
TDateTime TPDBNSBField::GetAsNSBDate() const {
  Require(TypeBit(NSBDate), kMsgNSBGetAsNSBDateWrongType);
  return DateTimeValue();
}
void TPDBNSBField::SetAsNSBDate(TDateTime Value) {
  Require(TypeBit(NSBDate), kMsgNSBSetAsNSBDateWrongType);
  value_.SetDateTime(Value);
}
TDateTime TPDBNSBField::GetAsNSBTime() const {
  Require(TypeBit(NSBTime), kMsgNSBGetAsNSBTimeWrongType);
  return DateTimeValue();
}
void TPDBNSBField::SetAsNSBTime(TDateTime Value) {
  Require(TypeBit(NSBTime), kMsgNSBSetAsNSBTimeWrongType);
  value_.SetDateTime(Value);
}
std::string TPDBNSBField::GetAsNSBString() const { return value_.AsString(); }
void TPDBNSBField::SetAsNSBString(const std::string& Value) { value_.SetText(Value); }

// ---------------------------------------------------------------------------
// The record frame's side.

std::int32_t TPDBNSBField::TypeWidth(TPDBNSBFieldType type) noexcept {
  switch (type) {
    case NSBByte: return 1;
    case NSBShort: return 2;
    case NSBInteger:
    case NSBSingle: return 4;
    case NSBFloat:
    case NSBDouble:
    case NSBDate:
    case NSBTime: return 8;
    case NSBString: return 0;
  }
  return 0;
}

Variant TPDBNSBField::ZeroOf(TPDBNSBFieldType type) {
  return type == NSBString ? Variant(std::string()) : Variant(0);
}

std::int64_t TPDBNSBField::RecordWidth() const {
  if (type_ == NSBString) {
    std::string scratch;
    return codec::SizedTextWidth(TextValue(scratch), size_);
  }
  return size_;
}

void TPDBNSBField::PackInto(std::uint8_t* out, std::size_t width) const {
  switch (type_) {
    case NSBByte: out[0] = static_cast<std::uint8_t>(IntValue()); break;
    case NSBShort: StoreU16(out, static_cast<std::uint16_t>(IntValue())); break;
    case NSBInteger: StoreU32(out, static_cast<std::uint32_t>(IntValue())); break;
    case NSBFloat:
    case NSBDouble: StoreDouble(out, FloatValue()); break;
    case NSBSingle: StoreFloat(out, static_cast<float>(FloatValue())); break;
    case NSBDate: StoreDouble(out, codec::DecimalDateNumber(DateValue())); break;
    case NSBTime: StoreDouble(out, codec::DecimalTimeNumber(DateValue())); break;
    case NSBString: {
      std::string scratch;
      codec::PackMeasuredText(out, TextValue(scratch), size_, width);
      break;
    }
  }
}

bool TPDBNSBField::SplitFrom(std::span<const std::uint8_t> rest, std::size_t& taken) {
  if (type_ == NSBString) {
    return SplitSizedText(rest, taken);
  }
  const auto width = static_cast<std::size_t>(size_);
  if (width > rest.size()) return false;
  const std::uint8_t* p = rest.data();
  // The value first: a number that is no date raises before the raw copy changes.
  switch (type_) {
    case NSBByte: value_.SetInteger(p[0]); break;
    case NSBShort: value_.SetInteger(LoadU16(p)); break;
    case NSBInteger: value_.SetInteger(static_cast<std::int32_t>(LoadU32(p))); break;
    case NSBFloat:
    case NSBDouble: value_.SetFloat(LoadDouble(p)); break;
    case NSBSingle: value_.SetFloat(static_cast<double>(LoadFloat(p))); break;
    case NSBDate:
    case NSBTime: {
      const double stored = LoadDouble(p);
      try {
        value_.SetDateTime(type_ == NSBDate ? codec::DateFromDecimalNumber(stored)
                                            : codec::TimeFromDecimalNumber(stored));
      } catch (const EConvertError& e) {
        char shown[32];
        std::snprintf(shown, sizeof shown, "%.17g", stored);
        throw EConvertError("field '" + FieldName() + "': " + e.what() + " (it holds " + shown +
                            ")");
      }
      break;
    }
    case NSBString: break;
  }
  TakeRaw(rest.first(width));
  taken = width;
  return true;
}

// The raw copy stays: nothing reads it before the next split replaces it.
// Append clears every field of every record: the zero is set in place, in the
// kind the type's own setter would store it.
void TPDBNSBField::ClearValue() {
  switch (type_) {
    case NSBByte:
    case NSBShort:
    case NSBInteger: value_.SetInteger(0); break;
    case NSBFloat:
    case NSBSingle:
    case NSBDouble: value_.SetFloat(0); break;
    case NSBDate:
    case NSBTime: value_.SetDateTime(0); break;
    case NSBString: value_.SetText({}); break;
  }
}

TPDBNSBasic::TPDBNSBasic(TComponent* owner) : TPDBEngine(owner, kNSBMessages) {}

TPDBNSBasic::~TPDBNSBasic() { CloseOnDestroy(); }

}  // namespace corvane
