// The formats other programs import: vCard 3.0 (RFC 2426 / 6350) for the
// address book, iCalendar (RFC 5545) for the date book and the to-do list,
// and plain text for memos. Content lines end in CRLF and are folded at 75
// octets, never inside a UTF-8 character.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "corvane/apps/categories.h"
#include "tools/app_charset.h"
#include "tools/apps_json.h"
#include "tools/cli.h"

namespace corvane::cli {

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

 private:
  void AddCard(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes);
  void AddEvent(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes);
  void AddToDo(std::span<const std::uint8_t> record, const AppRecordAttributes& attributes);
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
};

}  // namespace corvane::cli
