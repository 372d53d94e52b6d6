// The NS Basic engine. The file carries no description of its fields: the
// caller defines Fields to match the records.
//
// Record layout: NSBByte one unsigned byte; NSBShort 16 bits (read back
// unsigned); NSBInteger signed 32 bits; NSBFloat and NSBDouble IEEE double;
// NSBSingle IEEE single; NSBDate the decimal number (year - 1900) * 10000 +
// month * 100 + day and NSBTime the decimal number hour * 10000 + minute *
// 100 + second, each as an IEEE double (0: no date); NSBString the text and a
// zero byte, or with Size >= 1 exactly Size bytes of text and a zero byte.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "corvane/engines/frame.h"

namespace corvane {

enum TPDBNSBFieldType : std::uint8_t {
  NSBByte,
  NSBShort,
  NSBInteger,
  NSBFloat,
  NSBSingle,
  NSBDouble,
  NSBDate,
  NSBTime,
  NSBString,
};
inline constexpr int kNSBTypeCount = 9;
inline constexpr std::int32_t kNSBMaxTextSize = 65505;

// NSBDouble fields are read and written through the NSBFloat accessors.
class TPDBNSBField : public TPDBTypedField<TPDBNSBField, TPDBNSBFieldType, NSBString> {
 public:
  // Only NSBString takes a Size of its own (0: variable length; 1 to 65505:
  // fixed); for every other type the call is ignored.
  void SetSize(std::int32_t Value);

  std::uint8_t GetAsNSBByte() const;
  void SetAsNSBByte(std::uint8_t Value);
  std::uint16_t GetAsNSBShort() const;
  void SetAsNSBShort(std::uint16_t Value);
  std::int32_t GetAsNSBInteger() const;
  void SetAsNSBInteger(std::int32_t Value);
  // For NSBDate and NSBTime fields, the TDateTime number.
  double GetAsNSBFloat() const;
  void SetAsNSBFloat(double Value);
  float GetAsNSBSingle() const;
  void SetAsNSBSingle(float Value);
  TDateTime GetAsNSBDate() const;
  void SetAsNSBDate(TDateTime Value);
  TDateTime GetAsNSBTime() const;
  void SetAsNSBTime(TDateTime Value);
  std::string GetAsNSBString() const;
  void SetAsNSBString(const std::string& Value);

  // The record frame's side (frame.h).
  static std::int32_t TypeWidth(TPDBNSBFieldType type) noexcept;
  static Variant ZeroOf(TPDBNSBFieldType type);
  std::int64_t RecordWidth() const;
  void PackInto(std::uint8_t* out, std::size_t width) const;
  bool SplitFrom(std::span<const std::uint8_t> rest, std::size_t& taken);
  void ClearValue();

 private:
  // A number in the kind the field's type holds: an integer for NSBByte,
  // NSBShort and NSBInteger, a float for the three float types.
  void StoreNumber(double v);
};

class TPDBNSBFields : public TPDBFieldsT<TPDBNSBField> {
 public:
  using TPDBFieldsT::TPDBFieldsT;
};

class TPDBNSBasic : public TPDBEngine<TPDBNSBFields> {
 public:
  explicit TPDBNSBasic(TComponent* owner = nullptr);
  ~TPDBNSBasic() override;
};

}  // namespace corvane
