// JFile flat-file tables, one table per database, in three generations told
// apart by type and creator: JFile 3 (`JbDb`/`JBas`, 20 field slots), JFile 4
// (`JfDb`/`JFil`) and JFile 5 (`JfD5`/`JFi5`), both with 50 slots.
//
// The application-info block describes the table: the field names in slots
// of 21 bytes (zero-padded; a 21-byte name has no zero), one 16-bit type code
// per slot, the number of slots in use, a 16-bit marker, one display width
// per slot plus one more, and a run of settings whose meaning is not known
// (62 bytes after JFile 3's 20 slots, 450 after the later 50), kept as read.
//
// A JFile 3 row is one zero-ended text per field in use, in field order. A
// JFile 4 or 5 row starts with one 16-bit length per field (the text's bytes
// and its zero) before the same texts; when those lengths do not describe the
// texts, the row is read by its zeros and the lengths are kept as they were.
// Every value is stored as text; the typed reading (JFileValueOf) gives the
// value a field's type makes of it when the text is written the way that type
// writes it, and the text itself otherwise, so nothing is lost either way.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/apps/table_value.h"
#include "corvane/foundation/types.h"

namespace corvane::apps {

enum class JFileVersion : std::uint8_t { k3, k4, k5 };

struct JFileLayout {
  JFileVersion version;
  std::string_view type, creator;
  std::size_t slots;         // field slots in the block
  std::size_t settingsSize;  // bytes after the widths
  std::uint16_t marker;      // what a new table writes after the field count
  std::size_t BlockSize() const noexcept {
    return slots * 21 + slots * 2 + 4 + (slots + 1) * 2 + settingsSize;
  }
};

const JFileLayout& JFileLayoutOf(JFileVersion version) noexcept;
// The generation a database of this type and creator holds; nothing when none.
std::optional<JFileVersion> JFileVersionOf(std::string_view type,
                                           std::string_view creator) noexcept;

// Field type codes; a code outside these is read as text and kept.
inline constexpr std::uint16_t kJFileText = 1;
inline constexpr std::uint16_t kJFileBoolean = 2;
inline constexpr std::uint16_t kJFileDate = 4;
inline constexpr std::uint16_t kJFileInteger = 8;
inline constexpr std::uint16_t kJFileFloat = 16;
inline constexpr std::uint16_t kJFileTime = 32;
inline constexpr std::size_t kJFileNameSize = 21;

struct JFileField {
  std::string name;  // at most 21 bytes, no zero byte
  std::uint16_t type = kJFileText;
  std::uint16_t width = 80;
  std::string padding;  // bytes after the name's zero, when a writer left any but zeros
  friend bool operator==(const JFileField&, const JFileField&) = default;
};

struct JFileTable {
  JFileVersion version = JFileVersion::k3;
  std::vector<JFileField> fields;  // the slots in use, in order
  // The slots after them as stored, in order; trailing slots that hold the
  // usual empty name, text type and width 80 are left out.
  std::vector<JFileField> unused;
  std::uint16_t marker = 452;
  std::uint16_t lastWidth = 80;  // the width value after the last slot
  std::string settings;          // the settings run; empty: the usual one for a new table
  std::string extra;             // bytes after the block's fixed size

  // A table of this generation with no fields and the settings a new one gets.
  static JFileTable New(JFileVersion version);
  friend bool operator==(const JFileTable&, const JFileTable&) = default;
};

// Raises EPDBException for a block shorter than the generation's layout or a
// field count over its slots.
JFileTable DecodeJFileTable(JFileVersion version, std::span<const std::uint8_t> block);
// Raises for more fields than slots, a name longer than 21 bytes or holding a
// zero byte, or a settings run of the wrong size.
Bytes EncodeJFileTable(const JFileTable& table);

struct JFileRow {
  std::vector<std::string> values;  // one stored text per field, no zero byte
  std::string extra;                // bytes after the last field's zero
  // JFile 4/5: the length words as stored, kept only when they do not
  // describe the texts; empty otherwise (Encode computes them).
  std::string lengths;
  friend bool operator==(const JFileRow&, const JFileRow&) = default;
};

// Raises EPDBException when the row holds fewer fields than the table (a text
// not ended by its zero counts as missing), or a JFile 4/5 row is shorter than
// its length words.
JFileRow DecodeJFileRow(const JFileTable& table, std::span<const std::uint8_t> record);
// Where a row's parts end, for reading it without copies.
struct JFileRowExtent {
  std::size_t end = 0;         // after the last field's zero: `extra` starts here
  bool lengthsStored = false;  // JFile 4/5: the length words do not describe the texts
};
// DecodeJFileRow without copies: `values` is given one view per field into
// `record` (its earlier contents dropped, its room kept). Raises as
// DecodeJFileRow.
JFileRowExtent ViewJFileRow(const JFileTable& table, std::span<const std::uint8_t> record,
                            std::vector<std::string_view>& values);
// Raises for a value count other than the table's fields, a text holding a
// zero byte, or a text longer than a length word holds.
Bytes EncodeJFileRow(const JFileTable& table, const JFileRow& row);

// ---- typed values -----------------------------------------------------------

// The value `stored` holds in a field of `type`: booleans written 1/0,
// dates as yyyymmdd, times as HH:MM:SS, integers and floats in their shortest
// decimal form. JFileStoredText gives `stored` back for every value this gives.
TableValue JFileValueOf(std::uint16_t type, std::string_view stored);
// The stored text of a value, written the way its type writes it. Raises
// EPDBException for a date or time that is no calendar date or clock time.
std::string JFileStoredText(const TableValue& value);

}  // namespace corvane::apps
