// The iCalendar side of PimWriter: date book events and to-dos.
#include <cstdio>
#include <optional>
#include <string_view>

#include "corvane/apps/datebook.h"
#include "corvane/apps/packed_date.h"
#include "corvane/apps/todo.h"
#include "corvane/host/exceptions.h"
#include "corvane/interchange/pim_formats.h"

namespace corvane::cli {

using namespace corvane::apps;

namespace {

constexpr const char* kDays[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

// YYYYMMDD; raises when the word is no calendar date.
std::string Day(std::uint16_t word, std::string_view what) {
  const PackedDate d = PackedDate::FromWord(word);
  if (!d.Valid()) {
    throw Exception(std::string(what) + " is no calendar date (0x" +
                    Hex(std::string{static_cast<char>(word >> 8), static_cast<char>(word)}) + ")");
  }
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year, d.month, d.day);
  return buf;
}

[[noreturn]] void Damaged(const std::string& what) {
  throw Exception(what);
}

// A time of day the handheld can hold, or damage.
void CheckTime(std::uint8_t hour, std::uint8_t minute, const char* which) {
  if (hour > 23 || minute > 59)
    Damaged(std::string(which) + " time " + FormatTime(hour, minute) + " is past 23:59");
}

std::string Time(std::uint8_t hour, std::uint8_t minute) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "T%02u%02u00", unsigned{hour}, unsigned{minute});
  return buf;
}

// The day after (for the exclusive end of an all-day event).
std::string NextDay(std::uint16_t word) {
  PackedDate d = PackedDate::FromWord(word);
  ++d.day;
  if (!d.Valid()) {
    d.day = 1;
    if (++d.month > 12) {
      d.month = 1;
      ++d.year;
    }
  }
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year, d.month, d.day);
  return buf;
}

}  // namespace

// The repeat rule of an event, or damage for a rule the handheld has not:
// an unknown type or a repeat-on value out of range is never read as some
// other rule.
std::string RepeatRule(const DatebookRepeat& r, std::uint16_t date, bool timed,
                       std::optional<int> zone_offset, const TimeZone* zone) {
  std::string rule;
  switch (r.type) {
    case static_cast<std::uint8_t>(RepeatType::kDaily):
      rule = "FREQ=DAILY";
      break;
    case static_cast<std::uint8_t>(RepeatType::kWeekly): {
      if (r.repeatOn > 0x7F)
        Damaged("repeat-on 0x" + Hex(std::string(1, static_cast<char>(r.repeatOn))) +
                " names no weekdays");
      if (r.startOfWeek > 6)
        Damaged("start of week " + std::to_string(r.startOfWeek) + " is no weekday");
      rule = "FREQ=WEEKLY";
      std::string days;
      for (int d = 0; d < 7; ++d) {
        if (!(r.repeatOn & (1u << d))) continue;
        if (!days.empty()) days += ',';
        days += kDays[d];
      }
      if (!days.empty()) rule += ";BYDAY=" + days;
      rule += ";WKST=" + std::string(kDays[r.startOfWeek]);
      break;
    }
    case static_cast<std::uint8_t>(RepeatType::kMonthlyByDay): {
      const int week = r.repeatOn / 7;
      if (week > 4)
        Damaged("repeat-on " + std::to_string(r.repeatOn) + " names no week of the month");
      rule = "FREQ=MONTHLY;BYDAY=" + std::string(week == 4 ? "-1" : std::to_string(week + 1)) +
             kDays[r.repeatOn % 7];
      break;
    }
    case static_cast<std::uint8_t>(RepeatType::kMonthlyByDate):
      rule = "FREQ=MONTHLY;BYMONTHDAY=" + std::to_string(PackedDate::FromWord(date).day);
      break;
    case static_cast<std::uint8_t>(RepeatType::kYearly):
      rule = "FREQ=YEARLY";
      break;
    default:
      Damaged("repeat type " + std::to_string(r.type) + " is unknown");
  }
  if (r.frequency > 1) rule += ";INTERVAL=" + std::to_string(r.frequency);
  if (r.end != kNoDate && timed && zone_offset) {
    // With a zone, UNTIL is in UTC: the end of the last local day, moved by the offset.
    const int offset = *zone_offset;
    const std::string day = offset < 0 ? NextDay(r.end) : Day(r.end, "the repeat's end");
    const int secs = offset < 0 ? -offset * 60 - 1 : 86399 - offset * 60;
    char buf[16];
    std::snprintf(buf, sizeof buf, "T%02d%02d%02dZ", secs / 3600 % 24, secs / 60 % 60, secs % 60);
    rule += ";UNTIL=" + day + buf;
  } else if (r.end != kNoDate && timed && zone != nullptr) {
    // UNTIL is in UTC when DTSTART names its zone.
    const PackedDate d = PackedDate::FromWord(r.end);
    Day(r.end, "the repeat's end");  // damage for no calendar date
    const std::int64_t local = TimeZone::DayStart(d.year, d.month, d.day) + 86399;
    rule += ";UNTIL=" + TimeZone::DateTimeText(zone->ToUtc(local)) + "Z";
  } else if (r.end != kNoDate) {
    // UNTIL takes the type of DTSTART; the last day counts whole.
    rule += ";UNTIL=" + Day(r.end, "the repeat's end") + (timed ? "T235959" : "");
  }
  return rule;
}

void PimWriter::SetTimeZone(const TimeZone& zone, int first_year, int last_year) {
  zone_ = &zone;
  for (const std::string& l : zone.VTimezone(TimeZone::DayStart(first_year, 1, 1) - 86400,
                                             TimeZone::DayStart(last_year + 1, 1, 2)))
    Line(l);
}

void PimWriter::AddEvent(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes) {
  WriteEvent(record, DecodeDatebook(record), attributes, {}, 0, {});
}

void PimWriter::WriteEvent(std::span<const std::uint8_t> record, const DatebookRecord& e,
                           const AppRecordAttributes& attributes, const std::string& tzid,
                           int zone_offset, const std::vector<std::string>& more) {
  const std::string day = Day(e.date, "the date");
  const bool timed = !e.Untimed();
  // Floating local times, as the handheld keeps them, unless the event or
  // the export names a zone.
  const std::string zone = !tzid.empty()     ? ";TZID=" + tzid
                           : zone_ != nullptr ? ";TZID=" + zone_->Id()
                                              : std::string();
  if (timed) {
    CheckTime(e.startHour, e.startMinute, "the start");
    if (e.endHour != kNoTime || e.endMinute != kNoTime) {
      CheckTime(e.endHour, e.endMinute, "the end");
      if (e.endHour * 60 + e.endMinute < e.startHour * 60 + e.startMinute) {
        Damaged("it ends at " + FormatTime(e.endHour, e.endMinute) + ", before it starts at " +
                FormatTime(e.startHour, e.startMinute));
      }
    }
  }
  std::string rule;
  if (e.repeat && e.repeat->type != static_cast<std::uint8_t>(RepeatType::kNone))
    rule = RepeatRule(*e.repeat, e.date, timed,
                      tzid.empty() ? std::nullopt : std::optional<int>(zone_offset),
                      tzid.empty() ? zone_ : nullptr);
  std::string exdates;
  if (e.exceptions) {
    for (std::uint16_t x : *e.exceptions) {
      if (!exdates.empty()) exdates += ',';
      exdates += Day(x, "an exception date") + (timed ? Time(e.startHour, e.startMinute) : "");
    }
  }
  std::string trigger;
  if (e.alarm) {
    if (e.alarm->unit > static_cast<std::uint8_t>(AlarmUnit::kDays))
      Damaged("alarm unit " + std::to_string(e.alarm->unit) + " is unknown");
    const int advance = e.alarm->advance;
    const char* unit = e.alarm->unit == 1 ? "H" : "M";
    const std::string amount = std::to_string(advance < 0 ? -advance : advance);
    trigger = advance < 0 ? "P" : "-P";
    trigger += e.alarm->unit == 2 ? amount + "D" : "T" + amount + unit;
  }

  Line("BEGIN:VEVENT");
  Line("UID:" + Uid(record, attributes));
  Line("DTSTAMP:" + stamp_);
  if (timed) {
    Line("DTSTART" + zone + ":" + day + Time(e.startHour, e.startMinute));
    if (e.endHour != kNoTime) Line("DTEND" + zone + ":" + day + Time(e.endHour, e.endMinute));
  } else {
    Line("DTSTART;VALUE=DATE:" + day);
    Line("DTEND;VALUE=DATE:" + NextDay(e.date));
  }
  if (e.description) Line("SUMMARY:" + EscapeText(cs_.ToUtf8(*e.description)));
  if (e.note) Line("DESCRIPTION:" + EscapeText(cs_.ToUtf8(*e.note)));
  const std::string category = CategoryName(attributes.category);
  if (!category.empty()) Line("CATEGORIES:" + EscapeText(category));
  if (attributes.secret) Line("CLASS:PRIVATE");
  if (!rule.empty()) Line("RRULE:" + rule);
  if (!exdates.empty())
    Line(std::string(timed ? "EXDATE" + zone + ":" : "EXDATE;VALUE=DATE:") + exdates);
  for (const std::string& l : more) Line(l);
  if (e.alarm) {
    Line("BEGIN:VALARM");
    Line("ACTION:DISPLAY");
    Line("DESCRIPTION:" + EscapeText(e.description ? cs_.ToUtf8(*e.description) : "Reminder"));
    Line("TRIGGER:" + trigger);
    Line("END:VALARM");
  }
  Line("END:VEVENT");
}

void PimWriter::AddToDo(std::span<const std::uint8_t> record,
                        const AppRecordAttributes& attributes) {
  const ToDoRecord t = DecodeToDo(record);
  Line("BEGIN:VTODO");
  Line("UID:" + Uid(record, attributes));
  Line("DTSTAMP:" + stamp_);
  Line("SUMMARY:" + EscapeText(cs_.ToUtf8(t.description)));
  if (!t.note.empty()) Line("DESCRIPTION:" + EscapeText(cs_.ToUtf8(t.note)));
  if (t.due != kNoDate) Line("DUE;VALUE=DATE:" + Day(t.due, "the due date"));
  // The handheld's 1 (highest) to 5 spread over iCalendar's 1 to 9.
  if (t.priority >= 1 && t.priority <= 5) Line("PRIORITY:" + std::to_string(2 * t.priority - 1));
  Line(t.completed ? "STATUS:COMPLETED" : "STATUS:NEEDS-ACTION");
  const std::string category = CategoryName(attributes.category);
  if (!category.empty()) Line("CATEGORIES:" + EscapeText(category));
  if (attributes.secret) Line("CLASS:PRIVATE");
  Line("END:VTODO");
}

}  // namespace corvane::cli
