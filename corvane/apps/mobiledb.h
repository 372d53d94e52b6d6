// MobileDB tables (type and creator `Mdb1`), one table per database. What a
// record holds is told by its category (the low four bits of its attribute
// byte): 1 the field labels, 2 a data row, 3 a data row a filter hides, 4 the
// preferences, 5 the field types, 6 the field widths. Every record has the
// same layout: the seven bytes FF FF FF 01 FF 00 00, then for each field its
// number (one byte, 0-based) and its zero-ended text, then FF in place of a
// further field number; bytes after that FF are kept as read.
//
// The application-info block is the standard category part (its names are
// the record kinds' own and must stay), a 16-bit version (3), then settings
// (a password hash, three filters, three sort keys) kept as bytes; writers
// differ in how long they make it.
//
// Values are text. A types record gives each field a code whose first letter
// says what it holds: T text, B boolean, D date (a day count from 1904-01-01),
// d time; any other code is read as text and kept.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/apps/categories.h"
#include "corvane/apps/table_value.h"

namespace corvane::apps {

inline constexpr std::uint8_t kMobileDBLabels = 1;
inline constexpr std::uint8_t kMobileDBData = 2;
inline constexpr std::uint8_t kMobileDBHidden = 3;
inline constexpr std::uint8_t kMobileDBPreferences = 4;
inline constexpr std::uint8_t kMobileDBTypes = 5;
inline constexpr std::uint8_t kMobileDBWidths = 6;
inline constexpr std::uint8_t kMobileDBEnd = 0xFF;

struct MobileDBField {
  std::uint8_t number = 0;  // 0..254
  std::string text;         // no zero byte
  friend bool operator==(const MobileDBField&, const MobileDBField&) = default;
};

struct MobileDBRecord {
  std::vector<MobileDBField> fields;  // as stored (normally ascending, absent ones left out)
  std::string extra;                  // bytes after the end marker
  friend bool operator==(const MobileDBRecord&, const MobileDBRecord&) = default;

  // The text of field `number`, the first when it appears twice; nothing when absent.
  const std::string* Find(std::uint8_t number) const noexcept;
};

// Raises EPDBException when the seven header bytes differ, a text is not
// ended by its zero, or the end marker is missing.
MobileDBRecord DecodeMobileDBRecord(std::span<const std::uint8_t> record);
// Raises for field number 255 or a text holding a zero byte.
Bytes EncodeMobileDBRecord(const MobileDBRecord& record);

struct MobileDBAppInfo {
  CategoryInfo categories;
  std::optional<std::uint16_t> version;  // nothing when the block ends after its categories
  std::string settings;                  // the bytes after the version, as read

  // The categories, version 3 and zero settings, 428 bytes in all, as a new table gets.
  static MobileDBAppInfo Standard();
  friend bool operator==(const MobileDBAppInfo&, const MobileDBAppInfo&) = default;
};

MobileDBAppInfo DecodeMobileDBAppInfo(std::span<const std::uint8_t> block);
Bytes EncodeMobileDBAppInfo(const MobileDBAppInfo& info);

enum class MobileDBType : std::uint8_t { kText, kBoolean, kDate, kTime, kOther };
MobileDBType MobileDBTypeOf(std::string_view code) noexcept;

// The value `stored` holds in a field of type `code`: booleans written
// true/false, dates as the day count since 1904-01-01, times as HH:MM; any
// other text stays text. MobileDBStoredText gives `stored` back for every
// value this gives.
TableValue MobileDBValueOf(std::string_view code, std::string_view stored);
// Raises EPDBException for a date before 1904-01-01 or invalid, or an invalid time.
std::string MobileDBStoredText(const TableValue& value);

// Days from 1904-01-01 to the date and back.
std::int64_t DaysSince1904(const TableDate& date) noexcept;
TableDate DateFrom1904(std::int64_t days) noexcept;

}  // namespace corvane::apps
