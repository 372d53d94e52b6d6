// What a file is, from its header and contents alone (never its name): one of
// the handheld's applications, an e-book, a flat-file table, a picture, a
// typed-record database that says which engine wrote it, a program or other
// resource database, another Palm database, or no Palm database at all.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace corvane::rescue {

enum class Kind {
  kAddress,
  kContacts,
  kDatebook,
  kCalendar,
  kToDo,
  kTasks,
  kMemo,
  kMemos,
  kMail,
  kEbook,
  kJFile,
  kMobileDB,
  kEngine,
  kPhoto,
  kPhotos,
  kResource,
  kPalm,
  kNotPalm,
  kZip,  // a zip archive: never what Detect says, the rescue opens it
};

// The report's name ("address", "not-palm") and words for a person
// ("Address book").
std::string_view KindName(Kind kind) noexcept;
std::string_view KindLabel(Kind kind) noexcept;

struct Detection {
  Kind kind = Kind::kNotPalm;
  // Header fields as stored (type and creator four bytes); empty for a file
  // that is no Palm database.
  std::string name, type, creator;
  std::uint16_t attributes = 0;
  std::uint32_t entries = 0;  // records or resources the header announces
  std::string engine;         // kEngine: "appforge", ...
  // For kNotPalm: why not, in words for a person. For a file whose header is
  // a Palm database's but whose body the reader refuses, `kind` is what the
  // header says (kPalm when nothing more), and `damage` the reader's message.
  std::string why;
  std::string damage;
};

// Never raises for any bytes.
Detection Detect(std::span<const std::uint8_t> file);

}  // namespace corvane::rescue
