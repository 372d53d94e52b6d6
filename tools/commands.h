// The commands of the `corvane` program, one per cmd_<name>.cpp.
#pragma once

#include "corvane/interchange/database_json.h"
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
extern const Command kRescueCommand;


}  // namespace corvane::cli
