// corvane convert: a database read through one engine's dataset and written
// through another's, field by field.
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <system_error>

#include "corvane/dataset/pdb_dataset.h"
#include "corvane/engines/any_engine.h"
#include "corvane/foundation/exception.h"
#include "corvane/host/exceptions.h"
#include "corvane/host/text.h"
#include "corvane/interchange/values.h"
#include "corvane/pdb/corvane.h"
#include "corvane/pdb/write_target.h"
#include "tools/commands.h"
#include "tools/dataset_view.h"
#include "tools/engine_options.h"
#include "tools/tables.h"

namespace corvane::cli {
namespace {

constexpr std::array<OptionSpec, 12> kOptions = {{
    {"--engine", "ENGINE"},
    {"--field", "NAME:TYPE[:SIZE]"},
    {"--to", "ENGINE"},
    {"--to-field", "NAME:TYPE[:SIZE]"},
    {"--name", "NAME"},
    {"--creator", "CRID"},
    {"--type", "TYPE"},
    {"-o", "OUT.pdb"},
    {"--output", "OUT.pdb"},
    {"--encoding", "cp1252|latin1|utf8"},
    {"--app", "jfile|mobiledb"},
    {"--to-app", "jfile|mobiledb"},
}};

constexpr std::string_view kHelp =
    "Usage: corvane convert --engine E1 [--field NAME:TYPE[:SIZE]]... --to E2\n"
    "                       [--to-field NAME:TYPE[:SIZE]]... [--name NAME] [--creator CRID]\n"
    "                       [--type TYPE] [--encoding cp1252|latin1|utf8] IN.pdb -o OUT.pdb\n"
    "\n"
    "Reads every record of IN.pdb through the dataset of engine E1 and writes them,\n"
    "in file order, into OUT.pdb through the dataset of engine E2.\n"
    "\n"
    "  --engine E1     appforge, pocketstudio, nsbasic, java or sqldriver\n"
    "  --field F       the fields of IN.pdb, as for export (AppForge files list\n"
    "                  their own)\n"
    "  --to E2         the engine OUT.pdb is written through\n"
    "  --to-field F    NAME:TYPE[:SIZE]: the type field NAME gets in OUT.pdb, in\n"
    "                  E2's own type names. Fields not named keep their meaning:\n"
    "                  texts become E2's text type, integers its 32-bit integer,\n"
    "                  64-bit integers its long type (else its double, exact up\n"
    "                  to 2^53),\n"
    "                  floats its double, dates its date, time or date-time type,\n"
    "                  booleans its boolean (NS Basic: a byte; SQL Driver: a short),\n"
    "                  PocketStudio binaries PSBinary. A field E2 has no such type\n"
    "                  for needs --to-field. With E2 the same as E1, every field\n"
    "                  keeps its type and width\n"
    "  --name N        the database name of OUT.pdb; --creator and --type its\n"
    "                  creator ID and type. Without them, and for the creation\n"
    "                  date and the attribute flags, IN.pdb's header values\n"
    "  -o, --output F  the database to write (.pdb)\n"
    "  --encoding E    character set of the texts (default cp1252)\n"
    "  --help          this text\n"
    "\n"
    "OUT.pdb is written only when every value arrives as it was read (a single-\n"
    "precision float to its precision); otherwise the conversion stops naming the\n"
    "record and field, OUT.pdb is not created, and an existing one is left as it was.\n"
    "\n"
    "Usage: corvane convert --app jfile|mobiledb (--to E2 | --to-app jfile|mobiledb)\n"
    "                       [--to-field NAME:TYPE]... IN.pdb -o OUT.pdb\n"
    "       corvane convert --engine E1 [--field F]... --to-app jfile|mobiledb IN.pdb -o OUT.pdb\n"
    "\n"
    "Carries a flat-file table into an engine's records or the other way, with the\n"
    "same rule: each field keeps its kind (text, boolean, date, time, integer,\n"
    "float; MobileDB keeps numbers as text) unless --to-field says otherwise, and\n"
    "a value that does not arrive as it was read (an empty number, a text in a\n"
    "typed field, a date with a time of day) stops it naming the record and field.\n";

// The type E2 gives a field of IN.pdb when --to-field does not say.
std::optional<std::string> DefaultType(TEngine to, TFieldType dataset_type,
                                       std::string_view source_type) {
  const auto pick = [&](const char* ps, const char* nsb, const char* af, const char* j,
                        const char* sd) -> std::optional<std::string> {
    const char* t = to == PocketStudio ? ps
                    : to == NSBasic    ? nsb
                    : to == AppForge   ? af
                    : to == Java       ? j
                                       : sd;
    if (t == nullptr) return std::nullopt;
    return std::string(t);
  };
  switch (dataset_type) {
    case ftString:
    case ftMemo:
      return pick("PSString", "NSBString", "AFString", "JString", "PDChar");
    case ftInteger:
      return pick("PSInt32", "NSBInteger", "AFLong", "JInt", "PDInt");
    // Without a long type a double holds every whole number up to 2^53; a
    // larger one is refused rather than rounded.
    case ftLargeint:
      return pick("PSDouble", "NSBDouble", "AFDouble", "JLong", "PDLong");
    case ftFloat:
      return pick("PSDouble", "NSBDouble", "AFDouble", nullptr, "PDDouble");
    case ftBoolean:
      return pick("PSBoolean", "NSBByte", "AFBoolean", "JBoolean", "PDShort");
    case ftBlob:
      return pick("PSBinary", nullptr, nullptr, nullptr, nullptr);
    case ftDateTime:
      if (source_type == "PSTime" || source_type == "NSBTime")
        return pick("PSTime", "NSBTime", "AFDate", "JDate", nullptr);
      if (source_type == "PSDate" || source_type == "NSBDate")
        return pick("PSDate", "NSBDate", "AFDate", "JDate", nullptr);
      return pick("PSDateTime", "NSBDate", "AFDate", "JDate", nullptr);
    default:
      return std::nullopt;
  }
}

// One field of the conversion: where it comes from, what it becomes.
struct Column {
  TField* from = nullptr;
  std::string name;  // in the file's encoding
  TFieldType to_type = ftUnknown;
  bool single = false;  // E2 keeps it in single precision
};

// The value of `from` in the kind of a field of type `to`, as the dataset of
// E2 will hold it; EConvertError when it has none.
Variant Converted(const TField& from, TFieldType to) {
  if (from.IsNull() && from.DataType() != ftBoolean) {
    // Texts that are empty and absent numbers stay absent.
    if (to == ftString || to == ftMemo || to == ftBlob) return Variant(std::string());
  }
  switch (to) {
    case ftString:
    case ftMemo:
    case ftBlob:
      return Variant(from.AsString());
    case ftInteger:
    case ftLargeint: {
      switch (from.DataType()) {
        case ftBoolean:
          return Variant(static_cast<long long>(from.AsBoolean() ? 1 : 0));
        case ftFloat:
        case ftDateTime: {
          const double d = from.AsFloat();
          if (std::isnan(d) || (std::isfinite(d) && d != std::trunc(d)))
            throw EConvertError(from.AsString() + " is not a whole number");
          if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0))
            throw EConvertError(from.AsString() + " is outside what a 64-bit integer holds");
          return Variant(static_cast<long long>(d));
        }
        case ftString:
        case ftMemo:
          return Variant(Variant(from.AsString()).AsInt64());
        default:
          return Variant(static_cast<long long>(from.AsLargeInt()));
      }
    }
    case ftFloat:
      if (from.DataType() == ftBoolean) return Variant(from.AsBoolean() ? 1.0 : 0.0);
      if (from.DataType() == ftInteger || from.DataType() == ftLargeint) {
        const std::int64_t n = from.AsLargeInt();
        const double d = static_cast<double>(n);
        if (!(d < 9223372036854775808.0) || static_cast<std::int64_t>(d) != n)
          throw EConvertError(std::to_string(n) + " has no exact floating-point value");
        return Variant(d);
      }
      if (from.DataType() == ftString || from.DataType() == ftMemo)
        return Variant(StrToFloat(from.AsString()));
      return Variant(from.AsFloat());
    case ftDateTime:
      if (from.DataType() == ftString || from.DataType() == ftMemo)
        return Variant::FromDateTime(StrToDateTime(from.AsString()));
      return Variant::FromDateTime(from.AsFloat());
    case ftBoolean:
      if (from.DataType() == ftString || from.DataType() == ftMemo)
        return Variant(Variant(from.AsString()).AsBoolean());
      return Variant(from.DataType() == ftBoolean ? from.AsBoolean() : from.AsFloat() != 0);
    default:
      throw EConvertError("no conversion to " + std::string(FieldTypeName(to)));
  }
}

void Store(TField& to, const Variant& v) {
  switch (to.DataType()) {
    case ftString:
    case ftMemo:
    case ftBlob:
      to.SetAsString(v.AsString());
      break;
    case ftInteger:
    case ftLargeint:
      to.SetAsLargeInt(v.AsInt64());
      break;
    case ftFloat:
      to.SetAsFloat(v.AsDouble());
      break;
    case ftDateTime:
      to.SetAsDateTime(v.AsDateTime());
      break;
    case ftBoolean:
      to.SetAsBoolean(v.AsBoolean());
      break;
    default:
      to.SetAsVariant(v);
  }
}

// Whether the value read back from OUT.pdb is the one written.
bool Arrived(const TField& got, const Variant& want, bool single) {
  switch (got.DataType()) {
    case ftString:
    case ftMemo:
    case ftBlob:
      return got.AsString() == want.AsString();
    case ftInteger:
    case ftLargeint:
      return got.AsLargeInt() == want.AsInt64();
    case ftBoolean:
      return got.AsBoolean() == want.AsBoolean();
    case ftFloat: {
      const double g = got.AsFloat();
      double w = want.AsDouble();
      if (single) w = static_cast<double>(static_cast<float>(w));
      return g == w || (std::isnan(g) && std::isnan(w));
    }
    case ftDateTime:
      // Engines count time in seconds or milliseconds: a millisecond is the
      // finest step any of them keeps.
      return std::fabs(got.AsDateTime() - want.AsDateTime()) < 0.5 / 86400000.0;
    default:
      return false;
  }
}

void AddPersistentField(TPDBDataSet& ds, const std::string& name, TFieldType type, int size) {
  switch (type) {
    case ftString:
      ds.NewField<TStringField>(name, size);
      break;
    case ftMemo:
      ds.NewField<TMemoField>(name);
      break;
    case ftBlob:
      ds.NewField<TBlobField>(name);
      break;
    case ftInteger:
      ds.NewField<TIntegerField>(name);
      break;
    case ftLargeint:
      ds.NewField<TLargeintField>(name);
      break;
    case ftFloat:
      ds.NewField<TFloatField>(name);
      break;
    case ftDateTime:
      ds.NewField<TDateTimeField>(name);
      break;
    case ftBoolean:
      ds.NewField<TBooleanField>(name);
      break;
    default:
      throw Exception("field '" + name + "' has a type the dataset cannot hold");
  }
}

// A value as a message shows it: dates as export prints them, texts as UTF-8.
std::string Shown(const TField& f, TextEncoding enc) {
  if (f.IsNull()) return "no value";
  if (f.DataType() == ftDateTime) return FormatDateTime(f.AsDateTime());
  if (f.DataType() == ftBlob) return std::to_string(f.AsString().size()) + " bytes";
  return ToUtf8(f.AsString(), enc);
}

std::string FromOption(const ParsedArgs& args, const char* option, TextEncoding enc) {
  try {
    return FromUtf8(args.Value(option, ""), enc);
  } catch (const EConvertError& e) {
    throw UsageError(std::string(option) + ": " + e.what());
  }
}

// The record a dataset row came from, numbered as export numbers records.
std::string RecordName(std::size_t row, const TAnyEngine& source) {
  const std::size_t first = source.ImplicitField().empty() ? 0 : 1;
  return "record " + std::to_string(row + first);
}

int RunConvert(const ParsedArgs& args, Output& out) {
  if (IsTableConvert(args)) return RunTableConvert(args, out);
  std::unique_ptr<TAnyEngine> source = EngineFromArgs(args);
  const TextEncoding enc = EncodingFromArgs(args);
  const TEngine from_engine = DataSetEngineOf(*source, "convert");
  if (!args.Has("--to")) throw UsageError("missing --to ENGINE");
  std::unique_ptr<TAnyEngine> target = TAnyEngine::Create(args.Value("--to", ""));
  if (!target) throw UsageError("unknown engine '" + args.Value("--to", "") + "' for --to");
  const TEngine to_engine = DataSetEngineOf(*target, "convert");
  const std::string in_path = SingleFileArgument(args);
  if (!args.Has("-o") && !args.Has("--output")) throw UsageError("missing -o OUT.pdb");
  const std::string out_path = args.Has("-o") ? args.Value("-o", "") : args.Value("--output", "");
  std::string out_dir, out_file;
  SplitPdbPath(out_path, out_dir, out_file);

  // The source's fields, checked as export checks them. The dataset then
  // reads the same file from memory, whatever its name (the engine has found
  // it a regular file that can be read).
  DefineReadFields(*source, args, enc);
  source->OpenReadFile(in_path);
  source->CheckFieldsAgainstFile();
  source->Close();
  const std::vector<std::uint8_t> in_image = ReadWholeFile(in_path);

  TPDBDataSet from;
  from.SetWriteOnClose(false);
  from.SetEngine(from_engine);
  DefineDataSetFields(*source, from);
  from.SetSourceImage(in_image, in_path);
  from.Open();

  // The target's fields: each source field under its own name, typed by
  // --to-field or by what it holds.
  std::vector<FieldSpec> overrides = [&] {
    ParsedArgs only;
    for (const auto& [n, v] : args.given) {
      if (n == "--to-field") only.given.emplace_back("--field", v);
    }
    return FieldSpecsFromArgs(only);
  }();
  std::vector<FieldSpec> target_specs;
  std::vector<Column> columns;
  for (TField* f : from.Fields()) {
    const std::string shown = ToUtf8(f->FieldName(), enc);
    FieldSpec target_def{shown, "", std::nullopt};
    bool given = false;
    for (FieldSpec& o : overrides) {
      if (o.name == shown) {
        target_def = o;
        o.name.clear();  // used
        given = true;
      }
    }
    const int i = *source->FieldIndex(f->FieldName());
    if (!given && from_engine == to_engine) {
      // Within one engine every field keeps its type and width.
      target_def.type = std::string(source->FieldType(i).Name);
      if (source->FieldType(i).Sized) target_def.size = source->Field(i).Size;
    } else if (!given) {
      const std::string_view source_type = source->FieldType(i).Name;
      const std::optional<std::string> t = DefaultType(to_engine, f->DataType(), source_type);
      if (!t) {
        throw UsageError("field '" + shown + "' (" + std::string(source_type) +
                         ") has no type of its kind in the " + std::string(target->Name()) +
                         " engine: give --to-field " + shown + ":TYPE");
      }
      target_def.type = *t;
      if (target_def.type == "PDChar") {
        // Wide enough for the longest text, in the even count of slots the driver takes.
        std::int32_t size = source_type == "PDChar" ? source->Field(i).Size : 2;
        for (from.First(); !from.Eof(); from.Next()) {
          size = std::max<std::int32_t>(size, static_cast<std::int32_t>(f->AsString().size()));
        }
        target_def.size = std::min<std::int32_t>(size + (size % 2), kSQLDriverMaxSlots);
      }
    }
    target_specs.push_back(target_def);
  }
  for (const FieldSpec& o : overrides) {
    if (!o.name.empty()) throw UsageError("--to-field: IN.pdb has no field '" + o.name + "'");
  }
  DefineFields(*target, target_specs, enc, true);

  const auto header = [&](const char* option, const std::string& current) {
    return args.Has(option) ? FromOption(args, option, enc) : current;
  };
  // OUT.pdb is what every writing command takes it for: a link is followed
  // to the file it names, with the same refusals.
  pdb::WriteTarget target_file;
  if (const pdb::TargetRefusal refusal = pdb::ResolveWriteTarget(out_path, target_file);
      refusal.refused()) {
    throw EInOutError("cannot write '" + out_path + "': " + refusal.reason, refusal.system_error);
  }
  // OUT.pdb is written and checked in memory, and only then put in place:
  // nothing on disk until the checked bytes are written (a killed convert
  // leaves nothing behind).
  // Written through E2's dataset.
  std::vector<std::vector<Variant>> wanted;
  Bytes image;
  {
    TPDBDataSet to;
    to.SetEngine(to_engine);
    DefineDataSetFields(*target, to);
    to.SetDirectory(out_dir);
    to.SetPDBFilename(out_file);
    to.SetWriteToMemory(true);
    to.SetDBName(header("--name", from.DatabaseName()));
    if (args.Has("--name")) to.AppForgeEngine().SetNameFromFile(false);  // used for AppForge only
    to.SetCreatorID(header("--creator", from.CreatorID()));
    to.SetDatabaseType(header("--type", from.DatabaseType()));
    to.SetCreationDate(from.CreationDate());
    to.SetCreationDateAsGiven(true);  // IN.pdb's, whatever its year
    to.SetDBFlags(from.GetDBFlags());
    // The fields get the types the dataset gives E2's, texts as wide as the source's.
    {
      TPDBDataSet probe;
      probe.SetWriteOnClose(false);
      probe.SetEngine(to_engine);
      DefineDataSetFields(*target, probe);
      probe.Open();  // no file: an empty table
      for (int i = 0; i < probe.FieldCount(); ++i) {
        TField* p = probe.Fields()[static_cast<std::size_t>(i)];
        TField* s = from.Fields()[static_cast<std::size_t>(i)];
        Column c{s, p->FieldName(), p->DataType(), false};
        const std::string_view type_name =
            target->FieldType(*target->FieldIndex(p->FieldName())).Name;
        c.single = type_name == "PSSingle" || type_name == "NSBSingle" || type_name == "AFSingle" ||
                   type_name == "PDFloat";
        int size = p->Size();
        if (c.to_type == ftString) size = std::max({size, s->Size(), kDataSetTextSize});
        if (c.to_type == ftString && s->DataType() == ftMemo) c.to_type = ftMemo;
        AddPersistentField(to, c.name, c.to_type, size);
        columns.push_back(c);
      }
      probe.Close();
    }
    to.Open();
    std::size_t row = 0;
    for (from.First(); !from.Eof(); from.Next(), ++row) {
      to.Append();
      std::vector<Variant> values;
      for (const Column& c : columns) {
        try {
          Variant v = Converted(*c.from, c.to_type);
          Store(to.FieldByName(c.name), v);
          values.push_back(std::move(v));
        } catch (const std::exception& e) {
          to.Cancel();
          to.SetWriteOnClose(false);
          throw Exception(RecordName(row, *source) + ", field '" + ToUtf8(c.name, enc) +
                          "': " + e.what());
        }
      }
      to.Post();
      wanted.push_back(std::move(values));
    }
    try {
      to.Close();
    } catch (const std::exception& e) {
      to.SetWriteOnClose(false);
      if (to.FailedRow() == 0) throw;
      std::string what = e.what();
      // The dataset's own refusal names its row; the record of IN.pdb is what counts here.
      if (what.rfind("Row ", 0) == 0 || what.rfind("Linha ", 0) == 0) {
        const std::size_t at = what.find("': ");
        if (at != std::string::npos) what = what.substr(at + 3);
      }
      const std::string where =
          RecordName(static_cast<std::size_t>(to.FailedRow() - 1), *source) +
          (to.FailedField().empty() ? "" : ", field '" + ToUtf8(to.FailedField(), enc) + "'");
      if (const auto* pdb = dynamic_cast<const EPDBException*>(&e)) {
        throw EPDBException(pdb->ErrorCode(), where + ": " + what);
      }
      throw Exception(where + ": " + what);
    }
    image = to.TakeWrittenImage();
  }

  // Read back through E2: every value must be there as written.
  {
    TPDBDataSet check;
    check.SetWriteOnClose(false);
    check.SetEngine(to_engine);
    DefineDataSetFields(*target, check);
    check.SetDirectory(out_dir);
    check.SetPDBFilename(out_file);
    check.SetSourceImage(image);
    check.Open();
    if (check.RecordCount() != static_cast<int>(wanted.size())) {
      throw Exception("OUT.pdb reads back " + std::to_string(check.RecordCount()) +
                      " records, not " + std::to_string(wanted.size()));
    }
    std::size_t row = 0;
    from.First();
    for (check.First(); !check.Eof(); check.Next(), from.Next(), ++row) {
      for (std::size_t i = 0; i < columns.size(); ++i) {
        const Column& c = columns[i];
        const TField& got = check.FieldByName(c.name);
        if (!Arrived(got, wanted[row][i], c.single)) {
          const std::string type_name(target->FieldType(*target->FieldIndex(c.name)).Name);
          throw Exception(RecordName(row, *source) + ", field '" + ToUtf8(c.name, enc) +
                          "': " + Shown(*c.from, enc) + " does not survive as " + type_name +
                          " (it reads back as " + Shown(got, enc) + ")");
        }
      }
    }
    check.Close();
  }
  from.Close();

  TCorvane writer;
  writer.WriteImageFile(out_path, image);
  return kExitOk;
}

}  // namespace

const Command kConvertCommand = {"convert",
                                 "read a database through one engine and write it through another",
                                 kHelp, kOptions, RunConvert};

}  // namespace corvane::cli
