// What the commands of the `corvane` program share: the command table entry,
// option parsing, exit codes, buffered output and opening a FILE argument.
// A new command is one cmd_<name>.cpp defining a Command, listed in main.cpp.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/host/datetime.h"
#include "corvane/interchange/database_json.h"
#include "corvane/interchange/output.h"

namespace corvane {
class TCorvane;
}

namespace corvane::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the library raised
inline constexpr int kExitUsage = 2;
inline constexpr int kExitDamaged = 3;  // done, with damaged records kept raw

struct OptionSpec {
  std::string_view name;        // with the dashes: "--json"
  std::string_view value_name;  // empty for a flag; else "--name VALUE" or "--name=VALUE"
};

struct ParsedArgs {
  std::map<std::string, std::string, std::less<>> options;  // flags map to ""; the last value
  std::vector<std::pair<std::string, std::string>>
      given;  // every option in order, for repeated ones
  std::vector<std::string> positional;
  bool help = false;

  bool Has(std::string_view name) const { return options.find(name) != options.end(); }
  std::string Value(std::string_view name, std::string fallback) const {
    auto it = options.find(name);
    return it == options.end() ? std::move(fallback) : it->second;
  }
  // Every value of an option that may be given more than once.
  std::vector<std::string> Values(std::string_view name) const {
    std::vector<std::string> out;
    for (const auto& [n, v] : given) {
      if (n == name) out.push_back(v);
    }
    return out;
  }
};

// Options may come before or after the positional arguments; "--" ends them.
// --help / -h is accepted by every command. Raises UsageError.
ParsedArgs ParseArgs(std::span<const std::string> args, std::span<const OptionSpec> defs);

struct Command {
  std::string_view name;
  std::string_view summary;  // one line in the program's help
  std::string_view help;     // the command's --help text
  std::span<const OptionSpec> options;
  int (*run)(const ParsedArgs& args, Output& out);
};

// Exactly one FILE argument, or a UsageError.
const std::string& SingleFileArgument(const ParsedArgs& args);

// Opens FILE for reading in `db`, whatever its name (.prc, .PDB, none).
void OpenForReading(TCorvane& db, const std::string& path);
// The directory ("." when none) and file name of a database to write; a name
// without the .pdb extension is a UsageError, as PDBFilename takes no other.
void SplitPdbPath(const std::string& path, std::string& directory, std::string& name);

// The whole file; files past 2 GiB have offsets no PDB can hold and are
// refused. Raises EInOutError when it cannot be read.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
// The whole text of the file at `path`, or of standard input for "" or "-".
// Raises EInOutError when it cannot be read.
std::string ReadInput(const std::string& path);
// True when FILE starts with a header whose resource attribute is set (a
// .prc application or resource file); false also when it cannot be read,
// which opening it then reports.
bool IsResourceFile(const std::string& path);


// UTF-8 text for a terminal: control characters become \xNN.
std::string Printable(std::string_view utf8);

}  // namespace corvane::cli
