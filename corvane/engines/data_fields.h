// The generic typed-record manager: reads and writes records whose layout the
// caller describes with fields of one general type set, a union of a small
// general set (byte, word, integer, float, double, date, string) and the
// PocketStudio-style set (boolean, signed and unsigned 8/16/32-bit integers,
// Palm date and time words, seconds since 1904, string, single, double).
//
// Record layout: the fields in order, nothing between them, numbers
// big-endian. pdtDate and pdtPSDateTime are unsigned 32-bit counts of seconds
// since 1904-01-01 00:00 (0: no date; a date before 1904 is written as 0);
// pdtPSDate is the word (year - 1904) * 512 + month * 32 + day (0: no date);
// pdtPSTime the word hour * 256 + minute; pdtPSBoolean one byte (FF true);
// the text types are the text and a zero byte, or with Size = n >= 1 exactly
// n bytes of text (cut, or filled with zero bytes) and a zero byte.
//
// Unlike the engines, the manager forgets its field definitions whenever a
// database is closed, so they are defined anew for each database; and the
// files it writes have no sort-info block and a unique ID seed of 0.
//
// Threads: one manager for one thread at a time; distinct managers may work
// in distinct threads at once (the rule in pdb/corvane.h).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "corvane/engines/frame.h"

namespace corvane {

enum TPDBFieldType : std::uint8_t {
  pdtByte,
  pdtWord,
  pdtInteger,
  pdtFloat,
  pdtDouble,
  pdtDate,
  pdtString,
  pdtPSBoolean,
  pdtPSInt8,
  pdtPSInt16,
  pdtPSInt32,
  pdtPSUInt8,
  pdtPSUInt16,
  pdtPSUInt32,
  pdtPSDate,
  pdtPSTime,
  pdtPSDateTime,
  pdtPSString,
  pdtPSSingle,
  pdtPSDouble,
};
inline constexpr int kPDBFieldTypeCount = 20;

class TPDBField : public TPDBTypedField<TPDBField, TPDBFieldType, pdtString> {
 public:
  // The two text types only: 0 (or less) for variable length, n > 0 for a
  // text of n bytes; every other type ignores the call.
  void SetSize(std::int32_t Value);

  std::uint8_t GetAsByte() const;
  void SetAsByte(std::uint8_t Value);
  std::uint16_t GetAsWord() const;
  void SetAsWord(std::uint16_t Value);
  std::int32_t GetAsInteger() const;
  void SetAsInteger(std::int32_t Value);
  float GetAsFloat() const;
  void SetAsFloat(float Value);
  double GetAsDouble() const;
  void SetAsDouble(double Value);
  TDateTime GetAsDateTime() const;
  void SetAsDateTime(TDateTime Value);
  std::string GetAsString() const;
  void SetAsString(const std::string& Value);
  std::int8_t GetAsPSInt8() const;
  void SetAsPSInt8(std::int8_t Value);
  std::int16_t GetAsPSInt16() const;
  void SetAsPSInt16(std::int16_t Value);
  std::int32_t GetAsPSInt32() const;
  void SetAsPSInt32(std::int32_t Value);
  std::uint8_t GetAsPSUInt8() const;
  void SetAsPSUInt8(std::uint8_t Value);
  std::uint16_t GetAsPSUInt16() const;
  void SetAsPSUInt16(std::uint16_t Value);
  // Held as a double, so the whole unsigned range survives.
  std::uint32_t GetAsPSUInt32() const;
  void SetAsPSUInt32(std::uint32_t Value);
  float GetAsPSSingle() const;
  void SetAsPSSingle(float Value);
  double GetAsPSDouble() const;
  void SetAsPSDouble(double Value);
  // The three date getters return the whole TDateTime; none strips a part.
  TDateTime GetAsPSDate() const;
  void SetAsPSDate(TDateTime Value);
  TDateTime GetAsPSTime() const;
  void SetAsPSTime(TDateTime Value);
  TDateTime GetAsPSDateTime() const;
  void SetAsPSDateTime(TDateTime Value);
  std::string GetAsPSString() const;
  void SetAsPSString(const std::string& Value);
  bool GetAsPSBoolean() const;
  void SetAsPSBoolean(bool Value);

  // The record frame's side (frame.h).
  static std::int32_t TypeWidth(TPDBFieldType type) noexcept;
  static Variant ZeroOf(TPDBFieldType type);
  std::int64_t RecordWidth() const;
  void PackInto(std::uint8_t* out, std::size_t width) const;
  bool SplitFrom(std::span<const std::uint8_t> rest, std::size_t& taken);
  // The zero of the type through its own setter; the raw copy stays.
  void ClearValue();
};

class TPDBFields : public TPDBFieldsT<TPDBField> {
 public:
  using TPDBFieldsT::TPDBFieldsT;
};

// Built on the writing manager and the engine frame; what it does its own way
// is below: its messages, no open-mode check on raw records, ReplaceRecord,
// the emptied Fields and the writer's sort-info block and unique ID seed.
class TPDBDataFields : public TPDBEngine<TPDBFields> {
 public:
  explicit TPDBDataFields(TComponent* owner = nullptr);
  ~TPDBDataFields() override;

  // As the writing manager's, with this manager's messages (kMsgFieldsPostNotAppending,
  // kMsgFieldsCancelNotAppending).
  void Post();
  void Cancel();
  // Adds the current record as it is, sharing its block, in any open mode; or
  // a copy of `bytes`, with the current record's category, flags and unique ID.
  // Both raise EPDBException 1 kMsgTooManyRecords, 2 kMsgRecordTooLong.
  void WriteRawRecord();
  void WriteRawRecord(std::span<const std::uint8_t> bytes);
  // The first entry whose data is OldBlock gets NewBlock instead; nothing
  // happens when no entry holds OldBlock. OldBlock stays the caller's.
  void ReplaceRecord(const Bytes* OldBlock, std::shared_ptr<const Bytes> NewBlock);
  // Above 15 raises code 1 with kMsgFieldsCategoryTooLarge.
  void SetRecCategory(std::uint8_t Value);

 protected:
  // Releases the current record when reading, then forgets every field.
  void UnallocateCustom() override;
  // The writing manager's file, without a sort-info block and with unique ID seed 0.
  void FlushAllData(bool WriteCategory) override;
};

}  // namespace corvane
