#include "corvane/engines/data_fields.h"

#include <cstring>

#include "corvane/engines/record_codec.h"
#include "corvane/foundation/byte_order.h"
#include "corvane/foundation/message_ids.h"
#include "corvane/host/exceptions.h"

namespace corvane {

namespace {

constexpr TEngineMessages kDataFieldsMessages{
    kMsgFieldsNoFieldsInStructure, kMsgFieldsNoFieldWithName,
    kMsgFieldsRecordMismatch,      kMsgFieldsNotOpen,
    kMsgFieldsNotOpenForWrite,     kMsgFieldsNoFieldsSpecified};

constexpr TypeMask kAll = TypeRange(pdtByte, pdtPSDouble);
constexpr TypeMask kText = Types({pdtString, pdtPSString});
constexpr TypeMask kDates = Types({pdtDate, pdtPSDate, pdtPSTime, pdtPSDateTime});
// The types that hold a float, so an integer set into them is kept exactly
// where a float can hold it.
constexpr TypeMask kFloatHolders = Types({pdtFloat, pdtDouble, pdtPSSingle, pdtPSDouble});
constexpr TypeMask kSetByte =
    Types({pdtByte, pdtWord, pdtInteger, pdtPSInt16, pdtPSInt32, pdtPSUInt8, pdtPSUInt16, pdtPSUInt32}) |
    kFloatHolders;
constexpr TypeMask kGetFloat =
    Types({pdtByte, pdtWord, pdtInteger, pdtFloat, pdtPSSingle}) | TypeRange(pdtPSInt8, pdtPSUInt32);

// The value as an unsigned 32-bit number; EConvertError when it is none.
std::uint32_t AsUInt32(const Variant& v) {
  const std::int64_t n = codec::TruncToInt64(v);
  if (n < 0 || n > 0xFFFFFFFFLL) throw EConvertError("Value out of the unsigned 32-bit range");
  return static_cast<std::uint32_t>(n);
}

}  // namespace

void TPDBField::SetSize(std::int32_t Value) {
  if (Accepts(kText)) size_ = Value;
}

// ---------------------------------------------------------------------------
// Accessors. Setters store the kind of their own type; getters convert as
// packing the record would.

std::uint8_t TPDBField::GetAsByte() const {
  Require(Types({pdtByte, pdtPSUInt8}), kMsgFieldGetAsByteWrongType);
  return static_cast<std::uint8_t>(value_.AsInt64());
}
void TPDBField::SetAsByte(std::uint8_t Value) {
  Require(kSetByte, kMsgFieldSetAsByteWrongType);
  value_.SetInteger(Value);
}
std::uint16_t TPDBField::GetAsWord() const {
  Require(Types({pdtByte, pdtWord, pdtPSUInt8, pdtPSUInt16}), kMsgFieldGetAsWordWrongType);
  return static_cast<std::uint16_t>(value_.AsInt64());
}
void TPDBField::SetAsWord(std::uint16_t Value) {
  Require(Types({pdtWord, pdtInteger, pdtPSUInt16, pdtPSUInt32}) | kFloatHolders,
          kMsgFieldSetAsWordWrongType);
  value_.SetInteger(Value);
}
std::int32_t TPDBField::GetAsInteger() const {
  Require(Types({pdtByte, pdtWord, pdtInteger}) | TypeRange(pdtPSInt8, pdtPSUInt16),
          kMsgFieldGetAsIntegerWrongType);
  return value_.AsInteger();
}
void TPDBField::SetAsInteger(std::int32_t Value) {
  Require(Types({pdtInteger, pdtPSInt32}) | kFloatHolders, kMsgFieldSetAsIntegerWrongType);
  value_.SetInteger(Value);
}
float TPDBField::GetAsFloat() const {
  Require(kGetFloat, kMsgFieldGetAsFloatWrongType);
  return static_cast<float>(value_.AsDouble());
}
void TPDBField::SetAsFloat(float Value) {
  Require(kFloatHolders, kMsgFieldSetAsFloatWrongType);
  value_.SetFloat(static_cast<double>(Value));
}
double TPDBField::GetAsDouble() const {
  Require(kAll & ~Types({pdtPSBoolean, pdtPSDate, pdtPSTime, pdtPSDateTime}),
          kMsgFieldGetAsDoubleWrongType);
  return value_.AsDouble();
}
void TPDBField::SetAsDouble(double Value) {
  Require(Types({pdtDouble, pdtDate}), kMsgFieldSetAsDoubleWrongType);
  value_.SetFloat(Value);
}
TDateTime TPDBField::GetAsDateTime() const {
  Require(TypeBit(pdtDate), kMsgFieldGetAsDateTimeWrongType);
  return value_.AsDateTime();
}
void TPDBField::SetAsDateTime(TDateTime Value) {
  Require(TypeBit(pdtDate), kMsgFieldSetAsDateTimeWrongType);
  value_.SetDateTime(Value);
}
std::string TPDBField::GetAsString() const { return value_.AsString(); }
void TPDBField::SetAsString(const std::string& Value) { value_.SetText(Value); }

std::int8_t TPDBField::GetAsPSInt8() const {
  Require(TypeBit(pdtPSInt8), kMsgFieldGetAsPSInt8WrongType);
  return static_cast<std::int8_t>(value_.AsInt64());
}
void TPDBField::SetAsPSInt8(std::int8_t Value) {
  Require(Types({pdtByte, pdtWord, pdtInteger, pdtPSInt8, pdtPSInt16, pdtPSInt32}) | kFloatHolders,
          kMsgFieldSetAsPSInt8WrongType);
  value_.SetInteger(Value);
}
std::int16_t TPDBField::GetAsPSInt16() const {
  Require(TypeBit(pdtPSInt16), kMsgFieldGetAsPSInt16WrongType);
  return static_cast<std::int16_t>(value_.AsInt64());
}
void TPDBField::SetAsPSInt16(std::int16_t Value) {
  Require(Types({pdtInteger, pdtPSInt16, pdtPSInt32}) | kFloatHolders,
          kMsgFieldSetAsPSInt16WrongType);
  value_.SetInteger(Value);
}
std::int32_t TPDBField::GetAsPSInt32() const {
  Require(TypeBit(pdtPSInt32), kMsgFieldGetAsPSInt32WrongType);
  return value_.AsInteger();
}
void TPDBField::SetAsPSInt32(std::int32_t Value) {
  Require(Types({pdtInteger, pdtPSInt32}) | kFloatHolders, kMsgFieldSetAsPSInt32WrongType);
  value_.SetInteger(Value);
}
std::uint8_t TPDBField::GetAsPSUInt8() const {
  Require(TypeBit(pdtPSUInt8), kMsgFieldGetAsPSUInt8WrongType);
  return static_cast<std::uint8_t>(value_.AsInt64());
}
void TPDBField::SetAsPSUInt8(std::uint8_t Value) {
  Require(kSetByte, kMsgFieldSetAsPSUInt8WrongType);
  value_.SetInteger(Value);
}
std::uint16_t TPDBField::GetAsPSUInt16() const {
  Require(TypeBit(pdtPSUInt16), kMsgFieldGetAsPSUInt16WrongType);
  return static_cast<std::uint16_t>(value_.AsInt64());
}
void TPDBField::SetAsPSUInt16(std::uint16_t Value) {
  Require(Types({pdtInteger, pdtPSInt32, pdtPSUInt16, pdtPSUInt32}) | kFloatHolders,
          kMsgFieldSetAsPSUInt16WrongType);
  value_.SetInteger(Value);
}
std::uint32_t TPDBField::GetAsPSUInt32() const {
  Require(TypeBit(pdtPSUInt32), kMsgFieldGetAsPSUInt32WrongType);
  return AsUInt32(value_);
}
void TPDBField::SetAsPSUInt32(std::uint32_t Value) {
  Require(TypeBit(pdtPSUInt32) | kFloatHolders, kMsgFieldSetAsPSUInt32WrongType);
  value_.SetFloat(static_cast<double>(Value));
}
float TPDBField::GetAsPSSingle() const {
  Require(kGetFloat, kMsgFieldGetAsPSSingleWrongType);
  return static_cast<float>(value_.AsDouble());
}
void TPDBField::SetAsPSSingle(float Value) {
  Require(kFloatHolders, kMsgFieldSetAsPSSingleWrongType);
  value_.SetFloat(static_cast<double>(Value));
}
double TPDBField::GetAsPSDouble() const {
  Require(kAll & ~TypeBit(pdtPSBoolean), kMsgFieldGetAsPSDoubleWrongType);
  return value_.AsDouble();
}
void TPDBField::SetAsPSDouble(double Value) {
  Require(kDates | Types({pdtDouble, pdtPSDouble}), kMsgFieldSetAsPSDoubleWrongType);
  value_.SetFloat(Value);
}
TDateTime TPDBField::GetAsPSDate() const {
  Require(kDates, kMsgFieldGetAsPSDateWrongType);
  return value_.AsDateTime();
}
void TPDBField::SetAsPSDate(TDateTime Value) {
  Require(kDates, kMsgFieldSetAsPSDateWrongType);
  value_.SetDateTime(Value);
}
TDateTime TPDBField::GetAsPSTime() const {
  Require(kDates, kMsgFieldGetAsPSTimeWrongType);
  return value_.AsDateTime();
}
void TPDBField::SetAsPSTime(TDateTime Value) {
  Require(kDates, kMsgFieldSetAsPSTimeWrongType);
  value_.SetDateTime(Value);
}
TDateTime TPDBField::GetAsPSDateTime() const {
  Require(kDates, kMsgFieldGetAsPSDateTimeWrongType);
  return value_.AsDateTime();
}
void TPDBField::SetAsPSDateTime(TDateTime Value) {
  Require(kDates, kMsgFieldSetAsPSDateTimeWrongType);
  value_.SetDateTime(Value);
}
std::string TPDBField::GetAsPSString() const { return value_.AsString(); }
void TPDBField::SetAsPSString(const std::string& Value) { value_.SetText(Value); }
bool TPDBField::GetAsPSBoolean() const {
  Require(TypeBit(pdtPSBoolean), kMsgFieldGetAsPSBooleanWrongType);
  return value_.AsBoolean();
}
void TPDBField::SetAsPSBoolean(bool Value) {
  Require(TypeBit(pdtPSBoolean), kMsgFieldSetAsPSBooleanWrongType);
  value_.SetBoolean(Value);
}

// ---------------------------------------------------------------------------
// The record frame's side.

std::int32_t TPDBField::TypeWidth(TPDBFieldType type) noexcept {
  switch (type) {
    case pdtByte:
    case pdtPSBoolean:
    case pdtPSInt8:
    case pdtPSUInt8: return 1;
    case pdtWord:
    case pdtPSInt16:
    case pdtPSUInt16:
    case pdtPSDate:
    case pdtPSTime: return 2;
    case pdtInteger:
    case pdtFloat:
    case pdtDate:
    case pdtPSInt32:
    case pdtPSUInt32:
    case pdtPSDateTime:
    case pdtPSSingle: return 4;
    case pdtDouble:
    case pdtPSDouble: return 8;
    case pdtString:
    case pdtPSString: return 0;
  }
  return 0;
}

Variant TPDBField::ZeroOf(TPDBFieldType type) {
  switch (type) {
    case pdtPSBoolean: return Variant(false);
    case pdtString:
    case pdtPSString: return Variant(std::string());
    default: return Variant(0);
  }
}

// Fixed widths come from the type, not from Size, so measuring and packing
// can never disagree whatever Size holds.
std::int64_t TPDBField::RecordWidth() const {
  if (Accepts(kText)) {
    std::string scratch;
    return codec::SizedTextWidth(TextValue(scratch), size_);
  }
  return TypeWidth(type_);
}

void TPDBField::PackInto(std::uint8_t* out, std::size_t width) const {
  switch (type_) {
    case pdtByte:
    case pdtPSUInt8:
    case pdtPSInt8:
    case pdtPSBoolean: out[0] = static_cast<std::uint8_t>(IntValue()); break;
    case pdtWord:
    case pdtPSUInt16:
    case pdtPSInt16: StoreU16(out, static_cast<std::uint16_t>(IntValue())); break;
    case pdtInteger:
    case pdtPSInt32: StoreU32(out, static_cast<std::uint32_t>(Int32Value())); break;
    case pdtPSUInt32: StoreU32(out, AsUInt32(value_)); break;
    case pdtFloat:
    case pdtPSSingle: StoreFloat(out, static_cast<float>(FloatValue())); break;
    case pdtDouble:
    case pdtPSDouble: StoreDouble(out, FloatValue()); break;
    case pdtDate:
    case pdtPSDateTime: StoreU32(out, codec::PalmSecondsFromDateTime(DateValue())); break;
    case pdtPSDate: StoreU16(out, codec::PalmDateWord(DateValue())); break;
    case pdtPSTime: StoreU16(out, codec::PalmTimeWord(DateValue())); break;
    case pdtString:
    case pdtPSString: {
      std::string scratch;
      codec::PackMeasuredText(out, TextValue(scratch), size_, width);
      break;
    }
  }
}

bool TPDBField::SplitFrom(std::span<const std::uint8_t> rest, std::size_t& taken) {
  if (Accepts(kText)) {
    return SplitSizedText(rest, taken);
  }
  const auto width = static_cast<std::size_t>(TypeWidth(type_));
  if (width > rest.size()) return false;
  const std::uint8_t* p = rest.data();
  // The value first: a date word that is no date raises before the raw copy changes.
  switch (type_) {
    case pdtByte:
    case pdtPSUInt8: value_.SetInteger(p[0]); break;
    case pdtPSInt8: value_.SetInteger(static_cast<std::int8_t>(p[0])); break;
    case pdtPSBoolean: value_.SetBoolean(p[0] != 0); break;
    case pdtWord:
    case pdtPSUInt16: value_.SetInteger(LoadU16(p)); break;
    case pdtPSInt16: value_.SetInteger(static_cast<std::int16_t>(LoadU16(p))); break;
    case pdtInteger:
    case pdtPSInt32: value_.SetInteger(static_cast<std::int32_t>(LoadU32(p))); break;
    case pdtPSUInt32: value_.SetFloat(static_cast<double>(LoadU32(p))); break;
    case pdtFloat:
    case pdtPSSingle: value_.SetFloat(static_cast<double>(LoadFloat(p))); break;
    case pdtDouble:
    case pdtPSDouble: value_.SetFloat(LoadDouble(p)); break;
    // Both count from 1904-01-01, the epoch they are written with; a stored 0
    // is that epoch itself, as files of this manager have always read.
    case pdtDate:
    case pdtPSDateTime:
      value_.SetDateTime(codec::DateTimeFromPalmSecondsSinceEpoch(LoadU32(p)));
      break;
    case pdtPSDate: value_.SetDateTime(codec::DateFromPalmWord(LoadU16(p))); break;
    case pdtPSTime: value_.SetDateTime(codec::TimeFromPalmWord(LoadU16(p))); break;
    case pdtString:
    case pdtPSString: break;
  }
  TakeRaw(rest.first(width));
  taken = width;
  return true;
}

// Append clears every field of every record: the zero is set in place, in
// the kind the type's own setter would store it.
void TPDBField::ClearValue() {
  switch (type_) {
    case pdtByte:
    case pdtWord:
    case pdtInteger:
    case pdtPSInt8:
    case pdtPSInt16:
    case pdtPSInt32:
    case pdtPSUInt8:
    case pdtPSUInt16: value_.SetInteger(0); break;
    case pdtFloat:
    case pdtDouble:
    case pdtPSUInt32:
    case pdtPSSingle:
    case pdtPSDouble: value_.SetFloat(0); break;
    case pdtDate:
    case pdtPSDate:
    case pdtPSTime:
    case pdtPSDateTime: value_.SetDateTime(0); break;
    case pdtString:
    case pdtPSString: value_.SetText({}); break;
    case pdtPSBoolean: value_.SetBoolean(false); break;
  }
}

// ---------------------------------------------------------------------------
// The manager.

TPDBDataFields::TPDBDataFields(TComponent* owner) : TPDBEngine(owner, kDataFieldsMessages) {}

TPDBDataFields::~TPDBDataFields() { CloseOnDestroy(); }

void TPDBDataFields::Post() {
  if (!AppendMode()) RaisePDB(1, kMsgFieldsPostNotAppending);
  TPDBBaseMgr::Post();
}

void TPDBDataFields::Cancel() {
  if (!AppendMode()) RaisePDB(1, kMsgFieldsCancelNotAppending);
  TPDBBaseMgr::Cancel();
}

void TPDBDataFields::SetRecCategory(std::uint8_t Value) {
  if (Value > 15) RaisePDB(1, kMsgFieldsCategoryTooLarge);
  TPDBBaseMgr::SetRecCategory(Value);
}

void TPDBDataFields::WriteRawRecord() {
  CheckRoomForRecord(1);
  CheckRecordSize(CurrentRecord().size(), 2);
  RecordList().push_back(EntryFromCurrent(false));
  SetRecordCount(static_cast<std::uint16_t>(RecordCount() + 1));
}

void TPDBDataFields::WriteRawRecord(std::span<const std::uint8_t> bytes) {
  CheckRoomForRecord(1);
  CheckRecordSize(bytes.size(), 2);
  RecordList().push_back(CopiedEntry(bytes));
  SetRecordCount(static_cast<std::uint16_t>(RecordCount() + 1));
}

void TPDBDataFields::ReplaceRecord(const Bytes* OldBlock, std::shared_ptr<const Bytes> NewBlock) {
  if (OldBlock == nullptr) return;
  if (NewBlock) CheckRecordSize(NewBlock->size(), 1);
  for (TRecordEntry& e : RecordList()) {
    if (e.Data.get() == OldBlock) {
      e.DataLength = NewBlock ? static_cast<std::int32_t>(NewBlock->size()) : 0;
      e.Data = std::move(NewBlock);
      return;
    }
  }
}

void TPDBDataFields::UnallocateCustom() {
  TPDBEngine::UnallocateCustom();
  Fields().Clear();
}

void TPDBDataFields::FlushAllData(bool WriteCategory) {
  // Files of this manager never carry a sort-info block (the block would be
  // released on closing anyway), and their seed is 0; the component keeps its
  // own seed for the next database.
  SetSortInfoP(Bytes());
  const std::uint32_t seed = GetUniqueIDSeed();
  SetUniqueIDSeed(0);
  try {
    TPDBBaseMgr::FlushAllData(WriteCategory);
  } catch (...) {
    SetUniqueIDSeed(seed);
    throw;
  }
  SetUniqueIDSeed(seed);
}

}  // namespace corvane
