// export --app: the records of the handheld's own applications and e-books as
// JSON, CSV, vCard, iCalendar or text.
#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>

#include "corvane/apps/address.h"
#include "corvane/apps/contacts.h"
#include "corvane/apps/datebook.h"
#include "corvane/apps/doc.h"
#include "corvane/apps/memo.h"
#include "corvane/apps/todo.h"
#include "corvane/foundation/exception.h"
#include "corvane/interchange/app_export.h"
#include "corvane/interchange/apps_json.h"
#include "corvane/interchange/csv.h"
#include "corvane/interchange/pim_formats.h"
#include "corvane/interchange/record_damage.h"
#include "corvane/interchange/time_zone.h"
#include "corvane/pdb/corvane.h"
#include "corvane/pdb/file_format.h"
#include "tools/apps_commands.h"
#include "tools/commands.h"

namespace corvane::cli {

namespace {

App ChooseApp(const ParsedArgs& args, const TCorvane& db) {
  const std::string name = args.Value("--app", "auto");
  if (name == "auto") return AppFromHeader(db.CreatorID(), db.DatabaseType());
  const AppIdentity* id = AppByName(name);
  if (id == nullptr) {
    throw UsageError("unknown --app '" + name +
                     "' (memo, todo, address, datebook, mail, doc, contacts, calendar, tasks, "
                     "memos, raw or auto)");
  }
  return id->app;
}

void CheckFormat(App app, const std::string& format) {
  const auto refuse = [&](const char* which) {
    throw UsageError("--format " + format + " is for " + which + ", not " +
                     std::string(Identity(app).name));
  };
  if (format == "json") return;
  if (format == "csv") {
    if (app == App::kDoc) refuse("the record applications");
    return;
  }
  if (format == "vcard") {
    if (app != App::kAddress && app != App::kContacts) refuse("address and contacts");
    return;
  }
  if (format == "ical") {
    if (app != App::kDatebook && app != App::kToDo && app != App::kCalendar && app != App::kTasks)
      refuse("datebook, todo, calendar and tasks");
    return;
  }
  if (format == "text") {
    if (app != App::kMemo && app != App::kMemos && app != App::kDoc) refuse("memo, memos and doc");
    return;
  }
  throw UsageError("unknown format '" + format + "' (json, csv, vcard, ical or text)");
}

}  // namespace

int RunAppsExport(const ParsedArgs& args, Output& out) {
  if (args.Has("--engine")) throw UsageError("--app and --engine exclude each other");
  if (args.Has("--field")) throw UsageError("--field needs --engine");
  const std::string format = args.Value("--format", "json");
  const Charset cs(args.Value("--encoding", "cp1252"));
  DamageLog damage(args.Has("--keep-going"), [](const RecordDamage& d) {
    std::fprintf(stderr, "corvane: warning: %s kept raw: %s\n", DamagePlace(d.index).c_str(),
                 d.reason.c_str());
  });
  TCorvane db;
  OpenForReading(db, SingleFileArgument(args));
  const App app = ChooseApp(args, db);
  CheckFormat(app, format);
  std::optional<TimeZone> zone;
  if (args.Has("--timezone")) {
    if (format != "ical") throw UsageError("--timezone is for --format ical");
    zone = TimeZone::Load(args.Value("--timezone", ""));
  }
  const std::vector<RawRecord> records = ReadRecords(db);
  const std::size_t archived =
      ExportRecords(db, app, format, records, cs, damage, zone ? &*zone : nullptr, out);
  if (archived > 0 && (format == "vcard" || format == "ical" || format == "text")) {
    std::fprintf(stderr, "corvane: %zu archived record%s left out (JSON and CSV keep them)\n",
                 archived, archived == 1 ? "" : "s");
  } else if (archived > 0) {
    std::fprintf(stderr, "corvane: %zu archived record%s, exported with \"archived\": true\n",
                 archived, archived == 1 ? "" : "s");
  }
  return damage.Damaged().empty() ? kExitOk : kExitDamaged;
}

}  // namespace corvane::cli
