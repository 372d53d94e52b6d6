// Calendar (creator `PDat`, type `DATA`, database "CalendarDB-PDat"), the
// date book of the later handhelds. A record is a Date Book record (see
// datebook.h) with one more flag, 0x0200, for a location text that follows
// the note, and then blobs to the end of the record: `Bd00` the event's time
// zone, `Bd01` the meeting (statuses and attendees), `Bd02` the event's ID on
// a server, any other ID belonging to other software. The payloads of the
// three known blobs have their own codecs below; the record keeps every blob
// as it was, in order.
//
// The application-info block: the standard category part, the category
// colours, a reserved word, the first day of the week and a reserved byte
// (298 bytes). Older readers look for the first day of the week right after
// the category part, as in Date Book; in this block that byte is the first
// colour, and the day is taken from offset 296.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "corvane/apps/datebook.h"
#include "corvane/apps/pim_parts.h"

namespace corvane::apps {

// The Date Book parts keep their meaning; `extra` holds the bytes after the
// last whole blob (left by an interrupted edit; the handheld ignores them).
struct CalendarRecord : DatebookRecord {
  std::optional<std::string> location;
  std::vector<Blob> blobs;
  friend bool operator==(const CalendarRecord&, const CalendarRecord&) = default;
};

inline constexpr std::string_view kTimeZoneBlob = "Bd00";
inline constexpr std::string_view kMeetingBlob = "Bd01";
inline constexpr std::string_view kServerIDBlob = "Bd02";

struct DstRule {
  std::uint8_t hour = 0;
  std::uint8_t weekday = 0;  // 0 Sunday .. 6 Saturday
  std::uint8_t week = 0;     // 0 first .. 3 fourth, 4 last
  std::uint8_t month = 0;    // 1..12
  friend bool operator==(const DstRule&, const DstRule&) = default;
};

struct CalendarTimeZone {
  std::int16_t offset = 0;  // minutes east of UTC
  DstRule dstStart, dstEnd;
  std::int16_t dstAdjustment = 0;  // minutes; 0 when the zone keeps no daylight time
  std::uint8_t country = 0;
  std::uint8_t flags = 0;  // bit 7: defined by the user; the others kept as read
  std::string name;
  std::string extra;  // bytes after the name's zero
  bool Custom() const noexcept { return (flags & 0x80) != 0; }
  friend bool operator==(const CalendarTimeZone&, const CalendarTimeZone&) = default;
};

struct Attendee {
  std::uint8_t role = 1;  // 0 organiser, 1 required, 2 optional
  std::string name, email;
  friend bool operator==(const Attendee&, const Attendee&) = default;
};

struct CalendarMeeting {
  std::uint8_t meetingStatus = 0;  // 0 unanswered, 1 tentative, 2 declined, 3 accepted, 4 cancelled
  std::uint8_t appointmentStatus = 0;  // 0 busy, 1 free, 2 tentative, 3 out of office
  std::vector<Attendee> attendees;
  std::string extra;  // bytes after the last attendee
  friend bool operator==(const CalendarMeeting&, const CalendarMeeting&) = default;
};

struct CalendarAppInfo {
  CategoryInfo categories = CategoryInfo::Standard();
  CategoryColors colors;
  std::uint16_t reserved2 = 0;
  // Taken from offset 296 on the word of the application's maker alone; no
  // file with it set was at hand, so the byte is kept as it is either way.
  std::uint8_t startOfWeek = 0;
  std::string extra{'\0'};
  friend bool operator==(const CalendarAppInfo&, const CalendarAppInfo&) = default;
};

CalendarRecord DecodeCalendar(std::span<const std::uint8_t> record);
Bytes EncodeCalendar(const CalendarRecord& event);
CalendarAppInfo DecodeCalendarAppInfo(std::span<const std::uint8_t> block);
Bytes EncodeCalendarAppInfo(const CalendarAppInfo& info);

// The blob payloads; a damaged one raises EPDBException (its blob stays in
// the record untouched).
CalendarTimeZone DecodeTimeZone(std::span<const std::uint8_t> data);
std::string EncodeTimeZone(const CalendarTimeZone& zone);
CalendarMeeting DecodeMeeting(std::span<const std::uint8_t> data);
std::string EncodeMeeting(const CalendarMeeting& meeting);

// The order the handheld keeps its events in, for a writer adding records:
// repeating events first, by the end of their repeat (never ending last) and
// start time, then the others by date and start time. An untimed event comes
// before the timed ones of its day, as the handheld compares the time word
// as a signed number.
bool CalendarOrderLess(const DatebookRecord& a, const DatebookRecord& b) noexcept;

}  // namespace corvane::apps
