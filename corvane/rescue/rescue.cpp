#include "corvane/rescue/rescue.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <thread>

#include "corvane/foundation/types.h"
#include "corvane/rescue/convert.h"
#include "corvane/interchange/app_charset.h"
#include "corvane/interchange/csv.h"
#ifdef CORVANE_RESCUE_SQLITE
#include "corvane/interchange/sqlite_writer.h"
#endif
#include "corvane/rescue/out_files.h"
#include "corvane/rescue/report_page.h"
#include "corvane/rescue/safe_name.h"
#include "corvane/rescue/sha256.h"
#include "corvane/rescue/walk.h"
#include "corvane/rescue/zip.h"
#include "corvane/version.h"
#include "corvane/host/charset.h"
#include "corvane/interchange/json.h"
#include "corvane/interchange/text_encoding.h"

namespace corvane::rescue {

namespace fs = std::filesystem;
using cli::JsonWriter;

Counts& Counts::operator+=(const Counts& o) {
  contacts += o.contacts;
  events += o.events;
  todos += o.todos;
  memos += o.memos;
  books += o.books;
  mails += o.mails;
  tables += o.tables;
  rows += o.rows;
  pictures += o.pictures;
  resources += o.resources;
  records += o.records;
  damagedRecords += o.damagedRecords;
  return *this;
}

std::string_view StatusName(Status status) noexcept {
  switch (status) {
    case Status::kRescued:
      return "rescued";
    case Status::kPartial:
      return "partial";
    case Status::kFailed:
      return "failed";
    case Status::kUnreadable:
      return "unreadable";
    case Status::kNotPalm:
      return "not-palm";
  }
  return "failed";
}

std::int64_t Report::CountStatus(Status status) const {
  return std::count_if(files.begin(), files.end(),
                       [&](const FileReport& f) { return f.status == status; });
}

std::int64_t Report::PalmDatabases() const {
  return std::count_if(files.begin(), files.end(), [](const FileReport& f) {
    return !f.folder && f.detection.kind != Kind::kNotPalm && f.detection.kind != Kind::kZip;
  });
}

Counts Report::Totals() const {
  Counts c;
  for (const FileReport& f : files) c += f.counts;
  return c;
}

namespace {

using Clock = std::chrono::steady_clock;

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

std::string ReadReason(int err) {
  switch (err) {
    case ENOENT:
      return "The file was gone before it could be read (moved or deleted during the rescue).";
    case EACCES:
    case EPERM:
      return "This file may not be read (no permission): nothing of it could be rescued.";
    case EISDIR:
      return "This is a folder, not a file.";
    default:
      return "The file could not be read from the disk.";
  }
}

bool IsInside(const fs::path& inner, const fs::path& outer) {
  auto o = outer.begin();
  auto i = inner.begin();
  for (; o != outer.end(); ++o, ++i) {
    if (o->empty()) continue;  // a trailing separator
    if (i == inner.end() || *i != *o) return false;
  }
  return true;
}

fs::path Canonical(const fs::path& p) {
  std::error_code ec;
  fs::path c = fs::weakly_canonical(fs::absolute(p, ec), ec);
  return ec ? fs::absolute(p) : c;
}

void CheckOutput(const Options& o) {
  if (o.inputs.empty()) throw RescueRefused("no input given");
  if (o.output.empty()) throw RescueRefused("no output folder given (-o OUT)");
  try {
    cli::Charset check(o.encoding);
  } catch (const std::exception& e) {
    throw RescueRefused(e.what());
  }
  const fs::path out = Canonical(o.output);
  for (const std::string& in : o.inputs) {
    std::error_code ec;
    const fs::path inp = Canonical(in);
    if (!fs::is_directory(inp, ec)) {
      if (inp == out) throw RescueRefused("the output folder " + o.output + " is an input");
      continue;
    }
    if (IsInside(out, inp))
      throw RescueRefused("the output folder " + o.output + " lies inside the input folder " +
                          in + ": nothing is ever written inside an input");
    if (IsInside(inp, out))
      throw RescueRefused("the input folder " + in + " lies inside the output folder " +
                          o.output);
  }
  std::error_code ec;
  if (fs::exists(o.output, ec)) {
    if (!fs::is_directory(o.output, ec))
      throw RescueRefused("the output " + o.output + " exists and is not a folder");
    if (!o.force && !fs::is_empty(o.output, ec))
      throw RescueRefused("the output folder " + o.output +
                          " is not empty (--force writes into it, keeping what is there)");
  }
}

struct Names {
  std::string stem;      // of every output, unique (ignoring case) in the run
  std::string original;  // under originals/, the file's own name unless two share it
};

// Names decided before any file is read, in input order, so that they never
// depend on which thread finishes first. The usual database extensions claim
// their stems first: MemoDB.pdb keeps "MemoDB" beside a MemoDB.txt.
std::vector<Names> DecideNames(const std::vector<FoundFile>& files) {
  std::vector<Names> names(files.size());
  const auto database = [](const fs::path& p) {
    std::string ext = p.extension().string();
    for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return ext == ".pdb" || ext == ".prc" || ext == ".pqa";
  };
  NameSet stems, originals;
  for (int pass = 0; pass < 2; ++pass) {
    for (std::size_t i = 0; i < files.size(); ++i) {
      const fs::path p(files[i].input);
      if (database(p) != (pass == 0)) continue;
      std::string stem = SafeStem(p.stem().string());
      if (stem.empty()) stem = SafeStem(p.filename().string());
      names[i].stem = stems.Claim(stem, "", "file");
    }
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    const fs::path p(files[i].input);
    std::string ext = SafeStem(p.extension().string(), 20);
    if (!ext.empty()) ext = "." + ext;
    std::string stem = SafeStem(p.stem().string());
    names[i].original = originals.Claim(stem.empty() ? names[i].stem : stem, ext, "file");
  }
  return names;
}

void RescueOne(const FoundFile& found, const Names& names, const Options& options,
               OutputFolder& out, FileReport& r) {
  const std::string& stem = names.stem;
  r.input = found.input;
  if (found.folder) {
    r.folder = true;
    r.status = Status::kUnreadable;
    r.error = FileError{"This folder could not be opened (no permission?): the files in it were "
                        "not rescued.",
                        found.problem};
    return;
  }
  if (found.zip && !found.member) {
    RescueZipArchive(found, names.original, out, r);
    return;
  }
  Bytes bytes;
  int err = 0;
  if (found.member) {
    if (std::optional<FileError> e = ReadZipMember(found, bytes)) {
      r.status = Status::kUnreadable;
      r.detection.why = "it could not be taken out of its zip archive";
      r.error = std::move(e);
      return;
    }
  } else if (!found.problem.empty() || !ReadWholeFile(found.path, bytes, err)) {
    r.status = Status::kUnreadable;
    r.detection.why = "it could not be read";
    r.error = FileError{found.problem.empty() ? ReadReason(err) : ReadReason(ENOENT),
                        found.problem.empty() ? std::strerror(err) : found.problem};
    return;
  }
  r.size = bytes.size();
  r.sha256 = Sha256Hex(bytes);
  r.detection = Detect(bytes);
  try {
    NameSet originals;  // the name is unique already; a clash is a file left by an earlier run
    const fs::path original(names.original);
    r.original = out.Write("originals", original.stem().string(), original.extension().string(),
                           bytes, originals);
  } catch (const std::exception& e) {
    r.status = Status::kFailed;
    r.error = FileError{PlainReason(e.what()), e.what()};
    return;
  }
  if (found.member) NoteNestedZip(bytes, r);
  if (r.detection.kind == Kind::kNotPalm || r.detection.kind == Kind::kZip) {
    r.status = Status::kNotPalm;
    return;
  }
  r.records = r.detection.entries;
  ConvertJob job{bytes, found.path.string(), stem, options.encoding, out, r};
  try {
    Convert(job);
    const bool loss = std::any_of(r.warnings.begin(), r.warnings.end(),
                                  [](const Warning& w) { return w.loss; });
    r.status = r.counts.damagedRecords > 0 || loss ? Status::kPartial : Status::kRescued;
  } catch (const std::exception& e) {
    r.status = Status::kFailed;
    r.error = FileError{PlainReason(e.what()), e.what()};
  }
  r.rescued = std::max<std::int64_t>(0, r.status == Status::kFailed
                                            ? 0
                                            : r.records - r.counts.damagedRecords);
  r.counts.records = r.rescued;
}

// Writes `name` in `folder` under a temporary name, then over the file of that name.
void Replace(const fs::path& folder, const std::string& name, std::string_view text) {
  NameSet names;
  PendingFile file(folder);
  file.Append(text);
  const std::string temp = file.Commit("." + name + ".new", "", names);
  if (::rename((folder / temp).c_str(), (folder / name).c_str()) != 0) {
    const int err = errno;
    ::unlink((folder / temp).c_str());
    throw std::system_error(err, std::generic_category(), (folder / name).string());
  }
}

// Joins the finished files' outputs, in input order, into contacts.vcf,
// calendar.ics and memos.txt.
void Join(const std::vector<const FileReport*>& files, OutputFolder& out,
          std::vector<std::string>& notes, std::vector<OutputFile>& joined);

#ifdef CORVANE_RESCUE_SQLITE
// Every table written as CSV, as one SQLite file: a table per CSV (named
// after it), its header row the columns, every cell text as the CSV has it.
// Files are given in input order, as they finish, so the SQLite file is
// built while the others are still converted.
class TableJoin {
 public:
  explicit TableJoin(OutputFolder& out) : out_(out) {}

  void Add(const FileReport& file) {
    for (const OutputFile& o : file.outputs) {
      if (o.format != "csv" || !o.path.starts_with("tables/")) continue;
      ++tables_;
      if (!failure_.empty()) continue;
      try {
        Table(o.path);
      } catch (const std::exception& e) {
        failure_ = e.what();
        db_.reset();
      }
    }
  }

  void Finish(std::vector<std::string>& notes, std::vector<OutputFile>& joined) {
    if (tables_ == 0) return;
    try {
      if (!failure_.empty()) throw std::runtime_error(failure_);
      if (!db_) Open();  // no table could be read back: an empty file still says so
      db_->Commit();
      joined.push_back({name_, "sqlite",
                        std::to_string(tables_) + (tables_ == 1 ? " table" : " tables")});
    } catch (const std::exception& e) {
      notes.push_back("tables.sqlite could not be written: " + std::string(e.what()));
    }
  }

 private:
  void Open() {
    // Never over a file this run did not write (an earlier run's, with --force).
    NameSet names;
    do {
      name_ = names.Claim("tables", ".sqlite");
    } while (fs::exists(out_.Root() / name_));
    db_.emplace((out_.Root() / name_).string());
  }

  void Table(const std::string& path) {
    if (!db_) Open();
    std::string text;
    if (!out_.Recall(path, text)) return;
    const cli::CsvTable table = cli::ParseCsvTable(text);
    if (table.Rows() == 0 || table.Width() == 0) return;
    std::vector<interchange::SqlColumn> columns;
    for (std::size_t c = 0; c < table.Width(); ++c)
      columns.push_back({std::string(table.Field(0, c)), interchange::SqlType::kText});
    std::size_t row = 1;
    db_->AddTable(fs::path(path).stem().string(), columns, [&](interchange::SqliteWriter& w) {
      if (row >= table.Rows()) return false;
      for (std::size_t c = 0; c < table.Width(); ++c) w.Text(static_cast<int>(c), table.Field(row, c));
      ++row;
      return true;
    });
  }

  OutputFolder& out_;
  std::optional<interchange::SqliteWriter> db_;
  std::string name_, failure_;
  std::size_t tables_ = 0;
};
#endif

}  // namespace

Report Run(const Options& options, const ProgressCallback& progress,
           const std::atomic<bool>* cancel) {
  CheckOutput(options);
  const auto start = Clock::now();
  Report report;
  report.version = CORVANE_VERSION_STRING;
  report.inputs = options.inputs;
  report.encoding = options.encoding;
  report.started = UtcNow();
  report.jobs = options.jobs != 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());

  WalkResult walk = Walk(options.inputs);
  report.notes = std::move(walk.notes);
  const std::vector<Names> names = DecideNames(walk.files);
  std::error_code ec;
  fs::create_directories(options.output, ec);
  if (ec) throw std::system_error(ec, "cannot create the output folder " + options.output);
  OutputFolder out{fs::path(options.output)};

  std::vector<FileReport> results(walk.files.size());
  std::vector<bool> done(walk.files.size(), false);
  std::atomic<std::size_t> next{0};
  std::mutex mutex;
  Progress p;
  p.total = walk.files.size();
  const auto elapsed = [&] {
    return std::chrono::duration<double>(Clock::now() - start).count();
  };
  // A callback that raises stops the files not yet started; the exception is
  // raised again once every thread has stopped.
  std::exception_ptr callback_error;
  std::atomic<bool> stop{false};
  std::condition_variable finished;  // a file done, or every worker gone
  bool workers_gone = false;
#ifdef CORVANE_RESCUE_SQLITE
  TableJoin tables(out);
  std::vector<std::string> table_notes;
  std::vector<OutputFile> table_outputs;
  const auto join_tables = [&] {
    for (std::size_t i = 0; i < results.size(); ++i) {
      {
        std::unique_lock<std::mutex> lock(mutex);
        finished.wait(lock, [&] { return done[i] || workers_gone; });
        if (!done[i]) continue;
      }
      tables.Add(results[i]);
    }
    if (!stop.load()) tables.Finish(table_notes, table_outputs);
  };
#endif
  const auto tell = [&](const Progress& at) {
    try {
      progress(at);
    } catch (...) {
      if (!callback_error) callback_error = std::current_exception();
      stop.store(true);
    }
  };
  const auto worker = [&] {
    for (;;) {
      if (stop.load() || (cancel != nullptr && cancel->load())) return;
      // In input order, which the tables' thread follows close behind.
      const std::size_t i = next.fetch_add(1);
      if (i >= walk.files.size()) return;
      if (progress) {
        std::lock_guard<std::mutex> lock(mutex);
        p.event = Progress::Event::kStarting;
        p.current = walk.files[i].input;
        p.elapsedSeconds = elapsed();
        tell(p);
      }
      RescueOne(walk.files[i], names[i], options, out, results[i]);
      std::lock_guard<std::mutex> lock(mutex);
      done[i] = true;
      finished.notify_all();
      ++p.done;
      p.totals += results[i].counts;
      if (results[i].status == Status::kFailed || results[i].status == Status::kUnreadable)
        ++p.failed;
      if (progress) {
        p.event = Progress::Event::kFinished;
        p.current = walk.files[i].input;
        p.elapsedSeconds = elapsed();
        tell(p);
      }
    }
  };
  std::vector<std::thread> threads;
  const unsigned n = std::min<std::size_t>(report.jobs, std::max<std::size_t>(1, walk.files.size()));
  for (unsigned t = 1; t < n; ++t) threads.emplace_back(worker);
#ifdef CORVANE_RESCUE_SQLITE
  // The tables go into SQLite beside the workers when there are several.
  std::thread table_thread;
  if (n > 1) table_thread = std::thread(join_tables);
#endif
  worker();
  for (std::thread& t : threads) t.join();
  {
    std::lock_guard<std::mutex> lock(mutex);
    workers_gone = true;
  }
  finished.notify_all();

  if (callback_error) {
#ifdef CORVANE_RESCUE_SQLITE
    if (table_thread.joinable()) table_thread.join();
#endif
    std::rethrow_exception(callback_error);
  }

  std::vector<const FileReport*> finished_files;
  for (std::size_t i = 0; i < results.size(); ++i) {
    if (done[i]) finished_files.push_back(&results[i]);
  }
  Join(finished_files, out, report.notes, report.outputs);
#ifdef CORVANE_RESCUE_SQLITE
  if (table_thread.joinable()) {
    table_thread.join();
  } else {
    join_tables();
  }
  report.notes.insert(report.notes.end(), table_notes.begin(), table_notes.end());
  report.outputs.insert(report.outputs.end(), table_outputs.begin(), table_outputs.end());
#endif
  for (std::size_t i = 0; i < results.size(); ++i) {
    if (done[i]) {
      report.files.push_back(std::move(results[i]));
    } else {
      report.cancelled = true;
    }
  }
  report.elapsedSeconds = elapsed();
  const std::string json = ReportJson(report);
  // The report and its page are the files a rerun with --force replaces:
  // they describe the whole folder.
  Replace(out.Root(), "rescue.json", json);
  Replace(out.Root(), "index.html", RenderReportPage(json));
  return report;
}

namespace {

// The components of an iCalendar file (VEVENT, VTODO, VTIMEZONE, ...), each
// with its lines; the calendar's own properties are left out.
std::vector<std::string> Components(const std::string& text) {
  std::vector<std::string> out;
  int depth = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    const std::string_view line(text.data() + at, end - at);
    const std::size_t next = std::min(text.size(), end + 2);
    if (line.starts_with("BEGIN:")) {
      if (++depth == 2) out.emplace_back();
    }
    if (depth >= 2) out.back().append(text, at, next - at);
    if (line.starts_with("END:")) --depth;
    at = next;
  }
  return out;
}

struct Joined {
  const char* name;
  const char* extension;
  const char* format;
  const char* folder;  // whose outputs it joins
  const char* one;
  const char* many;
};

void Join(const std::vector<const FileReport*>& files, OutputFolder& out,
          std::vector<std::string>& notes, std::vector<OutputFile>& joined) {
  static constexpr Joined kJoined[] = {{"contacts", ".vcf", "vcf", "contacts/", "card", "cards"},
                                       {"calendar", ".ics", "ics", "calendar/", "file", "files"},
                                       {"memos", ".txt", "txt", "memos/", "memo", "memos"}};
  NameSet top;
  for (const Joined& j : kJoined) {
    try {
      std::optional<PendingFile> file;
      std::int64_t parts = 0;
      std::set<std::string> zones;  // VTIMEZONEs written, by their text
      std::string text;
      for (const FileReport* f : files) {
        for (const OutputFile& o : f->outputs) {
          if (o.format != j.format || !o.path.starts_with(j.folder)) continue;
          if (!out.Recall(o.path, text)) continue;
          if (!file) {
            file.emplace(out.Root());
            if (std::string_view(j.format) == "ics")
              file->Append("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Corvane//rescue//EN\r\n");
          }
          if (std::string_view(j.format) == "ics") {
            for (const std::string& c : Components(text)) {
              if (c.starts_with("BEGIN:VTIMEZONE") && !zones.insert(c).second) continue;
              file->Append(c);
            }
          } else if (std::string_view(j.format) == "txt") {
            if (parts > 0) file->Append("\n\n========================================\n\n");
            file->Append(text);
          } else {
            file->Append(text);
          }
          ++parts;
        }
      }
      if (!file) continue;
      if (std::string_view(j.format) == "ics") file->Append("END:VCALENDAR\r\n");
      const std::string name = file->Commit(j.name, j.extension, top);
      joined.push_back({name, j.format, std::to_string(parts) + " " + (parts == 1 ? j.one : j.many)});
    } catch (const std::exception& e) {
      notes.push_back(std::string(j.name) + j.extension + " could not be written: " + e.what());
    }
  }
}

}  // namespace

namespace {

void WriteCounts(JsonWriter& w, const Counts& c, bool all) {
  w.BeginObject(JsonWriter::Layout::kInline);
  const std::pair<const char*, std::int64_t> items[] = {
      {"contacts", c.contacts}, {"events", c.events},       {"todos", c.todos},
      {"memos", c.memos},       {"books", c.books},         {"mails", c.mails},
      {"tables", c.tables},     {"rows", c.rows},           {"pictures", c.pictures},
      {"resources", c.resources}, {"records", c.records}, {"damagedRecords", c.damagedRecords}};
  for (const auto& [key, value] : items) {
    if (!all && value == 0) continue;
    w.Key(key);
    w.Int(value);
  }
  w.EndObject();
}

void WriteOutputs(JsonWriter& w, const std::vector<OutputFile>& outputs) {
  w.BeginArray();
  for (const OutputFile& o : outputs) {
    w.BeginObject(JsonWriter::Layout::kInline);
    w.Key("path");
    w.String(o.path);
    w.Key("format");
    w.String(o.format);
    w.Key("label");
    w.String(o.label);
    w.EndObject();
  }
  w.EndArray();
}

void StringOrNull(JsonWriter& w, const std::string& s) {
  if (s.empty()) {
    w.Null();
  } else {
    w.String(s);
  }
}

// Paths and messages as JSON text: well-formed UTF-8 is kept, any other byte
// read as Latin-1, so that every name gives valid JSON and stays recognisable.
std::string PathText(std::string_view bytes) {
  std::string out;
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t n = Utf8SequenceLength(bytes.substr(i));
    if (n > 0) {
      out.append(bytes.substr(i, n));
      i += n;
      continue;
    }
    AppendUtf8(out, static_cast<unsigned char>(bytes[i]));
    ++i;
  }
  return out;
}

// Header fields: the handheld's texts in the run's encoding, zero bytes dropped.
std::string HeaderText(std::string_view bytes, const std::string& encoding) {
  std::string stored(bytes);
  stored.erase(std::remove(stored.begin(), stored.end(), '\0'), stored.end());
  cli::TextEncoding enc = cli::TextEncoding::kWindows1252;
  cli::ParseTextEncoding(encoding, enc);
  return cli::ToUtf8(stored, enc);
}

}  // namespace

std::string ReportJson(const Report& report) {
  std::string text;
  JsonWriter w(text);
  w.BeginObject();
  w.Key("format");
  w.String("corvane-rescue");
  w.Key("version");
  w.Int(1);
  w.Key("corvane");
  w.String(report.version);
  w.Key("inputs");
  w.BeginArray(JsonWriter::Layout::kInline);
  for (const std::string& in : report.inputs) w.String(PathText(in));
  w.EndArray();
  w.Key("started");
  w.String(report.started);
  w.Key("elapsedSeconds");
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", report.elapsedSeconds);
  w.Raw(buf);
  w.Key("jobs");
  w.UInt(report.jobs);
  w.Key("cancelled");
  w.Bool(report.cancelled);
  w.Key("totals");
  {
    const Counts c = report.Totals();
    w.BeginObject();
    const std::pair<const char*, std::int64_t> status[] = {
        {"files", static_cast<std::int64_t>(report.files.size())},
        {"palmDatabases", report.PalmDatabases()},
        {"rescued", report.CountStatus(Status::kRescued)},
        {"partial", report.CountStatus(Status::kPartial)},
        {"failed", report.CountStatus(Status::kFailed) + report.CountStatus(Status::kUnreadable)},
        {"notPalm", report.CountStatus(Status::kNotPalm)},
        {"contacts", c.contacts},
        {"events", c.events},
        {"todos", c.todos},
        {"memos", c.memos},
        {"books", c.books},
        {"mails", c.mails},
        {"tables", c.tables},
        {"rows", c.rows},
        {"pictures", c.pictures},
        {"resources", c.resources},
        {"records", c.records},
        {"damagedRecords", c.damagedRecords}};
    for (const auto& [key, value] : status) {
      w.Key(key);
      w.Int(value);
    }
    w.EndObject();
  }
  w.Key("outputs");
  WriteOutputs(w, report.outputs);
  w.Key("notes");
  w.BeginArray();
  for (const std::string& n : report.notes) w.String(PathText(n));
  w.EndArray();
  w.Key("files");
  w.BeginArray();
  for (const FileReport& f : report.files) {
    const Detection& d = f.detection;
    const bool palm = !f.folder && d.kind != Kind::kNotPalm && !d.type.empty();
    w.BeginObject();
    w.Key("input");
    w.String(PathText(f.input));
    w.Key("size");
    w.UInt(f.size);
    w.Key("sha256");
    StringOrNull(w, f.sha256);
    w.Key("kind");
    w.String(f.folder ? "folder" : KindName(d.kind));
    w.Key("kindLabel");
    w.String(f.folder ? "Folder" : KindLabel(d.kind));
    if (!d.engine.empty()) {
      w.Key("engine");
      w.String(d.engine);
    }
    for (const auto& [key, text] : {std::pair{"name", &d.name}, std::pair{"type", &d.type},
                                    std::pair{"creator", &d.creator}}) {
      w.Key(key);
      if (palm) {
        w.String(HeaderText(*text, report.encoding));
      } else {
        w.Null();
      }
    }
    w.Key("status");
    w.String(StatusName(f.status));
    w.Key("records");
    w.Int(f.records);
    w.Key("rescued");
    w.Int(f.rescued);
    w.Key("counts");
    WriteCounts(w, f.counts, false);
    w.Key("outputs");
    WriteOutputs(w, f.outputs);
    w.Key("original");
    StringOrNull(w, f.original);
    w.Key("preview");
    w.BeginArray(JsonWriter::Layout::kInline);
    for (const std::string& line : f.preview) w.String(line);
    w.EndArray();
    if (d.kind == Kind::kNotPalm && !f.folder && !d.why.empty()) {
      w.Key("why");
      w.String(d.why);
    }
    w.Key("warnings");
    w.BeginArray();
    for (const Warning& warning : f.warnings) {
      w.BeginObject(JsonWriter::Layout::kInline);
      w.Key("record");
      if (warning.record) {
        w.Int(*warning.record);
      } else {
        w.Null();
      }
      w.Key("message");
      w.String(warning.message);
      w.EndObject();
    }
    w.EndArray();
    w.Key("error");
    if (f.error) {
      w.BeginObject(JsonWriter::Layout::kInline);
      w.Key("message");
      w.String(f.error->message);
      w.Key("detail");
      w.String(PathText(f.error->detail));
      w.EndObject();
    } else {
      w.Null();
    }
    w.EndObject();
  }
  w.EndArray();
  w.EndObject();
  w.EndDocument();
  return text;
}

}  // namespace corvane::rescue
