// The SQL Driver engine: a table as the handheld's SQL driver keeps it.
// Record 0 of the file is a structure record describing the columns; every
// later record is one row, and every row has a "RowID" column that the engine
// numbers itself (1, 2, 3, ... in posting order). Opening does not read the
// structure record back: the caller defines Fields to match the table, and the
// cursor never shows record 0.
//
// Row layout: PDShort, PDInt, PDLong signed 16, 32 and 64-bit integers;
// PDFloat / PDDouble IEEE single / double; PDChar a 16-bit length and Size
// slots of 16 bits, slot i holding the i-th byte of the text (0 past its end).
//
// Structure record, for n fields: the next RowID (32 bits), n (16 bits), the
// name hashes, the type codes and the PDChar sizes (n times 32 bits each), n
// zero bytes and a 16-bit zero: 8 + 13n bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "corvane/engines/frame.h"

namespace corvane {

enum TPDBSQLDriverFieldType : std::uint8_t {
  PDChar,
  PDShort,
  PDInt,
  PDLong,
  PDFloat,
  PDDouble,
};
inline constexpr int kSQLDriverTypeCount = 6;
// A PDChar holds an even number of slots from 2 to this.
inline constexpr std::int32_t kSQLDriverMaxSlots = 65504;
// The text SetSize shows for an odd size (the driver's own wording).
inline constexpr std::string_view kSQLDriverOddSizeMessage = "Tamanho da String deve ser PAR!";

class TPDBSQLDriverField : public TPDBTypedField<TPDBSQLDriverField, TPDBSQLDriverFieldType, PDChar> {
 public:
  // PDChar only: a size below 1 or above 65505 becomes 2 silently; an odd one
  // becomes 2 and is reported through the error box hook (nothing is raised);
  // an even one from 2 to 65504 is stored. Other types ignore the call.
  void SetSize(std::int32_t Value);

  std::string GetAsChar() const;
  void SetAsChar(const std::string& Value);
  std::int16_t GetAsShort() const;
  void SetAsShort(std::int16_t Value);
  std::int32_t GetAsInt() const;
  void SetAsInt(std::int32_t Value);
  // Held as a 64-bit integer, so every value of the range reads back exactly.
  std::int64_t GetAsLong() const;
  void SetAsLong(std::int64_t Value);
  float GetAsFloat() const;
  void SetAsFloat(float Value);
  double GetAsDouble() const;
  void SetAsDouble(double Value);

  // The record frame's side (frame.h).
  static std::int32_t TypeWidth(TPDBSQLDriverFieldType type) noexcept;
  static Variant ZeroOf(TPDBSQLDriverFieldType type);
  std::int64_t RecordWidth() const;
  void PackInto(std::uint8_t* out, std::size_t width) const;
  bool SplitFrom(std::span<const std::uint8_t> rest, std::size_t& taken);
  void ClearValue();
};

class TPDBSQLDriverFields : public TPDBFieldsT<TPDBSQLDriverField> {
 public:
  using TPDBFieldsT::TPDBFieldsT;
};

// The driver's column-name hash: the name lower-cased (A-Z only), then
// h = h * 31 + byte over its bytes, in unsigned 32-bit arithmetic.
std::uint32_t SQLDriverNameHash(std::string_view Name) noexcept;

class TPDBSQLDriver : public TPDBEngine<TPDBSQLDriverFields> {
 public:
  // Fields starts with one field, "RowID" of type PDInt.
  explicit TPDBSQLDriver(TComponent* owner = nullptr);
  ~TPDBSQLDriver() override;

  // Cursor positions: record 1 is the first row; the last is the row count.
  std::int32_t FixFirst() override { return 1; }
  std::int32_t FixLast() override { return RecordCount(); }

 protected:
  // The rows: one record fewer than the file holds.
  std::uint16_t FixRecordCount(std::uint16_t Count) override;
  // Refuses a file without any record (not even the structure record) with
  // EPDBException(11, kMsgSQLNoStructureRecord), closing it again.
  void GetFieldsDefinition() override;
  // Numbers the row: RowID becomes the rows posted so far + 1.
  void SetFieldValues() override;
  // Puts the structure record in front of the rows.
  void BuildFirstRecord() override;

 private:
  bool no_records_ = false;
};

}  // namespace corvane
