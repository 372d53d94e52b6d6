// The commands of the `corvane` program, one per cmd_<name>.cpp.
#pragma once

#include "corvane/interchange/json.h"
#include "corvane/interchange/text_encoding.h"
#include "tools/cli.h"

namespace corvane::cli {

extern const Command kInfoCommand;
extern const Command kRecordsCommand;
extern const Command kCheckCommand;
extern const Command kExportCommand;
extern const Command kImportCommand;
extern const Command kConvertCommand;

// The object `info --json` prints, written into `w` (export's "database").
void WriteDatabaseJson(JsonWriter& w, TCorvane& db, TextEncoding enc);

}  // namespace corvane::cli
