// The formats other programs import: vCard 3.0 (RFC 2426 / 6350) for the
// address book, iCalendar (RFC 5545) for the date book and the to-do list,
// and plain text for memos. Content lines end in CRLF and are folded at 75
// octets, never inside a UTF-8 character.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/apps/categories.h"
#include "corvane/apps/datebook.h"
#include "tools/app_charset.h"
#include "tools/apps_json.h"
#include "tools/cli.h"

namespace corvane::cli {

// An iCalendar RRULE value for a repeat from `date` (`ordinal` names the
// record in errors); with a zone's UTC offset, a timed rule's UNTIL is in UTC.
std::string RepeatRule(const apps::DatebookRepeat& repeat, std::uint16_t date, bool timed,
                       std::size_t ordinal, std::optional<int> zone_offset = std::nullopt);
// A vCard TEL or EMAIL line for a phone of this label.
std::string PhoneProperty(std::uint8_t label, bool pref, const std::string& escaped_value);

// Appends one content line, folded, with its CRLF.
void AppendContentLine(std::string& out, std::string_view line);
// A TEXT value: backslash, comma, semicolon and newlines escaped (a CR LF
// pair is one newline).
std::string EscapeText(std::string_view utf8);

class PimWriter {
 public:
  // format: vcard, ical or text; app the records' application.
  PimWriter(const std::string& format, App app, const Charset& cs,
            const apps::CategoryInfo& categories, Output& out);
  // One record; raises EPDBException for a damaged one.
  void Add(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes);
  void Finish();
  // The Contacts field labels, for the custom fields' names in vCards.
  void SetFieldLabels(std::vector<std::string> labels) { labels_ = std::move(labels); }

 private:
  void AddCard(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes);
  void AddEvent(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes);
  void AddToDo(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes);
  void WriteEvent(const apps::DatebookRecord& event, const AppRecordAttributes& attributes,
                  const std::string& tzid, int zone_offset, const std::vector<std::string>& more);
  // The later handhelds' Contacts, Calendar and Tasks.
  void AddContact(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes);
  void AddCalendarEvent(std::span<const std::uint8_t> record,
                        const AppRecordAttributes& attributes);
  void AddTask(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes);
  // The TZID of a zone blob, writing its VTIMEZONE the first time.
  std::string Zone(const std::string& blob);
  std::string Uid(const AppRecordAttributes& attributes) const;
  std::string CategoryName(std::uint8_t index) const;
  void Line(std::string_view line) { AppendContentLine(out_.Buffer(), line); }

  std::string format_;
  App app_;
  const Charset& cs_;
  const apps::CategoryInfo& categories_;
  Output& out_;
  std::string stamp_;  // DTSTAMP, the moment of the export in UTC
  std::size_t count_ = 0;
  std::vector<std::string> labels_;
  std::map<std::string, std::string> zones_;  // zone blob -> TZID
};

}  // namespace corvane::cli
