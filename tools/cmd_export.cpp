// corvane export: every record decoded through an engine, as JSON or CSV.
#include <array>

#include "corvane/engines/any_engine.h"
#include "corvane/foundation/exception.h"
#include "tools/commands.h"
#include "tools/csv.h"
#include "tools/engine_options.h"
#include "tools/json.h"
#include "tools/values.h"

namespace corvane::cli {
namespace {

constexpr std::array<OptionSpec, 4> kOptions = {{
    {"--engine", "ENGINE"},
    {"--field", "NAME:TYPE[:SIZE]"},
    {"--format", "json|csv"},
    {"--encoding", "cp1252|latin1|utf8"},
}};

constexpr std::string_view kHelp =
    "Usage: corvane export --engine ENGINE [--field NAME:TYPE[:SIZE]]... [--format json|csv]\n"
    "                      [--encoding cp1252|latin1|utf8] FILE\n"
    "\n"
    "Decodes every record of the database FILE (.pdb) through an engine and prints it.\n"
    "Deleted records are left out.\n"
    "\n"
    "  --engine E      appforge, pocketstudio, nsbasic, java, sqldriver or generic\n"
    "  --field F       a field of the records, in order: NAME:TYPE or NAME:TYPE:SIZE,\n"
    "                  TYPE the engine's own name (AFLong, PSString, NSBDate, JInt,\n"
    "                  PDChar, pdtPSUInt32, ...), SIZE the width of a text type.\n"
    "                  AppForge files list their fields themselves (no --field);\n"
    "                  the SQL Driver's RowID comes first by itself, and the file's\n"
    "                  structure record must agree with the fields given\n"
    "  --format F      json (default): {\"database\": {...as info --json...},\n"
    "                  \"fields\": [{\"name\", \"type\", \"size\"}...], \"records\": [{...}...]};\n"
    "                  csv: a header row of field names, then one row per record\n"
    "  --encoding E    character set of the texts in the file (default cp1252,\n"
    "                  the handhelds' Windows-1252)\n"
    "  --help          this text\n"
    "\n"
    "Values: numbers as numbers (floats in their shortest exact form, amounts with up\n"
    "to four decimals), true/false, texts as strings, PSBinary as hexadecimal, dates\n"
    "as YYYY-MM-DDTHH:MM:SS, YYYY-MM-DD or HH:MM:SS; no date is null (empty in CSV).\n"
    "A record whose bytes do not match the fields is an error.\n";

// Positions on the next record; failures name the record.
bool NextRecord(TAnyEngine& engine) {
  try {
    return engine.NextRecord();
  } catch (const EPDBException& e) {
    throw EPDBException(e.ErrorCode(),
                        "record " + std::to_string(engine.RecordIndex()) + ": " + e.what());
  } catch (const std::exception& e) {
    throw Exception("record " + std::to_string(engine.RecordIndex()) + ": " + e.what());
  }
}

void CheckWholeRecord(TAnyEngine& engine) {
  const std::size_t unused = engine.UnusedBytes();
  if (unused != 0) {
    throw Exception("record " + std::to_string(engine.RecordIndex()) + " has " +
                    std::to_string(unused) +
                    " bytes after its last field: the fields do not describe the records");
  }
}

// Reads and writes out one value; failures (a date no calendar has) name the
// record and field.
template <class Write>
void EmitValue(TAnyEngine& engine, int i, const std::string& name, Write&& write) {
  try {
    write(engine.Value(i));
  } catch (const std::exception& e) {
    throw Exception("record " + std::to_string(engine.RecordIndex()) + ", field '" + name +
                    "': " + e.what());
  }
}

int RunExport(const ParsedArgs& args, Output& out) {
  std::unique_ptr<TAnyEngine> engine = EngineFromArgs(args);
  const TextEncoding enc = EncodingFromArgs(args);
  const std::string format = args.Value("--format", "json");
  if (format != "json" && format != "csv")
    throw UsageError("unknown format '" + format + "' (json or csv)");
  const std::vector<FieldSpec> defs = FieldSpecsFromArgs(args);
  if (engine->FieldsFromFile() && !defs.empty()) {
    throw UsageError("the " + std::string(engine->Name()) +
                     " engine takes its fields from the file: no --field");
  }
  if (!engine->FieldsFromFile() && defs.empty()) {
    throw UsageError("missing --field: " + std::string(engine->Name()) +
                     " files do not name their fields");
  }
  DefineFields(*engine, defs, enc, true);
  std::string directory, name;
  SplitPdbPath(SingleFileArgument(args), directory, name);

  engine->OpenRead(directory, name);
  engine->CheckFieldsAgainstFile();
  const int n = engine->FieldCount();
  std::vector<std::string> names;
  std::vector<TAnyFieldType> types;
  for (int i = 0; i < n; ++i) {
    names.push_back(FieldDisplayName(*engine, i, enc));
    types.push_back(engine->FieldType(i));
  }

  std::string& buf = out.Buffer();
  if (format == "csv") {
    for (int i = 0; i < n; ++i) {
      if (i > 0) buf += ',';
      AppendCsvField(buf, names[static_cast<std::size_t>(i)]);
    }
    buf += "\r\n";
    while (NextRecord(*engine)) {
      CheckWholeRecord(*engine);
      for (int i = 0; i < n; ++i) {
        if (i > 0) buf += ',';
        const auto at = static_cast<std::size_t>(i);
        EmitValue(*engine, i, names[at],
                  [&](const Variant& v) { AppendCsvCell(buf, v, types[at], enc); });
      }
      buf += "\r\n";
      out.FlushIfLarge();
    }
  } else {
    JsonWriter w(buf);
    w.BeginObject();
    w.Key("database");
    WriteDatabaseJson(w, engine->Manager(), enc);
    w.Key("fields");
    w.BeginArray();
    for (int i = 0; i < n; ++i) {
      w.BeginObject(JsonWriter::Layout::kInline);
      w.Key("name");
      w.String(names[static_cast<std::size_t>(i)]);
      w.Key("type");
      w.String(types[static_cast<std::size_t>(i)].Name);
      w.Key("size");
      w.Int(engine->Field(i).Size);
      w.EndObject();
    }
    w.EndArray();
    w.Key("records");
    w.BeginArray();
    while (NextRecord(*engine)) {
      CheckWholeRecord(*engine);
      w.BeginObject(JsonWriter::Layout::kInline);
      for (int i = 0; i < n; ++i) {
        const auto at = static_cast<std::size_t>(i);
        w.Key(names[at]);
        EmitValue(*engine, i, names[at],
                  [&](const Variant& v) { WriteJsonValue(w, v, types[at], enc); });
      }
      w.EndObject();
      out.FlushIfLarge();
    }
    w.EndArray();
    w.EndObject();
    w.EndDocument();
  }
  engine->Close();
  return kExitOk;
}

}  // namespace

const Command kExportCommand = {"export", "decode every record through an engine, as JSON or CSV",
                                kHelp, kOptions, RunExport};

}  // namespace corvane::cli
