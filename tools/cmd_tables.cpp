// export and import of flat-file tables (JFile, MobileDB): JSON with the
// table's definition and one object per row keyed by field name, or CSV with
// a header row of the field names. Both formats keep their values as text in
// the file; a value is shown typed (a number, true/false, YYYY-MM-DD, HH:MM)
// only when its text is written the way its type writes it, and as the text
// otherwise, so what is exported imports as the same bytes.
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "corvane/apps/jfile.h"
#include "corvane/apps/mobiledb.h"
#include "corvane/engines/appforge.h"
#include "corvane/engines/sqldriver.h"
#include "corvane/foundation/exception.h"
#include "corvane/host/exceptions.h"
#include "corvane/host/locale.h"
#include "corvane/host/text.h"
#include "corvane/interchange/apps_json.h"
#include "corvane/interchange/csv.h"
#include "corvane/interchange/database_json.h"
#include "corvane/interchange/values.h"
#ifndef CORVANE_NO_SQLITE
#include "corvane/interchange/sqlite_writer.h"
#endif
#include "corvane/pdb/base_mgr.h"
#include "corvane/pdb/file_format.h"
#include "tools/apps_commands.h"
#include "tools/commands.h"
#include "tools/engine_options.h"
#include "tools/tables.h"

namespace corvane::cli {
namespace {

using apps::TableDate;
using apps::TableTime;
using apps::TableValue;

enum class Format { kJFile, kMobileDB };
enum class Kind { kText, kBoolean, kDate, kTime, kInteger, kFloat };
constexpr std::array<std::string_view, 6> kKindNames = {"text", "boolean", "date",
                                                        "time", "integer", "float"};

[[noreturn]] void Bad(const std::string& what) {
  throw Exception(what);
}

std::optional<Kind> KindByName(std::string_view name) {
  for (std::size_t i = 0; i < kKindNames.size(); ++i) {
    if (kKindNames[i] == name) return static_cast<Kind>(i);
  }
  return std::nullopt;
}

std::string_view KindName(Kind k) {
  return kKindNames[static_cast<std::size_t>(k)];
}

Kind JFileKind(std::uint16_t code) {
  switch (code) {
    case apps::kJFileBoolean:
      return Kind::kBoolean;
    case apps::kJFileDate:
      return Kind::kDate;
    case apps::kJFileInteger:
      return Kind::kInteger;
    case apps::kJFileFloat:
      return Kind::kFloat;
    case apps::kJFileTime:
      return Kind::kTime;
    default:
      return Kind::kText;
  }
}

std::uint16_t JFileCode(Kind k) {
  constexpr std::uint16_t kCodes[] = {apps::kJFileText, apps::kJFileBoolean, apps::kJFileDate,
                                      apps::kJFileTime, apps::kJFileInteger, apps::kJFileFloat};
  return kCodes[static_cast<std::size_t>(k)];
}

Kind MobileDBKind(std::string_view code) {
  switch (apps::MobileDBTypeOf(code)) {
    case apps::MobileDBType::kBoolean:
      return Kind::kBoolean;
    case apps::MobileDBType::kDate:
      return Kind::kDate;
    case apps::MobileDBType::kTime:
      return Kind::kTime;
    default:
      return Kind::kText;
  }
}

// MobileDB has no number types: numbers are its texts.
std::string MobileDBCode(Kind k) {
  switch (k) {
    case Kind::kBoolean:
      return "B";
    case Kind::kDate:
      return "D";
    case Kind::kTime:
      return "d";
    default:
      return "T";
  }
}

// One field of the table.
struct Column {
  std::string name;  // as stored
  std::string key;   // UTF-8, unique among the columns
  Kind kind = Kind::kText;
  std::uint16_t code = apps::kJFileText;  // JFile's type code
  // MobileDB: the field number, and the type code and width when the table gives them.
  std::uint8_t number = 0;
  std::optional<std::string> mcode, width;
};

TableValue ValueOf(Format f, const Column& c, std::string_view stored) {
  if (f == Format::kJFile) return apps::JFileValueOf(c.code, stored);
  return apps::MobileDBValueOf(c.mcode.value_or("T"), stored);
}

std::string StoredText(Format f, const TableValue& v) {
  return f == Format::kJFile ? apps::JFileStoredText(v) : apps::MobileDBStoredText(v);
}

bool ParseIsoDate(std::string_view s, TableDate& d) {
  if (s.size() != 10 || s[4] != '-' || s[7] != '-') return false;
  const auto num = [&](std::size_t at, std::size_t n, int& out) {
    return std::from_chars(s.data() + at, s.data() + at + n, out).ptr == s.data() + at + n;
  };
  for (std::size_t i : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u}) {
    if (s[i] < '0' || s[i] > '9') return false;
  }
  return num(0, 4, d.year) && num(5, 2, d.month) && num(8, 2, d.day) && d.Valid();
}

bool ParseClock(std::string_view s, TableTime& t) {
  if ((s.size() != 5 && s.size() != 8) || s[2] != ':' || (s.size() == 8 && s[5] != ':'))
    return false;
  int v[3] = {0, 0, 0};
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (i % 3 == 2) continue;
    if (s[i] < '0' || s[i] > '9') return false;
    v[i / 3] = v[i / 3] * 10 + (s[i] - '0');
  }
  t = TableTime{v[0], v[1], v[2]};
  return t.Valid();
}

// What a shown value (a CSV cell, a JSON string) stands for in a field of
// kind k: true/false, YYYY-MM-DD and HH:MM[:SS] are read as such; any other
// text, numbers included, is stored as it is.
TableValue FromShown(Kind k, std::string_view text) {
  switch (k) {
    case Kind::kBoolean:
      if (text == "true" || text == "false") return text == "true";
      break;
    case Kind::kDate: {
      TableDate d;
      if (ParseIsoDate(text, d)) return d;
      break;
    }
    case Kind::kTime: {
      TableTime t;
      if (ParseClock(text, t)) return t;
      break;
    }
    default:
      break;
  }
  return std::string(text);
}

// The value as shown: "" for nothing, texts as UTF-8.
std::string Shown(const TableValue& v, const Charset& cs) {
  char buf[48];
  if (const auto* t = std::get_if<std::string>(&v)) return cs.ToUtf8(*t);
  if (const auto* b = std::get_if<bool>(&v)) return *b ? "true" : "false";
  if (const auto* n = std::get_if<std::int64_t>(&v))
    return std::string(buf, std::to_chars(buf, buf + sizeof buf, *n).ptr);
  if (const auto* x = std::get_if<double>(&v)) return apps::TableFloatText(*x);
  if (const auto* d = std::get_if<TableDate>(&v)) return apps::TableDateText(*d, '-');
  if (const auto* t = std::get_if<TableTime>(&v)) return apps::TableTimeText(*t, t->second != 0);
  return {};
}

// The value as JSON: null for nothing, numbers and booleans as such, a typed
// field's text that would read back as something else as {"text": ...}.
JsonValue JsonOf(const Column& c, const TableValue& v, const Charset& cs) {
  if (std::holds_alternative<std::monostate>(v)) return JNull();
  if (const auto* b = std::get_if<bool>(&v)) return JBool(*b);
  if (std::holds_alternative<std::int64_t>(v) ||
      (std::holds_alternative<double>(v) && std::isfinite(std::get<double>(v)))) {
    JsonValue n;
    n.kind = JsonValue::Kind::kNumber;
    n.text = Shown(v, cs);
    return n;
  }
  if (const auto* t = std::get_if<std::string>(&v)) {
    if (c.kind != Kind::kText && !std::holds_alternative<std::string>(FromShown(c.kind, *t))) {
      JsonValue o = JObject();
      Put(o, "text", JString(cs.ToUtf8(*t)));
      return o;
    }
  }
  return JString(Shown(v, cs));
}

// The stored text of a JSON value in column c.
std::string StoredFromJson(Format f, const Column& c, const JsonValue& v, const Charset& cs,
                           const std::string& where) {
  const auto text = [&](const std::string& utf8) {
    try {
      return cs.FromUtf8(utf8);
    } catch (const EConvertError& e) {
      Bad(where + ": " + e.what());
    }
  };
  try {
    switch (v.kind) {
      case JsonValue::Kind::kNull:
        return {};
      case JsonValue::Kind::kBool:
        if (c.kind != Kind::kBoolean) Bad(where + " must be a " + std::string(KindName(c.kind)));
        return StoredText(f, v.boolean);
      case JsonValue::Kind::kNumber: {
        if (c.kind == Kind::kFloat) {
          double d = 0;
          std::from_chars(v.text.data(), v.text.data() + v.text.size(), d);
          return StoredText(f, d);
        }
        if (c.kind == Kind::kInteger) {
          std::int64_t n = 0;
          const auto r = std::from_chars(v.text.data(), v.text.data() + v.text.size(), n);
          if (r.ec != std::errc() || r.ptr != v.text.data() + v.text.size())
            Bad(where + " must be a whole number, not " + v.text);
          return StoredText(f, n);
        }
        return v.text;
      }
      case JsonValue::Kind::kString:
        return StoredText(f, FromShown(c.kind, text(v.text)));
      case JsonValue::Kind::kObject:
        if (const JsonValue* t = v.Find("text");
            t && t->kind == JsonValue::Kind::kString && v.members.size() == 1)
          return text(t->text);
        [[fallthrough]];
      default:
        Bad(where + " must be a " + std::string(KindName(c.kind)) + ", not " +
            std::string(JsonKindName(v.kind)));
    }
  } catch (const EPDBException& e) {
    Bad(where + ": " + e.what());
  }
}

// Keys for the columns: their names, made unique (a second "A" is "A (2)").
void AssignKeys(std::vector<Column>& columns, const Charset& cs) {
  std::set<std::string> used;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    std::string key = cs.ToUtf8(columns[i].name);
    if (key.empty()) key = "field " + std::to_string(i + 1);
    const std::string base = key;
    for (int n = 2; used.count(key) != 0; ++n) key = base + " (" + std::to_string(n) + ")";
    used.insert(key);
    columns[i].key = std::move(key);
  }
}

struct Rec {
  std::int32_t index = 0;
  std::uint8_t category = 0;
  TRecFlags flags;  // secret, busy, dirty
  std::uint32_t unique_id = 0;
  std::span<const std::uint8_t> data;  // in the file's image: valid while it is open
};

std::string_view Chars(std::span<const std::uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

bool SameBytes(const Bytes& a, std::span<const std::uint8_t> b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// The live records, their bytes borrowed from the open file.
std::vector<Rec> ReadRecords(TCorvane& db) {
  std::vector<Rec> records;
  records.reserve(db.RecordCount());
  for (std::int32_t i = 0; i < db.RecordCount(); ++i) {
    const std::optional<TRecordEntry> e = db.GetRecInFile(i);
    // StoredRecordBytes raises for a record the file does not hold.
    if (!e) {
      (void)db.StoredRecordBytes(i);
      continue;
    }
    if (e->Flags.Contains(dmRecAttrDelete)) continue;
    Rec r;
    r.index = i;
    r.data = db.StoredRecordBytes(i);
    r.category = e->Category;
    for (TRecEnumFlags f : {dmRecAttrSecret, dmRecAttrBusy, dmRecAttrDirty}) {
      if (e->Flags.Contains(f)) r.flags.Include(f);
    }
    r.unique_id = e->UniqueID & 0xFFFFFF;
    records.push_back(r);
  }
  return records;
}

template <class F>
auto ForRecord(std::int32_t index, F&& f) {
  try {
    return f();
  } catch (const EPDBException& e) {
    throw EPDBException("record " + std::to_string(index) + ": " + e.what(), e);
  }
}

JsonValue FlagsJson(TRecFlags flags) {
  JsonValue a = JArray();
  ForEachRecordFlagName(flags,
                        [&](std::string_view n) { a.items.push_back(JString(std::string(n))); });
  return a;
}

// The attribute keys a row object gets, unless a field has the name.
void PutAttributes(JsonValue& row, const Rec& r, const std::vector<Column>& columns) {
  const auto free_key = [&](std::string_view k) {
    for (const Column& c : columns) {
      if (c.key == k) return false;
    }
    return true;
  };
  if (free_key(kCategoryKey)) Put(row, std::string(kCategoryKey), JInt(r.category));
  if (free_key(kFlagsKey)) Put(row, std::string(kFlagsKey), FlagsJson(r.flags));
  if (free_key(kUniqueIDKey)) Put(row, std::string(kUniqueIDKey), JInt(r.unique_id));
}

// ---- reading a file into the shared shape -------------------------------------

// A table read from a file: its columns, the definition as JSON, and its rows
// (one stored text per column, nothing for a field a row leaves out).
struct Table {
  Format format = Format::kJFile;
  std::vector<Column> columns;
  JsonValue definition = JObject();
  struct Row {
    const Rec* rec = nullptr;
    std::vector<std::optional<std::string>> values;
    JsonValue more = JObject();  // keys beside the fields that keep unusual bytes
  };
  std::vector<Row> rows;
  // A JFile table whose rows are read one at a time as they are written out
  // (ForEachRow), straight from the records, rather than into `rows`.
  bool streamed = false;
  apps::JFileTable jfile;
  const std::vector<Rec>* records = nullptr;
};

// A row's stored texts, one per column (nothing for a field the row leaves
// out), valid until the next row.
using Cells = std::span<const std::optional<std::string_view>>;

// Calls f(record, cells) for every row in order.
template <class F>
void ForEachRow(const Table& t, F&& f) {
  std::vector<std::optional<std::string_view>> cells(t.columns.size());
  if (t.streamed) {
    std::vector<std::string_view> views;
    views.reserve(t.columns.size());
    for (const Rec& r : *t.records) {
      ForRecord(r.index, [&] { apps::ViewJFileRow(t.jfile, r.data, views); });
      std::copy(views.begin(), views.end(), cells.begin());
      f(r, Cells(cells));
    }
    return;
  }
  for (const Table::Row& row : t.rows) {
    for (std::size_t i = 0; i < cells.size(); ++i) {
      cells[i] = row.values[i] ? std::optional<std::string_view>(*row.values[i]) : std::nullopt;
    }
    f(*row.rec, Cells(cells));
  }
}

JsonValue JFileFieldJson(const apps::JFileField& f, const Charset& cs, bool with_width) {
  JsonValue o = JObject();
  Put(o, "name", JString(cs.ToUtf8(f.name)));
  const Kind k = JFileKind(f.type);
  Put(o, "type", JFileCode(k) == f.type ? JString(std::string(KindName(k))) : JInt(f.type));
  if (with_width) Put(o, "width", JInt(f.width));
  if (!f.padding.empty()) Put(o, "padding", JString(Hex(f.padding)));
  return o;
}

void ReadJFile(apps::JFileVersion version, TCorvane& db, const std::vector<Rec>& records,
               const Charset& cs, bool with_rows, Table& t) {
  std::span<const std::uint8_t> block;
  std::int32_t length = 0;
  db.GetAppInfoP(block, length);
  const apps::JFileTable table = [&] {
    try {
      return apps::DecodeJFileTable(version, block);
    } catch (const EPDBException& e) {
      throw EPDBException(std::string("application-info block: ") + e.what(), e);
    }
  }();
  const apps::JFileTable usual = apps::JFileTable::New(version);
  Put(t.definition, "version",
      JInt(version == apps::JFileVersion::k3   ? 3
           : version == apps::JFileVersion::k4 ? 4
                                               : 5));
  JsonValue fields = JArray();
  for (const apps::JFileField& f : table.fields) {
    fields.items.push_back(JFileFieldJson(f, cs, true));
    Column c;
    c.name = f.name;
    c.code = f.type;
    c.kind = JFileKind(f.type);
    t.columns.push_back(std::move(c));
  }
  Put(t.definition, "fields", std::move(fields));
  if (table.marker != usual.marker) Put(t.definition, "marker", JInt(table.marker));
  if (table.lastWidth != 80) Put(t.definition, "lastWidth", JInt(table.lastWidth));
  if (table.settings != usual.settings) Put(t.definition, "settings", JString(Hex(table.settings)));
  if (!table.unused.empty()) {
    JsonValue unused = JArray();
    for (const apps::JFileField& f : table.unused)
      unused.items.push_back(JFileFieldJson(f, cs, true));
    Put(t.definition, "unused", std::move(unused));
  }
  if (!table.extra.empty()) Put(t.definition, "extra", JString(Hex(table.extra)));
  AssignKeys(t.columns, cs);
  if (!with_rows) {
    t.streamed = true;
    t.jfile = table;
    t.records = &records;
    return;
  }
  for (const Rec& r : records) {
    apps::JFileRow row = ForRecord(r.index, [&] { return apps::DecodeJFileRow(table, r.data); });
    Table::Row out;
    out.rec = &r;
    out.values.reserve(row.values.size());
    for (std::string& v : row.values) out.values.emplace_back(std::move(v));
    if (!row.extra.empty()) Put(out.more, "extra", JString(Hex(row.extra)));
    if (!row.lengths.empty()) Put(out.more, "lengths", JString(Hex(row.lengths)));
    t.rows.push_back(std::move(out));
  }
}

std::string_view MobileDBKindName(std::uint8_t category) {
  switch (category) {
    case apps::kMobileDBLabels:
      return "labels";
    case apps::kMobileDBPreferences:
      return "preferences";
    case apps::kMobileDBTypes:
      return "types";
    case apps::kMobileDBWidths:
      return "widths";
    default:
      return "other";
  }
}

// The labels, types or widths record the columns make.
apps::MobileDBRecord DefinitionRecord(std::uint8_t category, const std::vector<Column>& columns) {
  apps::MobileDBRecord r;
  for (const Column& c : columns) {
    if (category == apps::kMobileDBLabels) r.fields.push_back({c.number, c.name});
    if (category == apps::kMobileDBTypes && c.mcode) r.fields.push_back({c.number, *c.mcode});
    if (category == apps::kMobileDBWidths && c.width) r.fields.push_back({c.number, *c.width});
  }
  return r;
}

bool IsDataCategory(std::uint8_t c) {
  return c == apps::kMobileDBData || c == apps::kMobileDBHidden;
}

void ReadMobileDB(TCorvane& db, const std::vector<Rec>& records, const Charset& cs, Table& t) {
  t.format = Format::kMobileDB;
  std::span<const std::uint8_t> block;
  std::int32_t length = 0;
  db.GetAppInfoP(block, length);
  const Bytes usual_block = apps::EncodeMobileDBAppInfo(apps::MobileDBAppInfo::Standard());
  if (!std::equal(block.begin(), block.end(), usual_block.begin(), usual_block.end())) {
    Put(t.definition, "appInfo",
        block.empty() ? JNull()
                      : JString(Hex(std::string_view(reinterpret_cast<const char*>(block.data()),
                                                     block.size()))));
  }
  // The definition comes from the first record of each kind.
  std::map<std::uint8_t, apps::MobileDBRecord> first;
  std::vector<std::pair<const Rec*, apps::MobileDBRecord>> decoded;
  for (const Rec& r : records) {
    apps::MobileDBRecord m =
        ForRecord(r.index, [&] { return apps::DecodeMobileDBRecord(r.data); });
    first.emplace(r.category, m);
    decoded.emplace_back(&r, std::move(m));
  }
  if (const auto labels = first.find(apps::kMobileDBLabels); labels != first.end()) {
    for (const apps::MobileDBField& f : labels->second.fields) {
      Column c;
      c.name = f.text;
      c.number = f.number;
      if (const auto types = first.find(apps::kMobileDBTypes); types != first.end()) {
        if (const std::string* code = types->second.Find(f.number)) c.mcode = *code;
      }
      if (const auto widths = first.find(apps::kMobileDBWidths); widths != first.end()) {
        if (const std::string* w = widths->second.Find(f.number)) c.width = *w;
      }
      c.kind = MobileDBKind(c.mcode.value_or("T"));
      t.columns.push_back(std::move(c));
    }
  }
  AssignKeys(t.columns, cs);
  JsonValue fields = JArray();
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    const Column& c = t.columns[i];
    JsonValue o = JObject();
    Put(o, "name", JString(cs.ToUtf8(c.name)));
    if (c.number != i) Put(o, "number", JInt(c.number));
    if (c.mcode) {
      Put(o, "type", JString(std::string(KindName(c.kind))));
      if (*c.mcode != MobileDBCode(c.kind)) Put(o, "code", JString(cs.ToUtf8(*c.mcode)));
    }
    if (c.width) {
      std::int64_t n = 0;
      const auto r = std::from_chars(c.width->data(), c.width->data() + c.width->size(), n);
      const bool number = r.ec == std::errc() && r.ptr == c.width->data() + c.width->size() &&
                          std::to_string(n) == *c.width;
      Put(o, "width", number ? JInt(n) : JString(cs.ToUtf8(*c.width)));
    }
    fields.items.push_back(std::move(o));
  }
  Put(t.definition, "fields", std::move(fields));

  JsonValue specials = JArray();
  std::size_t position = 0;
  for (const auto& [rec, m] : decoded) {
    const Rec& r = *rec;
    if (IsDataCategory(r.category)) {
      Table::Row row;
      row.rec = &r;
      row.values.resize(t.columns.size());
      for (std::size_t i = 0; i < t.columns.size(); ++i) {
        if (const std::string* v = m.Find(t.columns[i].number)) row.values[i] = *v;
      }
      apps::MobileDBRecord again;
      for (std::size_t i = 0; i < t.columns.size(); ++i) {
        if (row.values[i]) again.fields.push_back({t.columns[i].number, *row.values[i]});
      }
      if (!SameBytes(apps::EncodeMobileDBRecord(again), r.data)) {
        Put(row.more, "raw", JString(Hex(Chars(r.data))));
      }
      t.rows.push_back(std::move(row));
    } else {
      JsonValue o = JObject();
      Put(o, "position", JInt(static_cast<std::int64_t>(position)));
      Put(o, "kind", JString(std::string(MobileDBKindName(r.category))));
      Put(o, std::string(kCategoryKey), JInt(r.category));
      Put(o, std::string(kFlagsKey), FlagsJson(r.flags));
      Put(o, std::string(kUniqueIDKey), JInt(r.unique_id));
      const bool rebuilt =
          (r.category == apps::kMobileDBLabels || r.category == apps::kMobileDBTypes ||
           r.category == apps::kMobileDBWidths) &&
          SameBytes(apps::EncodeMobileDBRecord(DefinitionRecord(r.category, t.columns)), r.data);
      if (!rebuilt) Put(o, "bytes", JString(Hex(Chars(r.data))));
      specials.items.push_back(std::move(o));
    }
    ++position;
  }
  Put(t.definition, "records", std::move(specials));
}

std::optional<Format> FormatOfHeader(std::string_view type, std::string_view creator) {
  if (apps::JFileVersionOf(type, creator)) return Format::kJFile;
  if (type == "Mdb1" && creator == "Mdb1") return Format::kMobileDB;
  return std::nullopt;
}

std::optional<Format> FormatByName(std::string_view name) {
  if (name == "jfile") return Format::kJFile;
  if (name == "mobiledb") return Format::kMobileDB;
  return std::nullopt;
}

std::string_view FormatName(Format f) {
  return f == Format::kJFile ? "jfile" : "mobiledb";
}

// A stored value as its CSV cell shows it (Shown of its value): a number's
// text is the text itself, typed or not, so only the other types are read.
std::string CsvShown(Format f, const Column& c, std::string_view stored, const Charset& cs) {
  if (c.kind == Kind::kText || c.kind == Kind::kInteger || c.kind == Kind::kFloat)
    return cs.ToUtf8(stored);
  return Shown(ValueOf(f, c, stored), cs);
}

// A record's flags as the flags column shows them: "secret,busy".
std::string FlagNames(TRecFlags flags) {
  std::string names;
  ForEachRecordFlagName(flags, [&](std::string_view f) {
    if (!names.empty()) names += ',';
    names += f;
  });
  return names;
}

// The attribute columns --with-attributes adds, refused when a field has the name.
void CheckAttributeColumns(const Table& t) {
  for (const Column& c : t.columns) {
    if (c.key == kCategoryKey || c.key == kFlagsKey || c.key == kUniqueIDKey) {
      throw UsageError(
          "--with-attributes: a field has the name of an attribute column "
          "(category, flags or uniqueID)");
    }
  }
}

void WriteCsv(const Table& t, bool with_attributes, const Charset& cs, Output& out) {
  if (with_attributes) CheckAttributeColumns(t);
  std::string& buf = out.Buffer();
  for (std::size_t i = 0; i < t.columns.size(); ++i) {
    if (i > 0) buf += ',';
    AppendCsvField(buf, t.columns[i].key);
  }
  if (with_attributes)
    buf += t.columns.empty() ? "category,flags,uniqueID" : ",category,flags,uniqueID";
  buf += "\r\n";
  ForEachRow(t, [&](const Rec& rec, Cells cells) {
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      if (i > 0) buf += ',';
      if (!cells[i]) continue;
      AppendCsvField(buf, CsvShown(t.format, t.columns[i], *cells[i], cs));
    }
    if (with_attributes) {
      if (!t.columns.empty()) buf += ',';
      buf += std::to_string(rec.category);
      buf += ',';
      AppendCsvField(buf, FlagNames(rec.flags));
      buf += ',';
      buf += std::to_string(rec.unique_id);
    }
    buf += "\r\n";
    out.FlushIfLarge();
  });
}

#ifndef CORVANE_NO_SQLITE
using interchange::SqlColumn;
using interchange::SqliteWriter;
using interchange::SqlType;

SqlType SqlTypeOf(Kind k) {
  switch (k) {
    case Kind::kInteger:
    case Kind::kBoolean:
      return SqlType::kInteger;
    case Kind::kFloat:
      return SqlType::kReal;
    default:
      return SqlType::kText;
  }
}

bool IsAscii(std::string_view s) {
  for (const char c : s) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// One SQL table named after the database: a column per field, typed by the
// field's type; a typed field's text that is not written as its type writes
// it goes in as text (SQLite keeps each value's own type), nothing as NULL.
// The rows go from the records straight into the insert: a text the file
// holds in ASCII is bound where it lies, any other goes through a buffer of
// its column that lives until the row is inserted.
void WriteSqlite(const Table& t, const std::string& table_name, bool with_attributes,
                 const Charset& cs, const std::string& path) {
  std::vector<SqlColumn> columns;
  for (const Column& c : t.columns) columns.push_back({c.key, SqlTypeOf(c.kind)});
  if (with_attributes) {
    CheckAttributeColumns(t);
    columns.push_back({std::string(kCategoryKey), SqlType::kInteger});
    columns.push_back({std::string(kFlagsKey), SqlType::kText});
    columns.push_back({std::string(kUniqueIDKey), SqlType::kInteger});
  }
  SqliteWriter out(path);
  out.BeginTable(table_name, columns);
  // Bytes as their own UTF-8 when the character set maps ASCII to itself.
  const bool ascii_as_is = cs.Builtin();
  std::vector<std::string> scratch(columns.size());
  ForEachRow(t, [&](const Rec& rec, Cells cells) {
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      const int col = static_cast<int>(i);
      if (!cells[i]) {
        out.Null(col);
        continue;
      }
      const std::string_view stored = *cells[i];
      const Kind kind = t.columns[i].kind;
      if (kind == Kind::kText && !stored.empty()) {
        if (ascii_as_is && IsAscii(stored)) {
          out.Text(col, stored);
        } else {
          scratch[i] = cs.ToUtf8(stored);
          out.Text(col, scratch[i]);
        }
        continue;
      }
      // A number column takes what reads as a number; anything else goes in as
      // text, which SQLite's column types read as they would.
      const char* const b = stored.data();
      const char* const e = b + stored.size();
      if (kind == Kind::kInteger && !stored.empty()) {
        std::int64_t n = 0;
        const auto r = std::from_chars(b, e, n);
        if (r.ec == std::errc() && r.ptr == e) {
          out.Integer(col, n);
          continue;
        }
      }
      if (kind == Kind::kFloat && !stored.empty()) {
        double x = 0;
        const auto r = std::from_chars(b, e, x);
        if (r.ec == std::errc() && r.ptr == e && std::isfinite(x)) {
          out.Real(col, x);
          continue;
        }
      }
      const TableValue v = ValueOf(t.format, t.columns[i], stored);
      if (std::holds_alternative<std::monostate>(v)) {
        out.Null(col);
      } else if (const auto* flag = std::get_if<bool>(&v)) {
        out.Integer(col, *flag ? 1 : 0);
      } else if (const auto* n = std::get_if<std::int64_t>(&v)) {
        out.Integer(col, *n);
      } else if (const auto* x = std::get_if<double>(&v)) {
        out.Real(col, *x);
      } else {
        scratch[i] = Shown(v, cs);
        out.Text(col, scratch[i]);
      }
    }
    if (with_attributes) {
      const std::size_t at = t.columns.size();
      out.Integer(static_cast<int>(at), rec.category);
      scratch[at + 1] = FlagNames(rec.flags);
      out.Text(static_cast<int>(at + 1), scratch[at + 1]);
      out.Integer(static_cast<int>(at + 2), rec.unique_id);
    }
    out.Row();
  });
  out.Commit();
}
#endif

// A table file read whole: the rows point into its records.
struct LoadedTable {
  TCorvane db;
  std::vector<Rec> records;
  Table table;
};

// `with_rows` false: a JFile table's rows are left to ForEachRow.
std::unique_ptr<LoadedTable> LoadTable(const std::string& path, std::optional<Format> f,
                                       const Charset& cs, bool with_rows = true) {
  auto loaded = std::make_unique<LoadedTable>();
  TCorvane& db = loaded->db;
  OpenForReading(db, path);
  const std::optional<apps::JFileVersion> version =
      apps::JFileVersionOf(db.DatabaseType(), db.CreatorID());
  if (!f) f = FormatOfHeader(db.DatabaseType(), db.CreatorID());
  if (!f) throw UsageError("the database is no JFile or MobileDB table");
  loaded->records = ReadRecords(db);
  if (*f == Format::kJFile) {
    if (!version) {
      throw UsageError(
          "--app jfile: the database's type and creator name no JFile generation "
          "(JbDb/JBas, JfDb/JFil or JfD5/JFi5)");
    }
    ReadJFile(*version, db, loaded->records, cs, with_rows, loaded->table);
  } else {
    ReadMobileDB(db, loaded->records, cs, loaded->table);
  }
  return loaded;
}

}  // namespace

std::string SqliteOutputPath(const ParsedArgs& args) {
  if (!args.Has("-o") && !args.Has("--output"))
    throw UsageError("--format sqlite needs -o OUT.sqlite");
#ifdef CORVANE_NO_SQLITE
  throw Exception("this corvane was built without SQLite: --format sqlite is not available");
#endif
  return args.Has("-o") ? args.Value("-o", "") : args.Value("--output", "");
}

// ---- export -----------------------------------------------------------------------

bool IsTableExport(const ParsedArgs& args) {
  if (args.Has("--engine")) return false;
  const std::string app = args.Value("--app", "auto");
  if (FormatByName(app)) return true;
  if (app != "auto" || args.positional.size() != 1) return false;
  std::ifstream f(args.positional.front(), std::ios::binary);
  char header[68];
  if (!f.read(header, sizeof header)) return false;
  return FormatOfHeader(std::string_view(header + 60, 4), std::string_view(header + 64, 4))
      .has_value();
}

int RunTableExport(const ParsedArgs& args, Output& out) {
  if (args.Has("--field")) throw UsageError("--field needs --engine: a table names its own fields");
  const std::string format = args.Value("--format", "json");
  if (format != "json" && format != "csv" && format != "sqlite")
    throw UsageError("unknown format '" + format + "' for a table (json, csv or sqlite)");
  if (format != "sqlite" && (args.Has("-o") || args.Has("--output")))
    throw UsageError("-o is for --format sqlite; JSON and CSV go to standard output");
  const std::string sqlite_path = format == "sqlite" ? SqliteOutputPath(args) : std::string();
  const Charset cs(args.Value("--encoding", "cp1252"));
  const std::unique_ptr<LoadedTable> loaded =
      LoadTable(SingleFileArgument(args), FormatByName(args.Value("--app", "auto")), cs,
                format == "json");
  TCorvane& db = loaded->db;
  const Table& t = loaded->table;
  const std::optional<Format> f = t.format;
  if (format == "csv") {
    // Every row is read once before the first is written, so that a damaged
    // one stops the export before anything reaches the output.
    ForEachRow(t, [](const Rec&, Cells) {});
    WriteCsv(t, args.Has("--with-attributes"), cs, out);
    return kExitOk;
  }
  if (format == "sqlite") {
#ifndef CORVANE_NO_SQLITE
    WriteSqlite(t, cs.ToUtf8(db.DatabaseName()), args.Has("--with-attributes"), cs, sqlite_path);
#endif
    return kExitOk;
  }
  std::string& buf = out.Buffer();
  JsonWriter w(buf);
  w.BeginObject();
  w.Key("database");
  WriteDatabaseJson(w, db, TextEncoding::kWindows1252);
  w.Key("app");
  w.String(FormatName(*f));
  w.Key("table");
  WriteJsonTree(w, t.definition, JsonWriter::Layout::kBlock);
  w.Key("records");
  w.BeginArray();
  for (const Table::Row& row : t.rows) {
    JsonValue o = JObject();
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      if (!row.values[i]) continue;
      Put(o, t.columns[i].key,
          JsonOf(t.columns[i], ValueOf(t.format, t.columns[i], *row.values[i]), cs));
    }
    for (const JsonMember& m : row.more.members) o.members.push_back(m);
    PutAttributes(o, *row.rec, t.columns);
    WriteJsonTree(w, o);
    out.FlushIfLarge();
  }
  w.EndArray();
  w.EndObject();
  w.EndDocument();
  return kExitOk;
}

// ---- import -----------------------------------------------------------------------

namespace {

struct NewRecord {
  std::uint8_t category = 0;
  TRecFlags flags;
  std::uint32_t unique_id = 0;
  Bytes data;
};

struct Header {
  std::optional<std::string> name, creator, type;
  std::optional<std::uint16_t> attributes, version;
  std::optional<TDateTime> created, modified, backed_up;
  std::optional<std::uint32_t> modification_number, unique_id_seed;
};

Header HeaderOf(const JsonValue* db, const Charset& cs) {
  Header h;
  if (db == nullptr || db->kind != JsonValue::Kind::kObject) return h;
  const auto text = [&](const char* key) -> std::optional<std::string> {
    const JsonValue* v = db->Find(key);
    if (!v || v->kind != JsonValue::Kind::kString) return std::nullopt;
    return cs.FromUtf8(v->text);
  };
  h.name = text("name");
  h.creator = text("creator");
  h.type = text("type");
  if (auto v = WholeNumberMember(*db, "database", "attributes", 0xFFFF))
    h.attributes = static_cast<std::uint16_t>(*v);
  if (auto v = WholeNumberMember(*db, "database", "version", 0xFFFF))
    h.version = static_cast<std::uint16_t>(*v);
  h.created = HeaderDateMember(*db, "created");
  h.modified = HeaderDateMember(*db, "modified");
  h.backed_up = HeaderDateMember(*db, "backedUp");
  if (auto v = WholeNumberMember(*db, "database", "modificationNumber", 0xFFFFFFFF))
    h.modification_number = static_cast<std::uint32_t>(*v);
  if (auto v = WholeNumberMember(*db, "database", "uniqueIDSeed", 0xFFFFFFFF))
    h.unique_id_seed = static_cast<std::uint32_t>(*v);
  return h;
}

// A row of the input: a value per key (JSON) or per column (CSV).
struct InputRow {
  std::string where;
  const JsonValue* json = nullptr;                // the row's object
  std::vector<std::optional<std::string>> cells;  // CSV: per column, UTF-8
  std::uint8_t category = 0;
  bool category_given = false;
  TRecFlags flags;
  std::uint32_t unique_id = 0;
};

const JsonValue* Member(const JsonValue& o, std::string_view key) {
  const JsonValue* v = o.Find(key);
  return v == nullptr || v->IsNull() ? nullptr : v;
}

std::string HexMember(const JsonValue& o, std::string_view key, const std::string& where) {
  const JsonValue* v = Member(o, key);
  if (v == nullptr) return {};
  if (v->kind != JsonValue::Kind::kString)
    Bad(where + ".\"" + std::string(key) + "\" must be hexadecimal bytes");
  return Unhex(v->text, where + ".\"" + std::string(key) + "\"");
}

std::int64_t IntMember(const JsonValue& o, std::string_view key, std::int64_t lo, std::int64_t hi,
                       std::int64_t fallback, const std::string& where) {
  const JsonValue* v = Member(o, key);
  if (v == nullptr) return fallback;
  std::int64_t n = 0;
  const auto r = std::from_chars(v->text.data(), v->text.data() + v->text.size(), n);
  if (v->kind != JsonValue::Kind::kNumber || r.ec != std::errc() ||
      r.ptr != v->text.data() + v->text.size() || n < lo || n > hi) {
    Bad(where + ".\"" + std::string(key) + "\" must be a whole number from " + std::to_string(lo) +
        " to " + std::to_string(hi));
  }
  return n;
}

// The columns of a table from JSON "fields".
std::vector<Column> ColumnsFromJson(Format f, const JsonValue& fields, const Charset& cs,
                                    std::vector<apps::JFileField>* jfields) {
  if (fields.kind != JsonValue::Kind::kArray) Bad("\"table\".\"fields\" must be an array");
  std::vector<Column> columns;
  for (std::size_t i = 0; i < fields.items.size(); ++i) {
    const JsonValue& o = fields.items[i];
    const std::string where = "\"table\".\"fields\"[" + std::to_string(i) + "]";
    if (o.kind != JsonValue::Kind::kObject) Bad(where + " must be an object");
    Column c;
    const JsonValue* name = Member(o, "name");
    if (!name || name->kind != JsonValue::Kind::kString) Bad(where + " needs a \"name\"");
    c.name = cs.FromUtf8(name->text);
    const JsonValue* type = Member(o, "type");
    if (type && type->kind == JsonValue::Kind::kString) {
      const std::optional<Kind> k = KindByName(type->text);
      if (!k) {
        Bad(where + ".\"type\": unknown type '" + type->text +
            "' (text, boolean, date, time, integer or float)");
      }
      c.kind = *k;
    } else if (type && f == Format::kJFile) {
      c.code = static_cast<std::uint16_t>(IntMember(o, "type", 0, 0xFFFF, 1, where));
      c.kind = JFileKind(c.code);
    } else if (type) {
      Bad(where + ".\"type\" must be a type name");
    }
    if (type && type->kind == JsonValue::Kind::kString) c.code = JFileCode(c.kind);
    if (f == Format::kJFile) {
      apps::JFileField jf;
      jf.name = c.name;
      jf.type = c.code;
      jf.width = static_cast<std::uint16_t>(IntMember(o, "width", 0, 0xFFFF, 80, where));
      jf.padding = HexMember(o, "padding", where);
      if (jfields) jfields->push_back(std::move(jf));
    } else {
      c.number = static_cast<std::uint8_t>(
          IntMember(o, "number", 0, 254, static_cast<std::int64_t>(i), where));
      if (const JsonValue* code = Member(o, "code")) {
        if (code->kind != JsonValue::Kind::kString) Bad(where + ".\"code\" must be a string");
        c.mcode = cs.FromUtf8(code->text);
        c.kind = MobileDBKind(*c.mcode);
      } else if (type) {
        c.mcode = MobileDBCode(c.kind);
      }
      if (const JsonValue* w = Member(o, "width"))
        c.width = w->kind == JsonValue::Kind::kString ? cs.FromUtf8(w->text) : w->text;
    }
    columns.push_back(std::move(c));
  }
  return columns;
}

// The attributes a row carries (JSON keys or CSV cells), when no field has that name.
void RowAttribute(InputRow& row, std::string_view key, const JsonValue& v) {
  RecordAttributes a;
  a.category = row.category;
  a.flags = row.flags;
  a.unique_id = row.unique_id;
  try {
    AttributeFromJson(key, v, a);
  } catch (const EConvertError& e) {
    Bad(row.where + ": " + e.what());
  }
  if (key == kCategoryKey) row.category_given = true;
  row.category = a.category;
  row.flags = a.flags;
  row.unique_id = a.unique_id;
}

// The stored texts of a row, per column (nothing for a key the row leaves out).
std::vector<std::optional<std::string>> RowValues(
    Format f, const std::vector<Column>& columns, InputRow& row, const Charset& cs,
    const std::set<std::string, std::less<>>& extra_keys) {
  std::vector<std::optional<std::string>> values(columns.size());
  const auto column_of = [&](std::string_view key) -> std::optional<std::size_t> {
    for (std::size_t i = 0; i < columns.size(); ++i) {
      if (columns[i].key == key) return i;
    }
    return std::nullopt;
  };
  if (row.json != nullptr) {
    if (row.json->kind != JsonValue::Kind::kObject) Bad(row.where + " must be an object");
    for (const auto& [key, v] : row.json->members) {
      if (const auto i = column_of(key)) {
        values[*i] = StoredFromJson(f, columns[*i], v, cs, row.where + ", field '" + key + "'");
        continue;
      }
      if (key == kCategoryKey || key == kFlagsKey || key == kUniqueIDKey) {
        RowAttribute(row, key, v);
        continue;
      }
      if (extra_keys.count(key) != 0) continue;
      Bad(row.where + ": \"" + key + "\" is no field");
    }
    return values;
  }
  for (std::size_t i = 0; i < columns.size(); ++i) {
    if (!row.cells[i]) continue;
    try {
      values[i] = StoredText(f, FromShown(columns[i].kind, cs.FromUtf8(*row.cells[i])));
    } catch (const std::exception& e) {
      Bad(row.where + ", field '" + columns[i].key + "': " + e.what());
    }
  }
  return values;
}

// Kind of a CSV column from its cells: all integers, all numbers, all ISO
// dates, all true/false, else text. Empty cells say nothing.
Kind InferKind(const CsvTable& csv, std::size_t column) {
  bool integer = true, number = true, date = true, boolean = true, any = false;
  for (std::size_t r = 1; r < csv.Rows(); ++r) {
    const std::string_view s = csv.Field(r, column);
    if (s.empty()) continue;
    any = true;
    std::int64_t n = 0;
    const auto ri = std::from_chars(s.data(), s.data() + s.size(), n);
    char buf[24];
    integer = integer && ri.ec == std::errc() && ri.ptr == s.data() + s.size() &&
              std::string_view(buf, std::to_chars(buf, buf + sizeof buf, n).ptr) == s;
    double d = 0;
    const auto rd = std::from_chars(s.data(), s.data() + s.size(), d);
    number = number && rd.ec == std::errc() && rd.ptr == s.data() + s.size() && std::isfinite(d);
    TableDate when;
    date = date && ParseIsoDate(s, when);
    boolean = boolean && (s == "true" || s == "false");
  }
  if (!any) return Kind::kText;
  if (integer) return Kind::kInteger;
  if (number) return Kind::kFloat;
  if (date) return Kind::kDate;
  if (boolean) return Kind::kBoolean;
  return Kind::kText;
}

std::string RecordWhere(std::size_t r, std::size_t line, bool csv) {
  return "record " + std::to_string(r) + (csv ? " (CSV line " : " (line ") + std::to_string(line) +
         ")";
}

Bytes BlockOf(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

// Writes the database: the header, the block and the records as given.
void WriteDatabase(const std::string& directory, const std::string& file, Header h, Bytes app_info,
                   std::vector<NewRecord>& records, const JsonValue* database = nullptr) {
  if (h.name->size() > 31) h.name->resize(31);
  TPDBBaseMgr out;
  out.SetOpenMode(dmModeWriteOnly);
  out.SetDirectory(directory);
  out.SetPDBFilename(file);
  out.SetDBName(*h.name);
  out.SetCreatorID(*h.creator);
  out.SetDatabaseType(*h.type);
  out.CreateDatabase();
  try {
    out.SetAttributes(h.attributes.value_or(0x0008));  // backup
    if (h.version) out.SetDBVersion(*h.version);
    // What the input says is written, a creation date before 1990 too.
    out.SetCreationDateAsGiven(true);
    if (h.created) out.SetCreationDate(*h.created);
    if (h.modified) out.SetModificationDate(*h.modified);
    if (h.backed_up) out.SetLastBackupDate(*h.backed_up);
    if (h.modification_number) out.SetModification(*h.modification_number);
    if (h.unique_id_seed) out.SetUniqueIDSeed(*h.unique_id_seed);
    if (database != nullptr) ApplyStoredDates(*database, out);
    out.SetWriteCategory(false);
    if (!app_info.empty()) out.SetAppInfoP(std::move(app_info));
    for (NewRecord& r : records) {
      out.SetCurrentRecord(std::move(r.data));
      out.SetRecCategory(r.category);
      out.SetRecFlags(r.flags);
      out.SetRecUniqueID(static_cast<std::int32_t>(r.unique_id));
      out.WriteRawRecord();
    }
    out.CloseDatabase();
  } catch (...) {
    out.AbortDatabase();
    throw;
  }
}

}  // namespace

bool IsTableImport(const ParsedArgs& args) {
  if (args.Has("--engine")) return false;
  if (args.Has("--app")) return FormatByName(args.Value("--app", "")).has_value();
  const std::string input = args.Value("--input", "");
  if (input.empty() || input == "-" || LowerCase(ExtractFileExt(input)) == ".csv") return false;
  try {
    const JsonValue root = ParseJson(ReadInput(input));
    const JsonValue* app = root.Find("app");
    return app && app->kind == JsonValue::Kind::kString && FormatByName(app->text);
  } catch (const std::exception&) {
    return false;  // the usual import reports it
  }
}

int RunTableImport(const ParsedArgs& args, Output& /*out*/) {
  if (!args.positional.empty()) {
    throw UsageError("unexpected argument '" + args.positional.front() +
                     "' (the input is --input FILE)");
  }
  if (!args.Has("-o") && !args.Has("--output")) throw UsageError("missing -o OUT.pdb");
  const std::string out_path = args.Has("-o") ? args.Value("-o", "") : args.Value("--output", "");
  std::string directory, file;
  SplitPdbPath(out_path, directory, file);
  const Charset cs(args.Value("--encoding", "cp1252"));
  const std::string input_path = args.Value("--input", "");
  const std::string format =
      args.Value("--format", LowerCase(ExtractFileExt(input_path)) == ".csv" ? "csv" : "json");
  if (format != "json" && format != "csv")
    throw UsageError("unknown format '" + format + "' for a table (json or csv)");
  const std::vector<FieldSpec> given_fields = FieldSpecsFromArgs(args);
  for (const FieldSpec& s : given_fields) {
    if (!KindByName(s.type)) {
      throw UsageError("--field " + s.name + ": unknown type '" + s.type +
                       "' (text, boolean, date, time, integer or float)");
    }
  }
  const std::string source =
      input_path.empty() || input_path == "-" ? "standard input" : input_path;
  const std::string text = ReadInput(input_path);

  std::optional<JsonValue> root;
  CsvTable csv;
  std::optional<Format> f = FormatByName(args.Value("--app", ""));
  if (format == "json") {
    try {
      root = ParseJson(text);
    } catch (const JsonError& e) {
      Bad(source + ": " + e.what());
    }
    if (root->kind != JsonValue::Kind::kObject) Bad("the JSON document must be an object");
    if (!f) {
      const JsonValue* app = root->Find("app");
      if (app && app->kind == JsonValue::Kind::kString) f = FormatByName(app->text);
    }
  } else {
    try {
      csv = ParseCsvTable(text);
    } catch (const CsvError& e) {
      Bad(source + ": " + e.what());
    }
    if (csv.Rows() == 0) Bad("the CSV file has no header row");
  }
  if (!f) throw UsageError("missing --app (jfile or mobiledb)");
  const JsonValue* table = root ? root->Find("table") : nullptr;
  if (table && table->kind != JsonValue::Kind::kObject) Bad("\"table\" must be an object");
  Header h = HeaderOf(root ? root->Find("database") : nullptr, cs);
  // Dates stored in other bytes than a write would give ("createdStored", ...)
  // go back as they were.
  const JsonValue* database = root ? root->Find("database") : nullptr;
  if (args.Has("--type")) h.type = cs.FromUtf8(args.Value("--type", ""));
  if (args.Has("--creator")) h.creator = cs.FromUtf8(args.Value("--creator", ""));
  if (args.Has("--name")) h.name = cs.FromUtf8(args.Value("--name", ""));

  // The columns: from the JSON table, or from the CSV header with --field types or inferred.
  std::vector<Column> columns;
  std::vector<apps::JFileField> jfields;
  std::vector<int> csv_column;  // CSV: the column of each field
  std::vector<std::pair<std::size_t, std::string>> csv_attributes;
  if (table) {
    const JsonValue* fields = table->Find("fields");
    if (!fields) Bad("\"table\" has no \"fields\"");
    columns = ColumnsFromJson(*f, *fields, cs, &jfields);
    if (!given_fields.empty()) throw UsageError("--field: the JSON's \"table\" gives the fields");
  } else if (root) {
    Bad("the JSON document has no \"table\"");
  } else {
    for (std::size_t c = 0; c < csv.Width(); ++c) {
      const std::string name(csv.Field(0, c));
      const FieldSpec* given = nullptr;
      for (const FieldSpec& s : given_fields) {
        if (s.name == name) given = &s;
      }
      if (!given && (name == kCategoryKey || name == kFlagsKey || name == kUniqueIDKey)) {
        csv_attributes.emplace_back(c, name);
        continue;
      }
      Column col;
      col.name = cs.FromUtf8(name);
      col.kind = given ? *KindByName(given->type) : InferKind(csv, c);
      col.code = JFileCode(col.kind);
      col.number = static_cast<std::uint8_t>(columns.size());
      if (*f == Format::kMobileDB) {
        col.mcode = MobileDBCode(col.kind);
        col.width = "80";
      }
      columns.push_back(std::move(col));
      csv_column.push_back(static_cast<int>(c));
    }
    for (const FieldSpec& s : given_fields) {
      bool found = false;
      for (std::size_t c = 0; c < csv.Width(); ++c) found = found || csv.Field(0, c) == s.name;
      if (!found) throw UsageError("--field " + s.name + ": the CSV file has no such column");
    }
    if (*f == Format::kMobileDB && columns.size() > 255)
      Bad("a MobileDB table holds at most 255 fields");
    if (*f == Format::kJFile) {
      for (const Column& c : columns) {
        apps::JFileField jf;
        jf.name = c.name;
        jf.type = c.code;
        jfields.push_back(std::move(jf));
      }
    }
  }
  AssignKeys(columns, cs);

  // The rows.
  std::vector<InputRow> rows;
  if (root) {
    const JsonValue* list = root->Find("records");
    if (!list) Bad("the JSON document has no \"records\"");
    if (list->kind != JsonValue::Kind::kArray) Bad("\"records\" must be an array");
    for (std::size_t r = 0; r < list->items.size(); ++r) {
      InputRow row;
      row.json = &list->items[r];
      row.where = RecordWhere(r, list->items[r].line, false);
      rows.push_back(std::move(row));
    }
  } else {
    for (std::size_t r = 1; r < csv.Rows(); ++r) {
      InputRow row;
      row.where = RecordWhere(r - 1, csv.Line(r), true);
      for (int c : csv_column) {
        const std::string_view cell = csv.Field(r, static_cast<std::size_t>(c));
        // An empty cell is an empty value; MobileDB rows then leave the field out.
        if (cell.empty() && *f == Format::kMobileDB) {
          row.cells.emplace_back();
        } else {
          row.cells.emplace_back(std::string(cell));
        }
      }
      for (const auto& [c, key] : csv_attributes) {
        RecordAttributes a;
        a.category = row.category;
        a.flags = row.flags;
        a.unique_id = row.unique_id;
        try {
          AttributeFromCsv(key, csv.Field(r, c), a);
        } catch (const EConvertError& e) {
          Bad(row.where + ": " + e.what());
        }
        if (key == kCategoryKey) row.category_given = true;
        row.category = a.category;
        row.flags = a.flags;
        row.unique_id = a.unique_id;
      }
      rows.push_back(std::move(row));
    }
  }

  std::vector<NewRecord> records;
  Bytes app_info;
  if (*f == Format::kJFile) {
    std::optional<apps::JFileVersion> version;
    if (table) {
      const std::int64_t v = IntMember(*table, "version", 3, 5, 5, "\"table\"");
      version = v == 3   ? apps::JFileVersion::k3
                : v == 4 ? apps::JFileVersion::k4
                         : apps::JFileVersion::k5;
    } else if (h.type) {
      for (apps::JFileVersion v :
           {apps::JFileVersion::k3, apps::JFileVersion::k4, apps::JFileVersion::k5})
        if (apps::JFileLayoutOf(v).type == *h.type) version = v;
    }
    if (!version) version = apps::JFileVersion::k5;
    const apps::JFileLayout& layout = apps::JFileLayoutOf(*version);
    apps::JFileTable t = apps::JFileTable::New(*version);
    t.fields = jfields;
    if (t.fields.size() > layout.slots) {
      Bad("JFile " +
          std::string(*version == apps::JFileVersion::k3   ? "3"
                      : *version == apps::JFileVersion::k4 ? "4"
                                                           : "5") +
          " holds at most " + std::to_string(layout.slots) + " fields, not " +
          std::to_string(t.fields.size()));
    }
    if (table) {
      t.marker =
          static_cast<std::uint16_t>(IntMember(*table, "marker", 0, 0xFFFF, t.marker, "\"table\""));
      t.lastWidth =
          static_cast<std::uint16_t>(IntMember(*table, "lastWidth", 0, 0xFFFF, 80, "\"table\""));
      if (Member(*table, "settings")) t.settings = HexMember(*table, "settings", "\"table\"");
      t.extra = HexMember(*table, "extra", "\"table\"");
      if (const JsonValue* unused = Member(*table, "unused")) {
        (void)ColumnsFromJson(Format::kJFile, *unused, cs, &t.unused);
      }
    }
    try {
      app_info = apps::EncodeJFileTable(t);
    } catch (const EPDBException& e) {
      throw EPDBException(e.ErrorCode(), std::string("\"table\": ") + e.what());
    }
    const std::set<std::string, std::less<>> extra_keys = {"extra", "lengths"};
    for (InputRow& row : rows) {
      const std::vector<std::optional<std::string>> values =
          RowValues(*f, columns, row, cs, extra_keys);
      apps::JFileRow jr;
      for (const auto& v : values) jr.values.push_back(v.value_or(std::string()));
      if (row.json) {
        jr.extra = HexMember(*row.json, "extra", row.where);
        jr.lengths = HexMember(*row.json, "lengths", row.where);
      }
      NewRecord nr;
      nr.category = row.category;
      nr.flags = row.flags;
      nr.unique_id = row.unique_id;
      try {
        nr.data = apps::EncodeJFileRow(t, jr);
      } catch (const EPDBException& e) {
        throw EPDBException(e.ErrorCode(), row.where + ": " + e.what());
      }
      records.push_back(std::move(nr));
    }
    if (!h.type) h.type = std::string(layout.type);
    if (!h.creator) h.creator = std::string(layout.creator);
    if (!h.version && *version == apps::JFileVersion::k3) h.version = 1;
  } else {
    // MobileDB: the definition records where the table puts them, the rows around them.
    if (table && Member(*table, "appInfo")) {
      app_info = BlockOf(HexMember(*table, "appInfo", "\"table\""));
    } else if (!(table && table->Find("appInfo"))) {
      app_info = apps::EncodeMobileDBAppInfo(apps::MobileDBAppInfo::Standard());
    }
    std::vector<std::pair<std::size_t, NewRecord>> specials;
    const JsonValue* given = table ? Member(*table, "records") : nullptr;
    if (given) {
      if (given->kind != JsonValue::Kind::kArray) Bad("\"table\".\"records\" must be an array");
      for (std::size_t i = 0; i < given->items.size(); ++i) {
        const JsonValue& o = given->items[i];
        const std::string where = "\"table\".\"records\"[" + std::to_string(i) + "]";
        if (o.kind != JsonValue::Kind::kObject) Bad(where + " must be an object");
        InputRow attrs;
        attrs.where = where;
        for (std::string_view k : {kCategoryKey, kFlagsKey, kUniqueIDKey}) {
          if (const JsonValue* v = Member(o, k)) RowAttribute(attrs, k, *v);
        }
        NewRecord nr;
        nr.category = attrs.category;
        nr.flags = attrs.flags;
        nr.unique_id = attrs.unique_id;
        if (Member(o, "bytes")) {
          nr.data = BlockOf(HexMember(o, "bytes", where));
        } else {
          nr.data = apps::EncodeMobileDBRecord(DefinitionRecord(nr.category, columns));
        }
        specials.emplace_back(
            static_cast<std::size_t>(IntMember(o, "position", 0, 0xFFFF, 0, where)), std::move(nr));
      }
    } else {
      // A new table: labels, preferences (the field numbers, no text), types, widths.
      apps::MobileDBRecord prefs;
      for (const Column& c : columns) prefs.fields.push_back({c.number, ""});
      const std::pair<std::uint8_t, Bytes> kinds[] = {
          {apps::kMobileDBLabels,
           apps::EncodeMobileDBRecord(DefinitionRecord(apps::kMobileDBLabels, columns))},
          {apps::kMobileDBPreferences, apps::EncodeMobileDBRecord(prefs)},
          {apps::kMobileDBTypes,
           apps::EncodeMobileDBRecord(DefinitionRecord(apps::kMobileDBTypes, columns))},
          {apps::kMobileDBWidths,
           apps::EncodeMobileDBRecord(DefinitionRecord(apps::kMobileDBWidths, columns))}};
      for (const auto& [category, data] : kinds) {
        NewRecord nr;
        nr.category = category;
        nr.data = data;
        specials.emplace_back(specials.size(), std::move(nr));
      }
    }
    std::vector<NewRecord> data_rows;
    const std::set<std::string, std::less<>> extra_keys = {"raw"};
    for (InputRow& row : rows) {
      const std::vector<std::optional<std::string>> values =
          RowValues(*f, columns, row, cs, extra_keys);
      NewRecord nr;
      nr.category = row.category_given ? row.category : apps::kMobileDBData;
      if (!IsDataCategory(nr.category))
        Bad(row.where + ": a row's category is 2, or 3 when hidden");
      nr.flags = row.flags;
      nr.unique_id = row.unique_id;
      if (row.json && Member(*row.json, "raw")) {
        nr.data = BlockOf(HexMember(*row.json, "raw", row.where));
      } else {
        apps::MobileDBRecord m;
        for (std::size_t i = 0; i < columns.size(); ++i) {
          if (values[i]) m.fields.push_back({columns[i].number, *values[i]});
        }
        try {
          nr.data = apps::EncodeMobileDBRecord(m);
        } catch (const EPDBException& e) {
          throw EPDBException(e.ErrorCode(), row.where + ": " + e.what());
        }
      }
      data_rows.push_back(std::move(nr));
    }
    const std::size_t total = specials.size() + data_rows.size();
    std::vector<std::optional<NewRecord>> slots(total);
    std::vector<NewRecord> late;
    for (auto& [at, nr] : specials) {
      if (at < total && !slots[at]) {
        slots[at] = std::move(nr);
      } else {
        late.push_back(std::move(nr));
      }
    }
    std::size_t next = 0;
    for (std::optional<NewRecord>& s : slots) {
      if (s) continue;
      if (next < data_rows.size()) {
        s = std::move(data_rows[next++]);
      } else if (!late.empty()) {
        s = std::move(late.front());
        late.erase(late.begin());
      }
    }
    for (std::optional<NewRecord>& s : slots) {
      if (s) records.push_back(std::move(*s));
    }
    if (!h.type) h.type = "Mdb1";
    if (!h.creator) h.creator = "Mdb1";
  }

  if (!h.name) h.name = file.substr(0, file.size() - ExtractFileExt(file).size());
  WriteDatabase(directory, file, h, std::move(app_info), records, database);
  return kExitOk;
}

// ---- convert -----------------------------------------------------------------------

namespace {

// A cell on its way: the value as export shows it, in the file's bytes
// (texts as stored), and whether it was a typed value rather than a text.
struct Cell {
  std::string shown;
  bool typed = false;
};

struct Source {
  std::string name, creator, type;  // the header's, as stored
  TDateTime created = 0;
  std::uint16_t attributes = 0x0008;
  std::vector<std::string> names;              // as stored
  std::vector<Kind> kinds;                     // what a table makes of each field
  std::vector<std::string_view> engine_types;  // the engine's type names, or empty
  std::vector<std::vector<Cell>> rows;
  std::vector<std::int32_t> record_index;  // of each row, for messages
};

Kind KindOfValue(TValueKind k) {
  switch (k) {
    case TValueKind::Integer:
    case TValueKind::Unsigned:
      return Kind::kInteger;
    case TValueKind::Float:
    case TValueKind::Currency:
      return Kind::kFloat;
    case TValueKind::Boolean:
      return Kind::kBoolean;
    case TValueKind::Date:
    case TValueKind::DateTime:
      return Kind::kDate;
    case TValueKind::Time:
      return Kind::kTime;
    default:
      return Kind::kText;
  }
}

Source SourceFromTable(const std::string& path, Format f, const Charset& cs) {
  const std::unique_ptr<LoadedTable> loaded = LoadTable(path, f, cs);
  const Table& t = loaded->table;
  Source src;
  src.name = loaded->db.DatabaseName();
  src.creator = loaded->db.CreatorID();
  src.type = loaded->db.DatabaseType();
  src.created = loaded->db.CreationDate();
  for (const Column& c : t.columns) {
    src.names.push_back(c.name);
    src.kinds.push_back(c.kind);
  }
  for (const Table::Row& row : t.rows) {
    std::vector<Cell> cells;
    for (std::size_t i = 0; i < t.columns.size(); ++i) {
      const TableValue v = ValueOf(t.format, t.columns[i], row.values[i].value_or(std::string()));
      Cell c;
      if (const auto* text = std::get_if<std::string>(&v)) {
        c.shown = *text;
      } else {
        c.shown = Shown(v, cs);  // ASCII
        c.typed = !std::holds_alternative<std::monostate>(v);
      }
      cells.push_back(std::move(c));
    }
    src.rows.push_back(std::move(cells));
    src.record_index.push_back(row.rec->index);
  }
  return src;
}

Source SourceFromEngine(const ParsedArgs& args, const std::string& path, TextEncoding enc,
                        const Charset& cs) {
  std::unique_ptr<TAnyEngine> engine = EngineFromArgs(args);
  DefineReadFields(*engine, args, enc);
  engine->OpenReadFile(path);
  engine->CheckFieldsAgainstFile();
  Source src;
  const TPDBBaseMgr& m = engine->Manager();
  src.name = m.DatabaseName();
  src.creator = m.CreatorID();
  src.type = m.DatabaseType();
  src.created = m.CreationDate();
  const int n = engine->FieldCount();
  for (int i = 0; i < n; ++i) {
    src.names.push_back(engine->Field(i).Name);
    src.kinds.push_back(KindOfValue(engine->FieldType(i).Kind));
    src.engine_types.push_back(engine->FieldType(i).Name);
  }
  for (;;) {
    try {
      if (!engine->NextRecord()) break;
    } catch (const EPDBException& e) {
      throw EPDBException(e.ErrorCode(),
                          "record " + std::to_string(engine->RecordIndex()) + ": " + e.what());
    }
    std::vector<Cell> cells;
    for (int i = 0; i < n; ++i) {
      const TAnyFieldType& type = engine->FieldType(i);
      Cell c;
      const std::string shown = CsvCell(engine->Value(i), type, enc);
      c.typed = type.Kind != TValueKind::Text;
      c.shown = c.typed ? shown : cs.FromUtf8(shown);
      cells.push_back(std::move(c));
    }
    src.rows.push_back(std::move(cells));
    src.record_index.push_back(engine->RecordIndex());
  }
  engine->Close();
  return src;
}

// The kinds --to-field gives, by field name (UTF-8).
std::map<std::string, std::string> ToFields(const ParsedArgs& args) {
  std::map<std::string, std::string> out;
  for (const std::string& v : args.Values("--to-field")) {
    const std::size_t colon = v.rfind(':');
    if (colon == std::string::npos || colon == 0)
      throw UsageError("--to-field takes NAME:TYPE, not '" + v + "'");
    out[v.substr(0, colon)] = v.substr(colon + 1);
  }
  return out;
}

std::string Where(const Source& src, std::size_t row, std::size_t field, const Charset& cs) {
  return "record " + std::to_string(src.record_index[row]) + ", field '" +
         cs.ToUtf8(src.names[field]) + "'";
}

// The type an engine gives a field of this kind when --to-field does not say.
std::optional<std::string> EngineTypeFor(std::string_view engine, Kind k) {
  static const std::map<std::string_view, std::array<const char*, 6>> kTypes = {
      // text, boolean, date, time, integer, float
      {"appforge", {"AFString", "AFBoolean", "AFDate", "AFDate", "AFLong", "AFDouble"}},
      {"pocketstudio", {"PSString", "PSBoolean", "PSDate", "PSTime", "PSInt32", "PSDouble"}},
      {"nsbasic", {"NSBString", "NSBByte", "NSBDate", "NSBTime", "NSBInteger", "NSBDouble"}},
      {"java", {"JString", "JBoolean", "JDate", "JDate", "JInt", nullptr}},
      {"sqldriver", {"PDChar", "PDShort", nullptr, nullptr, "PDInt", "PDDouble"}},
      {"generic",
       {"pdtString", "pdtPSBoolean", "pdtPSDate", "pdtPSTime", "pdtPSInt32", "pdtPSDouble"}},
  };
  const auto it = kTypes.find(engine);
  if (it == kTypes.end()) return std::nullopt;
  const char* t = it->second[static_cast<std::size_t>(k)];
  if (t == nullptr) return std::nullopt;
  return std::string(t);
}

void ConvertToEngine(const ParsedArgs& args, const Source& src, TextEncoding enc, const Charset& cs,
                     const std::string& out_path) {
  std::unique_ptr<TAnyEngine> target = TAnyEngine::Create(args.Value("--to", ""));
  if (!target) throw UsageError("unknown engine '" + args.Value("--to", "") + "' for --to");
  std::map<std::string, std::string> given = ToFields(args);
  std::vector<FieldSpec> given_fields;
  for (std::size_t i = 0; i < src.names.size(); ++i) {
    const std::string shown = cs.ToUtf8(src.names[i]);
    FieldSpec f{shown, "", std::nullopt};
    if (auto it = given.find(shown); it != given.end()) {
      f.type = it->second;
      given.erase(it);
    } else {
      const std::optional<std::string> t = EngineTypeFor(target->Name(), src.kinds[i]);
      if (!t) {
        throw UsageError("field '" + shown + "' (" + std::string(KindName(src.kinds[i])) +
                         ") has no type of its kind in the " + std::string(target->Name()) +
                         " engine: give --to-field " + shown + ":TYPE");
      }
      f.type = *t;
    }
    if (f.type == "PDChar") {
      std::size_t longest = 2;
      for (const auto& row : src.rows) longest = std::max(longest, row[i].shown.size());
      f.size = static_cast<std::int32_t>(std::min<std::size_t>(
          longest + longest % 2, static_cast<std::size_t>(kSQLDriverMaxSlots)));
    }
    given_fields.push_back(std::move(f));
  }
  if (!given.empty())
    throw UsageError("--to-field: IN.pdb has no field '" + given.begin()->first + "'");
  DefineFields(*target, given_fields, enc, true);
  const int first = target->ImplicitField().empty() ? 0 : 1;

  std::string out_dir, out_file;
  SplitPdbPath(out_path, out_dir, out_file);
  // Written and read back in memory; only bytes that passed go to disk.
  TPDBBaseMgr& m = target->Manager();
  m.SetDBName(args.Has("--name") ? cs.FromUtf8(args.Value("--name", "")) : src.name);
  if (auto* appforge = dynamic_cast<TPDBAppForge*>(&m); appforge && args.Has("--name")) {
    appforge->SetNameFromFile(false);
  }
  m.SetCreatorID(args.Has("--creator") ? cs.FromUtf8(args.Value("--creator", "")) : src.creator);
  m.SetDatabaseType(args.Has("--type") ? cs.FromUtf8(args.Value("--type", "")) : src.type);
  target->CreateInMemory(out_file);
  std::vector<std::vector<Variant>> wanted;
  try {
    m.SetCreationDate(src.created);
    for (std::size_t r = 0; r < src.rows.size(); ++r) {
      std::vector<Variant> values(static_cast<std::size_t>(target->FieldCount()));
      for (std::size_t i = 0; i < src.names.size(); ++i) {
        const int at = static_cast<int>(i) + first;
        try {
          values[static_cast<std::size_t>(at)] =
              ValueFromCsv(cs.ToUtf8(src.rows[r][i].shown), target->FieldType(at), enc);
        } catch (const std::exception& e) {
          Bad(Where(src, r, i, cs) + ": " + e.what());
        }
      }
      try {
        target->AppendRecord(values);
      } catch (const std::exception& e) {
        Bad("record " + std::to_string(src.record_index[r]) + ", " + e.what());
      }
      wanted.push_back(std::move(values));
    }
    target->Close();
  } catch (...) {
    target->Abort();
    throw;
  }
  const Bytes image = m.TakeWrittenImage();
  // Read back: every value must be there as it was read.
  std::unique_ptr<TAnyEngine> check = TAnyEngine::Create(target->Name());
  DefineFields(*check, given_fields, enc, true);
  check->OpenReadImage(image, out_path);
  for (std::size_t r = 0; r < src.rows.size(); ++r) {
    if (!check->NextRecord()) Bad("OUT.pdb reads back fewer records than were written");
    for (std::size_t i = 0; i < src.names.size(); ++i) {
      const int at = static_cast<int>(i) + first;
      const TAnyFieldType& type = check->FieldType(at);
      const std::string got = CsvCell(check->Value(at), type, enc);
      const std::string want = CsvCell(wanted[r][static_cast<std::size_t>(at)], type, enc);
      const bool same =
          got == want && (src.rows[r][i].typed || type.Kind == TValueKind::Text ||
                          src.rows[r][i].shown.empty() || got == cs.ToUtf8(src.rows[r][i].shown));
      if (!same) {
        Bad(Where(src, r, i, cs) + ": " + cs.ToUtf8(src.rows[r][i].shown) +
            " does not survive as " + std::string(type.Name) + " (it reads back as " + got + ")");
      }
    }
  }
  check->Close();
  TCorvane().WriteImageFile(out_path, image);
}

void ConvertToTable(const ParsedArgs& args, const Source& src, Format to, const Charset& cs,
                    const std::string& out_path) {
  std::map<std::string, std::string> given = ToFields(args);
  std::vector<Column> columns;
  for (std::size_t i = 0; i < src.names.size(); ++i) {
    Column c;
    c.name = src.names[i];
    c.kind = src.kinds[i];
    if (auto it = given.find(cs.ToUtf8(c.name)); it != given.end()) {
      const std::optional<Kind> k = KindByName(it->second);
      if (!k) {
        throw UsageError("--to-field " + it->first + ": unknown type '" + it->second +
                         "' (text, boolean, date, time, integer or float)");
      }
      c.kind = *k;
      given.erase(it);
    }
    c.code = JFileCode(c.kind);
    c.number = static_cast<std::uint8_t>(i);
    if (to == Format::kMobileDB) {
      c.mcode = MobileDBCode(c.kind);
      c.width = "80";
    }
    columns.push_back(std::move(c));
  }
  if (!given.empty())
    throw UsageError("--to-field: IN.pdb has no field '" + given.begin()->first + "'");
  if (to == Format::kMobileDB && columns.size() > 255)
    Bad("a MobileDB table holds at most 255 fields");

  // Each value as the target stores it, and read back as the target reads it.
  std::vector<std::vector<std::string>> stored(src.rows.size());
  for (std::size_t r = 0; r < src.rows.size(); ++r) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
      const Cell& cell = src.rows[r][i];
      std::string text;
      try {
        text = StoredText(to, FromShown(columns[i].kind, cell.shown));
      } catch (const EPDBException& e) {
        Bad(Where(src, r, i, cs) + ": " + cell.shown + " does not survive as " +
            std::string(KindName(columns[i].kind)));
      }
      const TableValue back = ValueOf(to, columns[i], text);
      const auto* back_text = std::get_if<std::string>(&back);
      const std::string shown_back = back_text ? *back_text : Shown(back, cs);
      const bool lost_type = cell.typed && back_text != nullptr && columns[i].kind != Kind::kText &&
                             !(to == Format::kMobileDB && (columns[i].kind == Kind::kInteger ||
                                                           columns[i].kind == Kind::kFloat));
      if (shown_back != cell.shown || lost_type) {
        Bad(Where(src, r, i, cs) + ": " + cs.ToUtf8(cell.shown) + " does not survive as " +
            std::string(KindName(columns[i].kind)) + " (it reads back as " + cs.ToUtf8(shown_back) +
            ")");
      }
      stored[r].push_back(std::move(text));
    }
  }

  Header h;
  h.name = args.Has("--name") ? cs.FromUtf8(args.Value("--name", "")) : src.name;
  if (args.Has("--type")) h.type = cs.FromUtf8(args.Value("--type", ""));
  if (args.Has("--creator")) h.creator = cs.FromUtf8(args.Value("--creator", ""));
  h.created = src.created;
  Bytes app_info;
  std::vector<NewRecord> records;
  if (to == Format::kJFile) {
    apps::JFileVersion version = apps::JFileVersion::k5;
    for (apps::JFileVersion v : {apps::JFileVersion::k3, apps::JFileVersion::k4})
      if (h.type && apps::JFileLayoutOf(v).type == *h.type) version = v;
    const apps::JFileLayout& layout = apps::JFileLayoutOf(version);
    apps::JFileTable t = apps::JFileTable::New(version);
    for (const Column& c : columns) {
      apps::JFileField f;
      f.name = c.name;
      f.type = c.code;
      t.fields.push_back(std::move(f));
    }
    if (t.fields.size() > layout.slots) {
      Bad("the JFile table holds at most " + std::to_string(layout.slots) + " fields, not " +
          std::to_string(t.fields.size()));
    }
    app_info = apps::EncodeJFileTable(t);
    for (std::size_t r = 0; r < stored.size(); ++r) {
      apps::JFileRow row;
      row.values = stored[r];
      NewRecord nr;
      nr.data = apps::EncodeJFileRow(t, row);
      records.push_back(std::move(nr));
    }
    if (!h.type) h.type = std::string(layout.type);
    if (!h.creator) h.creator = std::string(layout.creator);
    if (version == apps::JFileVersion::k3) h.version = 1;
  } else {
    app_info = apps::EncodeMobileDBAppInfo(apps::MobileDBAppInfo::Standard());
    apps::MobileDBRecord prefs;
    for (const Column& c : columns) prefs.fields.push_back({c.number, ""});
    for (const auto& [category, record] :
         {std::pair{apps::kMobileDBLabels, DefinitionRecord(apps::kMobileDBLabels, columns)},
          std::pair{apps::kMobileDBPreferences, prefs},
          std::pair{apps::kMobileDBTypes, DefinitionRecord(apps::kMobileDBTypes, columns)},
          std::pair{apps::kMobileDBWidths, DefinitionRecord(apps::kMobileDBWidths, columns)}}) {
      NewRecord nr;
      nr.category = category;
      nr.data = apps::EncodeMobileDBRecord(record);
      records.push_back(std::move(nr));
    }
    for (const auto& row : stored) {
      apps::MobileDBRecord m;
      for (std::size_t i = 0; i < columns.size(); ++i)
        m.fields.push_back({columns[i].number, row[i]});
      NewRecord nr;
      nr.category = apps::kMobileDBData;
      nr.data = apps::EncodeMobileDBRecord(m);
      records.push_back(std::move(nr));
    }
    if (!h.type) h.type = "Mdb1";
    if (!h.creator) h.creator = "Mdb1";
  }
  std::string out_dir, out_file;
  SplitPdbPath(out_path, out_dir, out_file);
  WriteDatabase(out_dir, out_file, h, std::move(app_info), records);
}

}  // namespace

bool IsTableConvert(const ParsedArgs& args) {
  return args.Has("--app") || args.Has("--to-app");
}

int RunTableConvert(const ParsedArgs& args, Output& /*out*/) {
  const std::string in_path = SingleFileArgument(args);
  if (!args.Has("-o") && !args.Has("--output")) throw UsageError("missing -o OUT.pdb");
  const std::string out_path = args.Has("-o") ? args.Value("-o", "") : args.Value("--output", "");
  const TextEncoding enc = EncodingFromArgs(args);
  const Charset cs(args.Value("--encoding", "cp1252"));
  std::optional<Format> from, to;
  if (args.Has("--app")) {
    from = FormatByName(args.Value("--app", ""));
    if (!from) throw UsageError("convert --app takes jfile or mobiledb");
    if (args.Has("--engine") || args.Has("--field"))
      throw UsageError("--app and --engine exclude each other: a table names its own fields");
  }
  if (args.Has("--to-app")) {
    to = FormatByName(args.Value("--to-app", ""));
    if (!to) throw UsageError("--to-app takes jfile or mobiledb");
    if (args.Has("--to")) throw UsageError("--to and --to-app exclude each other");
  } else if (!args.Has("--to")) {
    throw UsageError("missing --to ENGINE or --to-app jfile|mobiledb");
  }
  const Source src =
      from ? SourceFromTable(in_path, *from, cs) : SourceFromEngine(args, in_path, enc, cs);
  if (to) {
    ConvertToTable(args, src, *to, cs, out_path);
  } else {
    ConvertToEngine(args, src, enc, cs, out_path);
  }
  return kExitOk;
}

}  // namespace corvane::cli
