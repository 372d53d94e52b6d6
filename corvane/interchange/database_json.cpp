#include "corvane/interchange/database_json.h"

#include <charconv>
#include <cstdio>
#include <utility>

#include "corvane/host/datetime.h"
#include "corvane/host/exceptions.h"
#include "corvane/host/locale.h"
#include "corvane/interchange/values.h"
#include "corvane/pdb/file_format.h"

namespace corvane::cli {

namespace {

// The table as the manager reads it; nothing when the file has no
// application-info block or one too short to hold the table.
std::optional<std::array<Category, 16>> ReadCategories(TCorvane& db) {
  std::span<const std::uint8_t> block;
  std::int32_t length = 0;
  db.GetAppInfoP(block, length);
  if (db.GetAppInfoOffset() == 0 ||
      length < static_cast<std::int32_t>(pdb::kCategoryTableMinSize)) {
    return std::nullopt;
  }
  std::array<Category, 16> table;
  for (std::uint8_t i = 0; i < 16; ++i) {
    table[i].name = db.GetCategory(i);
    table[i].id = db.GetCategoryID(i);
  }
  return table;
}

std::int32_t BlockSize(TCorvane& db, bool app_info) {
  std::span<const std::uint8_t> block;
  std::int32_t length = 0;
  if (app_info) {
    db.GetAppInfoP(block, length);
  } else {
    db.GetSortInfoP(block, length);
  }
  return length;
}

}  // namespace

HeaderView ViewOf(TCorvane& db) {
  HeaderView v;
  v.name = db.DatabaseName();
  v.type = db.DatabaseType();
  v.creator = db.CreatorID();
  v.attributes = db.GetAttributes();
  v.version = db.GetDBVersion();
  v.created = db.CreationDate();
  v.modified = db.GetModificationDate();
  v.backed_up = db.GetLastBackupDate();
  v.stored = {db.StoredDate(TCorvane::HeaderDate::Creation),
              db.StoredDate(TCorvane::HeaderDate::Modification),
              db.StoredDate(TCorvane::HeaderDate::Backup)};
  v.modification_number = db.GetModification();
  v.app_info_offset = db.GetAppInfoOffset();
  v.sort_info_offset = db.GetSortInfoOffset();
  v.unique_id_seed = db.GetUniqueIDSeed();
  v.entries = db.RecordCount();
  v.app_info_size = BlockSize(db, true);
  v.sort_info_size = BlockSize(db, false);
  v.categories = ReadCategories(db);
  return v;
}

HeaderView ViewOf(const pdb::ResourceDatabase& db) {
  const pdb::Header& h = db.header;
  HeaderView v;
  v.name = h.name;
  v.type = h.type;
  v.creator = h.creator;
  v.attributes = h.attributes;
  v.version = h.version;
  v.created = h.creation_date;
  v.modified = h.modification_date;
  v.backed_up = h.backup_date;
  v.stored = {h.creation_stored, h.modification_stored, h.backup_stored};
  v.modification_number = h.modification_number;
  v.app_info_offset = h.app_info_offset;
  v.sort_info_offset = h.sort_info_offset;
  v.unique_id_seed = h.unique_id_seed;
  v.entries = static_cast<std::uint32_t>(db.resources.size());
  v.app_info_size = db.app_info_size;
  v.sort_info_size = db.sort_info_size;
  return v;
}

std::vector<std::string> FlagNames(std::uint16_t attributes) {
  std::vector<std::string> names;
  std::uint16_t named = 0;
  for (const auto& [bit, name] : kAttributeNames) {
    named |= bit;
    if ((attributes & bit) != 0) names.emplace_back(name);
  }
  for (std::uint16_t bit = 1; bit != 0; bit = static_cast<std::uint16_t>(bit << 1)) {
    if ((attributes & bit) != 0 && (named & bit) == 0) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "0x%04x", unsigned{bit});
      names.emplace_back(buf);
    }
  }
  return names;
}

void WriteInfoObject(JsonWriter& w, const HeaderView& v, TextEncoding enc, std::string_view app) {
  // A date stored in other bytes than a write of its reading would give
  // (seconds since 1970, which the reader also takes) carries them beside
  // it, so that import writes the header back as it was.
  const int bias = StandardTimeZoneBiasMinutes();
  const auto date = [&](std::string_view key, TDateTime dt, std::uint32_t stored) {
    w.Key(key);
    if (dt == 0) {
      w.Null();
      // No date, as stored: written back as such (a write would give the
      // moment of writing for none, or 0 for another value that means none).
      if (stored != 0 || key != "backedUp") {
        w.Key(std::string(key) + "Stored");
        w.UInt(stored);
      }
      return;
    }
    w.String(FormatDateTime(dt));
    std::uint32_t written = 0;
    if (!pdb::StoredDate(dt, bias, written) || written != stored) {
      w.Key(std::string(key) + "Stored");
      w.UInt(stored);
    }
  };
  w.BeginObject();
  w.Key("name");
  w.String(ToUtf8(v.name, enc));
  w.Key("attributes");
  w.UInt(v.attributes);
  w.Key("flags");
  w.BeginArray(JsonWriter::Layout::kInline);
  for (const std::string& f : FlagNames(v.attributes)) w.String(f);
  w.EndArray();
  w.Key("version");
  w.UInt(v.version);
  date("created", v.created, v.stored[0]);
  date("modified", v.modified, v.stored[1]);
  date("backedUp", v.backed_up, v.stored[2]);
  w.Key("modificationNumber");
  w.UInt(v.modification_number);
  w.Key("appInfoOffset");
  w.UInt(v.app_info_offset);
  w.Key("sortInfoOffset");
  w.UInt(v.sort_info_offset);
  w.Key("type");
  w.String(ToUtf8(v.type, enc));
  w.Key("creator");
  w.String(ToUtf8(v.creator, enc));
  if (!app.empty()) {
    w.Key("application");
    w.String(app);
  }
  w.Key("uniqueIDSeed");
  w.UInt(v.unique_id_seed);
  w.Key("recordCount");
  w.UInt(v.entries);
  w.Key("appInfoSize");
  w.Int(v.app_info_size);
  w.Key("sortInfoSize");
  w.Int(v.sort_info_size);
  w.Key("categories");
  if (!v.categories) {
    w.Null();
  } else {
    w.BeginArray();
    for (std::size_t i = 0; i < v.categories->size(); ++i) {
      w.BeginObject(JsonWriter::Layout::kInline);
      w.Key("index");
      w.UInt(i);
      w.Key("name");
      w.String(ToUtf8((*v.categories)[i].name, enc));
      w.Key("id");
      w.UInt((*v.categories)[i].id);
      w.EndObject();
    }
    w.EndArray();
  }
  w.EndObject();
}

void WriteDatabaseJson(JsonWriter& w, TCorvane& db, TextEncoding enc) {
  WriteInfoObject(w, ViewOf(db), enc);
}

std::string FormatDateTime(TDateTime dt) {
  if (dt == 0) return {};
  const DateParts d = DecodeDate(dt);
  const TimeParts t = DecodeTime(dt);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", d.year, d.month, d.day, t.hour,
                t.minute, t.second);
  return buf;
}

std::optional<std::uint64_t> WholeNumberMember(const JsonValue& o, std::string_view object,
                                               std::string_view key, std::uint64_t max) {
  const JsonValue* v = o.Find(key);
  if (v == nullptr || v->IsNull()) return std::nullopt;
  std::uint64_t n = 0;
  const char* end = v->text.data() + v->text.size();
  const auto r = std::from_chars(v->text.data(), end, n);
  if (v->kind != JsonValue::Kind::kNumber || r.ec != std::errc() || r.ptr != end || n > max) {
    std::string what = "\"";
    what.append(object).append("\".\"").append(key).append("\" must be a whole number from 0 to ");
    throw Exception(what + std::to_string(max));
  }
  return n;
}

std::optional<TDateTime> HeaderDateMember(const JsonValue& database, std::string_view key) {
  const JsonValue* v = database.Find(key);
  if (v == nullptr) return std::nullopt;
  if (v->IsNull()) return TDateTime{0};
  TDateTime d = 0;
  if (v->kind != JsonValue::Kind::kString || !ParseWhen(v->text, TValueKind::DateTime, d)) {
    std::string what = "\"database\".\"";
    what.append(key).append("\" must be YYYY-MM-DDTHH:MM:SS or null");
    throw Exception(what);
  }
  return d;
}

}  // namespace corvane::cli
