// import --app's build: the records and blocks of a new database of one of
// the handheld's own applications from the JSON (or CSV) export --app prints,
// or an e-book from plain text, written by the library's writer. Shared by the
// command and the Python module.
#include "tools/apps_import.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <numeric>
#include <optional>

#include "corvane/apps/calendar.h"
#include "corvane/apps/categories.h"
#include "corvane/apps/doc.h"
#include "corvane/foundation/exception.h"
#include "corvane/host/exceptions.h"
#include "corvane/interchange/csv.h"
#include "corvane/interchange/database_json.h"
#include "corvane/interchange/values.h"
#include "corvane/pdb/file_format.h"
#include "tools/apps_commands.h"

namespace corvane::cli {
namespace {


[[noreturn]] void Bad(const std::string& what) {
  throw Exception(what);
}

struct Built {
  std::string name, creator, type;  // in the file's bytes
  JsonValue database;               // the export's "database" object, or null
  Bytes app_info;
  struct Record {
    AppRecordAttributes attributes;
    Bytes data;
  };
  std::vector<Record> records;
};

std::optional<std::uint64_t> Number(const JsonValue& db, const char* key, std::uint64_t max) {
  return WholeNumberMember(db, "database", key, max);
}

void BuildRecords(App app, const JsonValue& list, const Charset& cs, apps::CategoryInfo& categories,
                  Built& b, const std::string& where, ImportChecks& checks) {
  if (list.kind != JsonValue::Kind::kArray) Bad(where + " must be an array");
  for (std::size_t i = 0; i < list.items.size(); ++i) {
    const JsonValue& item = list.items[i];
    const std::string at = "record " + std::to_string(i) +
                           (item.line ? " (line " + std::to_string(item.line) + ")" : "");
    Built::Record r;
    try {
      r.data = RecordFromJson(app, item, cs, categories, r.attributes, at, checks);
    } catch (const EPDBException& e) {
      throw EPDBException(e.ErrorCode(), at + ": " + e.what());
    }
    b.records.push_back(std::move(r));
  }
  if (app == App::kCalendar) {
    // The handheld looks its events up by their order: they go in as it keeps
    // them (a file it wrote is in that order already; the sort is stable).
    std::vector<apps::DatebookRecord> events;
    events.reserve(b.records.size());
    for (const Built::Record& r : b.records) events.push_back(apps::DecodeDatebook(r.data));
    std::vector<std::size_t> order(events.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) {
      return apps::CalendarOrderLess(events[x], events[y]);
    });
    std::vector<Built::Record> sorted;
    sorted.reserve(order.size());
    for (std::size_t i : order) sorted.push_back(std::move(b.records[i]));
    b.records = std::move(sorted);
  }
}

// An e-book: the records given when they still hold the text, else the text
// compressed anew (bookmark records after the text are kept either way).
void BuildDoc(const JsonValue* root, std::string_view plain_text, std::uint16_t compression,
              const Charset& cs, Built& b, ImportChecks& checks) {
  apps::DocHeader header;
  std::string text;
  std::vector<Built::Record> given;
  if (root == nullptr) {
    header.compression = compression;
    text = cs.FromUtf8(plain_text);
  } else {
    if (const JsonValue* h = root->Find("header"); h && h->kind == JsonValue::Kind::kObject) {
      const auto number = [&](const char* key, std::uint64_t max, std::uint64_t usual) {
        return WholeNumberMember(*h, "header", key, max).value_or(usual);
      };
      header.compression = static_cast<std::uint16_t>(number("compression", 0xFFFF, 2));
      header.recordSize = static_cast<std::uint16_t>(number("recordSize", 0xFFFF, 4096));
      header.position = static_cast<std::uint32_t>(number("position", 0xFFFFFFFF, 0));
      header.spare = static_cast<std::uint16_t>(number("spare", 0xFFFF, 0));
      if (const JsonValue* x = h->Find("extra"); x && x->kind == JsonValue::Kind::kString)
        header.extra = Unhex(x->text, "\"header\".\"extra\"");
      header.textLength = static_cast<std::uint32_t>(number("textLength", 0xFFFFFFFF, 0));
      header.recordCount = static_cast<std::uint16_t>(number("recordCount", 0xFFFF, 0));
    }
    const JsonValue* t = root->Find("text");
    if (!t || t->kind != JsonValue::Kind::kString) Bad("the JSON document has no \"text\"");
    try {
      text = cs.FromUtf8(t->text);
    } catch (const EConvertError& e) {
      Bad(std::string("\"text\": ") + e.what());
    }
    if (const JsonValue* list = root->Find("records")) {
      apps::CategoryInfo none;
      Built tmp;
      BuildRecords(App::kDoc, *list, cs, none, tmp, "\"records\"", checks);
      given = std::move(tmp.records);
    }
    if (const JsonValue* info = root->Find("appInfo"); info && !info->IsNull()) {
      apps::CategoryInfo unused;
      b.app_info = AppInfoFromJson(App::kDoc, info, cs, unused, checks);
    }
  }
  // Keep the records as given when they are the same text.
  bool same = false;
  if (given.size() > header.recordCount) {
    std::vector<std::span<const std::uint8_t>> spans;
    for (const auto& r : given) spans.emplace_back(r.data);
    try {
      const apps::DocHeader as_given = apps::DecodeDocHeader(spans.front());
      same = as_given.compression == header.compression &&
             as_given.recordCount == header.recordCount &&
             apps::DecodeDocText(as_given, spans) == text;
    } catch (const EPDBException&) {
      same = false;
    }
  }
  Built::Record head;
  if (!given.empty()) head.attributes = given.front().attributes;
  if (same) {
    head.data = apps::EncodeDocHeader(header);
    b.records.push_back(std::move(head));
    for (std::size_t i = 1; i < given.size(); ++i) b.records.push_back(std::move(given[i]));
    return;
  }
  const std::uint16_t old_count = header.recordCount;
  std::vector<Bytes> texts = apps::EncodeDocText(text, header);
  head.data = apps::EncodeDocHeader(header);
  b.records.push_back(std::move(head));
  for (std::size_t i = 0; i < texts.size(); ++i) {
    Built::Record r;
    if (i + 1 < given.size() && i < old_count) r.attributes = given[i + 1].attributes;
    r.data = std::move(texts[i]);
    b.records.push_back(std::move(r));
  }
  for (std::size_t i = std::size_t{old_count} + 1; i < given.size(); ++i)
    b.records.push_back(std::move(given[i]));
}

// Records the input gave no unique ID get fresh ones from the seed up, past
// the IDs given; two records with one ID are refused (0, what many files
// hold, is no ID). Gives the seed the header is to carry.
std::uint32_t GiveUniqueIDs(std::vector<Built::Record>& records, std::uint32_t seed,
                            ImportChecks& checks) {
  std::vector<std::uint32_t> taken;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const AppRecordAttributes& a = records[i].attributes;
    if (a.uniqueIDGiven && a.uniqueID != 0) taken.push_back(a.uniqueID);
  }
  std::sort(taken.begin(), taken.end());
  if (const auto twin = std::adjacent_find(taken.begin(), taken.end()); twin != taken.end()) {
    char id[16];
    std::snprintf(id, sizeof id, "%u", unsigned{*twin});
    checks.Complain(std::string("two records have the unique ID ") + id);
  }
  std::uint32_t next = std::max<std::uint32_t>(seed, 1);
  bool gave = false;
  for (Built::Record& r : records) {
    if (r.attributes.uniqueIDGiven) continue;
    while (next <= 0xFFFFFF && std::binary_search(taken.begin(), taken.end(), next)) ++next;
    if (next > 0xFFFFFF) Bad("no unique IDs are left for the records that have none");
    r.attributes.uniqueID = next++;
    gave = true;
  }
  return gave ? std::max(seed, next) : seed;
}

std::optional<std::string> DbText(const JsonValue* db, const char* key) {
  if (db == nullptr) return std::nullopt;
  const JsonValue* v = db->Find(key);
  if (!v || v->kind != JsonValue::Kind::kString) return std::nullopt;
  return FromUtf8(v->text, TextEncoding::kWindows1252);
}

}  // namespace

void ApplyStoredDates(const JsonValue& database, TPDBBaseMgr& db) {
  if (database.kind != JsonValue::Kind::kObject) return;
  using HeaderDate = TCorvane::HeaderDate;
  const std::pair<const char*, HeaderDate> keys[] = {{"createdStored", HeaderDate::Creation},
                                                     {"modifiedStored", HeaderDate::Modification},
                                                     {"backedUpStored", HeaderDate::Backup}};
  for (const auto& [key, which] : keys) {
    if (const JsonValue* v = database.Find(key); v && !v->IsNull()) {
      if (v->kind != JsonValue::Kind::kNumber) {
        Bad(std::string("\"database\".\"") + key + "\" must be number, not " +
            std::string(JsonKindName(v->kind)));
      }
      const auto value = static_cast<std::uint32_t>(*Number(database, key, 0xFFFFFFFF));
      // Beside a date that is null, the value the file held for no date.
      const std::string date_key(key, std::strlen(key) - std::strlen("Stored"));
      const JsonValue* date = database.Find(date_key);
      if (date != nullptr && date->IsNull()) {
        db.KeepNoDate(which, value);
      } else {
        db.SetStoredDate(which, value);
      }
    }
  }
}

void CheckRecordAttributes(std::uint16_t attributes) {
  // Bit 0x0001 marks a resource database, whose record list this file does
  // not have; 0x1000 to 0x4000 mean nothing in either kind.
  constexpr std::uint16_t kRefused = pdb::kAttrResourceDB | 0x7000;
  const std::uint16_t bad = attributes & kRefused;
  if (bad == 0) return;
  std::string bits;
  for (std::uint16_t bit = 1; bit != 0; bit = static_cast<std::uint16_t>(bit << 1)) {
    if ((bad & bit) == 0) continue;
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%04x", unsigned{bit});
    bits += (bits.empty() ? "" : ", ") + std::string(buf) +
            (bit == pdb::kAttrResourceDB ? " (resource)" : " (undefined)");
  }
  Bad("the attributes " + std::to_string(attributes) + " hold bits a record database may not have: " +
      bits);
}

void CheckAppsDocumentKeys(const JsonValue& root, ImportChecks& checks) {
  static constexpr std::string_view kKnown[] = {"database", "app",    "appInfo",
                                                "records",  "header", "text"};
  for (const JsonMember& m : root.members) {
    if (std::find(std::begin(kKnown), std::end(kKnown), m.first) == std::end(kKnown))
      checks.Complain("the JSON document: unknown key \"" + m.first + "\"");
  }
}

void WriteAppsDatabase(const AppsInput& in, const Charset& cs, ImportChecks& checks,
                       TPDBBaseMgr& out) {
  Built b;
  const App app = in.app;
  const JsonValue* root = in.root;
  const JsonValue* db = root ? root->Find("database") : nullptr;
  if (db && db->kind != JsonValue::Kind::kObject) db = nullptr;

  apps::CategoryInfo categories;
  if (app == App::kDoc) {
    if (in.csv) throw UsageError("an e-book comes from JSON or a .txt file");
    BuildDoc(root, in.input, in.doc_compression, cs, b, checks);
  } else {
    const JsonValue* info = root ? root->Find("appInfo") : nullptr;
    // Categories named by the records fill the table, so the block comes last.
    AppInfoFromJson(app, info, cs, categories, checks);
    if (in.csv) {
      std::vector<CsvRow> rows;
      try {
        rows = ParseCsv(in.input);
      } catch (const CsvError& e) {
        Bad(in.source + ": " + e.what());
      }
      if (rows.empty()) Bad("the CSV file has no header row");
      JsonValue list = JArray();
      for (std::size_t r = 1; r < rows.size(); ++r) {
        JsonValue item = JObject();
        item.line = rows[r].line;
        const auto& names = rows.front().fields;
        for (std::size_t c = 0; c < names.size() && c < rows[r].fields.size(); ++c) {
          const std::string& cell = rows[r].fields[c];
          Put(item, names[c], cell.empty() ? JNull() : JString(cell));
        }
        list.items.push_back(std::move(item));
      }
      BuildRecords(app, list, cs, categories, b, "the CSV file", checks);
    } else {
      if (root == nullptr) Bad("the records come from JSON or CSV");
      const JsonValue* list = root->Find("records");
      if (!list) Bad("the JSON document has no \"records\"");
      BuildRecords(app, *list, cs, categories, b, "\"records\"", checks);
    }
    if (app != App::kRaw || (info && !info->IsNull())) {
      apps::CategoryInfo with_names = categories;
      b.app_info = AppInfoFromJson(app, info, cs, with_names, checks);
      if (app != App::kRaw && with_names.names != categories.names) {
        // Re-encode with the names the records added.
        apps::ByteWriter w;
        apps::EncodeCategoryInfo(categories, w, 1);
        const Bytes part = w.Take();
        std::copy(part.begin(), part.end(), b.app_info.begin());
      }
    }
  }

  const AppIdentity& id = Identity(app);
  const auto choose = [&](const std::optional<std::string>& given, const char* key,
                          std::string_view standard) {
    if (given) return *given;
    if (std::optional<std::string> v = DbText(db, key)) return *v;
    return std::string(standard);
  };
  b.name = choose(in.name, "name", id.database.empty() ? std::string_view(in.stem) : id.database);
  b.creator = choose(in.creator, "creator", id.creator);
  b.type = choose(in.type, "type", id.type);
  if (b.name.empty()) throw UsageError("missing --name");
  if (b.creator.empty()) throw UsageError("missing --creator (raw databases name their own)");
  if (b.type.empty()) throw UsageError("missing --type (raw databases name their own)");
  if (b.name.size() > 31) b.name.resize(31);

  std::optional<std::uint32_t> seed;
  if (db != nullptr) seed = Number(*db, "uniqueIDSeed", 0xFFFFFFFF);
  const std::uint32_t next_seed = GiveUniqueIDs(b.records, seed.value_or(0), checks);

  out.SetOpenMode(dmModeWriteOnly);
  // A name read from a file keeps its bytes, those above 0x7F too.
  out.SetStoredDBName(b.name);
  out.SetKeepArchivedRecords(true);
  out.SetCreatorID(b.creator);
  out.SetDatabaseType(b.type);
  in.create(out);
  try {
    if (db != nullptr) {
      if (auto v = Number(*db, "attributes", 0xFFFF))
        out.SetAttributes(static_cast<std::uint16_t>(*v));
      if (auto v = Number(*db, "version", 0xFFFF)) out.SetDBVersion(static_cast<std::uint16_t>(*v));
      if (auto v = HeaderDateMember(*db, "created")) out.SetCreationDate(*v);
      if (auto v = HeaderDateMember(*db, "modified")) out.SetModificationDate(*v);
      if (auto v = HeaderDateMember(*db, "backedUp")) out.SetLastBackupDate(*v);
      if (auto v = Number(*db, "modificationNumber", 0xFFFFFFFF))
        out.SetModification(static_cast<std::uint32_t>(*v));
    } else if (app != App::kDoc) {
      out.SetAttributes(0x0008);  // backup
    }
    if (seed || next_seed != 0) out.SetUniqueIDSeed(next_seed);
    // The caller's values win over the input, as in engine import; what the
    // input and the caller say is written, a creation date before 1990 too.
    if (in.header) in.header(out);
    CheckRecordAttributes(out.GetAttributes());
    out.SetCreationDateAsGiven(true);
    if (db != nullptr) ApplyStoredDates(*db, out);
    out.SetWriteCategory(false);
    if (!b.app_info.empty()) out.SetAppInfoP(std::move(b.app_info));
    for (Built::Record& r : b.records) {
      TRecFlags flags;
      if (r.attributes.secret) flags.Include(dmRecAttrSecret);
      if (r.attributes.busy) flags.Include(dmRecAttrBusy);
      if (r.attributes.dirty) flags.Include(dmRecAttrDirty);
      if (r.attributes.deleted || r.attributes.archived) flags.Include(dmRecAttrDelete);
      out.SetCurrentRecord(std::move(r.data));
      out.SetRecCategory(static_cast<std::uint8_t>(
          r.attributes.category | (r.attributes.archived ? pdb::kArchivedCategoryBit : 0)));
      out.SetRecFlags(flags);
      out.SetRecUniqueID(static_cast<std::int32_t>(r.attributes.uniqueID));
      out.WriteRawRecord();
    }
    out.CloseDatabase();
  } catch (...) {
    out.AbortDatabase();
    throw;
  }
}

}  // namespace corvane::cli
