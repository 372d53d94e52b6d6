// corvane export: every record decoded through an engine, as JSON or CSV.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

#include "corvane/engines/any_engine.h"
#include "corvane/foundation/exception.h"
#include "corvane/host/locale.h"
#include "corvane/interchange/csv.h"
#include "corvane/interchange/json.h"
#include "corvane/interchange/out_cursor.h"
#include "corvane/interchange/record_damage.h"
#include "corvane/interchange/values.h"
#ifndef CORVANE_NO_SQLITE
#include "corvane/interchange/sqlite_writer.h"
#endif
#include "corvane/pdb/resource_list.h"
#include "tools/apps_commands.h"
#include "tools/commands.h"
#include "tools/dataset_view.h"
#include "tools/engine_options.h"
#include "tools/picture_commands.h"
#include "tools/tables.h"

namespace corvane::cli {
namespace {

constexpr std::array<OptionSpec, 18> kOptions = {{
    {"--engine", "ENGINE"},
    {"--app", "APP"},
    {"--field", "NAME:TYPE[:SIZE]"},
    {"--format", "json|csv|vcard|ical|text"},
    {"--encoding", "cp1252|latin1|utf8"},
    kViewOptionSpecs[0],
    kViewOptionSpecs[1],
    kViewOptionSpecs[2],
    kViewOptionSpecs[3],
    {"--with-attributes", ""},
    {"--keep-going", ""},
    {"-o", "OUT"},
    {"--output", "OUT"},
    {"--resources", "OUT_DIR"},
    {"--thumbnail", "PNG"},
    {"--timezone", "TZID"},
    {"--thumbnails", "DIR"},
}};

constexpr std::string_view kHelp =
    "Usage: corvane export --engine ENGINE [--field NAME:TYPE[:SIZE]]... [--format json|csv]\n"
    "                      [--with-attributes] [--encoding cp1252|latin1|utf8]\n"
    "                      [--sort FIELD[,FIELD...] [--desc]] [--where FIELD=VALUE]... [--nocase] "
    "FILE\n"
    "       corvane export --engine ENGINE [--field ...]... [--format json|csv] --keep-going FILE\n"
    "\n"
    "Decodes every record of the database FILE through an engine and prints it.\n"
    "Deleted records are left out. FILE may have any name; a resource database\n"
    "(.prc) holds no records and is refused.\n"
    "\n"
    "  --engine E      appforge, pocketstudio, nsbasic, java, sqldriver or generic\n"
    "  --field F       a field of the records, in order: NAME:TYPE or NAME:TYPE:SIZE,\n"
    "                  TYPE the engine's own name (AFLong, PSString, NSBDate, JInt,\n"
    "                  PDChar, pdtPSUInt32, ...), SIZE the width of a text type.\n"
    "                  AppForge files list their fields themselves (no --field);\n"
    "                  the SQL Driver's RowID comes first by itself, and the file's\n"
    "                  structure record must agree with the fields given\n"
    "  --format F      json (default): {\"database\": {...as info --json...},\n"
    "                  \"sortInfo\": the sort-info block in hexadecimal or null,\n"
    "                  \"appInfo\": the application-info block in hexadecimal or null,\n"
    "                  \"fields\": [{\"name\", \"type\", \"size\"}...], \"records\": [{...}...]};\n"
    "                  each record has its fields and its \"category\" (0-15), \"flags\"\n"
    "                  ([\"secret\", \"busy\", \"dirty\"]) and \"uniqueID\" (a field of one of\n"
    "                  those names hides that key);\n"
    "                  csv: a header row of field names, then one row per record;\n"
    "                  it has no room for the header's values (import takes them\n"
    "                  as options), the categories or the sort-info block\n"
    "                  sqlite (with -o OUT.sqlite): one table named after the\n"
    "                  database, a column per field (INTEGER, REAL, TEXT, BLOB;\n"
    "                  dates as the text above), written in one transaction into\n"
    "                  a new file that replaces OUT.sqlite only when complete\n"
    "  --with-attributes\n"
    "                  csv and sqlite: add the columns category, flags\n"
    "                  (\"secret,dirty\") and uniqueID after the fields\n"
    "  --encoding E    character set of the texts in the file (default cp1252,\n"
    "                  the handhelds' Windows-1252)\n"
    "  --sort F,G      print the records sorted on these fields (through the\n"
    "                  dataset's sort: numbers by value, texts by the locale;\n"
    "                  records with equal keys keep their file order)\n"
    "  --desc          sort descending (equal keys in reverse file order)\n"
    "  --where F=V     print only the records whose field F prints as V; a V\n"
    "                  ending in * matches every value that starts with the rest.\n"
    "                  Repeatable: every one must match\n"
    "  --nocase        --sort and --where ignore the case of letters\n"
    "  --keep-going    json and csv, without --sort and --where: a record that\n"
    "                  does not decode is kept raw in its place (JSON: \"index\",\n"
    "                  \"damaged\" (the reason), \"category\", \"flags\", \"uniqueID\",\n"
    "                  \"data\" in hexadecimal; CSV: empty fields and the added\n"
    "                  columns damaged and data), a warning names it by its index\n"
    "                  in the file, the rest is exported and the exit status is 3\n"
    "  --help          this text\n"
    "\n"
    "Values: numbers as numbers (floats in their shortest exact form, amounts with up\n"
    "to four decimals), true/false, texts as strings, PSBinary as hexadecimal, dates\n"
    "as YYYY-MM-DDTHH:MM:SS, YYYY-MM-DD or HH:MM:SS; no date is null (empty in CSV);\n"
    "a JChar as the character of its 16-bit code, whatever --encoding says.\n"
    "A record whose bytes do not match the fields is an error.\n"
    "\n"
    "Usage: corvane export [--app APP] [--format json|csv|vcard|ical|text] [--encoding E]\n"
    "                      [--keep-going] [--timezone TZID] FILE\n"
    "\n"
    "Without --engine, decodes the databases of the handheld's own applications and\n"
    "e-books. APP is memo, todo, address, datebook, mail, doc (e-books), the later\n"
    "handhelds' contacts, calendar, tasks and memos, raw (any database: record\n"
    "bytes in hexadecimal) or auto (the default: from the file's creator and type,\n"
    "raw when it is none of them).\n"
    "  --format F      json (default): {\"database\", \"app\", \"appInfo\", \"records\"},\n"
    "                  one object per record with its category (name), secret, dirty,\n"
    "                  uniqueID and the application's values; csv: the same as rows;\n"
    "                  vcard (address and contacts, vCard 3.0); ical (datebook,\n"
    "                  todo, calendar and tasks, iCalendar); text (memos separated by\n"
    "                  a form-feed line, or the\n"
    "                  whole text of an e-book)\n"
    "  --encoding E    cp1252 (default), latin1, utf8 or any name iconv knows\n"
    "                  (CP932, CP1251, BIG5, ...); SHIFT_JIS and SJIS mean CP932,\n"
    "                  the handhelds' Japanese set. A byte the set does not define\n"
    "                  is kept as the character U+10FF00 plus the byte, which import\n"
    "                  writes back as that byte\n"
    "  --keep-going    a record that does not decode (or breaks the rules of the\n"
    "                  format, such as an unknown repeat type) is kept in its raw\n"
    "                  form, \"damaged\" (the reason) and \"data\" (its bytes in\n"
    "                  hexadecimal) beside its attributes (X-CORVANE-* properties in\n"
    "                  vCard and iCalendar), a warning names it on standard error and\n"
    "                  the rest is exported; the exit status is then 3. Import writes\n"
    "                  such a record back from its bytes. Without it the first\n"
    "                  damaged record stops the export\n"
    "  --timezone TZID ical: the handheld keeps local times without a zone, and\n"
    "                  iCalendar gets them as such (floating: the same clock time\n"
    "                  wherever the calendar is read); with TZID (Europe/Berlin,\n"
    "                  America/Sao_Paulo, ...) they are written in that zone, with a\n"
    "                  VTIMEZONE built from the system's zone data (/usr/share/zoneinfo\n"
    "                  or $TZDIR). All-day events and due dates stay dates\n"
        "Records are named by their index in the file. Deleted entries are listed\n"
    "with \"deleted\": true and no values, archived records (deleted, kept for the\n"
    "desktop) with their values and \"archived\": true; vCard, iCalendar and text\n"
    "leave both out. CSV adds \"categoryIndex\", the category's slot, beside its\n"
    "name.\n"
    "\n"
    "Usage: corvane export [--app jfile|mobiledb] [--format json|csv|sqlite]\n"
    "                      [--with-attributes] [-o OUT.sqlite] FILE\n"
    "\n"
    "Flat-file tables (JFile 3, 4 and 5; MobileDB; picked by auto too) name their\n"
    "own fields. json: {\"database\", \"app\", \"table\": the fields (name, type,\n"
    "width) and the table's other settings, \"records\": one object per row keyed\n"
    "by field name}; csv: a header of the field names; sqlite as above. Values are\n"
    "typed: numbers, true/false, dates YYYY-MM-DD, times HH:MM; a typed field's\n"
    "text that is not written as its type writes it stays text ({\"text\": ...}\n"
    "in JSON where it would read as a value), so import gives the same bytes.\n"
    "\n"
    "Usage: corvane export --app photo [-o IMAGE] [--thumbnail PNG] [--format json] FILE\n"
    "\n"
    "A file-stream photo database (records of DBLK blocks): the picture it holds,\n"
    "byte for byte as stored (JPEG, PNG, GIF or BMP), to IMAGE or standard output.\n"
    "--thumbnail writes the photo application's thumbnail bitmap as PNG;\n"
    "--format json describes the stream, the image and what follows it (the\n"
    "thumbnail, the note text, the tags found).\n"
    "\n"
    "Usage: corvane export --app photos [--thumbnails DIR] PhotosDB-Foto.pdb\n"
    "\n"
    "The photo application's index of its photos, as JSON: each photo's name (its\n"
    "own database is the name with .jpg added), width, height, size, dates and\n"
    "thumbnail; --thumbnails writes each thumbnail as stored into DIR as\n"
    "INDEX.jpg. Bytes not understood are kept in hexadecimal (fixed, extra).\n"
    "\n"
    "Usage: corvane export --resources OUT_DIR FILE.prc\n"
    "\n"
    "Writes every resource of a resource database as OUT_DIR/TYPE-ID.bin (bytes\n"
    "other than letters and digits in TYPE as %XX), bitmaps (Tbmp, tAIB, tbsb)\n"
    "also as TYPE-ID.png (the family's member of the highest density and depth),\n"
    "the application-info and sort-info blocks as appinfo.bin and sortinfo.bin,\n"
    "and resources.json: the header (with the name field and dates as stored),\n"
    "and each resource's type, ID, size, file and bitmap members. import\n"
    "--resources builds the same file from them, byte for byte.\n";

// The values of a record as views, and the texts they do not borrow.
struct RecordViews {
  explicit RecordViews(std::size_t fields) : views(fields), scratch(fields) {}
  std::vector<TAnyValueView> views;
  std::vector<std::string> scratch;
};

// Writes out every field of the current record through write(field, value);
// a failure (a text no character set has, a date no calendar has) names the
// record and field.
template <class Write>
void EmitRecord(const RecordSource& records, const std::vector<std::string>& names,
                RecordViews& row, Write&& write) {
  const auto field_failed = [&](std::size_t i, const std::exception& e) {
    return Exception("record " + std::to_string(records.RecordIndex()) + ", field '" + names[i] +
                     "': " + e.what());
  };
  try {
    records.RecordView(row.views, row.scratch);
  } catch (const std::exception&) {
    // Read again field by field, to name the one that fails.
    for (std::size_t i = 0; i < names.size(); ++i) {
      try {
        (void)records.ValueView(static_cast<int>(i), row.scratch[i]);
      } catch (const std::exception& e) {
        throw field_failed(i, e);
      }
    }
    throw;
  }
  std::size_t i = 0;
  try {
    for (; i < names.size(); ++i) write(static_cast<int>(i), row.views[i]);
  } catch (const std::exception& e) {
    throw field_failed(i, e);
  }
}

// A record's category or unique ID (both under 2^24).
void PutNumber(OutCursor& out, std::uint32_t n) {
  constexpr std::size_t kDigits = 10;
  char* p = out.Room(kDigits);
  out.Advance(std::to_chars(p, p + kDigits, n).ptr);
}

// Hands what was written to the output a block at a time.
void FlushIfLarge(OutCursor& cur, Output& out) {
  if (cur.Size() < OutCursor::kBlock) return;
  cur.Commit();
  out.Flush();
}

#ifndef CORVANE_NO_SQLITE
using interchange::SqlColumn;
using interchange::SqliteWriter;
using interchange::SqlType;

// An engine field's column type: numbers and booleans as numbers, amounts as
// REAL, texts as UTF-8, binaries as BLOB, dates and times as the ISO text
// export prints.
SqlType SqlTypeOf(const TAnyFieldType& type) noexcept {
  switch (type.Kind) {
    case TValueKind::Integer:
    case TValueKind::Unsigned:
    case TValueKind::Boolean:
      return SqlType::kInteger;
    case TValueKind::Float:
    case TValueKind::Currency:
      return SqlType::kReal;
    case TValueKind::Binary:
      return SqlType::kBlob;
    default:
      return SqlType::kText;
  }
}

// The record's views stay valid until the row is inserted; what is made
// here is copied. No date is NULL.
void PutSqlValue(SqliteWriter& out, int column, const TAnyValueView& value,
                 const TAnyFieldType& type, TextEncoding enc) {
  switch (type.Kind) {
    case TValueKind::Integer:
    case TValueKind::Unsigned:
      out.Integer(column, value.Integer);
      break;
    case TValueKind::Boolean:
      out.Integer(column, value.Flag ? 1 : 0);
      break;
    case TValueKind::Float:
      out.Real(column, value.Float);
      break;
    case TValueKind::Currency:
      out.Real(column, value.Amount.ToDouble());
      break;
    case TValueKind::Binary:
      out.Blob(column, value.Text);
      break;
    case TValueKind::Text:
      if (type.Wide) {
        out.Text(column, value.Text);
      } else {
        out.TextCopy(column, ToUtf8(value.Text, enc));
      }
      break;
    default: {
      const std::string when = FormatWhen(value.When, type.Kind);
      if (when.empty()) {
        out.Null(column);
      } else {
        out.TextCopy(column, when);
      }
    }
  }
}

// One SQL table named after the database, a column per field (and the
// attributes with --with-attributes), written in one transaction.
void ExportSqlite(TAnyEngine& engine, RecordSource& records, std::vector<std::string> names,
                  const std::vector<TAnyFieldType>& types, TextEncoding enc, bool with_attributes,
                  const std::string& path) {
  std::vector<SqlColumn> columns;
  for (std::size_t i = 0; i < names.size(); ++i) {
    // Column names must differ; a repeated field name gets its position.
    std::string name = names[i];
    for (std::size_t k = 0; k < i; ++k) {
      if (names[k] == name) name += " (" + std::to_string(i + 1) + ")";
    }
    columns.push_back({name, SqlTypeOf(types[i])});
  }
  if (with_attributes) {
    for (std::string_view key : {kCategoryKey, kFlagsKey, kUniqueIDKey}) {
      if (std::find(names.begin(), names.end(), key) != names.end()) {
        throw UsageError("--with-attributes: a field has the name of an attribute column "
                         "(category, flags or uniqueID)");
      }
      columns.push_back({std::string(key), key == kFlagsKey ? SqlType::kText : SqlType::kInteger});
    }
  }
  SqliteWriter out(path);
  out.BeginTable(ToUtf8(engine.Manager().DatabaseName(), enc), columns);
  RecordViews row(names.size());
  while (records.Next()) {
    EmitRecord(records, names, row, [&](int i, const TAnyValueView& v) {
      PutSqlValue(out, i, v, types[static_cast<std::size_t>(i)], enc);
    });
    if (with_attributes) {
      const std::optional<TRecordEntry> e = engine.Manager().GetRecInFile(records.RecordIndex());
      const TRecordEntry entry = e ? *e : TRecordEntry();
      const int at = static_cast<int>(names.size());
      out.Integer(at, entry.Category);
      std::string flags;
      ForEachRecordFlagName(entry.Flags, [&](std::string_view f) {
        if (!flags.empty()) flags += ',';
        flags += f;
      });
      out.TextCopy(at + 1, flags);
      out.Integer(at + 2, entry.UniqueID);
    }
    out.Row();
  }
  out.Commit();
}
#endif

// A damaged record's failure without the "record N" its message may start
// with: the warning and the raw form name the record already.
std::string DamageReason(const std::exception& e, std::int32_t index) {
  const std::string what = e.what();
  const std::string place = "record " + std::to_string(index);
  if (what.rfind(place + ": ", 0) == 0) return what.substr(place.size() + 2);
  if (what.rfind(place + ", ", 0) == 0) return what.substr(place.size() + 2);
  if (what.rfind(place + " ", 0) == 0) return what.substr(place.size() + 1);
  return what;
}

// Every record of the walk through decode(), which writes it out; a record
// that fails (or failed to split) is handed to raw() instead when keeping
// going. rewind() drops what decode() wrote of a record that failed.
template <class Mark, class Decode, class Rewind, class Raw>
void EachRecord(RecordSource& records, TAnyEngine& engine, DamageLog& damage,
                const std::exception_ptr& split_failure, Mark&& mark, Decode&& decode,
                Rewind&& rewind, Raw&& raw) {
  while (records.Next()) {
    mark();
    if (!damage.KeepGoing()) {
      decode();
      continue;
    }
    const std::int32_t index = records.RecordIndex();
    std::string reason;
    try {
      if (split_failure) std::rethrow_exception(split_failure);
      CheckWholeRecord(engine);
      decode();
      continue;
    } catch (const std::exception& e) {
      reason = DamageReason(e, index);
    }
    rewind();
    damage.Decode(index, [&] { throw Exception(reason); });
    std::span<const std::uint8_t> bytes;
    try {
      bytes = engine.Manager().StoredRecordBytes(index);
    } catch (const std::exception&) {
      // Its bytes cannot be read at all: the reason says why.
    }
    const std::optional<TRecordEntry> entry = engine.Manager().GetRecInFile(index);
    raw(index, bytes, entry ? *entry : TRecordEntry(), reason);
  }
}

[[noreturn]] void RefuseResourceFile(const std::string& path) {
  const pdb::ResourceDatabase db =
      pdb::ReadResourceDatabase(ReadWholeFile(path), StandardTimeZoneBiasMinutes());
  const auto shown = [](const std::string& four) {
    return Printable(ToUtf8(four, TextEncoding::kWindows1252));
  };
  throw Exception(
      "'" + path + "' is a resource database (type '" + shown(db.header.type) + "', creator '" +
      shown(db.header.creator) + "', " + std::to_string(db.resources.size()) +
      " resources): it holds an application's resources, not records to export; "
      "'corvane records' lists them and 'corvane export --resources DIR' writes them out");
}

int RunExport(const ParsedArgs& args, Output& out) {
  if (args.Has("--resources")) return RunResourcesExport(args, out);
  if (args.Value("--app", "") == "photo" || args.Value("--app", "") == "photos") {
    return RunPhotoExport(args, out);
  }
  // Every other export reads records, which a resource database has none of.
  if (args.positional.size() == 1 && IsResourceFile(args.positional.front())) {
    RefuseResourceFile(args.positional.front());
  }
  if (IsTableExport(args)) return RunTableExport(args, out);
  if (!args.Has("--engine") || args.Has("--app")) return RunAppsExport(args, out);
  if (args.Has("--timezone")) throw UsageError("--timezone is for --format ical");
  std::unique_ptr<TAnyEngine> engine = EngineFromArgs(args);
  const TextEncoding enc = EncodingFromArgs(args);
  const std::string format = args.Value("--format", "json");
  if (format != "json" && format != "csv" && format != "sqlite")
    throw UsageError("unknown format '" + format + "' (json, csv or sqlite)");
  if (format != "sqlite" && (args.Has("-o") || args.Has("--output")))
    throw UsageError("-o is for --format sqlite; JSON and CSV go to standard output");
  const std::string sqlite_path = format == "sqlite" ? SqliteOutputPath(args) : std::string();
  DefineReadFields(*engine, args, enc);
  const std::string& path = SingleFileArgument(args);

  const ViewOptions view = ViewOptionsFromArgs(args);
  const bool keep_going = args.Has("--keep-going");
  if (keep_going && (format == "sqlite" || view.Any())) {
    throw UsageError(
        "--engine --keep-going is for --format json and csv, without --sort or --where");
  }
  if (view.Any()) DataSetEngineOf(*engine, "--sort and --where");
  engine->OpenReadFile(path);
  engine->CheckFieldsAgainstFile();
  DamageLog damage(keep_going, [](const RecordDamage& d) {
    std::fprintf(stderr, "corvane: warning: %s kept raw: %s\n", DamagePlace(d.index).c_str(),
                 d.reason.c_str());
  });
  // With --keep-going a record that does not split is still walked past:
  // its failure waits for the record's turn (Decode below) and the walk goes on.
  std::exception_ptr split_failure;
  RecordSource records(*engine, [&] {
    split_failure = nullptr;
    if (!keep_going) {
      return NextWholeRecord(*engine);
    }
    try {
      return engine->NextRecord();
    } catch (...) {
      split_failure = std::current_exception();
      return true;
    }
  });
  // The dataset that chooses and orders the records reads the file from
  // memory, whatever its name: nothing is written anywhere to read it. The
  // engine has opened it already, so it is a regular file that can be read.
  if (view.Any()) records.Select(view, ReadWholeFile(path), path, enc);
  const int n = engine->FieldCount();
  std::vector<std::string> names;
  std::vector<TAnyFieldType> types;
  for (int i = 0; i < n; ++i) {
    names.push_back(FieldDisplayName(*engine, i, enc));
    types.push_back(engine->FieldType(i));
  }

  // The attribute keys no field hides.
  const auto free_key = [&](std::string_view key) {
    return std::find(names.begin(), names.end(), key) == names.end();
  };
  const bool category_key = free_key(kCategoryKey), flags_key = free_key(kFlagsKey),
             unique_id_key = free_key(kUniqueIDKey);
  const auto attributes = [&] {
    const std::optional<TRecordEntry> e = engine->Manager().GetRecInFile(records.RecordIndex());
    return e ? *e : TRecordEntry();
  };

  std::string& buf = out.Buffer();
  RecordViews row(names.size());
  std::string cell_scratch;
  if (format == "sqlite") {
#ifndef CORVANE_NO_SQLITE
    ExportSqlite(*engine, records, names, types, enc, args.Has("--with-attributes"), sqlite_path);
#endif
  } else if (format == "csv") {
    const bool with_attributes = args.Has("--with-attributes");
    if (with_attributes && !(category_key && flags_key && unique_id_key)) {
      throw UsageError(
          "--with-attributes: a field has the name of an attribute column "
          "(category, flags or uniqueID)");
    }
    for (int i = 0; i < n; ++i) {
      if (i > 0) buf += ',';
      AppendCsvField(buf, names[static_cast<std::size_t>(i)]);
    }
    if (with_attributes) buf += ",category,flags,uniqueID";
    if (keep_going) {
      if (!free_key("damaged") || !free_key("data")) {
        throw UsageError(
            "--keep-going: a field has the name of a column of damaged records "
            "(damaged or data)");
      }
      buf += ",damaged,data";
    }
    // The flags' every combination as its cell, between the commas around it.
    std::array<std::string, 16> flags_cells;
    for (std::size_t bits = 0; bits < flags_cells.size(); ++bits) {
      std::string names_text;
      ForEachRecordFlagName(TRecFlags::FromByte(static_cast<std::uint8_t>(bits)),
                            [&](std::string_view f) {
                              if (!names_text.empty()) names_text += ',';
                              names_text += f;
                            });
      flags_cells[bits] = ",";
      AppendCsvField(flags_cells[bits], names_text);
      flags_cells[bits] += ',';
    }
    buf += "\r\n";
    OutCursor cur(buf);
    const auto put_attributes = [&](const TRecordEntry& e) {
      cur.Put(',');
      PutNumber(cur, e.Category);
      cur.Put(flags_cells[e.Flags.ToByte() & 0x0Fu]);
      PutNumber(cur, e.UniqueID);
    };
    std::size_t start = 0;
    std::string cell;
    EachRecord(
        records, *engine, damage, split_failure, [&] { start = cur.Size(); },
        [&] {
          EmitRecord(records, names, row, [&](int i, const TAnyValueView& v) {
            if (i > 0) cur.Put(',');
            PutCsvCell(cur, v, types[static_cast<std::size_t>(i)], enc, cell_scratch);
          });
          if (with_attributes) put_attributes(attributes());
          if (keep_going) cur.Put(",,");
          cur.Put("\r\n");
          FlushIfLarge(cur, out);
        },
        [&] { cur.Commit().resize(start); },
        [&](std::int32_t, std::span<const std::uint8_t> bytes, const TRecordEntry& e,
            const std::string& reason) {
          for (int i = 1; i < n; ++i) cur.Put(',');
          if (with_attributes) put_attributes(e);
          cell.assign(1, ',');
          AppendCsvField(cell, reason);
          cell += ',';
          AppendHex(cell, bytes);
          cur.Put(cell);
          cur.Put("\r\n");
          FlushIfLarge(cur, out);
        });
  } else {
    if (!(category_key && flags_key && unique_id_key)) {
      std::fprintf(stderr,
                   "corvane: note: a field named category, flags or uniqueID hides the records' "
                   "attribute of that name in the JSON\n");
    }
    JsonWriter w(buf);
    w.BeginObject();
    w.Key("database");
    WriteDatabaseJson(w, engine->Manager(), enc);
    // Both blocks whole, in hexadecimal: what is not a category table (an
    // application's own settings, field names...) comes back on import.
    const auto block = [&](const char* key, bool app_info) {
      std::span<const std::uint8_t> bytes;
      std::int32_t length = 0;
      if (app_info) {
        engine->Manager().GetAppInfoP(bytes, length);
      } else {
        engine->Manager().GetSortInfoP(bytes, length);
      }
      w.Key(key);
      if (bytes.empty()) {
        w.Null();
      } else {
        std::string hex;
        AppendHex(hex, bytes);
        w.String(hex);
      }
    };
    block("sortInfo", false);
    block("appInfo", true);
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
    // Each record is one inline object, laid out here as the writer would lay
    // it out, without its bookkeeping per key and value; the writer places
    // the first in the array, the others follow it. Every member's key, with
    // the separator before it, is escaped once, and the flags' every
    // combination is written out once.
    std::vector<OutCursor::Piece> members;
    const auto add_member = [&](std::string_view key) {
      members.emplace_back((members.empty() ? "" : ", ") + JsonWriter::KeyText(key));
    };
    for (const std::string& name : names) add_member(name);
    if (category_key) add_member(kCategoryKey);
    std::vector<OutCursor::Piece> flags_texts;
    if (flags_key) {
      add_member(kFlagsKey);
      for (unsigned bits = 0; bits < 16; ++bits) {
        std::string text = std::string(members.back().Text()) + '[';
        ForEachRecordFlagName(TRecFlags::FromByte(static_cast<std::uint8_t>(bits)),
                              [&](std::string_view f) {
                                if (text.back() != '[') text += ", ";
                                text.append(1, '"').append(f).append(1, '"');
                              });
        flags_texts.emplace_back(text + ']');
      }
    }
    if (unique_id_key) add_member(kUniqueIDKey);
    const OutCursor::Piece next_record(w.NextValuePrefix() + '{');
    bool first_record = true;
    {
      OutCursor cur(buf);
      std::size_t start = 0;
      std::string raw_text;
      EachRecord(
          records, *engine, damage, split_failure,
          [&] {
            if (first_record) {
              cur.Commit();
              w.BeginRawValue();
              cur.Put('{');
              first_record = false;
            } else {
              cur.Put(next_record);
            }
            start = cur.Size();
          },
          [&] {
            EmitRecord(records, names, row, [&](int i, const TAnyValueView& v) {
              const auto at = static_cast<std::size_t>(i);
              cur.Put(members[at]);
              PutJsonValue(cur, v, types[at], enc, cell_scratch);
            });
            const TRecordEntry e = attributes();
            std::size_t at = names.size();
            if (category_key) {
              cur.Put(members[at++]);
              PutNumber(cur, e.Category);
            }
            if (flags_key) {
              cur.Put(flags_texts[e.Flags.ToByte() & 0x0Fu]);
              ++at;
            }
            if (unique_id_key) {
              cur.Put(members[at]);
              PutNumber(cur, e.UniqueID);
            }
            cur.Put('}');
            FlushIfLarge(cur, out);
          },
          [&] { cur.Commit().resize(start); },
          [&](std::int32_t index, std::span<const std::uint8_t> bytes, const TRecordEntry& e,
              const std::string& reason) {
            raw_text = JsonWriter::KeyText("index") + std::to_string(index) + ", " +
                       JsonWriter::KeyText("damaged") + '"';
            JsonWriter::AppendEscaped(raw_text, reason);
            raw_text += "\", " + JsonWriter::KeyText("category") + std::to_string(e.Category) +
                        ", " + JsonWriter::KeyText("flags") + '[';
            ForEachRecordFlagName(e.Flags, [&](std::string_view f) {
              if (raw_text.back() != '[') raw_text += ", ";
              raw_text.append(1, '"').append(f).append(1, '"');
            });
            raw_text += "], " + JsonWriter::KeyText("uniqueID") + std::to_string(e.UniqueID) +
                        ", " + JsonWriter::KeyText("data") + '"';
            AppendHex(raw_text, bytes);
            raw_text += "\"}";
            cur.Put(raw_text);
            FlushIfLarge(cur, out);
          });
    }
    w.EndArray();
    w.EndObject();
    w.EndDocument();
  }
  engine->Close();
  return damage.Damaged().empty() ? kExitOk : kExitDamaged;
}

}  // namespace

const Command kExportCommand = {"export", "decode every record through an engine, as JSON or CSV",
                                kHelp, kOptions, RunExport};

}  // namespace corvane::cli
