// corvane check: the file's structure, checked without trusting it.
#include <array>
#include <cstdio>

#include "corvane/pdb/check.h"
#include "tools/commands.h"

namespace corvane::cli {
namespace {

constexpr std::array<OptionSpec, 1> kOptions = {{
    {"--strict", ""},
}};

constexpr std::string_view kHelp =
    "Usage: corvane check [--strict] FILE\n"
    "\n"
    "Checks the structure of the database FILE without trusting any of its numbers:\n"
    "the header, the record list inside the file, data offsets ascending and inside\n"
    "the file, deleted entries, the offsets and sizes of the application-info and\n"
    "sort-info blocks, and duplicate unique IDs; of a resource database (.prc), its\n"
    "resource list instead. Prints one line per finding.\n"
    "\n"
    "What concerns the category table (duplicate IDs, names without their zero\n"
    "byte, records filed under categories without a table) is a warning: the\n"
    "application-info block is the application's own and need not hold one.\n"
    "Exit status 1 when there is a problem, else 0; warnings do not count.\n"
    "\n"
    "  --strict   warnings count as problems\n"
    "  --help     this text\n";

int RunCheck(const ParsedArgs& args, Output& out) {
  const std::string& path = SingleFileArgument(args);
  const std::vector<pdb::Finding> findings = pdb::CheckStructure(ReadWholeFile(path));
  std::size_t problems = 0, warnings = 0;
  for (const pdb::Finding& f : findings) {
    out.Buffer() += path + (f.warning ? ": warning: " : ": ") + f.text + "\n";
    ++(f.warning ? warnings : problems);
  }
  if (findings.empty()) return kExitOk;
  std::string summary;
  const auto count = [&](std::size_t n, const char* one, const char* many) {
    if (n == 0) return;
    if (!summary.empty()) summary += ", ";
    summary += std::to_string(n) + " " + (n == 1 ? one : many);
  };
  count(problems, "problem", "problems");
  count(warnings, "warning", "warnings");
  std::fprintf(stderr, "corvane: %s: %s\n", path.c_str(), summary.c_str());
  return problems > 0 || (warnings > 0 && args.Has("--strict")) ? kExitFailure : kExitOk;
}

}  // namespace

const Command kCheckCommand = {"check", "check the file's structure without trusting it", kHelp,
                               kOptions, RunCheck};

}  // namespace corvane::cli
