// The PocketStudio engine. The file carries no description of its fields: the
// caller defines Fields to match the records.
//
// Record layout: PSBoolean one byte (FF true, 00 false; any non-zero byte
// reads as true); PSInt8/16/32 and PSUInt8/16/32 signed and unsigned integers
// of that width; PSDate the Palm date word ((year - 1904) * 512 + month * 32 +
// day, 0: no date); PSTime the word hour * 256 + minute; PSDateTime an
// unsigned 32-bit count of seconds since 1904-01-01 (0: no date); PSString
// the text and a zero byte, or with Size >= 1 exactly Size bytes of text and a
// zero byte; PSSingle / PSDouble IEEE single / double; PSBinary an unsigned
// 16-bit length and that many bytes, kept in the field's raw copy.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "corvane/engines/frame.h"

namespace corvane {

enum TPDBPSFieldType : std::uint8_t {
  PSBoolean,
  PSInt8,
  PSInt16,
  PSInt32,
  PSUInt8,
  PSUInt16,
  PSUInt32,
  PSDate,
  PSTime,
  PSDateTime,
  PSString,
  PSSingle,
  PSDouble,
  PSBinary,
};
inline constexpr int kPSTypeCount = 14;
// The most bytes a PSBinary field, or a fixed-width PSString, holds.
inline constexpr std::int32_t kPSMaxBytes = 65505;

class TPDBPSField : public TPDBTypedField<TPDBPSField, TPDBPSFieldType, PSString> {
 public:
  // Only PSString takes a Size of its own (0: variable length; 1 to 65505:
  // fixed); for every other type the call is ignored.
  void SetSize(std::int32_t Value);

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
  bool GetAsPSBoolean() const;
  void SetAsPSBoolean(bool Value);
  std::string GetAsPSString() const;
  void SetAsPSString(const std::string& Value);
  // The bytes go to the raw copy (a copy of the caller's); at most 65505.
  void SetAsPSBinary(std::span<const std::uint8_t> Data);
  // A copy of the raw copy; empty when there is none.
  Bytes GetAsPSBinary() const;

  // The record frame's side (frame.h).
  static std::int32_t TypeWidth(TPDBPSFieldType type) noexcept;
  static Variant ZeroOf(TPDBPSFieldType type);
  std::int64_t RecordWidth() const;
  void PackInto(std::uint8_t* out, std::size_t width) const;
  bool SplitFrom(std::span<const std::uint8_t> rest, std::size_t& taken);
  void ClearValue();

 private:
  // A whole number in the kind the field's type holds: a float for PSUInt32,
  // PSSingle and PSDouble (so the whole unsigned range survives), else an integer.
  void StoreWhole(std::int64_t v);
};

class TPDBPSFields : public TPDBFieldsT<TPDBPSField> {
 public:
  using TPDBFieldsT::TPDBFieldsT;
};

class TPDBPocketStudio : public TPDBEngine<TPDBPSFields> {
 public:
  explicit TPDBPocketStudio(TComponent* owner = nullptr);
  ~TPDBPocketStudio() override;
};

}  // namespace corvane
