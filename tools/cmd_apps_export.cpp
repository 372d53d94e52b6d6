// export --app: the records of the handheld's own applications and e-books as
// JSON, CSV, vCard, iCalendar or text.
#include <map>
#include <memory>

#include "corvane/apps/address.h"
#include "corvane/apps/contacts.h"
#include "corvane/apps/datebook.h"
#include "corvane/apps/doc.h"
#include "corvane/apps/memo.h"
#include "corvane/apps/todo.h"
#include "corvane/foundation/exception.h"
#include "corvane/pdb/corvane.h"
#include "tools/apps_commands.h"
#include "tools/apps_json.h"
#include "tools/commands.h"
#include "tools/csv.h"
#include "tools/pim_formats.h"

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
    if (flags.Contains(dmRecAttrDelete) || !r.data) continue;  // nothing to rescue
    records.push_back(std::move(r));
  }
  return records;
}

// Runs a decoder, naming the record in its failure.
template <class F>
auto ForRecord(std::int32_t index, F&& f) {
  try {
    return f();
  } catch (const EPDBException& e) {
    throw EPDBException(e.ErrorCode(), "record " + std::to_string(index) + ": " + e.what());
  }
}

template <class F>
auto ForAppInfo(F&& f) {
  try {
    return f();
  } catch (const EPDBException& e) {
    throw EPDBException(e.ErrorCode(), std::string("application-info block: ") + e.what());
  }
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
              const Charset& cs, Output& out) {
  if (records.empty() || records.front().index != 0)
    RaisePDB(1, kMsgDocHeaderTooShort);  // the header record is missing
  const apps::DocHeader header =
      ForRecord(0, [&] { return apps::DecodeDocHeader(records.front().View()); });
  std::vector<std::span<const std::uint8_t>> spans;
  for (const RawRecord& r : records) spans.push_back(r.View());
  // Deleted records would shift the text records: the text must be the records that follow.
  for (std::size_t i = 0; i < records.size() && i <= header.recordCount; ++i) {
    if (records[i].index != static_cast<std::int32_t>(i)) RaisePDB(1, kMsgDocMissingRecords);
  }
  const std::string text = apps::DecodeDocText(header, spans);
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
  JsonValue h = JObject();
  Put(h, "compression", JInt(header.compression));
  Put(h, "textLength", JInt(header.textLength));
  Put(h, "recordCount", JInt(header.recordCount));
  Put(h, "recordSize", JInt(header.recordSize));
  Put(h, "position", JInt(header.position));
  if (header.spare != 0) Put(h, "spare", JInt(header.spare));
  if (!header.extra.empty()) Put(h, "extra", JString(Hex(header.extra)));
  WriteJsonTree(w, h);
  w.Key("text");
  w.String(cs.ToUtf8(text));
  w.Key("records");
  w.BeginArray();
  apps::CategoryInfo none;
  none.names.fill({});
  for (const RawRecord& r : records) {
    WriteJsonTree(w, RecordToJson(App::kDoc, r.View(), r.attributes, none, cs));
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
  TCorvane db;
  OpenForReading(db, SingleFileArgument(args));
  const App app = ChooseApp(args, db);
  CheckFormat(app, format);
  const std::vector<RawRecord> records = ReadRecords(db);
  if (app == App::kDoc) return ExportDoc(db, records, format, cs, out);

  std::span<const std::uint8_t> block;
  std::int32_t block_length = 0;
  db.GetAppInfoP(block, block_length);
  apps::CategoryInfo categories = apps::CategoryInfo::Standard();
  JsonValue app_info;  // null without a block
  if (block_length > 0 || app == App::kRaw) {
    app_info = ForAppInfo([&] { return AppInfoToJson(app, block, cs, categories); });
  }
  std::string& buf = out.Buffer();

  if (format == "vcard" || format == "ical" || format == "text") {
    PimWriter writer(format, app, cs, categories, out);
    if (app == App::kContacts && block_length > 0)
      writer.SetFieldLabels(apps::DecodeContactsAppInfo(block).labels);
    for (const RawRecord& r : records) {
      ForRecord(r.index, [&] {
        writer.Add(r.View(), r.attributes);
        return 0;
      });
      out.FlushIfLarge();
    }
    writer.Finish();
    return kExitOk;
  }

  std::vector<JsonValue> rows;
  rows.reserve(records.size());
  for (const RawRecord& r : records) {
    rows.push_back(ForRecord(
        r.index, [&] { return RecordToJson(app, r.View(), r.attributes, categories, cs); }));
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

}  // namespace corvane::cli
