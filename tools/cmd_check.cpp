// corvane check: the file's structure, checked without trusting it.
#include <array>
#include <cerrno>
#include <cstdio>
#include <limits>

#include "corvane/foundation/types.h"
#include "corvane/host/exceptions.h"
#include "corvane/pdb/check.h"
#include "tools/commands.h"

namespace corvane::cli {
namespace {

constexpr std::array<OptionSpec, 0> kOptions = {};

constexpr std::string_view kHelp =
    "Usage: corvane check FILE\n"
    "\n"
    "Checks the structure of the database FILE without trusting any of its numbers:\n"
    "the header, the record list inside the file, data offsets ascending and inside\n"
    "the file, deleted entries, the offsets and sizes of the application-info and\n"
    "sort-info blocks, a category table that fits, and duplicate unique IDs.\n"
    "Prints one line per finding; exit status 0 when there is none, 1 otherwise.\n"
    "\n"
    "  --help   this text\n";

// The whole file; files past 2 GiB have offsets no PDB can hold and are refused.
Bytes ReadFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) throw EInOutError("cannot open '" + path + "'", errno);
  Bytes data;
  std::array<std::uint8_t, 1 << 16> chunk;
  for (;;) {
    const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), f);
    data.insert(data.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    if (data.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
      std::fclose(f);
      throw Exception("'" + path + "' is larger than any PDB file can be (2 GiB)");
    }
    if (n < chunk.size()) break;
  }
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw EInOutError("cannot read '" + path + "'", errno);
  return data;
}

int RunCheck(const ParsedArgs& args, Output& out) {
  const std::string& path = SingleFileArgument(args);
  const std::vector<std::string> findings = pdb::CheckStructure(ReadFile(path));
  for (const std::string& f : findings) {
    out.Buffer() += path + ": " + f + "\n";
  }
  if (findings.empty()) return kExitOk;
  std::fprintf(stderr, "corvane: %s: %zu %s\n", path.c_str(), findings.size(),
               findings.size() == 1 ? "problem" : "problems");
  return kExitFailure;
}

}  // namespace

const Command kCheckCommand = {"check", "check the file's structure without trusting it", kHelp,
                               kOptions, RunCheck};

}  // namespace corvane::cli
