// corvane import: a new database written through an engine from JSON (the
// export's shape) or CSV.
#include <array>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "corvane/engines/any_engine.h"
#include "corvane/foundation/exception.h"
#include "corvane/host/exceptions.h"
#include "corvane/host/text.h"
#include "tools/commands.h"
#include "tools/csv.h"
#include "tools/engine_options.h"
#include "tools/json_reader.h"
#include "tools/values.h"

namespace corvane::cli {
namespace {

constexpr std::array<OptionSpec, 9> kOptions = {{
    {"--engine", "ENGINE"},
    {"--field", "NAME:TYPE[:SIZE]"},
    {"--name", "NAME"},
    {"--creator", "CRID"},
    {"--type", "TYPE"},
    {"--input", "FILE"},
    {"-o", "OUT.pdb"},
    {"--output", "OUT.pdb"},
    {"--encoding", "cp1252|latin1|utf8"},
}};

constexpr std::string_view kHelp =
    "Usage: corvane import --engine ENGINE [--field NAME:TYPE[:SIZE]]... [--name NAME]\n"
    "                      [--creator CRID] [--type TYPE] [--input FILE]\n"
    "                      [--encoding cp1252|latin1|utf8] -o OUT.pdb\n"
    "\n"
    "Writes a new database OUT.pdb through an engine, one record per input record.\n"
    "The input is JSON in the shape export writes, or CSV when FILE ends in .csv;\n"
    "without --input, JSON from standard input.\n"
    "\n"
    "  --engine E      appforge, pocketstudio, nsbasic, java, sqldriver or generic\n"
    "  --field F       the fields, as for export; from JSON, its \"fields\" serve when\n"
    "                  no --field is given (CSV needs --field). The SQL Driver\n"
    "                  numbers RowID itself; RowID values in the input are ignored\n"
    "  --name N        the database name; --creator and --type its four-character\n"
    "                  creator ID and type. From JSON, the \"database\" object gives\n"
    "                  these and its dates, attributes, version, modification\n"
    "                  number, unique ID seed and category names; options win\n"
    "  --input FILE    read FILE instead of standard input\n"
    "  -o, --output F  the database to write (.pdb)\n"
    "  --encoding E    character set for the texts in the file (default cp1252)\n"
    "  --help          this text\n"
    "\n"
    "Values take the forms export writes. A value that does not convert stops the\n"
    "import naming the record and field; OUT.pdb is then not created, and an\n"
    "existing one is left as it was.\n";

struct HeaderValues {
  std::optional<std::string> name, type, creator;  // in the file's encoding
  std::optional<std::uint16_t> attributes, version;
  std::optional<TDateTime> created, modified, backed_up;
  std::optional<std::uint32_t> modification_number, unique_id_seed;
  std::optional<std::array<std::string, 16>> categories;
};

struct Input {
  HeaderValues header;
  std::vector<std::vector<Variant>> records;  // one value per field
  std::vector<std::string> where;             // each record, for messages
};

std::string ReadInput(const std::string& path) {
  if (path.empty() || path == "-") {
    std::ostringstream s;
    s << std::cin.rdbuf();
    return s.str();
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) throw EInOutError("cannot read '" + path + "'", errno);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw EInOutError("cannot read '" + path + "'", errno);
  return text;
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
    std::array<std::string, 16> names;
    for (std::size_t i = 0; i < 16; ++i) {
      const JsonValue& c = v->items[i];
      const std::string what = key("categories") + "[" + std::to_string(i) + "]";
      Need(c, JsonValue::Kind::kObject, what);
      const JsonValue* name = c.Find("name");
      if (!name) Bad(what + " has no \"name\"");
      names[i] = Text(*name, enc, what + ".\"name\"");
      // A table entry holds 15 bytes and the zero that ends them.
      if (names[i].size() > 15) Bad(what + ".\"name\" is longer than 15 bytes");
    }
    h.categories = names;
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
  if (const JsonValue* db = root.Find("database")) in.header = HeaderFromJson(*db, enc);
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
  for (std::size_t r = 0; r < records->items.size(); ++r) {
    const JsonValue& rec = records->items[r];
    const std::string where =
        "record " + std::to_string(r) + " (line " + std::to_string(rec.line) + ")";
    Need(rec, JsonValue::Kind::kObject, where);
    std::vector<Variant> values(static_cast<std::size_t>(n));
    for (const auto& member : rec.members) {
      // Plain references: clang 14 cannot capture structured bindings.
      const std::string& key = member.first;
      const JsonValue& value = member.second;
      int i = 0;
      while (i < n && names[static_cast<std::size_t>(i)] != key) ++i;
      if (i == n) Bad(where + ": \"" + key + "\" is no field");
      if (IsImplicit(engine, i)) continue;
      values[static_cast<std::size_t>(i)] =
          Converted(where, key, [&] { return ValueFromJson(value, engine.FieldType(i), enc); });
    }
    for (int i = 0; i < n; ++i) {
      if (!IsImplicit(engine, i) && !rec.Find(names[static_cast<std::size_t>(i)])) {
        Bad(where + ": no value for field '" + names[static_cast<std::size_t>(i)] + "'");
      }
    }
    in.records.push_back(std::move(values));
    in.where.push_back(where);
  }
  return in;
}

Input FromCsv(const std::string& text, TAnyEngine& engine, TextEncoding enc) {
  const std::vector<CsvRow> rows = ParseCsv(text);
  if (rows.empty()) Bad("the CSV file has no header row");
  const int n = engine.FieldCount();
  std::vector<std::string> names;
  for (int i = 0; i < n; ++i) names.push_back(FieldDisplayName(engine, i, enc));
  std::vector<int> column_field;  // -1: ignored
  std::vector<bool> seen(static_cast<std::size_t>(n), false);
  for (const std::string& column : rows.front().fields) {
    int i = 0;
    while (i < n && names[static_cast<std::size_t>(i)] != column) ++i;
    if (i == n) Bad("CSV line 1: the column '" + column + "' is no field");
    if (seen[static_cast<std::size_t>(i)])
      Bad("CSV line 1: the column '" + column + "' appears twice");
    seen[static_cast<std::size_t>(i)] = true;
    column_field.push_back(IsImplicit(engine, i) ? -1 : i);
  }
  for (int i = 0; i < n; ++i) {
    if (!seen[static_cast<std::size_t>(i)] && !IsImplicit(engine, i)) {
      Bad("CSV line 1: no column for field '" + names[static_cast<std::size_t>(i)] + "'");
    }
  }
  Input in;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    const std::string where =
        "record " + std::to_string(r - 1) + " (CSV line " + std::to_string(rows[r].line) + ")";
    std::vector<Variant> values(static_cast<std::size_t>(n));
    for (std::size_t c = 0; c < column_field.size(); ++c) {
      const int i = column_field[c];
      if (i < 0) continue;
      values[static_cast<std::size_t>(i)] =
          Converted(where, names[static_cast<std::size_t>(i)],
                    [&] { return ValueFromCsv(rows[r].fields[c], engine.FieldType(i), enc); });
    }
    in.records.push_back(std::move(values));
    in.where.push_back(where);
  }
  return in;
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

int RunImport(const ParsedArgs& args, Output& /*out*/) {
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
  const bool csv = LowerCase(ExtractFileExt(input_path)) == ".csv";
  if (csv && defs.empty())
    throw UsageError("missing --field: a CSV file does not give the fields' types");
  if (!defs.empty()) DefineFields(*engine, defs, enc, true);

  const std::string text = ReadInput(input_path);
  Input in;
  try {
    in = csv ? FromCsv(text, *engine, enc) : FromJson(text, *engine, !defs.empty(), enc);
  } catch (const JsonError& e) {
    Bad((input_path.empty() ? std::string("standard input") : input_path) + ": " + e.what());
  } catch (const CsvError& e) {
    Bad(input_path + ": " + e.what());
  }
  HeaderValues& h = in.header;
  h.name = Choose(args, "--name", h.name, enc);
  h.creator = Choose(args, "--creator", h.creator, enc);
  h.type = Choose(args, "--type", h.type, enc);
  if (!h.name) throw UsageError("missing --name (the input gives no database name)");
  if (!h.creator) throw UsageError("missing --creator (the input gives no creator ID)");
  if (!h.type) throw UsageError("missing --type (the input gives no database type)");
  if (engine->FieldCount() == 0) Bad("no fields to write");

  TPDBBaseMgr& db = engine->Manager();
  db.SetDBName(*h.name);
  db.SetCreatorID(*h.creator);
  db.SetDatabaseType(*h.type);
  engine->CreateFile(directory, file);
  AbortUnlessDone guard(*engine);
  if (h.attributes) db.SetAttributes(*h.attributes);
  if (h.version) db.SetDBVersion(*h.version);
  if (h.created) db.SetCreationDate(*h.created);
  if (h.modified) db.SetModificationDate(*h.modified);
  if (h.backed_up) db.SetLastBackupDate(*h.backed_up);
  if (h.modification_number) db.SetModification(*h.modification_number);
  if (h.unique_id_seed) db.SetUniqueIDSeed(*h.unique_id_seed);
  if (h.categories) {
    for (std::uint8_t i = 0; i < 16; ++i) db.SetCategory(i, (*h.categories)[i]);
    // AppForge writes the table inside its own block.
    if (!engine->FieldsFromFile()) db.SetWriteCategory(true);
  }
  for (std::size_t r = 0; r < in.records.size(); ++r) {
    try {
      engine->AppendRecord(in.records[r]);
    } catch (const EPDBException& e) {
      throw EPDBException(e.ErrorCode(), in.where[r] + ", " + e.what());
    } catch (const std::exception& e) {
      Bad(in.where[r] + ", " + e.what());
    }
  }
  engine->Close();
  guard.Done();
  return kExitOk;
}

}  // namespace

const Command kImportCommand = {"import", "write a new database through an engine from JSON or CSV",
                                kHelp, kOptions, RunImport};

}  // namespace corvane::cli
