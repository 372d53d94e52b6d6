// The frame every typed-record engine is built on.
//
// An engine turns the raw records of a PDB file into named, typed field values
// and back. What engines share lives here, once; an engine file holds only its
// type set, its typed accessors (accepted types and message ids) and its
// encodings.
//
// Threads: an engine is one object, for one thread at a time; distinct
// engines may work in distinct threads at once (the rule in pdb/corvane.h).
//
// The pieces, from the bottom up:
//
//   TPDBBaseField            a field definition: FieldName, the current value
//                            (a Variant), Size (its width in a record; 0 for
//                            variable-length text) and the raw copy (the
//                            field's bytes as last taken from a record).
//   TPDBTypedField<D, E, d>  adds DataType of the engine's enumeration E (new
//                            items get d), SetDataType (drops the raw copy,
//                            sets Size and the zero value from D's type
//                            table), Assign between items of the same class,
//                            and Require(mask, id) for the accessors' checks.
//   TPDBFieldsT<Field>       the owned collection: Add (a new item whose value
//                            is empty text), GetItem, SetItem, iteration.
//   TPDBEngine<Fields>       a TPDBBaseMgr that owns its Fields and gives
//                            Append, FieldByName, and the hooks UnallocateCustom,
//                            CalcFields, PackFields, SplitFields, ClearFields.
//
// What an engine's field class D (derived from TPDBTypedField) provides:
//
//   static std::int32_t TypeWidth(E type);   // Size that SetDataType gives
//   static Variant ZeroOf(E type);           // value that SetDataType gives
//   std::int64_t RecordWidth() const;        // bytes the current value takes
//   void PackInto(std::uint8_t* out, std::size_t width) const;
//        // writes exactly `width` bytes: RecordWidth() as measured for the
//        // current value (a text is not measured a second time); never reads
//        // past the value whatever `width` says
//   bool SplitFrom(std::span<const std::uint8_t> rest, std::size_t& taken);
//        // takes the field's raw copy and value from the start of `rest`;
//        // false (nothing changed) when its bytes are not all inside `rest`
//   void ClearValue();                       // what ClearFields does to it
//
// The record helpers CalcRecordLength, PackRecord, SplitRecord, ClearRecord and
// FindFieldByName work on any collection of such fields, so a manager that is
// not a TPDBBaseMgr (the generic typed-record manager) can use them too.
// An engine measures every field once per record: CalcFields keeps the widths
// and PackFields packs with them.
//
// Record layout shared by every engine: the fields in collection order from
// offset 0, nothing between them, every multi-byte number big-endian. A split
// never reads outside the bytes of the current record: a record that is short
// (or deleted, and so has no bytes) raises the engine's "Record is not stored
// as detailed in Fields structure!" with code 1, leaving the fields before the
// failing one with their new values and the rest as they were.
//
// Destruction: the frame's destructor closes an open database, but each
// concrete engine must close it in its own destructor too (CloseOnDestroy),
// because C++ runs the hooks of the class being destroyed, and an engine's own
// BuildPDBInfo or BuildFirstRecord must take part in writing the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "corvane/foundation/exception.h"
#include "corvane/foundation/types.h"
#include "corvane/host/collection.h"
#include "corvane/host/variant.h"
#include "corvane/pdb/base_mgr.h"

namespace corvane {

// ---------------------------------------------------------------------------
// Sets of data types, for the accessors' checks: bit i stands for ordinal i.
using TypeMask = std::uint32_t;

template <class E>
constexpr TypeMask TypeBit(E type) noexcept {
  const auto ordinal = static_cast<unsigned>(type);
  return ordinal < 32 ? (TypeMask{1} << ordinal) : 0;
}

template <class E>
constexpr TypeMask Types(std::initializer_list<E> types) noexcept {
  TypeMask m = 0;
  for (E t : types) m |= TypeBit(t);
  return m;
}

// Every ordinal from `first` to `last`, both included.
template <class E>
constexpr TypeMask TypeRange(E first, E last) noexcept {
  TypeMask m = 0;
  for (auto i = static_cast<unsigned>(first); i <= static_cast<unsigned>(last); ++i) m |= TypeMask{1} << i;
  return m;
}

// ---------------------------------------------------------------------------
// The message ids of the frame's checks, one set per engine.
struct TEngineMessages {
  int NoFieldsInStructure;  // FieldByName, code 1: "There are no Fields in the structure!"
  int NoFieldWithName;      // FieldByName, code 2: "There are no Fields with this name!"
  int RecordMismatch;       // SplitFields, code 1: "Record is not stored as detailed in Fields structure!"
  int NotOpen;              // Append, code 1: "Database is not open!"
  int NotOpenForWrite;      // Append, code 2: "Database is not open for write!"
  int NoFieldsSpecified;    // Append, code 3: "There are no fields specified in Database!"
};

// ---------------------------------------------------------------------------
class TPDBBaseField : public TCollectionItem {
 public:
  const std::string& FieldName() const noexcept { return field_name_; }
  // Stores the name, then tells the collection that the display name changed.
  void SetFieldName(const std::string& Name);
  // FieldName when it is not empty; otherwise the collection item's default.
  std::string GetDisplayName() const override;
  void SetDisplayName(const std::string& value) override { SetFieldName(value); }

  std::int32_t Size() const noexcept { return size_; }
  // The current value, whatever kind it holds; the typed accessors convert it.
  const Variant& Value() const noexcept { return value_; }
  // The bytes last taken from a record (text fields: with their zero byte).
  // Value().AsInt64(), AsDouble() and AsDateTime(), inline for the kinds a
  // split stores: what typed getters and record views read per field.
  std::int64_t IntegerValue() const {
    if (const std::int64_t* i = value_.IntegerIf()) return *i;
    return value_.AsInt64();
  }
  double DoubleValue() const {
    if (const double* d = value_.FloatIf()) return *d;
    return value_.AsDouble();
  }
  TDateTime DateTimeValue() const {
    if (const double* d = value_.FloatIf()) return *d;
    return value_.AsDateTime();
  }
  std::span<const std::uint8_t> RawCopy() const noexcept { return raw_; }
  std::int32_t RawLength() const noexcept { return static_cast<std::int32_t>(raw_.size()); }

 protected:
  TPDBBaseField() = default;

  void ReleaseRaw() noexcept { raw_.clear(); }
  // The raw copy becomes `bytes` followed by zero bytes up to `total` bytes.
  // Reuses the block's storage, so walking a file does not allocate per field.
  // Inline: a split takes the raw copy of every field of every record.
  void TakeRaw(std::span<const std::uint8_t> bytes, std::size_t total) {
    raw_.assign(bytes.begin(), bytes.end());
    if (total > raw_.size()) raw_.resize(total, 0);
  }
  void TakeRaw(std::span<const std::uint8_t> bytes) {
    // A number's bytes into a copy of the same width (every split after the
    // first record): copies of known length, no library call.
    const std::size_t n = bytes.size();
    if (n == raw_.size()) {
      std::uint8_t* to = raw_.data();
      const std::uint8_t* from = bytes.data();
      switch (n) {
        case 1:
          to[0] = from[0];
          return;
        case 2:
          std::memcpy(to, from, 2);
          return;
        case 4:
          std::memcpy(to, from, 4);
          return;
        case 8:
          std::memcpy(to, from, 8);
          return;
        default:
          break;
      }
    }
    TakeRaw(bytes, n);
  }
  // Splits a text stored zero-ended (Size < 1) or in a slot of Size bytes
  // followed by its zero byte: the value, the raw copy (the whole slot) and the
  // bytes taken. False, with nothing changed, when the text is not all inside `rest`.
  bool SplitSizedText(std::span<const std::uint8_t> rest, std::size_t& taken);
  // The value as text, for measuring and packing: the held text itself, so a
  // record is packed without copying it, or for other kinds AsString's text,
  // kept in `scratch`.
  std::string_view TextValue(std::string& scratch) const {
    if (const std::string* t = value_.TextIf()) return *t;
    scratch = value_.AsString();
    return scratch;
  }
  // The value as AsInt64, AsInteger, AsDouble and AsDateTime give it, without
  // their call when it already holds that kind of number: packing converts
  // every field of every record.
  std::int64_t IntValue() const {
    if (const std::int64_t* i = value_.IntegerIf()) return *i;
    return value_.AsInt64();
  }
  std::int32_t Int32Value() const {
    const std::int64_t* i = value_.IntegerIf();
    if (i != nullptr && *i >= std::numeric_limits<std::int32_t>::min() &&
        *i <= std::numeric_limits<std::int32_t>::max()) {
      return static_cast<std::int32_t>(*i);
    }
    return value_.AsInteger();
  }
  double FloatValue() const {
    if (const double* d = value_.FloatIf()) return *d;
    return value_.AsDouble();
  }
  TDateTime DateValue() const {
    if (const double* d = value_.FloatIf()) return *d;
    return value_.AsDateTime();
  }
  // Name, value and Size (not the raw copy): what Assign copies.
  void CopyDefinition(const TPDBBaseField& from);

  Variant value_;
  std::int32_t size_ = 0;
  Bytes raw_;

 private:
  template <class F>
  friend class TPDBFieldsT;
  std::string field_name_;
};

// ---------------------------------------------------------------------------
template <class Derived, class E, E kDefaultType>
class TPDBTypedField : public TPDBBaseField {
 public:
  using TypeEnum = E;

  TPDBTypedField() { size_ = Derived::TypeWidth(kDefaultType); }

  E DataType() const noexcept { return type_; }
  // Drops the raw copy and resets Size and the value for the type, even when
  // the type does not change.
  void SetDataType(E Type) {
    ReleaseRaw();
    type_ = Type;
    size_ = Derived::TypeWidth(Type);
    value_ = Derived::ZeroOf(Type);
  }

  // From an item of the same field class: FieldName, DataType, value, Size.
  void Assign(const TPersistent& Source) override {
    if (const auto* f = dynamic_cast<const Derived*>(&Source)) {
      if (f == this) return;
      CopyDefinition(*f);
      type_ = f->DataType();
      return;
    }
    TPDBBaseField::Assign(Source);
  }

  bool Accepts(TypeMask mask) const noexcept { return (mask & TypeBit(type_)) != 0; }

 protected:
  // The accessors' type check: code 1 with `message_id` when refused.
  void Require(TypeMask mask, int message_id) const {
    if (!Accepts(mask)) RaisePDB(1, message_id);
  }

  E type_ = kDefaultType;
};

// ---------------------------------------------------------------------------
template <class F>
class TPDBFieldsT : public TOwnedCollection<F> {
 public:
  using Field = F;
  using TOwnedCollection<F>::TOwnedCollection;

  // A new item at the end: the default type and Size of a new item, empty text.
  F& Add() {
    F& f = TOwnedCollection<F>::Add();
    f.value_ = Variant(std::string());
    return f;
  }
};

// ---------------------------------------------------------------------------
// Record helpers over a collection of fields (see the top of this file).

// Letters a-z compare equal to A-Z; every other byte compares as itself.
bool SameFieldName(std::string_view a, std::string_view b) noexcept;

// Raises EPDBException 1 msg.NoFieldsInStructure, 2 msg.NoFieldWithName.
template <class Fields>
typename Fields::Field& FindFieldByName(Fields& fields, std::string_view Name,
                                        const TEngineMessages& msg) {
  if (fields.Count() == 0) RaisePDB(1, msg.NoFieldsInStructure);
  for (auto& f : fields) {
    if (SameFieldName(f.FieldName(), Name)) return f;
  }
  RaisePDB(2, msg.NoFieldWithName);
}

// Raised when values would make a record longer than its 32-bit length can
// describe (texts of gigabytes); no file could hold it.
// Raises EPDBException 3 kMsgRecordTooLong.
[[noreturn]] void RaiseRecordTooLong();
// Raised when a field wants more bytes than the block measured for it holds.
// Raises EConvertError.
[[noreturn]] void RaiseRecordOverrun();

// Raises EPDBException 3 kMsgRecordTooLong past 2^31 - 1 bytes.
// The record length PackRecord will fill.
template <class Fields>
std::int32_t CalcRecordLength(const Fields& fields) {
  std::int64_t total = 0;
  for (const auto& f : fields) {
    total += f.RecordWidth();
    if (total > std::numeric_limits<std::int32_t>::max()) RaiseRecordTooLong();
  }
  return static_cast<std::int32_t>(total);
}

// CalcRecordLength keeping each field's width in `widths` (its storage is
// reused from record to record).
// Raises EPDBException 3 kMsgRecordTooLong past 2^31 - 1 bytes.
template <class Fields>
std::int32_t MeasureRecord(const Fields& fields, std::vector<std::uint32_t>& widths) {
  widths.resize(static_cast<std::size_t>(fields.Count()));
  std::uint32_t* width = widths.data();
  std::int64_t total = 0;
  for (const auto& f : fields) {
    const std::int64_t w = f.RecordWidth();
    total += w;
    if (total > std::numeric_limits<std::int32_t>::max()) {
      widths.clear();
      RaiseRecordTooLong();
    }
    *width++ = static_cast<std::uint32_t>(w);
  }
  return static_cast<std::int32_t>(total);
}

// Raises EConvertError (RaiseRecordOverrun) and what a field's packing raises.
// Fills `out` (CalcRecordLength bytes for the same values) field after field.
template <class Fields>
void PackRecord(const Fields& fields, std::span<std::uint8_t> out) {
  std::size_t pos = 0;
  for (const auto& f : fields) {
    const auto width = static_cast<std::size_t>(f.RecordWidth());
    // Values changed since the block was measured would write past its end.
    if (width > out.size() - pos) RaiseRecordOverrun();
    f.PackInto(out.data() + pos, width);
    pos += width;
  }
}

// PackRecord with the widths MeasureRecord took for the same values; other
// widths (another number of fields, or more bytes than `out` holds) raise
// EConvertError (RaiseRecordOverrun) before anything is written past `out`.
template <class Fields>
void PackMeasuredRecord(const Fields& fields, std::span<const std::uint32_t> widths,
                        std::span<std::uint8_t> out) {
  if (widths.size() != static_cast<std::size_t>(fields.Count())) RaiseRecordOverrun();
  std::size_t pos = 0;
  const std::uint32_t* width = widths.data();
  for (const auto& f : fields) {
    if (*width > out.size() - pos) RaiseRecordOverrun();
    f.PackInto(out.data() + pos, *width);
    pos += *width++;
  }
}

// Raises EPDBException 1 mismatch_message when a field is not all inside the record.
// Gives the bytes the fields took (the rest of the record is unused).
template <class Fields>
std::size_t SplitRecord(Fields& fields, std::span<const std::uint8_t> record,
                        int mismatch_message) {
  std::size_t pos = 0;
  for (auto& f : fields) {
    std::size_t taken = 0;
    if (pos > record.size() || !f.SplitFrom(record.subspan(pos), taken)) {
      RaisePDB(1, mismatch_message);
    }
    pos += taken;
  }
  return pos;
}

template <class Fields>
void ClearRecord(Fields& fields) {
  for (auto& f : fields) f.ClearValue();
}

// ---------------------------------------------------------------------------
template <class FieldsT>
class TPDBEngine : public TPDBBaseMgr {
 public:
  using Field = typename FieldsT::Field;

  TPDBEngine(TComponent* owner, const TEngineMessages& messages)
      : TPDBBaseMgr(owner), messages_(messages), fields_(this) {}
  ~TPDBEngine() override { CloseOnDestroy(); }

  FieldsT& Fields() noexcept { return fields_; }
  const FieldsT& Fields() const noexcept { return fields_; }

  // The first field whose name equals `Name` without regard to case.
  // Raises EPDBException 1 NoFieldsInStructure, 2 NoFieldWithName of Messages().
  Field& FieldByName(std::string_view Name) { return FindFieldByName(fields_, Name, messages_); }

  // Starts a new record: checks, then the current record's category, flags
  // and unique ID become 0, empty, 0 and every field its zero.
  // Raises EPDBException 1 NotOpen, 2 NotOpenForWrite, 3 NoFieldsSpecified of Messages().
  void Append() {
    if (!isOpen()) RaisePDB(1, messages_.NotOpen);
    if (GetOpenMode() != dmModeWriteOnly) RaisePDB(2, messages_.NotOpenForWrite);
    if (fields_.Count() == 0) RaisePDB(3, messages_.NoFieldsSpecified);
    SetRecCategory(0);
    SetRecFlags(TRecFlags());
    SetRecUniqueID(0);
    ClearFields();
    SetAppendMode(true);
  }

  const TEngineMessages& Messages() const noexcept { return messages_; }

  // The bytes the fields took from `record` when it was last split whole;
  // nothing when the last split was of other bytes or failed. Lets a reader
  // learn what a record leaves unused without splitting it again.
  std::optional<std::size_t> SplitLength(std::span<const std::uint8_t> record) const noexcept {
    if (!split_whole_ || record.data() != split_data_ || record.size() != split_size_) {
      return std::nullopt;
    }
    return split_length_;
  }

 protected:
  void UnallocateCustom() override {
    if (GetOpenMode() == dmModeReadOnly) Free();
  }
  std::int32_t CalcFields() override { return MeasureRecord(fields_, widths_); }
  void PackFields() override { PackMeasuredRecord(fields_, widths_, PackBuffer()); }
  void SplitFields() override {
    const std::span<const std::uint8_t> record = CurrentRecord();
    split_whole_ = false;
    split_length_ = SplitRecord(fields_, record, messages_.RecordMismatch);
    split_data_ = record.data();
    split_size_ = record.size();
    split_whole_ = true;
  }
  void ClearFields() override { ClearRecord(fields_); }

 private:
  TEngineMessages messages_;
  FieldsT fields_;
  // What SplitLength answers from.
  bool split_whole_ = false;
  const std::uint8_t* split_data_ = nullptr;
  std::size_t split_size_ = 0;
  std::size_t split_length_ = 0;
  std::vector<std::uint32_t> widths_;  // of every field, as CalcFields measured them
};

}  // namespace corvane
