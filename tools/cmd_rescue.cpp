// corvane rescue: every file under the inputs, as files other programs open,
// with a report. The work is the rescue library's; this is the command line,
// the progress line and the exit status.
#include <unistd.h>

#include <array>
#include <cstdio>
#include <string>

#include "corvane/rescue/rescue.h"
#include "tools/commands.h"

namespace corvane::cli {
namespace {

constexpr std::array<OptionSpec, 6> kOptions = {{
    {"-o", "OUT"},
    {"--output", "OUT"},
    {"-j", "N"},
    {"--encoding", "E"},
    {"--force", ""},
    {"--json", ""},
}};

constexpr std::string_view kHelp =
    "Usage: corvane rescue IN... -o OUT [-j N] [--encoding E] [--force] [--json]\n"
    "\n"
    "Rescues a whole backup: every file under the inputs IN (files and folders,\n"
    "walked recursively, symbolic links followed once) is recognised from its\n"
    "contents, copied byte for byte under OUT/originals/, and turned into files\n"
    "today's programs open:\n"
    "  contacts/NAME.vcf and contacts.vcf     address books and contacts (vCard)\n"
    "  calendar/NAME.ics and calendar.ics     date books, to-do lists, calendars, tasks\n"
    "  memos/NAME/FIRST LINE.txt, memos.txt   memos, one UTF-8 text each\n"
    "  books/NAME.txt                         e-books\n"
    "  mail/NAME/SUBJECT.eml                  mail, one message each\n"
    "  tables/NAME.csv                        flat-file tables, typed-record databases\n"
    "  pictures/NAME.jpg, pictures/NAME.png   photos, applications' icons\n"
    "  resources/NAME/                        programs and resource databases\n"
    "  raw/NAME.json                          any other Palm database, losslessly\n"
    "  rescue.json                            what became of every file\n"
    "Nothing is ever written inside IN. Names come from the source files (a clash\n"
    "gets a suffix, never an overwrite); the files written do not depend on -j.\n"
    "A file that fails, or a damaged record in one, never stops the others.\n"
    "\n"
    "  -o, --output OUT  the output folder: must not exist, or be empty\n"
    "  -j N              files rescued at once (default: the machine's cores)\n"
    "  --encoding E      the databases' text encoding: cp1252 (default), latin1, utf8\n"
    "  --force           write into a non-empty OUT (nothing there is replaced)\n"
    "  --json            print the report (rescue.json) on standard output\n"
    "  --help            this text\n"
    "\n"
    "On a terminal one line shows the progress. Exit status 0 when every Palm\n"
    "database was rescued whole, 3 when some failed or had damaged records (the\n"
    "others are still written), 1 when nothing could be done (no Palm database\n"
    "rescued), 2 on bad usage.\n";

std::string ProgressLine(const rescue::Progress& p) {
  // Appended, not "[" + ...: g++ 12 at -O3 warns falsely of that (-Wrestrict, GCC bug 105651).
  std::string line = "[";
  line.append(std::to_string(p.done)).append(1, '/').append(std::to_string(p.total)).append("] ");
  std::string current = Printable(p.current);
  if (current.size() > 40) current = "..." + current.substr(current.size() - 37);
  line += current;
  const auto add = [&](std::int64_t n, const char* what) {
    if (n > 0) line += ", " + std::to_string(n) + " " + what;
  };
  add(p.totals.contacts, "contacts");
  add(p.totals.events, "events");
  add(p.totals.todos, "to-dos");
  add(p.totals.memos, "memos");
  add(static_cast<std::int64_t>(p.failed), "failed");
  char time[32];
  std::snprintf(time, sizeof time, "  %.0fs", p.elapsedSeconds);
  line += time;
  if (line.size() > 100) line.resize(100);
  return line;
}

int RunRescue(const ParsedArgs& args, Output& out) {
  rescue::Options options;
  options.inputs = args.positional;
  options.output = args.Has("-o") ? args.Value("-o", "") : args.Value("--output", "");
  if (options.inputs.empty()) throw UsageError("rescue needs at least one input IN");
  if (options.output.empty()) throw UsageError("rescue needs the output folder: -o OUT");
  if (args.Has("-j")) {
    const std::string j = args.Value("-j", "");
    char* end = nullptr;
    const unsigned long n = std::strtoul(j.c_str(), &end, 10);
    if (j.empty() || *end != '\0' || n < 1 || n > 256)
      throw UsageError("-j takes a number of threads from 1 to 256");
    options.jobs = static_cast<unsigned>(n);
  }
  options.encoding = args.Value("--encoding", "cp1252");
  options.force = args.Has("--force");

  const bool terminal = ::isatty(STDERR_FILENO) != 0;
  std::size_t shown = 0;  // width of the progress line on screen
  rescue::ProgressCallback progress;
  if (terminal) {
    progress = [&](const rescue::Progress& p) {
      const std::string line = ProgressLine(p);
      std::fprintf(stderr, "\r%-*s", static_cast<int>(std::max(shown, line.size())), line.c_str());
      shown = line.size();
    };
  }
  rescue::Report report;
  try {
    report = rescue::Run(options, progress);
  } catch (const rescue::RescueRefused& e) {
    throw UsageError(e.what());
  }
  if (terminal && shown > 0) std::fprintf(stderr, "\r%-*s\r", static_cast<int>(shown), "");

  const rescue::Counts totals = report.Totals();
  const std::int64_t failed = report.CountStatus(rescue::Status::kFailed) +
                              report.CountStatus(rescue::Status::kUnreadable);
  const std::int64_t palm = report.PalmDatabases();
  std::fprintf(stderr,
               "corvane: %zu files, %lld Palm databases: %lld rescued, %lld partly, %lld failed, "
               "%lld not Palm databases (%lld contacts, %lld events, %lld to-dos, %lld memos) "
               "in %.1fs\ncorvane: open %s/index.html in a browser to see what became of each file\n",
               report.files.size(), static_cast<long long>(palm),
               static_cast<long long>(report.CountStatus(rescue::Status::kRescued)),
               static_cast<long long>(report.CountStatus(rescue::Status::kPartial)),
               static_cast<long long>(failed),
               static_cast<long long>(report.CountStatus(rescue::Status::kNotPalm)),
               static_cast<long long>(totals.contacts), static_cast<long long>(totals.events),
               static_cast<long long>(totals.todos), static_cast<long long>(totals.memos),
               report.elapsedSeconds, options.output.c_str());
  for (const std::string& note : report.notes)
    std::fprintf(stderr, "corvane: note: %s\n", Printable(note).c_str());
  if (args.Has("--json")) out.Buffer() += rescue::ReportJson(report);

  const std::int64_t whole = report.CountStatus(rescue::Status::kRescued);
  const std::int64_t partly = report.CountStatus(rescue::Status::kPartial);
  if (report.cancelled || palm == 0 || whole + partly == 0) return kExitFailure;
  return failed == 0 && partly == 0 ? kExitOk : kExitDamaged;
}

}  // namespace

const Command kRescueCommand = {"rescue", "rescue a whole backup folder into everyday files",
                                kHelp, kOptions, RunRescue};

}  // namespace corvane::cli
