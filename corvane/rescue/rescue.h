// The whole-folder rescue: every file under the inputs is detected, copied
// byte for byte, and turned into files other programs open (vCard, iCalendar,
// text, e-mail, CSV, images, ...), with a report (rescue.json) saying what
// became of each. The command and the Python module both call Run.
//
// What a caller may rely on:
//  - nothing is written inside an input folder, and no file under the output
//    folder is replaced or removed that this run did not write;
//  - a file that fails, or a damaged record inside one, never stops the others;
//  - the files written and their names depend only on the inputs, never on the
//    number of threads;
//  - every file is written under a temporary name and renamed when whole, so a
//    full disk leaves no half file under a finished one's name.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "corvane/rescue/detect.h"

namespace corvane::rescue {

struct Options {
  std::vector<std::string> inputs;  // files and folders
  std::string output;               // must not exist, or be empty unless `force`
  unsigned jobs = 0;                // 0: the machine's cores
  std::string encoding = "cp1252";  // of the databases' texts: cp1252, latin1 or utf8
  bool force = false;               // write into a non-empty output folder
};

// Refused before anything is written: an output folder that is not empty
// (without force) or lies inside an input folder (or holds one), an unknown
// encoding, no input.
class RescueRefused : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a file (or the run) adds up to; keys as the report names them.
struct Counts {
  std::int64_t contacts = 0, events = 0, todos = 0, memos = 0, books = 0, mails = 0;
  std::int64_t tables = 0, rows = 0, pictures = 0, resources = 0;
  std::int64_t records = 0, damagedRecords = 0;
  Counts& operator+=(const Counts& o);
};

struct OutputFile {
  std::string path;    // relative to the output folder, "/" separated
  std::string format;  // vcf, ics, txt, eml, csv, json, png, jpg, folder, ...
  std::string label;   // "40 cards"
};

struct Warning {
  std::optional<std::int32_t> record;  // the record's index in the file
  std::string message;
  // Something of the file did not come out (the file is then partly
  // rescued); false for a note such as records the handheld had deleted.
  bool loss = true;
};

struct FileError {
  std::string message;  // words for a person
  std::string detail;   // the library's or the system's message
};

enum class Status { kRescued, kPartial, kFailed, kUnreadable, kNotPalm };
std::string_view StatusName(Status status) noexcept;

struct FileReport {
  std::string input;  // the input argument joined with the path below it
  std::uint64_t size = 0;
  std::string sha256;
  Detection detection;
  bool folder = false;  // a folder that could not be read, not a file
  Status status = Status::kFailed;
  std::int64_t records = 0, rescued = 0;
  Counts counts;
  std::vector<OutputFile> outputs;
  std::string original;  // empty when not copied
  std::vector<std::string> preview;
  std::vector<Warning> warnings;
  std::optional<FileError> error;
};

struct Report {
  std::string version;  // the library's
  std::vector<std::string> inputs;
  std::string encoding;  // of the databases' texts
  std::string started;  // UTC, ISO 8601
  double elapsedSeconds = 0;
  unsigned jobs = 1;
  bool cancelled = false;
  std::vector<FileReport> files;  // in the order of their input paths
  // Paths walked past (a link back to a folder above it, a second way to a
  // file already seen) and outputs of the whole run that could not be written.
  std::vector<std::string> notes;
  // The files joining all others of their kind: contacts.vcf, calendar.ics,
  // memos.txt (and tables.sqlite).
  std::vector<OutputFile> outputs;

  std::int64_t CountStatus(Status status) const;
  std::int64_t PalmDatabases() const;
  Counts Totals() const;
};

struct Progress {
  enum class Event { kStarting, kFinished };
  Event event = Event::kStarting;
  std::size_t done = 0, total = 0;
  std::string current;  // the file starting or just finished
  Counts totals;        // of the files finished
  std::size_t failed = 0;
  double elapsedSeconds = 0;
};
// Called from the worker threads, one call at a time. When it raises, the
// files not yet started are left out and Run raises the exception again once
// every thread has stopped (nothing of the report is written).
using ProgressCallback = std::function<void(const Progress&)>;

// Runs the rescue; the report is also written as OUT/rescue.json. Files not
// started when `cancel` turns true are left out (the report says cancelled).
// Raises RescueRefused before writing anything; an output folder that cannot
// be created, or a report that cannot be written, raises std::runtime_error.
Report Run(const Options& options, const ProgressCallback& progress = {},
           const std::atomic<bool>* cancel = nullptr);

// The report as rescue.json holds it.
std::string ReportJson(const Report& report);

}  // namespace corvane::rescue
