// corvane import: a new database written through an engine from JSON (the
// export's shape) or CSV.
#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <span>
#include <sstream>

#include "corvane/engines/any_engine.h"
#include "corvane/engines/appforge.h"
#include "corvane/foundation/exception.h"
#include "corvane/host/exceptions.h"
#include "corvane/host/text.h"
#include "corvane/interchange/csv.h"
#include "corvane/interchange/json_reader.h"
#include "corvane/interchange/values.h"
#include "corvane/pdb/file_format.h"
#include "tools/apps_commands.h"
#include "tools/commands.h"
#include "tools/engine_options.h"
#include "tools/picture_commands.h"
#include "tools/tables.h"

namespace corvane::cli {
namespace {

constexpr std::array<OptionSpec, 20> kOptions = {{
    {"--engine", "ENGINE"},
    {"--app", "APP"},
    {"--field", "NAME:TYPE[:SIZE]"},
    {"--name", "NAME"},
    {"--creator", "CRID"},
    {"--type", "TYPE"},
    {"--input", "FILE"},
    {"--format", "json|csv"},
    {"-o", "OUT.pdb"},
    {"--output", "OUT.pdb"},
    {"--encoding", "cp1252|latin1|utf8"},
    {"--attributes", "N"},
    {"--version", "N"},
    {"--created", "DATE"},
    {"--modified", "DATE"},
    {"--backed-up", "DATE"},
    {"--modification-number", "N"},
    {"--unique-id-seed", "N"},
    {"--lenient", ""},
    {"--resources", "resources.json"},
}};

constexpr std::string_view kHelp =
    "Usage: corvane import --engine ENGINE [--field NAME:TYPE[:SIZE]]... [--name NAME]\n"
    "                      [--creator CRID] [--type TYPE] [--input FILE|-]\n"
    "                      [--format json|csv] [--encoding cp1252|latin1|utf8]\n"
    "                      [HEADER OPTIONS] -o OUT.pdb\n"
    "\n"
    "Writes a new database OUT.pdb through an engine, one record per input record.\n"
    "The input is JSON in the shape export writes, or CSV.\n"
    "\n"
    "  --engine E      appforge, pocketstudio, nsbasic, java, sqldriver or generic\n"
    "  --field F       the fields, as for export; from JSON, its \"fields\" serve when\n"
    "                  no --field is given (CSV needs --field). The SQL Driver\n"
    "                  numbers RowID itself; RowID values in the input are ignored\n"
    "  --name N        the database name; --creator and --type its four-character\n"
    "                  creator ID and type. From JSON, the \"database\" object gives\n"
    "                  these and its dates, attributes, version, modification\n"
    "                  number, unique ID seed and categories (names and IDs), and\n"
    "                  \"sortInfo\" the sort-info block; options win. \"appInfo\"\n"
    "                  gives the application-info block, the categories written\n"
    "                  over its table (AppForge and Java build their own block)\n"
    "  --input FILE    read FILE; without it, or with -, standard input\n"
    "  --format F      json or csv; by default csv when FILE ends in .csv, else json\n"
    "  -o, --output F  the database to write (.pdb)\n"
    "  --encoding E    character set for the texts in the file (default cp1252)\n"
    "  --help          this text\n"
    "\n"
    "Header options, for CSV (which carries no header) or over the JSON's values:\n"
    "  --created D, --modified D, --backed-up D   YYYY-MM-DDTHH:MM:SS, or null;\n"
    "                  1970-01-02 to 2040-02-06, what the header can hold\n"
    "  --attributes N, --version N, --modification-number N, --unique-id-seed N\n"
    "                  (no resource bit 0x0001, nor the undefined 0x1000-0x4000)\n"
    "These options serve with --app as well.\n"
    "CSV carries no categories and no sort-info block.\n"
    "\n"
    "Each record's \"category\", \"flags\" and \"uniqueID\" (JSON keys, or CSV columns\n"
    "of those names, as export writes them) are kept; without them a record has\n"
    "category 0, no flags and unique ID 0. A field of one of those names is the\n"
    "field.\n"
    "\n"
    "Values take the forms export writes. A value that does not convert stops the\n"
    "import naming the record and field; OUT.pdb is then not created, and an\n"
    "existing one is left as it was.\n"
    "\n"
    "Usage: corvane import [--app APP] [--encoding E] --input FILE -o OUT.pdb\n"
    "\n"
    "Without --engine, builds a database of the handheld's own applications from\n"
    "the JSON (or CSV, with --app) export --app prints: memo, todo, address,\n"
    "datebook, mail, doc, contacts, calendar, tasks, memos or raw (--app defaults\n"
    "to the JSON's \"app\"). The name,\n"
    "creator and type are the application's own (MemoDB memo/DATA, ...) unless the\n"
    "JSON's \"database\" or --name/--creator/--type say otherwise; the categories\n"
    "come from \"appInfo\", and a category a record names that the table lacks\n"
    "takes a free slot. --app doc --input book.txt makes a compressed e-book of a\n"
    "text file. --encoding: cp1252 (default), latin1, utf8 or any name iconv knows\n"
    "(SHIFT_JIS and SJIS mean CP932). Keys and CSV columns it does not know, an\n"
    "event without a date, with a time past 23:59, with a start but no end or a\n"
    "repeat frequency of 0, and two records with one uniqueID are refused; with\n"
    "--lenient each is a warning instead. Records without a uniqueID get fresh\n"
    "ones from the header's seed up. \"deleted\" and \"archived\" records are\n"
    "written back as such.\n"
    "\n"
    "Usage: corvane import --app jfile|mobiledb [--field NAME:TYPE]... --input FILE\n"
    "                      [--name NAME] [--type TYPE --creator CRID] -o OUT.pdb\n"
    "\n"
    "A flat-file table from the JSON export prints (--app may then be left out), or\n"
    "from a CSV file whose header row names the fields. A CSV column's type is the\n"
    "one --field gives (text, boolean, date, time, integer, float), else the one\n"
    "its cells show: all integers, all numbers, all YYYY-MM-DD dates, all\n"
    "true/false, else text. Columns named category, flags and uniqueID are the\n"
    "records' attributes. A row with another number of cells than the header is\n"
    "an error. JFile tables are written as JFile 5 unless --type says JbDb (3) or\n"
    "JfDb (4) or the JSON names its version.\n"
    "\n"
    "Usage: corvane import --resources DIR/resources.json -o OUT.prc\n"
    "\n"
    "Builds a resource database from what export --resources wrote: the header\n"
    "values, blocks and resources (in the order listed, each from its file beside\n"
    "the JSON). Export then import gives the same file byte for byte.\n";

struct Category {
  std::string name;                // in the file's encoding
  std::optional<std::uint8_t> id;  // the index when not given
};

struct HeaderValues {
  std::optional<std::string> name, type, creator;  // in the file's encoding
  std::optional<std::uint16_t> attributes, version;
  std::optional<TDateTime> created, modified, backed_up;
  std::optional<std::uint32_t> modification_number, unique_id_seed;
  std::optional<std::array<Category, 16>> categories;
  std::optional<std::string> sort_info;
  std::optional<std::string> app_info;  // the whole application-info block
};

// Column codes of a CSV header beside the field indexes.
constexpr int kIgnored = -1;
constexpr int kAttribute = -2;

// A CSV input checked as a whole (its syntax, its header against the fields)
// and converted a row at a time, as the records are written: no record's
// values outlive it.
struct CsvRows {
  CsvTable table;  // row 0 is the header
  std::vector<std::string> header;
  std::vector<int> column_field;                  // a field, kIgnored or kAttribute
  std::vector<const TAnyFieldType*> column_type;  // of the column's field
  std::vector<std::string> names;                 // the fields', for messages
};

struct Input {
  HeaderValues header;
  // JSON: the records' values one after another, `width` (the field count)
  // each, in one block.
  std::vector<Variant> values;
  std::size_t width = 0;
  std::vector<RecordAttributes> attributes;  // one per record
  std::vector<std::size_t> lines;            // where each record starts, for messages
  bool csv = false;
  std::optional<JsonValue> database;  // JSON: its "database" object
  CsvRows rows;  // CSV: the rows still to convert

  std::size_t Records() const noexcept { return csv ? rows.table.Rows() - 1 : attributes.size(); }
  std::span<const Variant> Record(std::size_t r) const {
    return std::span<const Variant>(values).subspan(r * width, width);
  }
  // "record N (line L)" or "record N (CSV line L)"; made only for a message.
  std::string Where(std::size_t r) const {
    return RecordWhere(r, csv ? rows.table.Line(r + 1) : lines[r], csv);
  }
  static std::string RecordWhere(std::size_t r, std::size_t line, bool csv) {
    return "record " + std::to_string(r) + (csv ? " (CSV line " : " (line ") +
           std::to_string(line) + ")";
  }
};

bool IsAttributeKey(std::string_view key) {
  return key == kCategoryKey || key == kFlagsKey || key == kUniqueIDKey;
}

[[noreturn]] void Bad(const std::string& what) {
  throw Exception(what);
}

const JsonValue& Need(const JsonValue& v, JsonValue::Kind kind, const std::string& what) {
  if (v.kind != kind) {
    Bad(what + " must be " + std::string(JsonKindName(kind)) + ", not " +
        std::string(JsonKindName(v.kind)));
  }
  return v;
}

std::uint64_t WholeNumber(const JsonValue& v, std::uint64_t max, const std::string& what) {
  Need(v, JsonValue::Kind::kNumber, what);
  std::uint64_t n = 0;
  const auto r = std::from_chars(v.text.data(), v.text.data() + v.text.size(), n);
  if (r.ec != std::errc() || r.ptr != v.text.data() + v.text.size() || n > max) {
    Bad(what + " must be a whole number from 0 to " + std::to_string(max) + ", not " + v.text);
  }
  return n;
}

std::string Text(const JsonValue& v, TextEncoding enc, const std::string& what) {
  Need(v, JsonValue::Kind::kString, what);
  try {
    return FromUtf8(v.text, enc);
  } catch (const EConvertError& e) {
    Bad(what + ": " + e.what());
  }
}

std::optional<TDateTime> Date(const JsonValue& v, const std::string& what) {
  if (v.IsNull()) return TDateTime{0};
  Need(v, JsonValue::Kind::kString, what);
  TDateTime d = 0;
  if (!ParseWhen(v.text, TValueKind::DateTime, d))
    Bad(what + " must be YYYY-MM-DDTHH:MM:SS or null, not \"" + v.text + "\"");
  return d;
}

HeaderValues HeaderFromJson(const JsonValue& db, TextEncoding enc) {
  Need(db, JsonValue::Kind::kObject, "\"database\"");
  HeaderValues h;
  const auto at = [&](const char* key) { return db.Find(key); };
  const auto key = [](const char* k) { return std::string("\"database\".\"") + k + "\""; };
  if (const JsonValue* v = at("name")) h.name = Text(*v, enc, key("name"));
  if (const JsonValue* v = at("type")) h.type = Text(*v, enc, key("type"));
  if (const JsonValue* v = at("creator")) h.creator = Text(*v, enc, key("creator"));
  if (const JsonValue* v = at("attributes"))
    h.attributes = static_cast<std::uint16_t>(WholeNumber(*v, 0xFFFF, key("attributes")));
  if (const JsonValue* v = at("version"))
    h.version = static_cast<std::uint16_t>(WholeNumber(*v, 0xFFFF, key("version")));
  if (const JsonValue* v = at("created")) h.created = Date(*v, key("created"));
  if (const JsonValue* v = at("modified")) h.modified = Date(*v, key("modified"));
  if (const JsonValue* v = at("backedUp")) h.backed_up = Date(*v, key("backedUp"));
  if (const JsonValue* v = at("modificationNumber")) {
    h.modification_number =
        static_cast<std::uint32_t>(WholeNumber(*v, 0xFFFFFFFF, key("modificationNumber")));
  }
  if (const JsonValue* v = at("uniqueIDSeed")) {
    h.unique_id_seed = static_cast<std::uint32_t>(WholeNumber(*v, 0xFFFFFFFF, key("uniqueIDSeed")));
  }
  if (const JsonValue* v = at("categories"); v && !v->IsNull()) {
    Need(*v, JsonValue::Kind::kArray, key("categories"));
    if (v->items.size() != 16) Bad(key("categories") + " must list 16 categories");
    std::array<Category, 16> table;
    for (std::size_t i = 0; i < 16; ++i) {
      const JsonValue& c = v->items[i];
      const std::string what = key("categories") + "[" + std::to_string(i) + "]";
      Need(c, JsonValue::Kind::kObject, what);
      const JsonValue* name = c.Find("name");
      if (!name) Bad(what + " has no \"name\"");
      table[i].name = Text(*name, enc, what + ".\"name\"");
      // A table entry holds 15 bytes and the zero that ends them.
      if (table[i].name.size() > 15) Bad(what + ".\"name\" is longer than 15 bytes");
      if (const JsonValue* id = c.Find("id"); id && !id->IsNull())
        table[i].id = static_cast<std::uint8_t>(WholeNumber(*id, 0xFF, what + ".\"id\""));
    }
    h.categories = table;
  }
  return h;
}

std::vector<FieldSpec> FieldsFromJson(const JsonValue& fields) {
  Need(fields, JsonValue::Kind::kArray, "\"fields\"");
  std::vector<FieldSpec> defs;
  for (std::size_t i = 0; i < fields.items.size(); ++i) {
    const JsonValue& f = fields.items[i];
    const std::string what = "\"fields\"[" + std::to_string(i) + "]";
    Need(f, JsonValue::Kind::kObject, what);
    FieldSpec s;
    const JsonValue* name = f.Find("name");
    const JsonValue* type = f.Find("type");
    if (!name || !type) Bad(what + " needs a \"name\" and a \"type\"");
    s.name = Need(*name, JsonValue::Kind::kString, what + ".\"name\"").text;
    s.type = Need(*type, JsonValue::Kind::kString, what + ".\"type\"").text;
    if (const JsonValue* size = f.Find("size"); size && !size->IsNull()) {
      s.size = static_cast<std::int32_t>(WholeNumber(*size, 0x7FFFFFFF, what + ".\"size\""));
    }
    defs.push_back(std::move(s));
  }
  return defs;
}

bool IsImplicit(const TAnyEngine& engine, int i) {
  return !engine.ImplicitField().empty() && engine.Field(i).Name == engine.ImplicitField();
}

// Converts one value, naming the record and field when it does not convert.
template <class Convert>
Variant Converted(const std::string& where, const std::string& field, Convert&& convert) {
  try {
    return convert();
  } catch (const EConvertError& e) {
    Bad(where + ", field '" + field + "': " + e.what());
  }
}

Input FromJson(const std::string& text, TAnyEngine& engine, bool fields_given, TextEncoding enc) {
  const JsonValue root = ParseJson(text);
  Need(root, JsonValue::Kind::kObject, "the JSON document");
  Input in;
  if (const JsonValue* db = root.Find("database")) {
    in.header = HeaderFromJson(*db, enc);
    in.database = *db;
  }
  // A block in hexadecimal, or null for none.
  const auto block = [&](const char* key, std::optional<std::string>& into) {
    const JsonValue* v = root.Find(key);
    if (!v || v->IsNull()) return;
    const std::string what = std::string("\"") + key + "\"";
    Need(*v, JsonValue::Kind::kString, what);
    try {
      into = BytesFromHex(v->text);
    } catch (const EConvertError& e) {
      Bad(what + ": " + e.what());
    }
  };
  block("sortInfo", in.header.sort_info);
  block("appInfo", in.header.app_info);
  if (!fields_given) {
    const JsonValue* fields = root.Find("fields");
    if (!fields) throw UsageError("missing --field: the input has no \"fields\"");
    DefineFields(engine, FieldsFromJson(*fields), enc, false);
  }
  const JsonValue* records = root.Find("records");
  if (!records) Bad("the JSON document has no \"records\"");
  Need(*records, JsonValue::Kind::kArray, "\"records\"");
  const int n = engine.FieldCount();
  std::vector<std::string> names;
  for (int i = 0; i < n; ++i) names.push_back(FieldDisplayName(engine, i, enc));
  in.width = static_cast<std::size_t>(n);
  in.values.resize(records->items.size() * in.width);
  for (std::size_t r = 0; r < records->items.size(); ++r) {
    const JsonValue& rec = records->items[r];
    const std::string where = Input::RecordWhere(r, rec.line, false);
    Need(rec, JsonValue::Kind::kObject, where);
    const std::span<Variant> values = std::span<Variant>(in.values).subspan(r * in.width, in.width);
    RecordAttributes attributes;
    for (const auto& [key, value] : rec.members) {
      int i = 0;
      while (i < n && names[static_cast<std::size_t>(i)] != key) ++i;
      if (i == n && IsAttributeKey(key)) {
        try {
          AttributeFromJson(key, value, attributes);
        } catch (const EConvertError& e) {
          Bad(where + ": " + e.what());
        }
        continue;
      }
      if (i == n) Bad(where + ": \"" + key + "\" is no field");
      if (IsImplicit(engine, i)) continue;
      const JsonValue& json = value;  // a lambda may not capture a structured binding (C++17)
      values[static_cast<std::size_t>(i)] =
          Converted(where, key, [&] { return ValueFromJson(json, engine.FieldType(i), enc); });
    }
    for (int i = 0; i < n; ++i) {
      if (!IsImplicit(engine, i) && !rec.Find(names[static_cast<std::size_t>(i)])) {
        Bad(where + ": no value for field '" + names[static_cast<std::size_t>(i)] + "'");
      }
    }
    in.attributes.push_back(attributes);
    in.lines.push_back(rec.line);
  }
  return in;
}

Input FromCsv(const std::string& text, TAnyEngine& engine, TextEncoding enc) {
  Input in;
  in.csv = true;
  CsvRows& rows = in.rows;
  rows.table = ParseCsvTable(text);
  if (rows.table.Rows() == 0) Bad("the CSV file has no header row");
  const int n = engine.FieldCount();
  std::vector<std::string>& names = rows.names;
  for (int i = 0; i < n; ++i) names.push_back(FieldDisplayName(engine, i, enc));
  std::vector<int>& column_field = rows.column_field;
  std::vector<bool> seen(static_cast<std::size_t>(n), false);
  std::vector<std::string_view> attributes_seen;
  for (std::size_t c = 0; c < rows.table.Width(); ++c)
    rows.header.emplace_back(rows.table.Field(0, c));
  for (const std::string& column : rows.header) {
    int i = 0;
    while (i < n && names[static_cast<std::size_t>(i)] != column) ++i;
    if (i == n && IsAttributeKey(column)) {
      if (std::find(attributes_seen.begin(), attributes_seen.end(), column) !=
          attributes_seen.end()) {
        Bad("CSV line 1: the column '" + column + "' appears twice");
      }
      attributes_seen.push_back(column);
      column_field.push_back(kAttribute);
      continue;
    }
    if (i == n) Bad("CSV line 1: the column '" + column + "' is no field");
    if (seen[static_cast<std::size_t>(i)])
      Bad("CSV line 1: the column '" + column + "' appears twice");
    seen[static_cast<std::size_t>(i)] = true;
    column_field.push_back(IsImplicit(engine, i) ? kIgnored : i);
  }
  for (int i = 0; i < n; ++i) {
    if (!seen[static_cast<std::size_t>(i)] && !IsImplicit(engine, i)) {
      Bad("CSV line 1: no column for field '" + names[static_cast<std::size_t>(i)] + "'");
    }
  }
  // The column's type, looked up once rather than per cell.
  rows.column_type.assign(column_field.size(), nullptr);
  for (std::size_t c = 0; c < column_field.size(); ++c) {
    if (column_field[c] >= 0) rows.column_type[c] = &engine.FieldType(column_field[c]);
  }
  in.width = static_cast<std::size_t>(n);
  return in;
}

// Converts record r of a CSV input (row r + 1) into `values` (one per field,
// reused from row to row) and `attributes`.
void ConvertCsvRecord(const Input& in, std::size_t r, std::span<Variant> values,
                      RecordAttributes& attributes, TextEncoding enc) {
  const CsvRows& rows = in.rows;
  attributes = RecordAttributes();
  for (std::size_t c = 0; c < rows.column_field.size(); ++c) {
    const int i = rows.column_field[c];
    if (i == kAttribute) {
      try {
        AttributeFromCsv(rows.header[c], rows.table.Field(r + 1, c), attributes);
      } catch (const EConvertError& e) {
        Bad(in.Where(r) + ": " + e.what());
      }
      continue;
    }
    if (i < 0) continue;
    try {
      ValueFromCsvInto(values[static_cast<std::size_t>(i)], rows.table.Field(r + 1, c),
                       *rows.column_type[c], enc);
    } catch (const EConvertError& e) {
      Bad(in.Where(r) + ", field '" + rows.names[static_cast<std::size_t>(i)] + "': " + e.what());
    }
  }
}

// The option's value in the file's encoding, else the input's.
std::optional<std::string> Choose(const ParsedArgs& args, const char* option,
                                  const std::optional<std::string>& given, TextEncoding enc) {
  if (!args.Has(option)) return given;
  try {
    return FromUtf8(args.Value(option, ""), enc);
  } catch (const EConvertError& e) {
    throw UsageError(std::string(option) + ": " + e.what());
  }
}

std::optional<std::uint32_t> NumberOption(const ParsedArgs& args, const char* option,
                                          std::uint32_t max,
                                          const std::optional<std::uint32_t>& given) {
  if (!args.Has(option)) return given;
  const std::string text = args.Value(option, "");
  std::uint32_t n = 0;
  const auto r = std::from_chars(text.data(), text.data() + text.size(), n);
  if (text.empty() || r.ec != std::errc() || r.ptr != text.data() + text.size() || n > max) {
    throw UsageError(std::string(option) + " takes a whole number from 0 to " +
                     std::to_string(max) + ", not '" + text + "'");
  }
  return n;
}

std::optional<TDateTime> DateOption(const ParsedArgs& args, const char* option,
                                    const std::optional<TDateTime>& given) {
  if (!args.Has(option)) return given;
  const std::string text = args.Value(option, "");
  if (text == "null") return TDateTime{0};
  TDateTime d = 0;
  if (!ParseWhen(text, TValueKind::DateTime, d)) {
    throw UsageError(std::string(option) + " takes YYYY-MM-DDTHH:MM:SS or null, not '" + text +
                     "'");
  }
  return d;
}

void HeaderFromOptions(const ParsedArgs& args, HeaderValues& h) {
  const auto narrow = [](const std::optional<std::uint32_t>& v) -> std::optional<std::uint16_t> {
    if (!v) return std::nullopt;
    return static_cast<std::uint16_t>(*v);
  };
  h.attributes = narrow(NumberOption(args, "--attributes", 0xFFFF, h.attributes));
  h.version = narrow(NumberOption(args, "--version", 0xFFFF, h.version));
  h.modification_number =
      NumberOption(args, "--modification-number", 0xFFFFFFFF, h.modification_number);
  h.unique_id_seed = NumberOption(args, "--unique-id-seed", 0xFFFFFFFF, h.unique_id_seed);
  h.created = DateOption(args, "--created", h.created);
  h.modified = DateOption(args, "--modified", h.modified);
  h.backed_up = DateOption(args, "--backed-up", h.backed_up);
}

// The values given, over what the manager holds.
void SetHeaderValues(const HeaderValues& h, TPDBBaseMgr& db) {
  if (h.attributes) db.SetAttributes(*h.attributes);
  if (h.version) db.SetDBVersion(*h.version);
  if (h.created) db.SetCreationDate(*h.created);
  if (h.modified) db.SetModificationDate(*h.modified);
  if (h.backed_up) db.SetLastBackupDate(*h.backed_up);
  if (h.modification_number) db.SetModification(*h.modification_number);
  if (h.unique_id_seed) db.SetUniqueIDSeed(*h.unique_id_seed);
}

}  // namespace

void ApplyHeaderOptions(const ParsedArgs& args, TPDBBaseMgr& db) {
  HeaderValues h;
  HeaderFromOptions(args, h);
  SetHeaderValues(h, db);
}

namespace {

// Drops the new database unless the import went all the way.
class AbortUnlessDone {
 public:
  explicit AbortUnlessDone(TAnyEngine& engine) : engine_(engine) {}
  ~AbortUnlessDone() {
    if (!done_) engine_.Abort();
  }
  void Done() noexcept { done_ = true; }

 private:
  TAnyEngine& engine_;
  bool done_ = false;
};

// The categories written over the table at the start of an input's
// application-info block. A name as it stands in the block keeps its bytes
// (what follows its terminating zero included), so an unchanged table comes
// back byte for byte; the rest of the block is the application's own.
void PutCategories(const std::array<Category, 16>& categories, Bytes& block) {
  if (block.size() < pdb::kCategoryTableMinSize) {
    Bad("\"appInfo\" holds " + std::to_string(block.size()) +
        " bytes, too few for the categories \"database\" gives (" +
        std::to_string(pdb::kCategoryTableMinSize) + " at least)");
  }
  // The table: a word of renamed flags, 16 names, then 16 IDs.
  constexpr std::size_t kNamesAt = 2, kIdsAt = kNamesAt + 16 * pdb::kCategoryNameSize;
  for (std::size_t i = 0; i < 16; ++i) {
    std::uint8_t* slot = block.data() + kNamesAt + pdb::kCategoryNameSize * i;
    const std::string& name = categories[i].name;
    const auto* end = std::find(slot, slot + pdb::kCategoryNameSize, std::uint8_t{0});
    const bool same = static_cast<std::size_t>(end - slot) == name.size() &&
                      std::equal(name.begin(), name.end(), slot);
    if (!same) {
      std::fill(slot, slot + pdb::kCategoryNameSize, std::uint8_t{0});
      std::copy_n(name.begin(), std::min(name.size(), pdb::kCategoryNameSize - 1), slot);
    }
    block[kIdsAt + i] = categories[i].id.value_or(static_cast<std::uint8_t>(i));
  }
}

int RunImport(const ParsedArgs& args, Output& out) {
  if (args.Has("--resources")) return RunResourcesImport(args, out);
  if (IsTableImport(args)) return RunTableImport(args, out);
  if (!args.Has("--engine") || args.Has("--app")) return RunAppsImport(args, out);
  if (args.Has("--lenient")) throw UsageError("--lenient is for --app imports");
  std::unique_ptr<TAnyEngine> engine = EngineFromArgs(args);
  const TextEncoding enc = EncodingFromArgs(args);
  const std::vector<FieldSpec> defs = FieldSpecsFromArgs(args);
  if (!args.positional.empty()) {
    throw UsageError("unexpected argument '" + args.positional.front() +
                     "' (the input is --input FILE)");
  }
  if (!args.Has("-o") && !args.Has("--output")) throw UsageError("missing -o OUT.pdb");
  const std::string out_path = args.Has("-o") ? args.Value("-o", "") : args.Value("--output", "");
  std::string directory, file;
  SplitPdbPath(out_path, directory, file);
  const std::string input_path = args.Value("--input", "");
  const std::string format =
      args.Value("--format", LowerCase(ExtractFileExt(input_path)) == ".csv" ? "csv" : "json");
  if (format != "json" && format != "csv")
    throw UsageError("unknown format '" + format + "' (json or csv)");
  const bool csv = format == "csv";
  if (csv && defs.empty())
    throw UsageError("missing --field: a CSV file does not give the fields' types");
  HeaderValues options;
  HeaderFromOptions(args, options);  // usage errors before reading anything
  if (!defs.empty()) DefineFields(*engine, defs, enc, true);

  const std::string text = ReadInput(input_path);
  const std::string source =
      input_path.empty() || input_path == "-" ? std::string("standard input") : input_path;
  Input in;
  try {
    in = csv ? FromCsv(text, *engine, enc) : FromJson(text, *engine, !defs.empty(), enc);
  } catch (const JsonError& e) {
    Bad(source + ": " + e.what());
  } catch (const CsvError& e) {
    Bad(source + ": " + e.what());
  }
  HeaderValues& h = in.header;
  HeaderFromOptions(args, h);
  h.name = Choose(args, "--name", h.name, enc);
  h.creator = Choose(args, "--creator", h.creator, enc);
  h.type = Choose(args, "--type", h.type, enc);
  if (!h.name) throw UsageError("missing --name (the input gives no database name)");
  if (!h.creator) throw UsageError("missing --creator (the input gives no creator ID)");
  if (!h.type) throw UsageError("missing --type (the input gives no database type)");
  if (engine->FieldCount() == 0) Bad("no fields to write");
  if (h.attributes) CheckRecordAttributes(*h.attributes);

  TPDBBaseMgr& db = engine->Manager();
  db.SetDBName(*h.name);
  // The name asked for is the one the header gets, not the file's.
  if (auto* appforge = dynamic_cast<TPDBAppForge*>(&db); appforge && args.Has("--name")) {
    appforge->SetNameFromFile(false);
  }
  db.SetCreatorID(*h.creator);
  db.SetDatabaseType(*h.type);
  engine->CreateFile(directory, file);
  AbortUnlessDone guard(*engine);
  SetHeaderValues(h, db);
  // What the input says is what is written: a creation date before 1990
  // too, and a date's stored bytes where the input carries them.
  db.SetCreationDateAsGiven(true);
  if (in.database) ApplyStoredDates(*in.database, db);
  // AppForge builds its block from its fields and categories, Java from the
  // database name: an input's block would only be overwritten.
  const bool engine_builds_app_info = engine->FieldsFromFile() || engine->Name() == "java";
  if (h.categories) {
    for (std::uint8_t i = 0; i < 16; ++i) {
      const Category& c = (*h.categories)[i];
      db.SetCategory(i, c.name);
      db.SetCategoryID(i, c.id.value_or(i));
    }
  }
  if (h.app_info && !engine_builds_app_info) {
    Bytes block(h.app_info->begin(), h.app_info->end());
    if (h.categories) PutCategories(*h.categories, block);
    db.SetAppInfoP(std::move(block));
  } else if (h.categories && !engine->FieldsFromFile()) {
    // AppForge writes the table inside its own block.
    db.SetWriteCategory(true);
  }
  if (h.sort_info) {
    if (engine->Name() == "generic") {
      std::fprintf(stderr,
                   "corvane: note: the generic engine writes no sort-info block; the input's "
                   "%zu bytes are left out\n",
                   h.sort_info->size());
    }
    db.SetSortInfoP(Bytes(h.sort_info->begin(), h.sort_info->end()));
  }
  std::vector<Variant> row(in.csv ? in.width : 0);
  RecordAttributes csv_attributes;
  for (std::size_t r = 0; r < in.Records(); ++r) {
    if (in.csv) ConvertCsvRecord(in, r, row, csv_attributes, enc);
    const RecordAttributes& attributes = in.csv ? csv_attributes : in.attributes[r];
    const std::uint16_t posted = db.RecordCount();
    try {
      // The attributes go in with the record: reaching the posted entry to
      // set them afterwards would copy every record out of the manager's store.
      engine->AppendRecord(in.csv ? std::span<const Variant>(row) : in.Record(r),
                           attributes.category, attributes.flags, attributes.unique_id);
    } catch (const EPDBException& e) {
      throw EPDBException(e.ErrorCode(), in.Where(r) + ", " + e.what());
    } catch (const std::exception& e) {
      Bad(in.Where(r) + ", " + e.what());
    }
    if (db.RecordCount() != posted + 1) Bad(in.Where(r) + ": the record was not posted");
  }
  engine->Close();
  guard.Done();
  return kExitOk;
}

}  // namespace

const Command kImportCommand = {"import", "write a new database through an engine from JSON or CSV",
                                kHelp, kOptions, RunImport};

}  // namespace corvane::cli
