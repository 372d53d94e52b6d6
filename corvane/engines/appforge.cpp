#include "corvane/engines/appforge.h"

#include <cstring>
#include <vector>

#include "corvane/engines/record_codec.h"
#include "corvane/foundation/byte_order.h"
#include "corvane/foundation/message_ids.h"
#include "corvane/pdb/file_format.h"

namespace corvane {

namespace {

constexpr TEngineMessages kAFMessages{kMsgAFNoFieldsInStructure, kMsgAFNoFieldWithName,
                                      kMsgAFRecordMismatch,      kMsgAFNotOpen,
                                      kMsgAFNotOpenForWrite,     kMsgAFNoFieldsSpecified};

constexpr TypeMask kNumeric = Types({AFByte, AFInteger, AFLong, AFSingle, AFDouble, AFCurrency});

}  // namespace

// ---------------------------------------------------------------------------
// Accessors: a setter stores its argument's own kind; a getter converts as
// PackInto converts for a field of the getter's type.

std::uint8_t TPDBAFField::GetAsAFByte() const {
  Require(TypeBit(AFByte), kMsgAFGetAsAFByteWrongType);
  return static_cast<std::uint8_t>(value_.AsInt64());
}
void TPDBAFField::SetAsAFByte(std::uint8_t Value) {
  Require(kNumeric, kMsgAFSetAsAFByteWrongType);
  value_.SetInteger(Value);
}
std::int16_t TPDBAFField::GetAsAFInteger() const {
  Require(TypeBit(AFInteger), kMsgAFGetAsAFIntegerWrongType);
  return static_cast<std::int16_t>(value_.AsInt64());
}
void TPDBAFField::SetAsAFInteger(std::int16_t Value) {
  Require(Types({AFInteger, AFLong, AFSingle, AFDouble, AFCurrency}),
          kMsgAFSetAsAFIntegerWrongType);
  value_.SetInteger(Value);
}
std::int32_t TPDBAFField::GetAsAFLong() const {
  Require(TypeBit(AFLong), kMsgAFGetAsAFLongWrongType);
  return static_cast<std::int32_t>(value_.AsInt64());
}
void TPDBAFField::SetAsAFLong(std::int32_t Value) {
  Require(Types({AFLong, AFSingle, AFDouble, AFCurrency}), kMsgAFSetAsAFLongWrongType);
  value_.SetInteger(Value);
}
float TPDBAFField::GetAsAFSingle() const {
  Require(Types({AFByte, AFInteger, AFLong, AFSingle}), kMsgAFGetAsAFSingleWrongType);
  return static_cast<float>(value_.AsDouble());
}
void TPDBAFField::SetAsAFSingle(float Value) {
  Require(Types({AFSingle, AFDouble, AFCurrency}), kMsgAFSetAsAFSingleWrongType);
  value_.SetFloat(static_cast<double>(Value));
}
double TPDBAFField::GetAsAFDouble() const {
  Require(kNumeric, kMsgAFGetAsAFDoubleWrongType);
  return value_.AsDouble();
}
void TPDBAFField::SetAsAFDouble(double Value) {
  Require(Types({AFDouble, AFCurrency}), kMsgAFSetAsAFDoubleWrongType);
  value_.SetFloat(Value);
}
Currency TPDBAFField::GetAsAFCurrency() const {
  Require(kNumeric, kMsgAFGetAsAFCurrencyWrongType);
  return value_.AsCurrency();
}
void TPDBAFField::SetAsAFCurrency(Currency Value) {
  Require(Types({AFDouble, AFCurrency}), kMsgAFSetAsAFCurrencyWrongType);
  value_ = Variant(Value);
}
TDateTime TPDBAFField::GetAsAFDate() const {
  Require(TypeBit(AFDate), kMsgAFGetAsAFDateWrongType);
  return value_.AsDateTime();
}
void TPDBAFField::SetAsAFDate(TDateTime Value) {
  Require(TypeBit(AFDate), kMsgAFSetAsAFDateWrongType);
  value_.SetDateTime(Value);
}
std::string TPDBAFField::GetAsAFString() const { return value_.AsString(); }
void TPDBAFField::SetAsAFString(const std::string& Value) { value_.SetText(Value); }
bool TPDBAFField::GetAsAFBoolean() const {
  Require(TypeBit(AFBoolean), kMsgAFGetAsAFBooleanWrongType);
  return value_.AsBoolean();
}
void TPDBAFField::SetAsAFBoolean(bool Value) {
  Require(TypeBit(AFBoolean), kMsgAFSetAsAFBooleanWrongType);
  value_.SetBoolean(Value);
}

// ---------------------------------------------------------------------------
// The record frame's side.

std::int32_t TPDBAFField::TypeWidth(TPDBAFFieldType type) noexcept {
  switch (type) {
    case AFByte: return 1;
    case AFInteger: return 2;
    case AFLong: return 4;
    case AFSingle: return 4;
    case AFString: return 0;
    case AFBoolean: return 1;
    case AFDate: return 4;
    case AFDouble: return 8;
    case AFCurrency: return 8;
  }
  return 0;
}

Variant TPDBAFField::ZeroOf(TPDBAFFieldType type) {
  switch (type) {
    case AFString: return Variant(std::string());
    case AFBoolean: return Variant(false);
    default: return Variant(0);
  }
}

std::int64_t TPDBAFField::RecordWidth() const {
  if (type_ == AFString) {
    std::string scratch;
    return static_cast<std::int64_t>(codec::StoredText(TextValue(scratch)).size()) + 1;
  }
  return size_;
}

void TPDBAFField::PackInto(std::uint8_t* out, std::size_t width) const {
  switch (type_) {
    case AFByte: out[0] = static_cast<std::uint8_t>(IntValue()); break;
    case AFInteger: StoreU16(out, static_cast<std::uint16_t>(IntValue())); break;
    case AFLong: StoreU32(out, static_cast<std::uint32_t>(IntValue())); break;
    case AFSingle: StoreFloat(out, static_cast<float>(FloatValue())); break;
    case AFString: {
      std::string scratch;
      codec::PackZeroEnded(out, TextValue(scratch), width);
      break;
    }
    case AFBoolean: out[0] = value_.AsBoolean() ? 255 : 0; break;
    case AFDate: StoreU32(out, codec::PalmSecondsFromDateTime(DateValue())); break;
    case AFDouble: StoreDouble(out, FloatValue()); break;
    case AFCurrency: StoreU64(out, static_cast<std::uint64_t>(value_.AsCurrency().value)); break;
  }
}

bool TPDBAFField::SplitFrom(std::span<const std::uint8_t> rest, std::size_t& taken) {
  if (type_ == AFString) {
    std::string_view text;
    if (!codec::ReadZeroTerminated(rest, text)) return false;
    taken = text.size() + 1;
    TakeRaw(rest.first(taken));
    value_.SetText(text);
    return true;
  }
  const auto width = static_cast<std::size_t>(size_);
  if (width > rest.size()) return false;
  const std::uint8_t* p = rest.data();
  TakeRaw(rest.first(width));
  switch (type_) {
    case AFByte: value_.SetInteger(p[0]); break;
    case AFInteger: value_.SetInteger(static_cast<std::int16_t>(LoadU16(p))); break;
    case AFLong: value_.SetInteger(static_cast<std::int32_t>(LoadU32(p))); break;
    case AFSingle: value_.SetFloat(static_cast<double>(LoadFloat(p))); break;
    case AFBoolean: value_.SetBoolean(p[0] != 0); break;
    case AFDate: value_.SetDateTime(codec::DateTimeFromPalmSeconds(LoadU32(p))); break;
    case AFDouble: value_.SetFloat(LoadDouble(p)); break;
    case AFCurrency:
      value_ = Variant(Currency::FromRaw(static_cast<std::int64_t>(LoadU64(p))));
      break;
    case AFString: break;
  }
  taken = width;
  return true;
}

// Append clears every field of every record: the zero is set in place, in
// the kind the type's own setter would store it.
void TPDBAFField::ClearValue() {
  ReleaseRaw();
  switch (type_) {
    case AFByte:
    case AFInteger:
    case AFLong: value_.SetInteger(0); break;
    case AFSingle:
    case AFDouble: value_.SetFloat(0); break;
    case AFString: value_.SetText({}); break;
    case AFBoolean: value_.SetBoolean(false); break;
    case AFDate: value_.SetDateTime(0); break;
    case AFCurrency: value_ = Variant(Currency{}); break;
  }
}

// ---------------------------------------------------------------------------
// The engine.

TPDBAppForge::TPDBAppForge(TComponent* owner) : TPDBEngine(owner, kAFMessages) {}

TPDBAppForge::~TPDBAppForge() { CloseOnDestroy(); }

namespace {

// The zero-terminated text at `at` inside the block; false when `at` or the
// text's zero byte lies outside it.
bool TextInBlock(std::span<const std::uint8_t> block, std::size_t at, std::string& out) {
  if (at >= block.size()) return false;
  std::string_view text;
  if (!codec::ReadZeroTerminated(block.subspan(at), text)) return false;
  out.assign(text);
  return true;
}

}  // namespace

void TPDBAppForge::SetWriteCategory(bool value) {
  if (value) RaisePDB(1, kMsgAFOwnCategoryTable);
  TPDBEngine::SetWriteCategory(value);
}

void TPDBAppForge::GetFieldsDefinition() {
  using namespace appforge;
  ReadCategories();
  std::span<const std::uint8_t> block;
  std::int32_t length = 0;
  GetAppInfoP(block, length);

  // Everything is read and checked before anything changes, so a damaged
  // block leaves the caller's field definitions and name as they were.
  if (block.size() < kFieldTableAt) RaisePDB(6, kMsgAppInfoUnreadable);
  std::string table_name;
  if (!TextInBlock(block, kSignatureAt + LoadU16(block.data() + 290), table_name)) {
    RaisePDB(6, kMsgAppInfoUnreadable);
  }
  const std::size_t n = LoadU16(block.data() + 292);
  if (block.size() < kFieldTableAt + kFieldEntrySize * n) RaisePDB(6, kMsgAppInfoUnreadable);
  struct Definition {
    std::string name;
    TPDBAFFieldType type;
  };
  std::vector<Definition> defs(n);
  for (std::size_t i = 0; i < n; ++i) {
    const std::uint8_t* entry = block.data() + kFieldTableAt + kFieldEntrySize * i;
    if (!TextInBlock(block, kSignatureAt + LoadU16(entry), defs[i].name))
      RaisePDB(6, kMsgAppInfoUnreadable);
    const unsigned code = LoadU16(entry + 2);
    if (code < 1 || code > kAFTypeCount) RaisePDB(7, kMsgAFFieldTypeInvalid);
    defs[i].type = static_cast<TPDBAFFieldType>(code - 1);
  }

  SetDBName(table_name);
  Fields().BeginUpdate();
  Fields().Clear();
  for (const Definition& d : defs) {
    TPDBAFField& f = Fields().Add();
    f.SetFieldName(d.name);
    f.SetDataType(d.type);
  }
  Fields().EndUpdate();
}

void TPDBAppForge::BuildPDBInfo() {
  using namespace appforge;
  if (!isOpen()) return;
  const std::string table_name = DatabaseName();
  const std::size_t n = static_cast<std::size_t>(Fields().Count());
  std::size_t names = table_name.size() + 1;
  for (const TPDBAFField& f : Fields()) names += f.FieldName().size() + 1;
  const std::size_t length = kFieldTableAt + kFieldEntrySize * n + names;
  // Lengths and offsets of the field table are 16-bit words counted from 276.
  if (length - kSignatureAt > 0xFFFF) RaisePDB(1, kMsgAFFieldTableTooLarge);

  if (name_from_file_) {
    const std::string& file = PDBFilename();
    SetDBName(file.substr(0, file.find('.')));
  }

  Bytes block(length, 0);
  if (!CategoryNames()) InitializeCategory();
  pdb::EncodeCategoryTable(*CategoryNames(), std::span<const std::uint8_t, 17>(*CategoryIDs()),
                           std::span<std::uint8_t, pdb::kCategoryTableSize>(block.data(),
                                                                            pdb::kCategoryTableSize));
  block[0] = block[1] = 0;
  block[274] = (*CategoryIDs())[15];
  block[275] = 0;
  std::memcpy(block.data() + kSignatureAt, "APPFORG2", 8);
  const std::size_t table_at = 24 + kFieldEntrySize * n;  // counted from 276
  StoreU16(block.data() + 288, static_cast<std::uint16_t>(length - kSignatureAt));
  StoreU16(block.data() + 290, static_cast<std::uint16_t>(table_at));
  StoreU16(block.data() + 292, static_cast<std::uint16_t>(n));
  StoreU16(block.data() + 294, 10);
  std::memcpy(block.data() + kSignatureAt + table_at, table_name.data(), table_name.size());
  std::size_t name_at = table_at + table_name.size() + 1;
  std::size_t i = 0;
  for (const TPDBAFField& f : Fields()) {
    std::uint8_t* entry = block.data() + kFieldTableAt + kFieldEntrySize * i++;
    StoreU16(entry, static_cast<std::uint16_t>(name_at));
    StoreU16(entry + 2, static_cast<std::uint16_t>(f.DataType() + 1));
    const std::string& name = f.FieldName();
    std::memcpy(block.data() + kSignatureAt + name_at, name.data(), name.size());
    name_at += name.size() + 1;
  }
  SetAppInfoP(std::move(block));
}

}  // namespace corvane
