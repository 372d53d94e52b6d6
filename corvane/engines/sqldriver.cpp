#include "corvane/engines/sqldriver.h"

#include <cstring>

#include "corvane/engines/record_codec.h"
#include "corvane/foundation/byte_order.h"
#include "corvane/foundation/message_ids.h"
#include "corvane/host/hooks.h"
#include "corvane/pdb/file_format.h"

namespace corvane {

namespace {

constexpr TEngineMessages kSQLMessages{kMsgSQLNoFieldsInStructure, kMsgSQLNoFieldWithName,
                                       kMsgSQLRecordMismatch,      kMsgSQLNotOpen,
                                       kMsgSQLNotOpenForWrite,     kMsgSQLNoFieldsSpecified};
constexpr TypeMask kIntegers = Types({PDShort, PDInt, PDLong});

std::size_t Slots(std::int32_t size) noexcept { return size > 0 ? static_cast<std::size_t>(size) : 0; }

}  // namespace

std::uint32_t SQLDriverNameHash(std::string_view Name) noexcept {
  std::uint32_t h = 0;
  for (char c : Name) {
    auto b = static_cast<unsigned char>(c);
    if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b - 'A' + 'a');
    h = h * 31u + b;
  }
  return h;
}

// ---------------------------------------------------------------------------
// Accessors.

void TPDBSQLDriverField::SetSize(std::int32_t Value) {
  if (type_ != PDChar) return;
  if (Value < 1 || Value > kSQLDriverMaxSlots + 1) {
    size_ = 2;
  } else if (Value % 2 != 0) {
    size_ = 2;
    ShowErrorBox(std::string(kSQLDriverOddSizeMessage));
  } else {
    size_ = Value;
  }
}

std::string TPDBSQLDriverField::GetAsChar() const {
  Require(TypeBit(PDChar), kMsgSQLGetAsCharWrongType);
  return value_.AsString();
}
void TPDBSQLDriverField::SetAsChar(const std::string& Value) { value_.SetText(Value); }
std::int16_t TPDBSQLDriverField::GetAsShort() const {
  Require(TypeBit(PDShort), kMsgSQLGetAsShortWrongType);
  return static_cast<std::int16_t>(value_.AsInt64());
}
void TPDBSQLDriverField::SetAsShort(std::int16_t Value) {
  Require(kIntegers, kMsgSQLSetAsShortWrongType);
  value_.SetInteger(Value);
}
std::int32_t TPDBSQLDriverField::GetAsInt() const {
  Require(Types({PDShort, PDInt}), kMsgSQLGetAsIntWrongType);
  return value_.AsInteger();
}
void TPDBSQLDriverField::SetAsInt(std::int32_t Value) {
  Require(Types({PDInt, PDLong}), kMsgSQLSetAsIntWrongType);
  value_.SetInteger(Value);
}
std::int64_t TPDBSQLDriverField::GetAsLong() const {
  Require(TypeBit(PDLong), kMsgSQLGetAsLongWrongType);
  return codec::TruncToInt64(value_);
}
void TPDBSQLDriverField::SetAsLong(std::int64_t Value) {
  Require(TypeBit(PDLong), kMsgSQLSetAsLongWrongType);
  value_.SetInteger(Value);
}
float TPDBSQLDriverField::GetAsFloat() const {
  Require(Types({PDShort, PDInt, PDFloat}), kMsgSQLGetAsFloatWrongType);
  return static_cast<float>(value_.AsDouble());
}
void TPDBSQLDriverField::SetAsFloat(float Value) {
  Require(Types({PDFloat, PDDouble}), kMsgSQLSetAsFloatWrongType);
  value_.SetFloat(static_cast<double>(Value));
}
double TPDBSQLDriverField::GetAsDouble() const {
  Require(TypeRange(PDShort, PDDouble), kMsgSQLDoubleWrongType);
  return value_.AsDouble();
}
void TPDBSQLDriverField::SetAsDouble(double Value) {
  Require(TypeBit(PDDouble), kMsgSQLDoubleWrongType);
  value_.SetFloat(Value);
}

// ---------------------------------------------------------------------------
// The record frame's side.

std::int32_t TPDBSQLDriverField::TypeWidth(TPDBSQLDriverFieldType type) noexcept {
  switch (type) {
    case PDChar:
    case PDShort: return 2;
    case PDInt:
    case PDFloat: return 4;
    case PDLong:
    case PDDouble: return 8;
  }
  return 0;
}

Variant TPDBSQLDriverField::ZeroOf(TPDBSQLDriverFieldType type) {
  switch (type) {
    case PDChar: return Variant(std::string());
    case PDFloat:
    case PDDouble: return Variant(Currency{});
    default: return Variant(0);
  }
}

// A PDChar's width depends on Size only, never on its text.
std::int64_t TPDBSQLDriverField::RecordWidth() const {
  if (type_ == PDChar) return 2 + 2 * static_cast<std::int64_t>(Slots(size_));
  return TypeWidth(type_);
}

void TPDBSQLDriverField::PackInto(std::uint8_t* out, std::size_t) const {
  switch (type_) {
    case PDChar: {
      std::string scratch;
      const std::string_view text = TextValue(scratch);
      const std::size_t slots = Slots(size_);
      // The length word holds the whole text's length (cut to 16 bits), even
      // when only its first Size bytes fit in the slots.
      StoreU16(out, static_cast<std::uint16_t>(text.size()));
      for (std::size_t i = 0; i < slots; ++i) {
        StoreU16(out + 2 + 2 * i, i < text.size() ? static_cast<unsigned char>(text[i]) : 0);
      }
      break;
    }
    case PDShort: StoreU16(out, static_cast<std::uint16_t>(IntValue())); break;
    case PDInt: StoreU32(out, static_cast<std::uint32_t>(Int32Value())); break;
    case PDLong: StoreU64(out, static_cast<std::uint64_t>(codec::TruncToInt64(value_))); break;
    case PDFloat: StoreFloat(out, static_cast<float>(FloatValue())); break;
    case PDDouble: StoreDouble(out, FloatValue()); break;
  }
}

bool TPDBSQLDriverField::SplitFrom(std::span<const std::uint8_t> rest, std::size_t& taken) {
  const auto width = static_cast<std::size_t>(RecordWidth());
  if (width > rest.size()) return false;
  const std::uint8_t* p = rest.data();
  switch (type_) {
    case PDChar: {
      // The length word is not used: a slot of 0 is skipped, not an end.
      // Usual widths gather the text on the stack, so that setting it reuses
      // the value's storage instead of allocating a string per record.
      const std::size_t slots = Slots(size_);
      char small[256];
      std::string large;
      char* text = small;
      if (slots > sizeof small) {
        large.resize(slots);
        text = large.data();
      }
      std::size_t n = 0;
      for (std::size_t i = 0; i < slots; ++i) {
        const std::uint16_t slot = LoadU16(p + 2 + 2 * i);
        if (slot != 0) text[n++] = static_cast<char>(slot & 0xFF);
      }
      value_.SetText(std::string_view(text, n));
      break;
    }
    case PDShort: value_.SetInteger(static_cast<std::int16_t>(LoadU16(p))); break;
    case PDInt: value_.SetInteger(static_cast<std::int32_t>(LoadU32(p))); break;
    case PDLong: value_.SetInteger(static_cast<std::int64_t>(LoadU64(p))); break;
    case PDFloat: value_.SetFloat(static_cast<double>(LoadFloat(p))); break;
    case PDDouble: value_.SetFloat(LoadDouble(p)); break;
  }
  TakeRaw(rest.first(width));
  taken = width;
  return true;
}

// Append clears every field of every record: the zero is set in place, in
// the kind the type's own setter would store it.
void TPDBSQLDriverField::ClearValue() {
  ReleaseRaw();
  switch (type_) {
    case PDChar: value_.SetText({}); break;
    case PDShort:
    case PDInt:
    case PDLong: value_.SetInteger(0); break;
    case PDFloat:
    case PDDouble: value_.SetFloat(0); break;
  }
}

// ---------------------------------------------------------------------------
// The engine.

TPDBSQLDriver::TPDBSQLDriver(TComponent* owner) : TPDBEngine(owner, kSQLMessages) {
  TPDBSQLDriverField& row_id = Fields().Add();
  row_id.SetFieldName("RowID");
  row_id.SetDataType(PDInt);
}

TPDBSQLDriver::~TPDBSQLDriver() { CloseOnDestroy(); }

std::uint16_t TPDBSQLDriver::FixRecordCount(std::uint16_t Count) {
  no_records_ = Count == 0;
  return Count == 0 ? 0 : static_cast<std::uint16_t>(Count - 1);
}

void TPDBSQLDriver::GetFieldsDefinition() {
  if (!no_records_) return;
  // Without its structure record the file is no table of this driver.
  no_records_ = false;
  CloseDatabase();
  RaisePDB(11, kMsgSQLNoStructureRecord);
}

void TPDBSQLDriver::SetFieldValues() {
  // The structure record takes one place in the record list too.
  if (static_cast<std::size_t>(RecordCount()) + 1 >= pdb::kMaxRecords)
    RaisePDB(2, kMsgTooManyRecords);
  FieldByName("RowID").SetAsInt(static_cast<std::int32_t>(RecordCount()) + 1);
}

void TPDBSQLDriver::BuildFirstRecord() {
  const auto& fields = Fields();
  const auto n = static_cast<std::size_t>(fields.Count());
  Bytes block(8 + 13 * n, 0);
  std::uint8_t* p = block.data();
  StoreU32(p, static_cast<std::uint32_t>(RecordCount()) + 1);
  StoreU16(p + 4, static_cast<std::uint16_t>(n));
  std::size_t i = 0;
  for (const TPDBSQLDriverField& f : fields) {
    StoreU32(p + 6 + 4 * i, SQLDriverNameHash(f.FieldName()));
    StoreU32(p + 6 + 4 * n + 4 * i, static_cast<std::uint32_t>(f.DataType()));
    StoreU32(p + 6 + 8 * n + 4 * i, f.DataType() == PDChar ? static_cast<std::uint32_t>(f.Size()) : 0);
    ++i;
  }
  // The record goes out as a plain one, whatever the last row's category,
  // flags and unique ID were: a delete flag left from that row would keep the
  // structure record out of the file.
  SetRecCategory(0);
  SetRecFlags(TRecFlags());
  SetRecUniqueID(0);
  SetCurrentRecord(std::move(block));
  WriteRawRecordFirst();
}

}  // namespace corvane
