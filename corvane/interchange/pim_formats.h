// The formats other programs import: vCard 3.0 (RFC 2426 / 6350) for the
// address book, iCalendar (RFC 5545) for the date book and the to-do list,
// and plain text for memos. Content lines end in CRLF and are folded at 75
// octets, never inside a UTF-8 character.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/apps/categories.h"
#include "corvane/apps/datebook.h"
#include "corvane/interchange/app_charset.h"
#include "corvane/interchange/apps_json.h"
#include "corvane/interchange/output.h"
#include "corvane/interchange/time_zone.h"

namespace corvane::cli {

// An iCalendar RRULE value for a repeat from `date`; with a zone's UTC
// offset, a timed rule's UNTIL is in UTC. Raises for a rule the handheld has
// not (an unknown type, a repeat-on value out of range).
std::string RepeatRule(const apps::DatebookRepeat& repeat, std::uint16_t date, bool timed,
                       std::optional<int> zone_offset = std::nullopt,
                       const TimeZone* zone = nullptr);
// A vCard TEL or EMAIL line for a phone of this label.
std::string PhoneProperty(std::uint8_t label, bool pref, const std::string& escaped_value);

// Appends one content line, folded, with its CRLF.
void AppendContentLine(std::string& out, std::string_view line);
// A TEXT value: backslash, comma, semicolon and newlines escaped (a CR LF
// pair is one newline).
std::string EscapeText(std::string_view utf8);

class PimWriter {
 public:
  // format: vcard, ical or text; app the records' application, creator the
  // database's (for the UIDs).
  PimWriter(const std::string& format, App app, std::string creator, const Charset& cs,
            const apps::CategoryInfo& categories, Output& out);
  // The labels (UTF-8) of the address book's four custom fields that the user
  // renamed; empty for one keeping its standard name.
  void SetCustomLabels(const std::array<std::string, 4>& labels) { custom_labels_ = labels; }
  // Timed events in `zone` instead of floating local times; its VTIMEZONE,
  // covering the years `first_year` to `last_year`, is written at once, so
  // call this before the first record.
  void SetTimeZone(const TimeZone& zone, int first_year, int last_year);
  // One record; raises for a damaged one, having written nothing of it.
  void Add(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes);
  // A record that does not decode, kept as it is: its bytes in hexadecimal,
  // its attributes and the reason, in properties only this program reads.
  void AddDamaged(std::int32_t index, std::span<const std::uint8_t> record,
                  const AppRecordAttributes& attributes, const std::string& reason);
  void Finish();
  // The Contacts field labels, for the custom fields' names in vCards.
  void SetFieldLabels(std::vector<std::string> labels) { labels_ = std::move(labels); }

 private:
  void AddCard(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes);
  void AddEvent(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes);
  void AddToDo(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes);
  // The creator and the record's unique ID, which stay when other records
  // come and go; a hash of the bytes for a record without an ID.
  std::string Uid(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes);
  void WriteEvent(std::span<const std::uint8_t> record, const apps::DatebookRecord& event,
                  const AppRecordAttributes& attributes, const std::string& tzid, int zone_offset,
                  const std::vector<std::string>& more);
  // The later handhelds' Contacts, Calendar and Tasks.
  void AddContact(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes);
  void AddCalendarEvent(std::span<const std::uint8_t> record,
                        const AppRecordAttributes& attributes);
  void AddTask(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes);
  // The TZID of a zone blob, writing its VTIMEZONE the first time.
  std::string Zone(const std::string& blob);
  std::string CategoryName(std::uint8_t index) const;
  void Line(std::string_view line) { AppendContentLine(out_.Buffer(), line); }

  std::string format_;
  App app_;
  std::string creator_;
  const Charset& cs_;
  const apps::CategoryInfo& categories_;
  Output& out_;
  std::array<std::string, 4> custom_labels_;
  const TimeZone* zone_ = nullptr;
  std::string stamp_;  // DTSTAMP, the moment of the export in UTC
  std::size_t count_ = 0;
  std::map<std::string, int> hashed_uids_;  // how often each hash UID was given
  std::vector<std::string> labels_;
  std::map<std::string, std::string> zones_;  // zone blob -> TZID
  std::string hashed_this_record_;          // the one the record being added took
};

}  // namespace corvane::cli
