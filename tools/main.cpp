// The `corvane` program: global options, then a command and its arguments.
// Exit 0 on success, 1 when the library raises, 2 on bad usage, 3 when an
// export kept damaged records raw.
#include <clocale>
#include <csignal>
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/foundation/exception.h"
#include "corvane/foundation/message_ids.h"
#include "corvane/host/exceptions.h"
#include "corvane/host/locale.h"
#include "corvane/version.h"
#include "tools/cli.h"
#include "tools/commands.h"

namespace corvane::cli {
namespace {

constexpr const Command* kCommands[] = {&kInfoCommand,   &kRecordsCommand, &kCheckCommand,
                                        &kExportCommand, &kImportCommand,  &kConvertCommand,
                                        &kRescueCommand};

const Command* FindCommand(std::string_view name) {
  for (const Command* c : kCommands) {
    if (c->name == name) return c;
  }
  return nullptr;
}

void PrintProgramHelp(std::FILE* to) {
  std::fprintf(to,
               "Usage: corvane [--help] [--version] [--lang en|pt] COMMAND [OPTIONS] FILE\n"
               "\n"
               "Reads and writes Palm OS record databases (PDB files).\n"
               "\n"
               "Commands:\n");
  for (const Command* c : kCommands) {
    std::fprintf(to, "  %-10.*s %.*s\n", static_cast<int>(c->name.size()), c->name.data(),
                 static_cast<int>(c->summary.size()), c->summary.data());
  }
  std::fprintf(to,
               "\n"
               "  --lang L   the language of the library's messages: en or pt (default:\n"
               "             from the locale)\n"
               "\n"
               "Run 'corvane COMMAND --help' for a command's options.\n"
               "Exit status: 0 success, 1 the database could not be read or written (or\n"
               "check found problems), 2 bad usage, 3 export --keep-going: done, with\n"
               "damaged records kept raw.\n");
}

int UsageFailure(const std::string& message, const Command* command) {
  std::fprintf(stderr, "corvane: %s\n", message.c_str());
  if (command != nullptr) {
    std::fprintf(stderr, "Try 'corvane %.*s --help'.\n", static_cast<int>(command->name.size()),
                 command->name.data());
  } else {
    std::fprintf(stderr, "Try 'corvane --help'.\n");
  }
  return kExitUsage;
}

int Failure(const std::string& message, const int* code) {
  if (code != nullptr) {
    std::fprintf(stderr, "corvane: %s (code %d)\n", message.c_str(), *code);
  } else {
    std::fprintf(stderr, "corvane: %s\n", message.c_str());
  }
  return kExitFailure;
}

int Run(const std::vector<std::string>& args) {
  // Global options come before the command.
  std::size_t at = 0;
  for (; at < args.size() && args[at].size() > 1 && args[at][0] == '-'; ++at) {
    const std::string& opt = args[at];
    if (opt == "--help" || opt == "-h") {
      PrintProgramHelp(stdout);
      return kExitOk;
    }
    if (opt == "--version") {
      std::printf("corvane %s\n", CORVANE_VERSION_STRING);
      return kExitOk;
    }
    if (opt == "--lang" || opt.starts_with("--lang=")) {
      std::string lang;
      if (opt != "--lang") {
        lang = opt.substr(7);
      } else if (at + 1 < args.size()) {
        lang = args[++at];
      }
      if (lang != "en" && lang != "pt") return UsageFailure("--lang takes en or pt", nullptr);
      SetThreadLanguageOverride(lang);
      continue;
    }
    return UsageFailure("unknown option '" + opt + "'", nullptr);
  }
  if (at == args.size()) return UsageFailure("missing COMMAND", nullptr);
  const Command* command = FindCommand(args[at]);
  if (command == nullptr) return UsageFailure("unknown command '" + args[at] + "'", nullptr);

  const std::span<const std::string> rest(args.data() + at + 1, args.size() - at - 1);
  Output out(stdout);
  int status;
  try {
    const ParsedArgs parsed = ParseArgs(rest, command->options);
    if (parsed.help) {
      std::printf("%.*s", static_cast<int>(command->help.size()), command->help.data());
      return kExitOk;
    }
    status = command->run(parsed, out);
  } catch (const UsageError& e) {
    return UsageFailure(e.what(), command);
  } catch (const EPDBException& e) {
    const int code = e.ErrorCode();
    // A file the system refused: its path and the system's reason say more
    // than the library's message ("Error creating PDB File!").
    const int id = e.MessageId();
    const bool opening =
        id == kMsgPdbFileMissing || id == kMsgPdbFileAssign || id == kMsgPdbFileOpen;
    if (!e.Path().empty() && !e.Reason().empty() && (opening || id == kMsgPdbFileCreate)) {
      const char* what = id == kMsgPdbFileCreate ? "cannot create" : "cannot open";
      return Failure(std::string(what) + " '" + e.Path() + "': " + e.Reason(), &code);
    }
    // Any other failure about a file names it, and where in it the library
    // found the fault.
    if (!e.Path().empty()) {
      const std::string what = e.what();
      std::string reason = e.Reason();
      // "record 3: ..." said once, where the command already named the record.
      if (const std::size_t colon = reason.find(": ");
          reason.rfind("record ", 0) == 0 && colon != std::string::npos &&
          what.rfind(reason.substr(0, colon) + ":", 0) == 0) {
        reason.erase(0, colon + 2);
      }
      std::string message = "cannot read '" + e.Path() + "': " + what;
      if (!reason.empty()) message += " (" + reason + ")";
      return Failure(message, &code);
    }
    return Failure(e.what(), &code);
  } catch (const EInOutError& e) {
    const int code = e.ErrorCode();
    return Failure(e.what(), code != 0 ? &code : nullptr);
  } catch (const std::exception& e) {
    return Failure(e.what(), nullptr);
  }
  if (!out.Finish()) return Failure("cannot write the output", nullptr);
  return status;
}

}  // namespace
}  // namespace corvane::cli

int main(int argc, char** argv) {
  // Past a file size limit (ulimit -f) the system would kill the command
  // mid-write; ignored, the write fails with "File too large" and the
  // command reports it and removes what it wrote.
  std::signal(SIGXFSZ, SIG_IGN);
  // Texts sort by the user's collation; numbers, dates and messages keep their
  // own fixed forms, so no other part of the locale is taken.
  std::setlocale(LC_COLLATE, "");
  const std::vector<std::string> args(argv + 1, argv + argc);
  return corvane::cli::Run(args);
}
