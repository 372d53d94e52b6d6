// export and import of people's own flat-file tables (JFile, MobileDB),
// reached from the export and import commands when --app names one of them,
// or without --app when the file's type and creator (or the JSON's "app") say
// it is one.
#pragma once

#include <string>

#include "tools/cli.h"

namespace corvane::cli {

bool IsTableExport(const ParsedArgs& args);
int RunTableExport(const ParsedArgs& args, Output& out);
bool IsTableImport(const ParsedArgs& args);
int RunTableImport(const ParsedArgs& args, Output& out);
// convert --app jfile|mobiledb or --to-app jfile|mobiledb: a table carried
// into an engine's records or the other way, written only when every value
// reads back as it was read.
bool IsTableConvert(const ParsedArgs& args);
int RunTableConvert(const ParsedArgs& args, Output& out);
// -o (or --output) of export --format sqlite; a UsageError without it.
std::string SqliteOutputPath(const ParsedArgs& args);

}  // namespace corvane::cli
