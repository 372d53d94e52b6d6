// The commands of the `corvane` program, one per cmd_<name>.cpp.
#pragma once

#include "tools/cli.h"

namespace corvane::cli {

extern const Command kInfoCommand;
extern const Command kRecordsCommand;

}  // namespace corvane::cli
