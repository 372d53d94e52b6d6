// The on-disk layout of a PDB file: a 78-byte header, 8-byte record list
// entries, two gap bytes, the application-info block (optionally starting with
// the 276-byte category table), the sort-info block and the records' bytes.
// Every number is big-endian. These helpers encode and decode the pieces;
// they never read outside the bytes they are given.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "corvane/foundation/byte_order.h"
#include "corvane/foundation/types.h"
#include "corvane/host/datetime.h"

namespace corvane::pdb {

inline constexpr std::size_t kHeaderSize = 78;
inline constexpr std::size_t kEntrySize = 8;
inline constexpr std::size_t kGapSize = 2;
inline constexpr std::size_t kNameSize = 32;
inline constexpr std::size_t kCategoryTableSize = 276;
// Bytes of the category table that carry data: the edited word, 16 names, 16 IDs,
// the last unique ID; the filler byte after them is optional in real files.
inline constexpr std::size_t kCategoryTableMinSize = 275;
inline constexpr std::size_t kCategoryNameSize = 16;
inline constexpr std::size_t kMaxRecords = 65535;
// In the category bits of a deleted record: archived, its data kept for the desktop.
inline constexpr std::uint8_t kArchivedCategoryBit = 0x08;
// The handheld's memory manager cannot hold a record (a chunk) larger than this.
inline constexpr std::size_t kMaxRecordSize = 65535;
// Header attribute bit of a resource database, whose 10-byte entries this format does not use.
inline constexpr std::uint16_t kAttrResourceDB = 0x0001;
// Seconds from 1904-01-01 to 1970-01-01.
inline constexpr std::uint32_t kPalmToUnixSeconds = 2082844800u;

struct Header {
  std::string name;  // bytes up to the first zero, at most 32
  std::uint16_t attributes = 0;
  std::uint16_t version = 0;
  TDateTime creation_date = 0;
  TDateTime modification_date = 0;
  TDateTime backup_date = 0;
  // The three dates as stored: read as they stood; when writing, a value
  // other than 0 is written instead of the date's own encoding.
  std::uint32_t creation_stored = 0;
  std::uint32_t modification_stored = 0;
  std::uint32_t backup_stored = 0;
  std::uint32_t modification_number = 0;
  std::uint32_t app_info_offset = 0;
  std::uint32_t sort_info_offset = 0;
  std::string type;     // exactly four bytes, zero bytes included
  std::string creator;  // exactly four bytes, zero bytes included
  std::uint32_t unique_id_seed = 0;
  std::uint32_t next_record_list_id = 0;
  std::uint16_t record_count = 0;
};

struct Entry {
  std::uint32_t data_offset = 0;
  std::uint8_t category = 0;    // low four bits of the attribute byte
  TRecFlags flags;              // high four bits of the attribute byte
  std::uint32_t unique_id = 0;  // 24 bits
};

// A stored date (seconds) as a TDateTime: 0 when its two high bytes are 0;
// seconds since 1904-01-01 local time when the high bit is set; otherwise
// seconds since 1970-01-01 UTC moved to local standard time by `bias_minutes`
// (UTC minus local standard time).
TDateTime DecodeDate(std::uint32_t stored, int bias_minutes) noexcept;
// A TDateTime as seconds since 1904-01-01 (whole seconds, no time-zone adjustment).
std::uint32_t EncodeDate(TDateTime date) noexcept;

// The value that stores `date` so that DecodeDate reads it back (to the
// second): seconds since 1904-01-01 where that count is 2^31 or more (from
// 1972-01-19 on), else seconds since 1970-01-01 UTC through `bias_minutes`,
// which the reader takes such values for. False when neither form holds the
// date: before 1970-01-02 or after 2040-02-06.
bool StoredDate(TDateTime date, int bias_minutes, std::uint32_t& out) noexcept;
// Whether a stored value reads back as `date`, to the second.
bool StoresDate(std::uint32_t stored, TDateTime date, int bias_minutes) noexcept;

Header DecodeHeader(std::span<const std::uint8_t, kHeaderSize> bytes, int bias_minutes);
// Writes the header's fields; the name is cut to 31 bytes and zero-padded,
// type and creator are cut or zero-padded to four bytes. Dates are written as
// given (the writer applies its rules for defaults before).
void EncodeHeader(const Header& h, std::span<std::uint8_t, kHeaderSize> out) noexcept;

// The attribute byte's high nibble and back.
constexpr std::uint8_t RecFlagsToByte(TRecFlags flags) noexcept {
  return static_cast<std::uint8_t>(flags.ToByte() << 4);
}
constexpr TRecFlags ToTRecFlags(std::uint8_t attributes) noexcept {
  return TRecFlags::FromByte(static_cast<std::uint8_t>(attributes >> 4));
}

// Inline: walking a file decodes an entry at every step.
inline Entry DecodeEntry(std::span<const std::uint8_t, kEntrySize> b) noexcept {
  Entry e;
  e.data_offset = LoadU32(b.data());
  e.category = b[4] & 0x0F;
  e.flags = ToTRecFlags(b[4]);
  e.unique_id =
      (static_cast<std::uint32_t>(b[5]) << 16) | (static_cast<std::uint32_t>(b[6]) << 8) | b[7];
  return e;
}
// Inline: writing a file encodes an entry per record.
inline void EncodeEntry(const Entry& e, std::span<std::uint8_t, kEntrySize> out) noexcept {
  StoreU32(out.data(), e.data_offset);
  out[4] = static_cast<std::uint8_t>(RecFlagsToByte(e.flags) | (e.category & 0x0F));
  out[5] = static_cast<std::uint8_t>(e.unique_id >> 16);
  out[6] = static_cast<std::uint8_t>(e.unique_id >> 8);
  out[7] = static_cast<std::uint8_t>(e.unique_id);
}

// Header attribute word and TDBFlags: flag with ordinal i is bit 0x0002 << i.
constexpr TDBFlags ToTDBFlags(std::uint16_t attributes) noexcept {
  return TDBFlags::FromByte(static_cast<std::uint8_t>((attributes >> 1) & 0x3F));
}
constexpr std::uint16_t DBFlagsToWord(TDBFlags flags) noexcept {
  return static_cast<std::uint16_t>((flags.ToByte() & 0x3F) << 1);
}

struct CategoryTable {
  TArrayCategories names;
  std::array<std::uint8_t, 17> ids{};  // 16 IDs, then the last unique ID
};
// False when the block is too short to hold the table.
bool DecodeCategoryTable(std::span<const std::uint8_t> block, CategoryTable& out);
// 276 bytes; names are cut to 16 bytes; the last unique ID byte is written as ID 15.
void EncodeCategoryTable(const TArrayCategories& names, std::span<const std::uint8_t, 17> ids,
                         std::span<std::uint8_t, kCategoryTableSize> out) noexcept;

}  // namespace corvane::pdb
