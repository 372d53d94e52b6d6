// export and import for the handheld's own applications (--app), reached
// from the export and import commands when no --engine is given.
#pragma once

#include <cstdint>
#include <string>

#include "corvane/interchange/json.h"
#include "corvane/interchange/json_reader.h"
#include "corvane/pdb/base_mgr.h"
#include "tools/cli.h"

namespace corvane::cli {

int RunAppsExport(const ParsedArgs& args, Output& out);
int RunAppsImport(const ParsedArgs& args, Output& out);

// Both imports' header handling. The header options (--attributes,
// --version, --created, --modified, --backed-up, --modification-number,
// --unique-id-seed) over what the input gave; UsageError for a bad value.
void ApplyHeaderOptions(const ParsedArgs& args, TPDBBaseMgr& db);
// The dates' stored values a JSON "database" object carries ("createdStored",
// ...), which the writer keeps for a date they still stand for.
void ApplyStoredDates(const JsonValue& database, TPDBBaseMgr& db);
// Refuses, naming them, the attribute bits a record database may not have:
// the resource bit and those the format does not define.
void CheckRecordAttributes(std::uint16_t attributes);

// A tree as JSON; objects and arrays nested in an inline one stay inline.
void WriteJsonTree(JsonWriter& w, const JsonValue& v,
                   JsonWriter::Layout layout = JsonWriter::Layout::kInline);

}  // namespace corvane::cli
