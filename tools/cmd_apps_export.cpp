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

void WriteJsonTree(JsonWriter& w, const JsonValue& v, JsonWriter::Layout layout) {
  switch (v.kind) {
    case JsonValue::Kind::kNull:
      w.Null();
      break;
    case JsonValue::Kind::kBool:
      w.Bool(v.boolean);
      break;
    case JsonValue::Kind::kNumber:
      w.Raw(v.text);
      break;
    case JsonValue::Kind::kString:
      w.String(v.text);
      break;
    case JsonValue::Kind::kArray:
      w.BeginArray(layout);
      for (const JsonValue& item : v.items) WriteJsonTree(w, item, JsonWriter::Layout::kInline);
      w.EndArray();
      break;
    case JsonValue::Kind::kObject:
      w.BeginObject(layout);
      for (const auto& [key, value] : v.members) {
        w.Key(key);
        WriteJsonTree(w, value, JsonWriter::Layout::kInline);
      }
      w.EndObject();
      break;
  }
}

namespace {

struct RawRecord {
  std::int32_t index = 0;
  AppRecordAttributes attributes;
  std::shared_ptr<Bytes> data;  // nothing for a deleted record
  std::span<const std::uint8_t> View() const {
    return data ? std::span<const std::uint8_t>(*data) : std::span<const std::uint8_t>();
  }
};

std::vector<RawRecord> ReadRecords(TCorvane& db) {
  std::vector<RawRecord> records;
  for (std::int32_t i = 0; i < db.RecordCount(); ++i) {
    RawRecord r;
    r.index = i;
    std::int32_t size = 0, uid = 0;
    TRecFlags flags;
    db.GetRecord(i, r.data, size, flags, uid, r.attributes.category);
    r.attributes.secret = flags.Contains(dmRecAttrSecret);
    r.attributes.busy = flags.Contains(dmRecAttrBusy);
    r.attributes.dirty = flags.Contains(dmRecAttrDirty);
    r.attributes.uniqueID = static_cast<std::uint32_t>(uid) & 0xFFFFFF;
    if (flags.Contains(dmRecAttrDelete)) {
      // Kept, so that import writes the same record list back.
      r.attributes.archived = (r.attributes.category & pdb::kArchivedCategoryBit) != 0;
      r.attributes.deleted = !r.attributes.archived;
      if (r.attributes.archived) {
        r.attributes.category &= 0x07;
        const std::span<const std::uint8_t> kept = db.StoredRecordBytes(i);
        if (!kept.empty()) r.data = std::make_shared<Bytes>(kept.begin(), kept.end());
      }
    }
    records.push_back(std::move(r));
  }
  return records;
}

std::string CsvCellOf(const JsonValue& v) {
  switch (v.kind) {
    case JsonValue::Kind::kNull:
      return {};
    case JsonValue::Kind::kBool:
      return v.boolean ? "true" : "false";
    case JsonValue::Kind::kNumber:
    case JsonValue::Kind::kString:
      return v.text;
    default: {
      std::string s;
      JsonWriter w(s);
      WriteJsonTree(w, v);
      return s;
    }
  }
}

void WriteCsv(const std::vector<JsonValue>& rows, std::string& buf) {
  std::vector<std::string> columns;
  std::map<std::string, std::size_t, std::less<>> seen;
  for (const JsonValue& row : rows) {
    for (const auto& [key, value] : row.members) {
      if (seen.emplace(key, columns.size()).second) columns.push_back(key);
    }
  }
  for (std::size_t c = 0; c < columns.size(); ++c) {
    if (c > 0) buf += ',';
    AppendCsvField(buf, columns[c]);
  }
  buf += "\r\n";
  for (const JsonValue& row : rows) {
    std::vector<std::string> cells(columns.size());
    for (const auto& [key, value] : row.members) cells[seen.find(key)->second] = CsvCellOf(value);
    for (std::size_t c = 0; c < cells.size(); ++c) {
      if (c > 0) buf += ',';
      AppendCsvField(buf, cells[c]);
    }
    buf += "\r\n";
  }
}

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

int ExportDoc(TCorvane& db, const std::vector<RawRecord>& records, const std::string& format,
              const Charset& cs, DamageLog& damage, Output& out) {
  if (records.empty() || !records.front().data)
    RaisePDB(1, kMsgDocHeaderTooShort);  // the header record is missing
  std::optional<apps::DocHeader> header;
  std::vector<std::string> reasons(records.size());  // why a record is kept raw
  if (damage.Decode(0, [&] { header = apps::DecodeDocHeader(records.front().View()); })) {
    // The text is in the records that follow the header: none of them may be gone.
    for (std::size_t i = 0; i < records.size() && i <= header->recordCount; ++i) {
      if (records[i].attributes.deleted || records[i].attributes.archived)
        RaisePDB(1, kMsgDocMissingRecords);
    }
    if (records.size() < std::size_t{header->recordCount} + 1) RaisePDB(1, kMsgDocMissingRecords);
  } else {
    reasons[0] = damage.LastReason();
  }
  std::string text;
  for (std::size_t i = 1; header && i <= header->recordCount; ++i) {
    if (!damage.Decode(records[i].index,
                       [&] { text += apps::DecodeDocRecord(*header, records[i].View()); }))
      reasons[i] = damage.LastReason();
  }
  std::string& buf = out.Buffer();
  if (format == "text") {
    buf += cs.ToUtf8(text);
    return kExitOk;
  }
  JsonWriter w(buf);
  w.BeginObject();
  w.Key("database");
  WriteDatabaseJson(w, db, TextEncoding::kWindows1252);
  w.Key("app");
  w.String("doc");
  w.Key("header");
  JsonValue h = JNull();
  if (header) {
    h = JObject();
    Put(h, "compression", JInt(header->compression));
    Put(h, "textLength", JInt(header->textLength));
    Put(h, "recordCount", JInt(header->recordCount));
    Put(h, "recordSize", JInt(header->recordSize));
    Put(h, "position", JInt(header->position));
    if (header->spare != 0) Put(h, "spare", JInt(header->spare));
    if (!header->extra.empty()) Put(h, "extra", JString(Hex(header->extra)));
  }
  WriteJsonTree(w, h);
  // The reader's own settings, when the book has a block for them.
  std::span<const std::uint8_t> block;
  std::int32_t block_length = 0;
  db.GetAppInfoP(block, block_length);
  w.Key("appInfo");
  if (block_length > 0) {
    apps::CategoryInfo unused;
    WriteJsonTree(w, AppInfoToJson(App::kDoc, block, cs, unused));
  } else {
    w.Null();
  }
  w.Key("text");
  w.String(cs.ToUtf8(text));
  w.Key("records");
  w.BeginArray();
  apps::CategoryInfo none;
  none.names.fill({});
  for (std::size_t i = 0; i < records.size(); ++i) {
    const RawRecord& r = records[i];
    WriteJsonTree(w, reasons[i].empty()
                         ? RecordToJson(App::kDoc, r.View(), r.attributes, none, cs)
                         : DamagedRecordJson(r.index, r.View(), r.attributes, reasons[i]));
  }
  w.EndArray();
  w.EndObject();
  w.EndDocument();
  return kExitOk;
}

// The labels of the four custom fields the user renamed (UTF-8), empty for
// the others. The renamed bits are no guide: real files set them on labels
// that kept their standard names.
std::array<std::string, 4> CustomLabels(std::span<const std::uint8_t> block, const Charset& cs) {
  std::array<std::string, 4> labels;
  const apps::AddressAppInfo info = apps::DecodeAddressAppInfo(block);
  const apps::AddressAppInfo standard = apps::AddressAppInfo::Standard();
  for (std::size_t c = 0; c < labels.size(); ++c) {
    const std::size_t at = static_cast<std::size_t>(apps::AddressField::kCustom1) + c;
    if (info.labels[at] != standard.labels[at]) labels[c] = cs.ToUtf8(info.labels[at]);
  }
  return labels;
}

// The years an export of events spans: their dates, repeats and exceptions
// (a repeat without an end runs to the last year the handheld holds).
std::pair<int, int> EventYears(const std::vector<RawRecord>& records) {
  int first = 9999, last = 0;
  const auto year = [&](std::uint16_t word) {
    const apps::PackedDate d = apps::PackedDate::FromWord(word);
    if (!d.Valid()) return;
    first = std::min(first, d.year);
    last = std::max(last, d.year);
  };
  for (const RawRecord& r : records) {
    try {
      const apps::DatebookRecord e = apps::DecodeDatebook(r.View());
      year(e.date);
      if (e.repeat && e.repeat->type != 0)
        year(e.repeat->end == apps::kNoDate ? apps::PackedDate{2031, 12, 31}.Word()
                                            : e.repeat->end);
      if (e.exceptions) {
        for (std::uint16_t x : *e.exceptions) year(x);
      }
    } catch (const std::exception&) {
      // A damaged record is reported where it is exported.
    }
  }
  return {first, last};
}

int ExportRecords(TCorvane& db, App app, const std::string& format,
                  const std::vector<RawRecord>& records, const Charset& cs, DamageLog& damage,
                  const TimeZone* zone, Output& out) {
  if (app == App::kDoc) return ExportDoc(db, records, format, cs, damage, out);

  std::span<const std::uint8_t> block;
  std::int32_t block_length = 0;
  db.GetAppInfoP(block, block_length);
  apps::CategoryInfo categories = apps::CategoryInfo::Standard();
  JsonValue app_info;                        // null without a block
  std::array<std::string, 4> custom_labels;  // the address book's renamed custom fields
  if (block_length > 0 || app == App::kRaw) {
    const bool decoded = damage.Decode(-1, [&] {
      app_info = AppInfoToJson(app, block, cs, categories);
      if (app == App::kAddress && format == "vcard") custom_labels = CustomLabels(block, cs);
    });
    if (!decoded) {
      categories = apps::CategoryInfo::Standard();
      app_info = DamagedRecordJson(-1, block, AppRecordAttributes{}, damage.LastReason());
    }
  }
  std::string& buf = out.Buffer();

  if (format == "vcard" || format == "ical" || format == "text") {
    PimWriter writer(format, app, db.CreatorID(), cs, categories, out);
    writer.SetCustomLabels(custom_labels);
    if (app == App::kContacts && block_length > 0)
      writer.SetFieldLabels(apps::DecodeContactsAppInfo(block).labels);
    std::size_t archived = 0;
    if (zone != nullptr && app == App::kDatebook) {
      const auto [first, last] = EventYears(records);
      if (first <= last) writer.SetTimeZone(*zone, first, last);
    }
    for (const RawRecord& r : records) {
      // The handheld no longer shows these; JSON and CSV keep them.
      if (r.attributes.deleted) continue;
      if (r.attributes.archived) {
        ++archived;
        continue;
      }
      if (!damage.Decode(r.index, [&] { writer.Add(r.View(), r.attributes); }))
        writer.AddDamaged(r.index, r.View(), r.attributes, damage.LastReason());
      out.FlushIfLarge();
    }
    writer.Finish();
    if (archived > 0) {
      std::fprintf(stderr, "corvane: %zu archived record%s left out (JSON and CSV keep them)\n",
                   archived, archived == 1 ? "" : "s");
    }
    return kExitOk;
  }

  std::vector<JsonValue> rows;
  rows.reserve(records.size());
  std::size_t archived = 0;
  for (const RawRecord& r : records) {
    if (!damage.Decode(r.index, [&] {
          rows.push_back(RecordToJson(app, r.View(), r.attributes, categories, cs));
        }))
      rows.push_back(DamagedRecordJson(r.index, r.View(), r.attributes, damage.LastReason()));
    if (r.attributes.archived) ++archived;
    // CSV has no category table: the slot goes beside the name, so that a
    // renamed slot (a localised "Unfiled") is found again.
    JsonValue& row = rows.back();
    if (format == "csv" && row.members.front().second.kind == JsonValue::Kind::kString) {
      row.members.insert(row.members.begin() + 1,
                         JsonMember{"categoryIndex", JInt(r.attributes.category)});
    }
  }
  if (archived > 0) {
    std::fprintf(stderr, "corvane: %zu archived record%s, exported with \"archived\": true\n",
                 archived, archived == 1 ? "" : "s");
  }
  if (format == "csv") {
    WriteCsv(rows, buf);
    return kExitOk;
  }
  JsonWriter w(buf);
  w.BeginObject();
  w.Key("database");
  WriteDatabaseJson(w, db, TextEncoding::kWindows1252);
  w.Key("app");
  w.String(Identity(app).name);
  w.Key("appInfo");
  WriteJsonTree(w, app_info, JsonWriter::Layout::kBlock);
  w.Key("records");
  w.BeginArray();
  for (const JsonValue& row : rows) {
    WriteJsonTree(w, row);
    out.FlushIfLarge();
  }
  w.EndArray();
  w.EndObject();
  w.EndDocument();
  return kExitOk;
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
  const int status =
      ExportRecords(db, app, format, records, cs, damage, zone ? &*zone : nullptr, out);
  return damage.Damaged().empty() ? status : kExitDamaged;
}

}  // namespace corvane::cli
