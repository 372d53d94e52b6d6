// export and import for the handheld's own applications (--app), reached
// from the export and import commands when no --engine is given.
#pragma once

#include <string>

#include "tools/cli.h"
#include "tools/json.h"
#include "tools/json_reader.h"

namespace corvane::cli {

int RunAppsExport(const ParsedArgs& args, Output& out);
int RunAppsImport(const ParsedArgs& args, Output& out);

// A tree as JSON; objects and arrays nested in an inline one stay inline.
void WriteJsonTree(JsonWriter& w, const JsonValue& v,
                   JsonWriter::Layout layout = JsonWriter::Layout::kInline);

}  // namespace corvane::cli
