// Date Book (creator `date`, type `DATA`, database "DatebookDB"). A record is
// start and end hour and minute (0xFF 0xFF for an untimed event), the packed
// date, a flag word telling which optional parts follow (alarm 0x4000, repeat
// 0x2000, note 0x1000, exceptions 0x0800, description 0x0400; 0x8000 "when
// changed"), then in this order: alarm (signed advance, unit), repeat (type,
// a reserved byte, packed end date or 0xFFFF, frequency, repeat-on, start of
// week, a reserved byte), the exception dates (a count, then packed dates),
// the description and the note, each ended by a zero byte.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "corvane/apps/categories.h"
#include "corvane/apps/packed_date.h"

namespace corvane::apps {

inline constexpr std::uint8_t kNoTime = 0xFF;

enum class AlarmUnit : std::uint8_t { kMinutes = 0, kHours = 1, kDays = 2 };
enum class RepeatType : std::uint8_t {
  kNone = 0,
  kDaily = 1,
  kWeekly = 2,
  kMonthlyByDay = 3,
  kMonthlyByDate = 4,
  kYearly = 5
};

struct DatebookAlarm {
  std::int8_t advance = 0;
  std::uint8_t unit = 0;  // AlarmUnit, kept as read
  friend bool operator==(const DatebookAlarm&, const DatebookAlarm&) = default;
};

struct DatebookRepeat {
  std::uint8_t type = 0;  // RepeatType, kept as read
  std::uint8_t reserved1 = 0;
  std::uint16_t end = kNoDate;  // packed date
  std::uint8_t frequency = 1;
  // Weekly: bit d for weekday d (0 Sunday). Monthly by day: week * 7 + weekday
  // (week 4 the last).
  std::uint8_t repeatOn = 0;
  std::uint8_t startOfWeek = 0;
  std::uint8_t reserved2 = 0;
  friend bool operator==(const DatebookRepeat&, const DatebookRepeat&) = default;
};

struct DatebookRecord {
  std::uint8_t startHour = kNoTime, startMinute = kNoTime;
  std::uint8_t endHour = kNoTime, endMinute = kNoTime;
  std::uint16_t date = PackedDate{2000, 1, 1}.Word();
  bool whenChanged = false;
  std::uint16_t otherFlags = 0;  // flag bits 0x03FF, kept as read
  std::optional<DatebookAlarm> alarm;
  std::optional<DatebookRepeat> repeat;
  std::optional<std::vector<std::uint16_t>> exceptions;  // packed dates
  std::optional<std::string> description;
  std::optional<std::string> note;
  std::string extra;

  bool Untimed() const noexcept { return startHour == kNoTime; }
  friend bool operator==(const DatebookRecord&, const DatebookRecord&) = default;
};

struct DatebookAppInfo {
  CategoryInfo categories = CategoryInfo::Standard();
  std::uint16_t reserved = 0;
  std::uint8_t startOfWeek = 0;  // 0 Sunday, 1 Monday
  std::string extra{'\0'};
  friend bool operator==(const DatebookAppInfo&, const DatebookAppInfo&) = default;
};

DatebookRecord DecodeDatebook(std::span<const std::uint8_t> record);
Bytes EncodeDatebook(const DatebookRecord& event);
DatebookAppInfo DecodeDatebookAppInfo(std::span<const std::uint8_t> block);
Bytes EncodeDatebookAppInfo(const DatebookAppInfo& info);

// The 8-byte repeat rule, which Tasks records carry too; Need(8) first.
DatebookRepeat ReadRepeatRule(ByteReader& in);
void WriteRepeatRule(const DatebookRepeat& rule, ByteWriter& out);

}  // namespace corvane::apps
