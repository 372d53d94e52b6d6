// export --app's work on an open database, for the command and the rescue:
// the records of the handheld's own applications and e-books as JSON, CSV,
// vCard, iCalendar or text, and every database's records raw (`App::kRaw`).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "corvane/interchange/app_charset.h"
#include "corvane/interchange/apps_json.h"
#include "corvane/interchange/json.h"
#include "corvane/interchange/output.h"
#include "corvane/interchange/record_damage.h"
#include "corvane/interchange/time_zone.h"
#include "corvane/pdb/corvane.h"

namespace corvane::cli {

// One record of the file with its attributes as export gives them.
struct RawRecord {
  std::int32_t index = 0;
  AppRecordAttributes attributes;
  std::shared_ptr<Bytes> data;  // nothing for a deleted record
  std::span<const std::uint8_t> View() const {
    return data ? std::span<const std::uint8_t>(*data) : std::span<const std::uint8_t>();
  }
};

// Every record of the file, deleted ones (no data) and archived ones (their
// data kept for the desktop) included. Raises EPDBException.
std::vector<RawRecord> ReadRecords(TCorvane& db);

// A tree as JSON; objects and arrays nested in an inline one stay inline.
void WriteJsonTree(JsonWriter& w, const JsonValue& v,
                   JsonWriter::Layout layout = JsonWriter::Layout::kInline);

// Writes the records as `format` (json, csv, vcard, ical or text, as the
// application takes them) to `out`; `zone` (or nullptr) for iCalendar.
// Records that do not decode go through `damage`. Gives the number of
// archived records: left out of vCard, iCalendar and text, kept in JSON and
// CSV with "archived": true. Raises EPDBException.
std::size_t ExportRecords(TCorvane& db, App app, const std::string& format,
                          const std::vector<RawRecord>& records, const Charset& cs,
                          DamageLog& damage, const TimeZone* zone, Output& out);

}  // namespace corvane::cli
