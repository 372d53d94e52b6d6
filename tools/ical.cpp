// The iCalendar side of PimWriter: date book events and to-dos.
#include <cstdio>
#include <optional>

#include "corvane/apps/datebook.h"
#include "corvane/apps/packed_date.h"
#include "corvane/apps/todo.h"
#include "corvane/host/exceptions.h"
#include "tools/pim_formats.h"

namespace corvane::cli {

using namespace corvane::apps;

namespace {

constexpr const char* kDays[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

// YYYYMMDD; raises naming the record when the word is no calendar date.
std::string Day(std::uint16_t word, std::size_t ordinal) {
  const PackedDate d = PackedDate::FromWord(word);
  if (!d.Valid()) {
    throw Exception("record " + std::to_string(ordinal) + " holds no calendar date (0x" +
                    Hex(std::string{static_cast<char>(word >> 8), static_cast<char>(word)}) + ")");
  }
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", d.year, d.month, d.day);
  return buf;
}

std::string Time(std::uint8_t hour, std::uint8_t minute) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "T%02u%02u00", unsigned{hour} % 24, unsigned{minute} % 60);
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

std::string RepeatRule(const DatebookRepeat& rp, std::uint16_t date, bool timed,
                       std::size_t ordinal, std::optional<int> zone_offset) {
  const DatebookRepeat* r = &rp;
  std::string rule;
  switch (static_cast<RepeatType>(r->type)) {
    case RepeatType::kDaily:
      rule = "FREQ=DAILY";
      break;
    case RepeatType::kWeekly: {
      rule = "FREQ=WEEKLY";
      std::string days;
      for (int d = 0; d < 7; ++d) {
        if (r->repeatOn & (1u << d)) days += (days.empty() ? "" : ",") + std::string(kDays[d]);
      }
      if (!days.empty()) rule += ";BYDAY=" + days;
      if (r->startOfWeek < 7) rule += ";WKST=" + std::string(kDays[r->startOfWeek]);
      break;
    }
    case RepeatType::kMonthlyByDay: {
      rule = "FREQ=MONTHLY";
      const int week = r->repeatOn / 7;
      if (week <= 4) {
        rule += ";BYDAY=" + std::string(week == 4 ? "-1" : std::to_string(week + 1)) +
                kDays[r->repeatOn % 7];
      }
      break;
    }
    case RepeatType::kMonthlyByDate:
      rule = "FREQ=MONTHLY;BYMONTHDAY=" + std::to_string(PackedDate::FromWord(date).day);
      break;
    default:
      rule = "FREQ=YEARLY";
      break;
  }
  if (r->frequency > 1) rule += ";INTERVAL=" + std::to_string(r->frequency);
  if (r->end != kNoDate && timed && zone_offset) {
    // With a zone, UNTIL is in UTC: the end of the last local day, moved by the offset.
    const int offset = *zone_offset;
    const std::string day = offset < 0 ? NextDay(r->end) : Day(r->end, ordinal);
    const int secs = offset < 0 ? -offset * 60 - 1 : 86399 - offset * 60;
    char buf[16];
    std::snprintf(buf, sizeof buf, "T%02d%02d%02dZ", secs / 3600 % 24, secs / 60 % 60, secs % 60);
    rule += ";UNTIL=" + day + buf;
  } else if (r->end != kNoDate) {
    // UNTIL takes the type of DTSTART; the last day counts whole.
    rule += ";UNTIL=" + Day(r->end, ordinal) + (timed ? "T235959" : "");
  }
  return rule;
}

void PimWriter::AddEvent(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes) {
  WriteEvent(DecodeDatebook(record), attributes, {}, 0, {});
}

void PimWriter::WriteEvent(const DatebookRecord& e, const AppRecordAttributes& attributes,
                           const std::string& tzid, int zone_offset,
                           const std::vector<std::string>& more) {
  const std::string day = Day(e.date, count_ - 1);
  const bool timed = !e.Untimed();
  const std::string zone = tzid.empty() ? std::string() : ";TZID=" + tzid;
  Line("BEGIN:VEVENT");
  Line("UID:" + Uid(attributes));
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
  if (const auto& r = e.repeat; r && r->type != static_cast<std::uint8_t>(RepeatType::kNone))
    Line("RRULE:" + RepeatRule(*r, e.date, timed, count_ - 1,
                               tzid.empty() ? std::nullopt : std::optional<int>(zone_offset)));
  if (e.exceptions && !e.exceptions->empty()) {
    std::string dates;
    for (std::uint16_t x : *e.exceptions) {
      if (!dates.empty()) dates += ',';
      dates += Day(x, count_ - 1) + (timed ? Time(e.startHour, e.startMinute) : "");
    }
    Line(std::string(timed ? "EXDATE" + zone + ":" : "EXDATE;VALUE=DATE:") + dates);
  }
  for (const std::string& l : more) Line(l);
  if (e.alarm) {
    const int advance = e.alarm->advance;
    const char* unit = e.alarm->unit == 1 ? "H" : "M";
    const std::string amount = std::to_string(advance < 0 ? -advance : advance);
    std::string trigger = advance < 0 ? "P" : "-P";
    trigger += e.alarm->unit == 2 ? amount + "D" : "T" + amount + unit;
    Line("BEGIN:VALARM");
    Line("ACTION:DISPLAY");
    Line("DESCRIPTION:" + EscapeText(e.description ? cs_.ToUtf8(*e.description) : "Reminder"));
    Line("TRIGGER:" + trigger);
    Line("END:VALARM");
  }
  Line("END:VEVENT");
}

void PimWriter::AddToDo(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes) {
  const ToDoRecord t = DecodeToDo(record);
  Line("BEGIN:VTODO");
  Line("UID:" + Uid(attributes));
  Line("DTSTAMP:" + stamp_);
  Line("SUMMARY:" + EscapeText(cs_.ToUtf8(t.description)));
  if (!t.note.empty()) Line("DESCRIPTION:" + EscapeText(cs_.ToUtf8(t.note)));
  if (t.due != kNoDate) Line("DUE;VALUE=DATE:" + Day(t.due, count_ - 1));
  // The handheld's 1 (highest) to 5 spread over iCalendar's 1 to 9.
  if (t.priority >= 1 && t.priority <= 5) Line("PRIORITY:" + std::to_string(2 * t.priority - 1));
  Line(t.completed ? "STATUS:COMPLETED" : "STATUS:NEEDS-ACTION");
  const std::string category = CategoryName(attributes.category);
  if (!category.empty()) Line("CATEGORIES:" + EscapeText(category));
  if (attributes.secret) Line("CLASS:PRIVATE");
  Line("END:VTODO");
}

}  // namespace corvane::cli
