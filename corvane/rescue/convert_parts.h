// What the converters of the rescue share: the job of one file, with its
// text encoding, its outputs and its report.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>

#include "corvane/pdb/corvane.h"
#include "corvane/rescue/convert.h"
#include "corvane/interchange/app_charset.h"
#include "corvane/interchange/text_encoding.h"

namespace corvane::rescue {

class Job {
 public:
  // The encoding is one Charset takes (Run checks it first).
  explicit Job(ConvertJob& job) : job_(job), chars_(job.encoding) {
    if (!cli::ParseTextEncoding(job.encoding, enc_)) enc_ = cli::TextEncoding::kWindows1252;
  }

  std::string Utf8(std::string_view bytes) const { return chars_.ToUtf8(bytes); }
  const cli::Charset& Chars() const noexcept { return chars_; }
  cli::TextEncoding Encoding() const noexcept { return enc_; }
  FileReport& Report() { return job_.report; }
  OutputFolder& Out() { return job_.out; }
  const std::string& Stem() const { return job_.stem; }
  std::span<const std::uint8_t> Bytes() const { return job_.bytes; }
  const std::string& Path() const { return job_.path; }

  void Output(std::string path, std::string format, std::string label) {
    job_.report.outputs.push_back({std::move(path), std::move(format), std::move(label)});
  }
  void Preview(std::string line) {
    if (job_.report.preview.size() < 5 && !line.empty())
      job_.report.preview.push_back(std::string(CutUtf8(line, 80)));
  }
  void Damaged(std::int32_t index, const std::string& what) {
    ++job_.report.counts.damagedRecords;
    job_.report.warnings.push_back(
        {index, "record " + std::to_string(index) + ": " + what + " (kept as raw bytes)"});
  }
  void Warn(std::string message, bool loss = true) {
    job_.report.warnings.push_back({std::nullopt, std::move(message), loss});
  }

  // Opens the file's bytes as a record database.
  void Open(TCorvane& db) { db.OpenDatabase(job_.bytes, job_.report.input); }

  // Every record that holds data and that the handheld still shows (deleted
  // and archived ones have been dropped there), with its index; a record
  // whose handling raises is kept as its bytes in `folder` and reported.
  void EachRecord(TCorvane& db, std::string_view folder, NameSet& names,
                  const std::function<void(std::int32_t, std::span<const std::uint8_t>)>& f) {
    for (std::int32_t i = 0; i < db.RecordCount(); ++i) {
      const std::optional<TRecordEntry> e = db.GetRecInFile(i);
      if (!e || e->Flags.Contains(dmRecAttrDelete)) continue;
      std::span<const std::uint8_t> data;
      try {
        data = db.StoredRecordBytes(i);
        f(i, data);
      } catch (const std::exception& ex) {
        Damaged(i, ex.what());
        if (!data.empty()) {
          const std::string path = job_.out.Write(
              folder, "damaged record " + std::to_string(i), ".bin", data, names);
          Output(path, "bin", "damaged record " + std::to_string(i));
        }
      }
    }
  }

 private:
  ConvertJob& job_;
  cli::Charset chars_;
  // For typed-record values, which know these three.
  cli::TextEncoding enc_ = cli::TextEncoding::kWindows1252;
};

// Flat-file tables and typed-record databases as CSV (`path`: the file, which
// the engines open by name).
void JFileTable(Job& job);
void MobileDBTable(Job& job);
void EngineTable(Job& job);
// The handheld's applications through export's writer (`format` vcard or
// ical; json for the raw form of any database) into folder/NAME+extension.
void AppExport(Job& job, const char* folder, const char* format, const char* extension);

}  // namespace corvane::rescue
