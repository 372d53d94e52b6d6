#include "corvane/rescue/detect.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>

#include "corvane/apps/jfile.h"
#include "corvane/apps/photo.h"
#include "corvane/engines/appforge.h"
#include "corvane/pdb/corvane.h"
#include "corvane/pdb/file_format.h"
#include "corvane/pdb/resource_list.h"

namespace corvane::rescue {

namespace {

struct KindText {
  Kind kind;
  std::string_view name, label;
};

constexpr std::array<KindText, 19> kKinds = {{
    {Kind::kAddress, "address", "Address book"},
    {Kind::kContacts, "contacts", "Contacts"},
    {Kind::kDatebook, "datebook", "Date book"},
    {Kind::kCalendar, "calendar", "Calendar"},
    {Kind::kToDo, "todo", "To-do list"},
    {Kind::kTasks, "tasks", "Tasks"},
    {Kind::kMemo, "memo", "Memo pad"},
    {Kind::kMemos, "memos", "Memos"},
    {Kind::kMail, "mail", "Mail"},
    {Kind::kEbook, "ebook", "E-book"},
    {Kind::kJFile, "jfile", "JFile table"},
    {Kind::kMobileDB, "mobiledb", "MobileDB table"},
    {Kind::kEngine, "engine", "Typed-record database"},
    {Kind::kPhoto, "photo", "Photo"},
    {Kind::kPhotos, "photos", "Photo album"},
    {Kind::kResource, "resource", "Program or resource database"},
    {Kind::kPalm, "palm", "Other Palm database"},
    {Kind::kNotPalm, "not-palm", "Not a Palm database"},
    {Kind::kZip, "zip", "Zip archive"},
}};

// The handheld's own applications, by creator and type (as export --app
// auto picks them).
struct AppHeader {
  std::string_view creator, type;
  Kind kind;
};
constexpr std::array<AppHeader, 10> kAppHeaders = {{
    {"memo", "DATA", Kind::kMemo},
    {"todo", "DATA", Kind::kToDo},
    {"addr", "DATA", Kind::kAddress},
    {"date", "DATA", Kind::kDatebook},
    {"mail", "DATA", Kind::kMail},
    {"REAd", "TEXt", Kind::kEbook},
    {"PAdd", "DATA", Kind::kContacts},
    {"PDat", "DATA", Kind::kCalendar},
    {"PTod", "DATA", Kind::kTasks},
    {"PMem", "DATA", Kind::kMemos},
}};

std::uint16_t U16(std::span<const std::uint8_t> b, std::size_t at) {
  return static_cast<std::uint16_t>((b[at] << 8) | b[at + 1]);
}

std::string Field(std::span<const std::uint8_t> b, std::size_t at, std::size_t n) {
  return std::string(reinterpret_cast<const char*>(b.data() + at), n);
}

// Whether the 78 bytes read as a Palm database's header: a zero-ended name
// of text, a type and a creator of printable bytes, and a list that fits the
// file. Other files named .pdb (debug symbols, protein structures) fail here.
bool PlausibleHeader(std::span<const std::uint8_t> file, std::string& why) {
  const std::span<const std::uint8_t> name = file.first(pdb::kNameSize);
  const auto end = std::find(name.begin(), name.end(), 0);
  if (end == name.end() || end == name.begin()) {
    why = "its first bytes hold no database name";
    return false;
  }
  for (auto it = name.begin(); it != end; ++it) {
    if (*it < 0x20 || *it == 0x7f) {
      why = "its first bytes hold no database name";
      return false;
    }
  }
  for (std::size_t at : {std::size_t{60}, std::size_t{64}}) {
    for (std::size_t i = 0; i < 4; ++i) {
      const std::uint8_t c = file[at + i];
      if (c != 0 && (c < 0x20 || c == 0x7f)) {
        why = "it has no type and creator of a Palm database";
        return false;
      }
    }
  }
  const bool resource = (U16(file, 32) & pdb::kAttrResourceDB) != 0;
  const std::size_t count = U16(file, 76);
  const std::size_t list_end =
      pdb::kHeaderSize + count * (resource ? pdb::kResourceEntrySize : pdb::kEntrySize);
  if (list_end > file.size()) {
    why = "it is shorter than the list of records its header announces";
    return false;
  }
  return true;
}

Kind RecordDatabaseKind(TCorvane& db, Detection& d) {
  const std::string& type = d.type;
  const std::string& creator = d.creator;
  if ((d.attributes & apps::kAttrFileStream) != 0) {
    if (db.RecordCount() > 0) {
      const std::span<const std::uint8_t> first = db.StoredRecordBytes(0);
      if (first.size() >= 4 && std::memcmp(first.data(), "DBLK", 4) == 0) return Kind::kPhoto;
    }
    return Kind::kPalm;
  }
  for (const AppHeader& a : kAppHeaders) {
    if (a.creator == creator && a.type == type) return a.kind;
  }
  if (apps::JFileVersionOf(type, creator)) return Kind::kJFile;
  if (type == "Mdb1" && creator == "Mdb1") return Kind::kMobileDB;
  if (creator == "Foto") return Kind::kPhotos;
  std::span<const std::uint8_t> block;
  std::int32_t length = 0;
  db.GetAppInfoP(block, length);
  if (block.size() >= appforge::kSignatureAt + 8 &&
      std::memcmp(block.data() + appforge::kSignatureAt, "APPFORG2", 8) == 0) {
    d.engine = "appforge";
    return Kind::kEngine;
  }
  return Kind::kPalm;
}

}  // namespace

std::string_view KindName(Kind kind) noexcept {
  return kKinds[static_cast<std::size_t>(kind)].name;
}

std::string_view KindLabel(Kind kind) noexcept {
  return kKinds[static_cast<std::size_t>(kind)].label;
}

Detection Detect(std::span<const std::uint8_t> file) {
  Detection d;
  if (file.empty()) {
    d.why = "the file is empty";
    return d;
  }
  if (file.size() < pdb::kHeaderSize) {
    d.why = "the file is too short to be a Palm database";
    return d;
  }
  if (!PlausibleHeader(file, d.why)) return d;
  const auto name_end = std::find(file.begin(), file.begin() + pdb::kNameSize, 0);
  d.name = Field(file, 0, static_cast<std::size_t>(name_end - file.begin()));
  d.attributes = U16(file, 32);
  d.type = Field(file, 60, 4);
  d.creator = Field(file, 64, 4);
  d.entries = U16(file, 76);
  d.kind = Kind::kPalm;
  if ((d.attributes & pdb::kAttrResourceDB) != 0) {
    d.kind = Kind::kResource;
    try {
      pdb::ReadResourceDatabase(file, 0);
    } catch (const std::exception& e) {
      d.damage = e.what();
    }
    return d;
  }
  for (const AppHeader& a : kAppHeaders) {
    if (a.creator == d.creator && a.type == d.type) d.kind = a.kind;
  }
  try {
    TCorvane db;
    db.OpenDatabase(file, "");
    d.kind = RecordDatabaseKind(db, d);
    db.CloseDatabase();
  } catch (const std::exception& e) {
    d.damage = e.what();
  }
  return d;
}

}  // namespace corvane::rescue
