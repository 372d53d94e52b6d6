#include "corvane/rescue/convert.h"

#include <functional>
#include <memory>
#include <optional>

#include "corvane/apps/bitmap.h"
#include "corvane/apps/doc.h"
#include "corvane/apps/mail.h"
#include "corvane/apps/memo.h"
#include "corvane/apps/packed_date.h"
#include "corvane/apps/photo.h"
#include "corvane/foundation/exception.h"
#include "corvane/interchange/eml.h"
#include "corvane/interchange/png_writer.h"
#include "corvane/interchange/resource_folder.h"
#include "corvane/pdb/corvane.h"
#include "corvane/pdb/resource_list.h"
#include "corvane/rescue/convert_parts.h"

namespace corvane::rescue {

namespace {

std::string Plural(std::int64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string FirstLine(std::string_view text) {
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  if (start == std::string_view::npos) return {};
  text.remove_prefix(start);
  return std::string(text.substr(0, text.find_first_of("\r\n")));
}

void Memos(Job& job) {
  TCorvane db;
  job.Open(db);
  NameSet top;
  const std::string folder = job.Out().MakeFolder("memos", job.Stem(), top);
  NameSet names;
  std::int64_t count = 0;
  job.EachRecord(db, folder, names, [&](std::int32_t, std::span<const std::uint8_t> data) {
    std::string text = job.Utf8(apps::DecodeMemo(data).text);
    const std::string first = FirstLine(text);
    const std::string path = job.Out().Write(folder, SafeStem(first), ".txt", text, names);
    job.Output(path, "txt", first.empty() ? "memo" : std::string(CutUtf8(first, 80)));
    job.Preview(first);
    job.Out().Remember(path, std::move(text));
    ++count;
  });
  job.Report().counts.memos = count;
}

void Mail(Job& job) {
  TCorvane db;
  job.Open(db);
  NameSet top;
  const std::string folder = job.Out().MakeFolder("mail", job.Stem(), top);
  NameSet names;
  std::int64_t count = 0;
  job.EachRecord(db, folder, names, [&](std::int32_t, std::span<const std::uint8_t> data) {
    const apps::MailRecord r = apps::DecodeMail(data);
    interchange::MailMessage m;
    m.subject = job.Utf8(r[apps::MailField::kSubject]);
    m.from = job.Utf8(r[apps::MailField::kFrom]);
    m.to = job.Utf8(r[apps::MailField::kTo]);
    m.cc = job.Utf8(r[apps::MailField::kCc]);
    m.bcc = job.Utf8(r[apps::MailField::kBcc]);
    m.replyTo = job.Utf8(r[apps::MailField::kReplyTo]);
    m.body = job.Utf8(r[apps::MailField::kBody]);
    const apps::PackedDate d = apps::PackedDate::FromWord(r.date);
    if (r.date != 0 && d.Valid()) {
      m.year = d.year;
      m.month = d.month;
      m.day = d.day;
      m.hour = r.hour;
      m.minute = r.minute;
    }
    m.priority = r.priority;
    const std::string path =
        job.Out().Write(folder, SafeStem(m.subject), ".eml", interchange::FormatEml(m), names);
    const std::string label = m.subject.empty() ? "(no subject)" : m.subject;
    job.Output(path, "eml", std::string(CutUtf8(label, 80)));
    job.Preview(label);
    ++count;
  });
  job.Report().counts.mails = count;
}

void Ebook(Job& job) {
  TCorvane db;
  job.Open(db);
  if (db.RecordCount() == 0) throw std::runtime_error("the book has no header record");
  const apps::DocHeader header = apps::DecodeDocHeader(db.StoredRecordBytes(0));
  std::string text;
  for (std::int32_t i = 1; i <= header.recordCount && i < db.RecordCount(); ++i) {
    try {
      text += apps::DecodeDocRecord(header, db.StoredRecordBytes(i));
    } catch (const std::exception& e) {
      job.Damaged(i, e.what());
    }
  }
  if (header.recordCount >= db.RecordCount())
    job.Warn("the book announces " + std::to_string(header.recordCount) +
             " text records but holds fewer: its end is missing");
  NameSet names;
  const std::string path = job.Out().Write("books", job.Stem(), ".txt", job.Utf8(text), names);
  const std::string title = job.Utf8(db.DatabaseName());
  job.Output(path, "txt", title);
  job.Preview(title);
  job.Report().counts.books = 1;
}

void Photo(Job& job) {
  TCorvane db;
  job.Open(db);
  std::vector<std::span<const std::uint8_t>> records;
  for (std::int32_t i = 0; i < db.RecordCount(); ++i) records.push_back(db.StoredRecordBytes(i));
  const Bytes stream = apps::ReassembleStream(records);
  const apps::ImageKind kind = apps::RecogniseImage(stream);
  const std::size_t length = apps::ImageLength(stream, kind);
  NameSet names;
  const std::string ext = std::string(".") + apps::ImageExtension(kind);
  const std::string path = job.Out().Write(
      "pictures", job.Stem(), ext, std::span<const std::uint8_t>(stream.data(), length), names);
  job.Output(path, apps::ImageExtension(kind), std::string(apps::ImageKindName(kind)) + " picture");
  job.Preview(job.Utf8(db.DatabaseName()));
  job.Report().counts.pictures = 1;
}

// The photo application's index: each photo's thumbnail as stored, named
// after the photo.
void PhotoIndex(Job& job) {
  TCorvane db;
  job.Open(db);
  NameSet top;
  const std::string folder = job.Out().MakeFolder("pictures", job.Stem(), top);
  NameSet names;
  std::int64_t count = 0;
  job.EachRecord(db, folder, names, [&](std::int32_t, std::span<const std::uint8_t> data) {
    if (data.empty()) return;  // the application empties the record of a photo it deleted
    const apps::PhotoIndexRecord p = apps::DecodePhotoIndexRecord(data);
    const std::string name = job.Utf8(p.name);
    job.Preview(name);
    if (p.thumbnail.empty()) return;
    const apps::ImageKind kind = apps::RecogniseImage(p.thumbnail);
    const std::string path = job.Out().Write(folder, SafeStem(name),
                                             std::string(".") + apps::ImageExtension(kind),
                                             p.thumbnail, names);
    job.Output(path, apps::ImageExtension(kind), "thumbnail of " + name);
    ++count;
  });
  job.Report().counts.pictures = count;
}

// The bitmap family as a PNG of its best member.
Bytes BitmapPng(std::span<const std::uint8_t> data) {
  const std::vector<apps::DecodedBitmap> family = apps::DecodeBitmapFamily(data);
  const apps::DecodedBitmap& best = family[apps::BestBitmap(std::span(family))];
  if (best.info.width == 0 || best.info.height == 0) throw std::runtime_error("an empty bitmap");
  return interchange::EncodePng(best.rgba, best.info.width, best.info.height);
}

void Resources(Job& job) {
  const std::span<const std::uint8_t> bytes = job.Bytes();
  const pdb::ResourceDatabase db = pdb::ReadResourceDatabase(bytes, 0);
  // The folder export --resources writes (import --resources builds the file
  // again from it), whole or not at all.
  PendingFolder folder(job.Out().Root() / "resources");
  const std::size_t count =
      cli::ExportResourceFolder(bytes, folder.Path(), [&](const cli::ResourceWarning& w) {
        if (w.resource) job.Warn(w.text);
      });
  NameSet names;
  const std::string path = "resources/" + folder.Commit(job.Stem(), names);
  job.Output(path, "folder", Plural(static_cast<std::int64_t>(count), "resource", "resources"));
  job.Report().counts.resources = static_cast<std::int64_t>(count);
  job.Preview(job.Utf8(db.header.name));
  // The launcher shows the large icon, tAIB 1000.
  std::optional<std::size_t> icon;
  for (std::size_t i = 0; i < db.resources.size(); ++i) {
    if (db.resources[i].type == "tAIB" && (!icon || db.resources[i].id == 1000)) icon = i;
  }
  if (icon) {
    const pdb::Resource& r = db.resources[*icon];
    try {
      NameSet pictures;
      const std::string png = job.Out().Write("pictures", job.Stem(), ".png",
                                              BitmapPng(bytes.subspan(r.offset, r.size)), pictures);
      job.Output(png, "png", "icon");
      job.Report().counts.pictures = 1;
    } catch (const EPDBException& e) {
      job.Warn(std::string("the application's icon does not decode: ") + e.what());
    }
  }
}

}  // namespace

std::string PlainReason(const std::string& detail) {
  if (detail.find("No space left") != std::string::npos ||
      detail.find("File too large") != std::string::npos ||
      detail.find("Disk quota") != std::string::npos)
    return "The output disk is full (or refused a file this large): not everything of this file "
           "could be written.";
  if (detail.find("Permission denied") != std::string::npos)
    return "The output folder may not be written to.";
  return "The file is damaged in a way Corvane cannot read past: its original copy is kept.";
}

void Convert(ConvertJob& cj) {
  Job job(cj);
  switch (cj.report.detection.kind) {
    case Kind::kMemo:
    case Kind::kMemos:
      Memos(job);
      break;
    case Kind::kMail:
      Mail(job);
      break;
    case Kind::kEbook:
      Ebook(job);
      break;
    case Kind::kPhoto:
      Photo(job);
      break;
    case Kind::kPhotos:
      PhotoIndex(job);
      break;
    case Kind::kAddress:
    case Kind::kContacts:
      AppExport(job, "contacts", "vcard", ".vcf");
      break;
    case Kind::kDatebook:
    case Kind::kCalendar:
    case Kind::kToDo:
    case Kind::kTasks:
      AppExport(job, "calendar", "ical", ".ics");
      break;
    case Kind::kJFile:
      JFileTable(job);
      break;
    case Kind::kMobileDB:
      MobileDBTable(job);
      break;
    case Kind::kEngine:
      EngineTable(job);
      break;
    case Kind::kResource:
      Resources(job);
      break;
    default:
      if (!cj.report.detection.damage.empty()) throw std::runtime_error(cj.report.detection.damage);
      AppExport(job, "raw", "json", ".json");
      break;
  }
}

}  // namespace corvane::rescue
