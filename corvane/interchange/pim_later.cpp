// The vCard and iCalendar sides of PimWriter for the later handhelds'
// Contacts, Calendar and Tasks.
#include <cstdio>

#include "corvane/apps/calendar.h"
#include "corvane/apps/contacts.h"
#include "corvane/apps/tasks.h"
#include "corvane/interchange/apps_json_later.h"
#include "corvane/interchange/pim_formats.h"

namespace corvane::cli {

using namespace corvane::apps;

namespace {

constexpr const char* kDays[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};

std::string Ymd(std::uint16_t word, const char* format) {
  const PackedDate d = PackedDate::FromWord(word);
  if (!d.Valid()) return {};
  char buf[16];
  std::snprintf(buf, sizeof buf, format, d.year, d.month, d.day);
  return buf;
}

// A parameter value: quoted when it holds what would end it; a quote cannot
// be in one at all.
std::string ParamValue(const std::string& v) {
  std::string out;
  for (char c : v) {
    if (c != '"' && static_cast<unsigned char>(c) >= 0x20) out += c;
  }
  return out.find_first_of(";:,") == std::string::npos ? out : "\"" + out + "\"";
}

// "+hhmm" / "-hhmm".
std::string UtcOffset(int minutes) {
  char buf[32];
  const int m = minutes < 0 ? -minutes : minutes;
  std::snprintf(buf, sizeof buf, "%c%02d%02d", minutes < 0 ? '-' : '+', m / 60 % 100, m % 60);
  return buf;
}

// The first day in 1970 a rule (week 0..3, 4 the last) gives, as YYYYMMDD.
std::string RuleDay1970(const DstRule& r) {
  static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int month = r.month >= 1 && r.month <= 12 ? r.month : 1;
  int first = 4;  // 1970-01-01 was a Thursday
  for (int m = 1; m < month; ++m) first = (first + kMonthDays[m - 1]) % 7;
  const int weekday = r.weekday % 7;
  int day = 1 + (weekday - first + 7) % 7;
  if (r.week >= 4) {
    while (day + 7 <= kMonthDays[month - 1]) day += 7;
  } else {
    day += 7 * r.week;
  }
  char buf[32];
  std::snprintf(buf, sizeof buf, "1970%02d%02d", month, day);
  return buf;
}

std::string YearlyRule(const DstRule& r) {
  const std::string week = r.week >= 4 ? "-1" : std::to_string(r.week + 1);
  return "RRULE:FREQ=YEARLY;BYMONTH=" + std::to_string(r.month) + ";BYDAY=" + week +
         kDays[r.weekday % 7];
}

}  // namespace

std::string PimWriter::Zone(const std::string& blob) {
  if (auto it = zones_.find(blob); it != zones_.end()) return it->second;
  const CalendarTimeZone z = DecodeTimeZone(BytesOf(blob));
  std::string id = ParamValue(cs_.ToUtf8(z.name));
  if (id.empty() || id.front() == '"') id = "UTC" + UtcOffset(z.offset);
  for (const auto& [other, used] : zones_) {
    // The same name for other rules. Appended, not "-" + ...: g++ 12 at -O3 warns falsely of that
    // (-Wrestrict, GCC bug 105651).
    if (used == id) id.append(1, '-').append(std::to_string(zones_.size() + 1));
  }
  zones_.emplace(blob, id);
  char hour[32];
  Line("BEGIN:VTIMEZONE");
  Line("TZID:" + id);
  if (z.dstAdjustment != 0 && z.dstStart.month >= 1 && z.dstStart.month <= 12 &&
      z.dstEnd.month >= 1 && z.dstEnd.month <= 12) {
    const int summer = z.offset + z.dstAdjustment;
    std::snprintf(hour, sizeof hour, "T%02u0000", unsigned{z.dstEnd.hour} % 24);
    Line("BEGIN:STANDARD");
    Line("DTSTART:" + RuleDay1970(z.dstEnd) + hour);
    Line("TZOFFSETFROM:" + UtcOffset(summer));
    Line("TZOFFSETTO:" + UtcOffset(z.offset));
    Line(YearlyRule(z.dstEnd));
    Line("END:STANDARD");
    std::snprintf(hour, sizeof hour, "T%02u0000", unsigned{z.dstStart.hour} % 24);
    Line("BEGIN:DAYLIGHT");
    Line("DTSTART:" + RuleDay1970(z.dstStart) + hour);
    Line("TZOFFSETFROM:" + UtcOffset(z.offset));
    Line("TZOFFSETTO:" + UtcOffset(summer));
    Line(YearlyRule(z.dstStart));
    Line("END:DAYLIGHT");
  } else {
    Line("BEGIN:STANDARD");
    Line("DTSTART:19700101T000000");
    Line("TZOFFSETFROM:" + UtcOffset(z.offset));
    Line("TZOFFSETTO:" + UtcOffset(z.offset));
    Line("END:STANDARD");
  }
  Line("END:VTIMEZONE");
  return id;
}

void PimWriter::AddCalendarEvent(std::span<const std::uint8_t> record,
                                 const AppRecordAttributes& attributes) {
  const CalendarRecord e = DecodeCalendar(record);
  std::vector<std::string> more;
  if (e.location) more.push_back("LOCATION:" + EscapeText(cs_.ToUtf8(*e.location)));
  std::string tzid;
  int offset = 0;
  // A zone that does not decode leaves the event floating, as one without.
  if (const int z = LastBlob(e.blobs, kTimeZoneBlob); z >= 0 && !e.Untimed()) {
    try {
      offset = DecodeTimeZone(BytesOf(e.blobs[static_cast<std::size_t>(z)].data)).offset;
      tzid = Zone(e.blobs[static_cast<std::size_t>(z)].data);
    } catch (const EPDBException&) {
      tzid.clear();
    }
  }
  if (const int m = LastBlob(e.blobs, kMeetingBlob); m >= 0) {
    try {
      const CalendarMeeting meeting =
          DecodeMeeting(BytesOf(e.blobs[static_cast<std::size_t>(m)].data));
      if (meeting.appointmentStatus == 1) more.push_back("TRANSP:TRANSPARENT");
      if (meeting.meetingStatus == 4) more.push_back("STATUS:CANCELLED");
      for (const Attendee& a : meeting.attendees) {
        const std::string email = cs_.ToUtf8(a.email);
        const std::string address = email.empty() ? "invalid:nomail" : "mailto:" + email;
        const std::string cn = a.name.empty() ? "" : ";CN=" + ParamValue(cs_.ToUtf8(a.name));
        if (a.role == 0) {
          more.push_back("ORGANIZER" + cn + ":" + address);
        } else {
          more.push_back(std::string("ATTENDEE;ROLE=") +
                         (a.role == 2 ? "OPT-PARTICIPANT" : "REQ-PARTICIPANT") + cn + ":" +
                         address);
        }
      }
    } catch (const EPDBException&) {
    }
  }
  WriteEvent(record, e, attributes, tzid, offset, more);
}

void PimWriter::AddTask(std::span<const std::uint8_t> record,
                        const AppRecordAttributes& attributes) {
  const TasksRecord t = DecodeTasks(record);
  const auto day = [](std::uint16_t w) { return Ymd(w, "%04d%02d%02d"); };
  Line("BEGIN:VTODO");
  Line("UID:" + Uid(record, attributes));
  Line("DTSTAMP:" + stamp_);
  Line("SUMMARY:" + EscapeText(cs_.ToUtf8(t.description)));
  if (!t.note.empty()) Line("DESCRIPTION:" + EscapeText(cs_.ToUtf8(t.note)));
  const std::string due = t.due ? day(*t.due) : std::string();
  // A repeating task starts on its repeat's first day; RRULE needs a start.
  const std::string start = t.repeat ? day(t.repeat->start) : std::string();
  if (!start.empty()) Line("DTSTART;VALUE=DATE:" + start);
  if (!due.empty() && (start.empty() || start <= due)) Line("DUE;VALUE=DATE:" + due);
  if (t.priority >= 1 && t.priority <= 5) Line("PRIORITY:" + std::to_string(2 * t.priority - 1));
  Line(t.completed ? "STATUS:COMPLETED" : "STATUS:NEEDS-ACTION");
  if (t.completedOn && !day(*t.completedOn).empty())
    Line("COMPLETED:" + day(*t.completedOn) + "T120000Z");
  const std::string category = CategoryName(attributes.category);
  if (!category.empty()) Line("CATEGORIES:" + EscapeText(category));
  if (attributes.secret) Line("CLASS:PRIVATE");
  if (!start.empty() && t.repeat->rule.type != static_cast<std::uint8_t>(RepeatType::kNone))
    Line("RRULE:" + RepeatRule(t.repeat->rule, t.repeat->start, false));
  if (t.alarm && !due.empty()) {
    // The alarm sounds at its time on the day so many days before the due
    // day, which starts at midnight.
    const int minutes =
        t.alarm->hour < 24 && t.alarm->minute < 60 ? t.alarm->hour * 60 + t.alarm->minute : 0;
    int offset = minutes - 1440 * t.alarm->advanceDays;
    std::string trigger = offset < 0 ? "-P" : "P";
    offset = offset < 0 ? -offset : offset;
    trigger += std::to_string(offset / 1440) + "DT" + std::to_string(offset % 1440 / 60) + "H" +
               std::to_string(offset % 60) + "M";
    Line("BEGIN:VALARM");
    Line("ACTION:DISPLAY");
    Line("DESCRIPTION:" + EscapeText(cs_.ToUtf8(t.description)));
    Line("TRIGGER;RELATED=END:" + trigger);
    Line("END:VALARM");
  }
  Line("END:VTODO");
}

void PimWriter::AddContact(std::span<const std::uint8_t> record,
                           const AppRecordAttributes& attributes) {
  const ContactsRecord c = DecodeContacts(record);
  const auto text = [&](ContactsField f) {
    const auto& v = c[f];
    return v ? cs_.ToUtf8(*v) : std::string();
  };
  const auto at = [&](std::size_t f) { return static_cast<ContactsField>(f); };
  const std::string last = text(ContactsField::kLastName);
  const std::string first = text(ContactsField::kFirstName);
  const std::string company = text(ContactsField::kCompany);
  std::string full = first;
  if (!last.empty()) full += (full.empty() ? "" : " ") + last;
  if (full.empty()) full = company;
  Line("BEGIN:VCARD");
  Line("VERSION:3.0");
  Line("N:" + EscapeText(last) + ";" + EscapeText(first) + ";;;");
  Line("FN:" + EscapeText(full));
  if (!company.empty()) Line("ORG:" + EscapeText(company));
  if (c[ContactsField::kTitle]) Line("TITLE:" + EscapeText(text(ContactsField::kTitle)));
  for (std::size_t p = 0; p < kContactsPhoneCount; ++p) {
    const ContactsField f = at(static_cast<std::size_t>(ContactsField::kPhone1) + p);
    if (!c[f] || c[f]->empty()) continue;
    Line(PhoneProperty(c.phoneLabels[p], p == c.displayPhone, EscapeText(text(f))));
  }
  static constexpr const char* kServices[] = {"", "AIM", "MSN", "YAHOO", "ICQ"};
  static constexpr const char* kSchemes[] = {"", "aim:", "msnim:", "ymsgr:", "icq:"};
  for (std::size_t i = 0; i < kContactsChatCount; ++i) {
    const ContactsField f = at(static_cast<std::size_t>(ContactsField::kChat1) + i);
    if (!c[f] || c[f]->empty()) continue;
    const std::string value = text(f);
    const std::uint8_t label = c.chatLabels[i];
    if (label >= 1 && label <= 4) {
      Line(std::string("IMPP;X-SERVICE-TYPE=") + kServices[label] + ":" + kSchemes[label] + value);
      Line(std::string("X-") + kServices[label] + ":" + EscapeText(value));
    } else {
      Line("X-PALM-CHAT:" + EscapeText(value));
    }
  }
  if (c[ContactsField::kWebSite]) Line("URL:" + text(ContactsField::kWebSite));
  static constexpr const char* kAddressTypes[] = {"WORK", "HOME", "OTHER"};
  for (std::size_t b = 0; b < kContactsAddressCount; ++b) {
    const std::size_t base = static_cast<std::size_t>(ContactsField::kAddress1) + 5 * b;
    bool any = false;
    for (std::size_t p = 0; p < 5; ++p) any = any || c.fields[base + p].has_value();
    if (!any) continue;
    const std::uint8_t label = c.addressLabels[b];
    std::string line = "ADR";
    if (label < 3) line.append(";TYPE=").append(kAddressTypes[label]);
    line += ":;;";
    for (std::size_t p = 0; p < 5; ++p) {
      if (p) line += ';';
      line += EscapeText(text(at(base + p)));
    }
    Line(line);
  }
  if (c.birthday) {
    const std::string d = Ymd(*c.birthday, "%04d-%02d-%02d");
    if (!d.empty()) Line("BDAY:" + d);
  }
  if (const int a = LastBlob(c.blobs, kAnniversaryBlob); a >= 0) {
    try {
      const std::string d =
          Ymd(DecodeAnniversary(BytesOf(c.blobs[static_cast<std::size_t>(a)].data)).date,
              "%04d-%02d-%02d");
      if (!d.empty()) Line("X-ANNIVERSARY:" + d);
    } catch (const EPDBException&) {
    }
  }
  for (std::size_t i = 0; i < 9; ++i) {
    const ContactsField f = at(static_cast<std::size_t>(ContactsField::kCustom1) + i);
    if (!c[f]) continue;
    const std::size_t label = 14 + i;  // the custom fields' labels in the application-info block
    const std::string name = label < labels_.size() ? cs_.ToUtf8(labels_[label]) : std::string();
    Line("X-PALM-CUSTOM" + std::to_string(i + 1) +
         (name.empty() ? std::string() : ";X-LABEL=" + ParamValue(name)) + ":" +
         EscapeText(text(f)));
  }
  if (c[ContactsField::kNote]) Line("NOTE:" + EscapeText(text(ContactsField::kNote)));
  if (const int p = LastBlob(c.blobs, kPictureBlob); p >= 0) {
    try {
      const ContactsPicture pic = DecodePicture(BytesOf(c.blobs[static_cast<std::size_t>(p)].data));
      if (!pic.jpeg.empty()) Line("PHOTO;ENCODING=b;TYPE=JPEG:" + Base64(pic.jpeg));
    } catch (const EPDBException&) {
    }
  }
  const std::string category = CategoryName(attributes.category);
  if (!category.empty()) Line("CATEGORIES:" + EscapeText(category));
  if (attributes.secret) Line("CLASS:PRIVATE");
  Line("UID:" + Uid(record, attributes));
  Line("END:VCARD");
}

}  // namespace corvane::cli
