// The AppForge engine. Its databases describe themselves: the
// application-info block holds, after the category table, the signature
// "APPFORG2", a table of the fields (name offsets and type codes), a table
// name and the field names. Opening a database replaces Fields (and
// DatabaseName, with the table name) with the file's; closing a database
// created through the engine writes them, and the header then carries the
// file name without its extension.
//
// Record layout: AFByte 1 byte unsigned; AFInteger 2 signed; AFLong 4 signed;
// AFSingle / AFDouble IEEE single / double; AFString the text and a zero byte;
// AFBoolean one byte, 255 for true (any non-zero byte reads as true); AFDate
// an unsigned 32-bit count of seconds since 1904-01-01 (0: no date);
// AFCurrency the amount times 10000 as a signed 64-bit integer.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "corvane/engines/frame.h"
#include "corvane/host/currency.h"

namespace corvane {

enum TPDBAFFieldType : std::uint8_t {
  AFByte,
  AFInteger,
  AFLong,
  AFSingle,
  AFString,
  AFBoolean,
  AFDate,
  AFDouble,
  AFCurrency,
};
inline constexpr int kAFTypeCount = 9;

class TPDBAFField : public TPDBTypedField<TPDBAFField, TPDBAFFieldType, AFString> {
 public:
  std::uint8_t GetAsAFByte() const;
  void SetAsAFByte(std::uint8_t Value);
  std::int16_t GetAsAFInteger() const;
  void SetAsAFInteger(std::int16_t Value);
  std::int32_t GetAsAFLong() const;
  void SetAsAFLong(std::int32_t Value);
  float GetAsAFSingle() const;
  void SetAsAFSingle(float Value);
  double GetAsAFDouble() const;
  void SetAsAFDouble(double Value);
  Currency GetAsAFCurrency() const;
  void SetAsAFCurrency(Currency Value);
  TDateTime GetAsAFDate() const;
  void SetAsAFDate(TDateTime Value);
  std::string GetAsAFString() const;
  void SetAsAFString(const std::string& Value);
  bool GetAsAFBoolean() const;
  void SetAsAFBoolean(bool Value);

  // The record frame's side (frame.h).
  static std::int32_t TypeWidth(TPDBAFFieldType type) noexcept;
  static Variant ZeroOf(TPDBAFFieldType type);
  std::int64_t RecordWidth() const;
  void PackInto(std::uint8_t* out, std::size_t width) const;
  bool SplitFrom(std::span<const std::uint8_t> rest, std::size_t& taken);
  void ClearValue();
};

class TPDBAFFields : public TPDBFieldsT<TPDBAFField> {
 public:
  using TPDBFieldsT::TPDBFieldsT;
};

class TPDBAppForge : public TPDBEngine<TPDBAFFields> {
 public:
  explicit TPDBAppForge(TComponent* owner = nullptr);
  ~TPDBAppForge() override;

  // The field block starts with the category table, written from the
  // manager's categories: a second table before it would hide the fields, so
  // true is refused (code 1).
  void SetWriteCategory(bool value) override;

  // Where the header's database name comes from when the file is written:
  // the file name up to its first dot (true, at first: what the runtime looks
  // the database up by), or DatabaseName, the table name the field block
  // holds as well (false), so that the header and the block agree.
  bool NameFromFile() const noexcept { return name_from_file_; }
  void SetNameFromFile(bool value) noexcept { name_from_file_ = value; }

 protected:
  void GetFieldsDefinition() override;
  void BuildPDBInfo() override;

 private:
  bool name_from_file_ = true;
};

namespace appforge {
// Offsets inside the application-info block.
inline constexpr std::size_t kSignatureAt = 276;
inline constexpr std::size_t kFieldTableAt = 300;
inline constexpr std::size_t kFieldEntrySize = 6;
}  // namespace appforge

}  // namespace corvane
