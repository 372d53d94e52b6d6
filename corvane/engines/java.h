// The Java engine: records as a Java program on the handheld writes them with
// its data streams. The file carries no description of its fields: the caller
// defines Fields to match the records.
//
// Record layout: JByte one unsigned byte; JBoolean one byte (1 true, 0 false;
// any non-zero byte reads as true); JChar an unsigned 16-bit character code;
// JShort, JInt, JLong signed 16, 32 and 64-bit integers; JString an unsigned
// 16-bit byte count and that many bytes, without a zero byte; JDate a signed
// 64-bit count of milliseconds since 1970-01-01 00:00 (local time), written in
// whole seconds.
//
// The header name of a database written by this engine is the plain name, a
// hyphen and the creator ID ("Orders-ABCD"); the application-info block holds
// the plain name as 16-bit characters. Reading gives back the plain name.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "corvane/engines/frame.h"

namespace corvane {

enum TPDBJavaFieldType : std::uint8_t {
  JByte,
  JBoolean,
  JChar,
  JInt,
  JLong,
  JShort,
  JString,
  JDate,
};
inline constexpr int kJavaTypeCount = 8;
// The most bytes a JString can hold: its length is a 16-bit number.
inline constexpr std::size_t kJavaMaxStringBytes = 65535;

class TPDBJavaField : public TPDBTypedField<TPDBJavaField, TPDBJavaFieldType, JString> {
 public:
  bool GetAsBoolean() const;
  void SetAsBoolean(bool Value);
  std::uint8_t GetAsByte() const;
  void SetAsByte(std::uint8_t Value);
  // One character whose code is the low 8 bits of the value.
  std::string GetAsChar() const;
  // Stores the code of the text's first byte (0 for an empty text).
  void SetAsChar(const std::string& Value);
  // The whole 16-bit code, a Java char (a UTF-16 code unit).
  std::uint16_t GetAsCharCode() const;
  void SetAsCharCode(std::uint16_t Value);
  std::int32_t GetAsInt() const;
  void SetAsInt(std::int32_t Value);
  // Held as a 64-bit integer, so every value of the range reads back exactly.
  std::int64_t GetAsLong() const;
  void SetAsLong(std::int64_t Value);
  std::int16_t GetAsShort() const;
  void SetAsShort(std::int16_t Value);
  std::string GetAsString() const;
  void SetAsString(const std::string& Value);
  TDateTime GetAsDate() const;
  void SetAsDate(TDateTime Value);

  // The record frame's side (frame.h).
  static std::int32_t TypeWidth(TPDBJavaFieldType type) noexcept;
  static Variant ZeroOf(TPDBJavaFieldType type);
  std::int64_t RecordWidth() const;
  // A JString of more than 65535 bytes raises EPDBException(1, kMsgJavaStringTooLong).
  void PackInto(std::uint8_t* out, std::size_t width) const;
  bool SplitFrom(std::span<const std::uint8_t> rest, std::size_t& taken);
  void ClearValue();
};

class TPDBJavaFields : public TPDBFieldsT<TPDBJavaField> {
 public:
  using TPDBFieldsT::TPDBFieldsT;
};

class TPDBJava : public TPDBEngine<TPDBJavaFields> {
 public:
  explicit TPDBJava(TComponent* owner = nullptr);
  ~TPDBJava() override;

 protected:
  // Drops the "-<creator ID>" that this engine appends to the header name.
  void BuildDBName() override;
  // Decorates the header name and builds the application-info block; a
  // decorated name longer than 31 characters raises EPDBException(1, kMsgJavaHeaderNameTooLong)
  // before anything is written, leaving the database open.
  void BuildPDBInfo() override;
};

}  // namespace corvane
