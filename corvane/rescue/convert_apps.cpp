// The handheld's address books, date books, to-do lists and their later
// forms as vCard and iCalendar, and any other Palm database as the lossless
// JSON of export --app raw: the same writers the export command runs.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <unistd.h>

#include "corvane/interchange/app_export.h"
#include "corvane/rescue/convert_parts.h"

namespace corvane::rescue {

namespace {

cli::App AppOf(Kind kind) {
  switch (kind) {
    case Kind::kAddress:
      return cli::App::kAddress;
    case Kind::kContacts:
      return cli::App::kContacts;
    case Kind::kDatebook:
      return cli::App::kDatebook;
    case Kind::kCalendar:
      return cli::App::kCalendar;
    case Kind::kToDo:
      return cli::App::kToDo;
    case Kind::kTasks:
      return cli::App::kTasks;
    default:
      return cli::App::kRaw;
  }
}

// The values of the first lines of `text` that start with `name` (a
// property of vCard or iCalendar), unescaped enough to be read.
std::vector<std::string> Values(const std::string& text, std::string_view name,
                                std::size_t most) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < text.size() && out.size() < most) {
    std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    const std::string_view line(text.data() + at, end - at);
    if (line.starts_with(name)) {
      const std::size_t colon = line.find(':');
      std::string value;
      for (std::size_t i = colon + 1; colon != std::string_view::npos && i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) ++i;
        value += line[i];
      }
      out.push_back(value);
    }
    at = end + 2;
  }
  return out;
}

// Up to five events from today on (else the last ones): "2026-12-24 Dinner".
std::vector<std::string> NextEvents(const std::string& ics) {
  std::vector<std::pair<std::string, std::string>> events;  // date, summary
  std::size_t at = 0;
  while ((at = ics.find("BEGIN:VEVENT\r\n", at)) != std::string::npos) {
    const std::size_t end = ics.find("END:VEVENT\r\n", at);
    const std::string one = ics.substr(at, end == std::string::npos ? std::string::npos : end - at);
    at = end == std::string::npos ? ics.size() : end;
    const auto start = Values(one, "DTSTART", 1);
    const auto summary = Values(one, "SUMMARY", 1);
    if (start.empty()) continue;
    const std::string& d = start.front();
    if (d.size() < 8) continue;
    events.emplace_back(d.substr(0, 4) + "-" + d.substr(4, 2) + "-" + d.substr(6, 2),
                        summary.empty() ? std::string() : summary.front());
  }
  std::sort(events.begin(), events.end());
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char today[16];
  std::strftime(today, sizeof today, "%Y-%m-%d", &tm);
  auto from = std::lower_bound(events.begin(), events.end(),
                               std::make_pair(std::string(today), std::string()));
  if (events.end() - from < 5) from = events.end() - std::min<std::ptrdiff_t>(5, events.size());
  std::vector<std::string> out;
  for (auto it = from; it != events.end() && out.size() < 5; ++it)
    out.push_back(it->first + " " + it->second);
  return out;
}

}  // namespace

void AppExport(Job& job, const char* folder, const char* format, const char* extension) {
  const Kind kind = job.Report().detection.kind;
  const cli::App app = AppOf(kind);
  TCorvane db;
  job.Open(db);
  cli::DamageLog damage(true, [&](const cli::RecordDamage& d) {
    if (d.index < 0) {
      job.Warn("the application-info block does not decode (kept as raw bytes): " + d.reason);
    } else {
      job.Damaged(d.index, d.reason);
    }
  });
  const std::vector<cli::RawRecord> records = cli::ReadRecords(db);
  cli::Output output;  // in memory: the previews and the joined files read it
  const std::size_t archived =
      cli::ExportRecords(db, app, format, records, job.Chars(), damage, nullptr, output);
  std::string written = std::move(output.Buffer());
  NameSet names;
  const std::string path = job.Out().Write(folder, job.Stem(), extension, written, names);

  std::int64_t shown = 0;  // what the handheld still shows
  for (const cli::RawRecord& r : records) {
    if (!r.attributes.deleted && !r.attributes.archived) ++shown;
  }
  shown -= static_cast<std::int64_t>(damage.Damaged().size());
  Counts& c = job.Report().counts;
  std::string label;
  switch (kind) {
    case Kind::kAddress:
    case Kind::kContacts:
      c.contacts = shown;
      label = std::to_string(shown) + (shown == 1 ? " card" : " cards");
      for (const std::string& n : Values(written, "FN", 5)) job.Preview(n);
      break;
    case Kind::kDatebook:
    case Kind::kCalendar:
      c.events = shown;
      label = std::to_string(shown) + (shown == 1 ? " event" : " events");
      for (const std::string& e : NextEvents(written)) job.Preview(e);
      break;
    case Kind::kToDo:
    case Kind::kTasks:
      c.todos = shown;
      label = std::to_string(shown) + (shown == 1 ? " to-do" : " to-dos");
      for (const std::string& s : Values(written, "SUMMARY", 5)) job.Preview(s);
      break;
    default:
      label = std::to_string(records.size()) + (records.size() == 1 ? " record" : " records");
      break;
  }
  if (archived > 0 && app != cli::App::kRaw)
    job.Warn(std::to_string(archived) + (archived == 1 ? " archived record" : " archived records") +
             " (deleted on the handheld, kept for the desktop) left out; the original keeps them",
             false);
  if (app != cli::App::kRaw) job.Out().Remember(path, std::move(written));
  job.Output(path, format == std::string_view("vcard") ? "vcf"
                   : format == std::string_view("ical") ? "ics"
                                                        : "json",
             label);
}

}  // namespace corvane::rescue
