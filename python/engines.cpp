// corvane.engines: the records of a database decoded through one of the
// engines' field lists into dicts of Python values, and new databases written
// from such dicts, by the code the command's export and import use.
#include <pybind11/stl.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "corvane/engines/any_engine.h"
#include "corvane/foundation/exception.h"
#include "corvane/host/exceptions.h"
#include "corvane/interchange/values.h"
#include "corvane/pdb/resource_list.h"
#include "python/bindings.h"
#include "python/database.h"
#include "tools/cli.h"
#include "tools/engine_options.h"

namespace corvane::python {

namespace {

using cli::TextEncoding;

TextEncoding EncodingFrom(const std::string& name) {
  TextEncoding enc = TextEncoding::kWindows1252;
  if (!cli::ParseTextEncoding(name, enc)) {
    throw py::value_error("unknown encoding '" + name + "' (cp1252, latin1 or utf8)");
  }
  return enc;
}

std::unique_ptr<TAnyEngine> MakeEngine(const std::string& name) {
  std::unique_ptr<TAnyEngine> engine = TAnyEngine::Create(name);
  if (engine) return engine;
  std::string names;
  for (std::string_view n : TAnyEngine::EngineNames()) names += (names.empty() ? "" : ", ") + std::string(n);
  throw py::value_error("unknown engine '" + name + "' (" + names + ")");
}

// A field is (name, type), (name, type, size) or a dict with those keys (the
// shape of the "fields" of the command's JSON).
std::vector<cli::FieldSpec> FieldDefsFrom(const py::handle& fields) {
  std::vector<cli::FieldSpec> defs;
  if (fields.is_none()) return defs;
  if (py::isinstance<py::str>(fields)) throw py::type_error("fields: a list of (name, type) pairs");
  for (const py::handle item : py::iter(fields)) {
    cli::FieldSpec s;
    py::object size = py::none();
    if (py::isinstance<py::dict>(item)) {
      const auto d = py::reinterpret_borrow<py::dict>(item);
      if (!d.contains("name") || !d.contains("type")) {
        throw py::value_error("a field dict needs a 'name' and a 'type'");
      }
      s.name = py::cast<std::string>(d["name"]);
      s.type = py::cast<std::string>(d["type"]);
      if (d.contains("size")) size = d["size"];
    } else {
      const auto t = py::cast<py::tuple>(py::tuple(py::reinterpret_borrow<py::object>(item)));
      if (t.size() != 2 && t.size() != 3) {
        throw py::value_error("a field is (name, type) or (name, type, size)");
      }
      s.name = py::cast<std::string>(t[0]);
      s.type = py::cast<std::string>(t[1]);
      if (t.size() == 3) size = t[2];
    }
    if (!size.is_none()) {
      const long long n = py::cast<long long>(size);
      if (n < 0 || n > 0x7FFFFFFF) throw py::value_error("field '" + s.name + "': size out of range");
      s.size = static_cast<std::int32_t>(n);
    }
    defs.push_back(std::move(s));
  }
  return defs;
}

void DefineFields(TAnyEngine& engine, const std::vector<cli::FieldSpec>& defs, TextEncoding enc) {
  try {
    cli::DefineFields(engine, defs, enc, true);
  } catch (const cli::UsageError& e) {
    throw py::value_error(e.what());
  }
}

// ---- reading

// One value as read, its text (when it has one) kept beyond the record.
struct Cell {
  TAnyValueView view;
  std::string text;
};

struct Table {
  std::vector<std::string> names;  // UTF-8
  std::vector<TAnyFieldType> types;
  std::vector<Cell> cells;  // names.size() per record
  std::vector<TRecordEntry> entries;
};

// The current record's values; a value that does not read (a text no
// character set has, a date no calendar has) names its record and field.
void RecordView(const TAnyEngine& engine, const std::vector<std::string>& names,
                std::vector<TAnyValueView>& views, std::vector<std::string>& scratch) {
  try {
    engine.RecordView(views, scratch);
  } catch (const std::exception&) {
    for (std::size_t i = 0; i < names.size(); ++i) {
      try {
        (void)engine.ValueView(static_cast<int>(i), scratch[i]);
      } catch (const std::exception& e) {
        throw Exception("record " + std::to_string(engine.RecordIndex()) + ", field '" + names[i] +
                        "': " + e.what());
      }
    }
    throw;
  }
}

// Every record not deleted, checked as export checks it (the fields must
// take the whole record). Runs without the interpreter's lock.
Table ReadTable(TAnyEngine& engine, TextEncoding enc) {
  Table t;
  engine.CheckFieldsAgainstFile();
  const int n = engine.FieldCount();
  for (int i = 0; i < n; ++i) {
    t.names.push_back(cli::FieldDisplayName(engine, i, enc));
    t.types.push_back(engine.FieldType(i));
  }
  std::vector<TAnyValueView> views(t.names.size());
  std::vector<std::string> scratch(t.names.size());
  while (cli::NextWholeRecord(engine)) {
    RecordView(engine, t.names, views, scratch);
    for (std::size_t i = 0; i < views.size(); ++i) {
      Cell& c = t.cells.emplace_back();
      c.view = views[i];
      const TValueKind kind = t.types[i].Kind;
      if (kind == TValueKind::Text || kind == TValueKind::Binary) {
        c.text.assign(views[i].Text);
        c.view.Text = {};
      }
    }
    const std::optional<TRecordEntry> e = engine.Manager().GetRecInFile(engine.RecordIndex());
    t.entries.push_back(e ? *e : TRecordEntry());
  }
  engine.Close();
  return t;
}

py::object CellToPython(const Cell& c, const TAnyFieldType& type, TextEncoding enc) {
  static const py::handle decimal = Imported("decimal", "Decimal");
  static const py::handle date = Imported("datetime", "date");
  static const py::handle time = Imported("datetime", "time");
  const TAnyValueView& v = c.view;
  switch (type.Kind) {
    case TValueKind::Integer:
    case TValueKind::Unsigned:
      return py::reinterpret_steal<py::object>(PyLong_FromLongLong(v.Integer));
    case TValueKind::Float:
      // A single-precision value as the shortest decimal that reads back as
      // it (0.2, not 0.20000000298023224), as export prints it.
      if (type.Single && std::isfinite(v.Float)) return py::float_(std::stod(cli::FormatFloat(v.Float, true)));
      return py::float_(v.Float);
    case TValueKind::Currency:
      return decimal(cli::FormatCurrency(v.Amount));
    case TValueKind::Boolean:
      return py::bool_(v.Flag);
    case TValueKind::Text: {
      // A wide character arrives as UTF-8 already, whatever the encoding.
      const std::string utf8 = type.Wide ? c.text : cli::ToUtf8(c.text, enc);
      return py::reinterpret_steal<py::object>(
          PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "replace"));
    }
    case TValueKind::Binary:
      return py::bytes(c.text);
    case TValueKind::DateTime:
      return DateToPython(v.When);
    case TValueKind::Date: {
      if (v.When == 0) return py::none();
      const DateParts d = DecodeDate(v.When);
      return date(d.year, d.month, d.day);
    }
    case TValueKind::Time: {
      const TimeParts t = DecodeTime(v.When);
      return time(t.hour, t.minute, t.second, t.msec * 1000);
    }
  }
  return py::none();
}

py::list TableToPython(const Table& t, TextEncoding enc) {
  const std::size_t n = t.names.size();
  std::vector<py::str> keys;
  for (const std::string& name : t.names) keys.emplace_back(name);
  // The attributes as export writes them beside the fields, unless a field
  // has that name.
  const auto free_key = [&](std::string_view key) {
    for (const std::string& name : t.names) {
      if (name == key) return false;
    }
    return true;
  };
  const bool category_key = free_key(cli::kCategoryKey), flags_key = free_key(cli::kFlagsKey),
             unique_id_key = free_key(cli::kUniqueIDKey);
  py::list out;
  for (std::size_t r = 0; r < t.entries.size(); ++r) {
    py::dict row;
    for (std::size_t i = 0; i < n; ++i) row[keys[i]] = CellToPython(t.cells[r * n + i], t.types[i], enc);
    const TRecordEntry& e = t.entries[r];
    if (category_key) row[py::str(cli::kCategoryKey)] = e.Category;
    if (flags_key) {
      py::list flags;
      cli::ForEachRecordFlagName(e.Flags, [&](std::string_view f) {
        if (f != "delete") flags.append(py::str(f));
      });
      row[py::str(cli::kFlagsKey)] = flags;
    }
    if (unique_id_key) row[py::str(cli::kUniqueIDKey)] = e.UniqueID;
    out.append(row);
  }
  return out;
}

// Bytes marked as a resource database: corvane.Error when they are not a
// sound one either, else ValueError, as they hold no records.
[[noreturn]] void RefuseResourceDatabase(const Bytes& bytes, const std::string& name) {
  try {
    (void)pdb::ReadResourceDatabase(bytes, 0);
  } catch (EPDBException& e) {
    if (e.Path().empty()) e.WithPath(name);
    throw;
  }
  throw py::value_error("a resource database holds no records");
}

py::list Read(const py::object& source, const std::string& engine_name, const py::object& fields,
              const std::string& encoding) {
  const TextEncoding enc = EncodingFrom(encoding);
  std::unique_ptr<TAnyEngine> engine = MakeEngine(engine_name);
  const std::vector<cli::FieldSpec> defs = FieldDefsFrom(fields);
  if (engine->FieldsFromFile() && !defs.empty()) {
    throw py::value_error("the " + std::string(engine->Name()) +
                          " engine takes its fields from the file: no fields");
  }
  if (!engine->FieldsFromFile() && defs.empty()) {
    throw py::value_error(std::string(engine->Name()) + " files do not name their fields: give fields");
  }
  DefineFields(*engine, defs, enc);
  Table table;
  if (py::isinstance<py::str>(source) || py::hasattr(source, "__fspath__")) {
    const std::string path = py::module_::import("os").attr("fsdecode")(source).cast<std::string>();
    py::gil_scoped_release unlocked;
    if (cli::IsResourceFile(path)) RefuseResourceDatabase(ReadFile(path), path);
    engine->OpenReadFile(path);
    table = ReadTable(*engine, enc);
  } else {
    const std::string copy = BytesFromPython(source, "the database");
    Bytes bytes(copy.begin(), copy.end());
    py::gil_scoped_release unlocked;
    if (pdb::IsResourceDatabase(bytes)) RefuseResourceDatabase(bytes, "<bytes>");
    engine->OpenReadBytes(std::move(bytes), "<bytes>");
    table = ReadTable(*engine, enc);
  }
  return TableToPython(table, enc);
}

// ---- writing

// A Python value as the Variant SetValue takes for the field's kind; the
// engine then checks that the record keeps it as given.
Variant ValueFromPython(const py::handle& value, const TAnyFieldType& type, TextEncoding enc) {
  static const py::handle decimal = Imported("decimal", "Decimal");
  static const py::handle date = Imported("datetime", "date");
  static const py::handle time = Imported("datetime", "time");
  const auto refuse = [&](const char* expected) -> Variant {
    throw py::type_error(std::string("expected ") + expected + " for " + std::string(type.Name) +
                         ", not " + py::str(py::type::of(value).attr("__name__")).cast<std::string>());
  };
  const bool is_bool = py::isinstance<py::bool_>(value);
  switch (type.Kind) {
    case TValueKind::Integer:
    case TValueKind::Unsigned:
      if (py::isinstance<py::int_>(value) && !is_bool) {
        int overflow = 0;
        const long long n = PyLong_AsLongLongAndOverflow(value.ptr(), &overflow);
        if (overflow != 0) throw py::value_error("the number is out of range for " + std::string(type.Name));
        return Variant(n);
      }
      if (py::isinstance<py::float_>(value)) return Variant(value.cast<double>());
      return refuse("an int");
    case TValueKind::Float:
      if ((py::isinstance<py::int_>(value) && !is_bool) || py::isinstance<py::float_>(value)) {
        return Variant(py::cast<double>(py::float_(py::reinterpret_borrow<py::object>(value))));
      }
      return refuse("a float");
    case TValueKind::Currency:
      // A Decimal or a text goes in exactly, without a float between.
      if (py::isinstance(value, decimal)) return Variant(py::str(py::str("{:f}").attr("format")(value)).cast<std::string>());
      if (py::isinstance<py::str>(value)) return Variant(value.cast<std::string>());
      if (py::isinstance<py::int_>(value) && !is_bool) return Variant(value.cast<long long>());
      if (py::isinstance<py::float_>(value)) return Variant(value.cast<double>());
      return refuse("a Decimal, int, float or str");
    case TValueKind::Boolean:
      if (is_bool) return Variant(value.cast<bool>());
      return refuse("a bool");
    case TValueKind::Text:
      if (py::isinstance<py::str>(value)) {
        const std::string utf8 = value.cast<std::string>();
        if (type.Wide) return Variant(utf8);
        try {
          return Variant(cli::FromUtf8(utf8, enc));
        } catch (const EConvertError& e) {
          throw py::value_error(e.what());
        }
      }
      // The stored bytes as they are.
      if (py::isinstance<py::bytes>(value) && !type.Wide) return Variant(value.cast<std::string>());
      return refuse("a str");
    case TValueKind::Binary:
      if (PyObject_CheckBuffer(value.ptr())) return Variant(BytesFromPython(value, "a binary value"));
      return refuse("bytes");
    case TValueKind::DateTime:
    case TValueKind::Date:
      if (value.is_none()) return Variant::FromDateTime(0);
      if (py::isinstance(value, date)) return Variant::FromDateTime(DateFromPython(value));
      return refuse("a datetime, a date or None");
    case TValueKind::Time:
      if (value.is_none()) return Variant::FromDateTime(0);
      if (py::isinstance(value, time)) {
        return Variant::FromDateTime(EncodeTime(value.attr("hour").cast<int>(), value.attr("minute").cast<int>(),
                                                value.attr("second").cast<int>(),
                                                value.attr("microsecond").cast<int>() / 1000));
      }
      return refuse("a time or None");
  }
  return refuse("a value");
}

// A record's "category" (0 to 15), "flags" (names among secret, busy and
// dirty) or "uniqueID" (0 to 0xFFFFFF), checked as import checks them.
void AttributeFromPython(const std::string& key, const py::handle& value,
                         cli::RecordAttributes& out, const std::string& where) {
  std::string cell;
  if (key == cli::kFlagsKey) {
    if (py::isinstance<py::str>(value)) throw py::type_error(where + ": flags is a list of names");
    for (const py::handle f : py::iter(value)) {
      if (!py::isinstance<py::str>(f)) throw py::type_error(where + ": flags is a list of names");
      const std::string name = f.cast<std::string>();
      if (name.find(',') != std::string::npos) throw py::value_error(where + ": no flag '" + name + "'");
      cell += (cell.empty() ? "" : ",") + name;
    }
  } else {
    if (!py::isinstance<py::int_>(value) || py::isinstance<py::bool_>(value)) {
      throw py::type_error(where + ": " + key + " is an int");
    }
    cell = py::str(value).cast<std::string>();
  }
  try {
    cli::AttributeFromCsv(key, cell, out);
  } catch (const EConvertError& e) {
    throw py::value_error(where + ": " + e.what());
  }
}

// The rows as values, `width` per record (the implicit field's left empty),
// and their attributes.
struct Rows {
  std::vector<Variant> values;
  std::vector<cli::RecordAttributes> attributes;
};

Rows RowsFromPython(const py::handle& rows, const TAnyEngine& engine, TextEncoding enc) {
  const int n = engine.FieldCount();
  std::vector<std::string> names;
  std::vector<int> given;  // the fields a sequence gives, in order
  for (int i = 0; i < n; ++i) {
    names.push_back(cli::FieldDisplayName(engine, i, enc));
    if (names.back() != engine.ImplicitField()) given.push_back(i);
  }
  Rows out;
  std::size_t r = 0;
  for (const py::handle row : py::iter(rows)) {
    const std::string where = "record " + std::to_string(r);
    const std::size_t base = out.values.size();
    out.values.resize(base + static_cast<std::size_t>(n));
    cli::RecordAttributes& attributes = out.attributes.emplace_back();
    const auto set = [&](int i, const py::handle& value) {
      try {
        out.values[base + static_cast<std::size_t>(i)] =
            ValueFromPython(value, engine.FieldType(i), enc);
      } catch (py::builtin_exception& e) {
        const std::string what = where + ", field '" + names[static_cast<std::size_t>(i)] + "': " + e.what();
        if (dynamic_cast<py::type_error*>(&e) != nullptr) throw py::type_error(what);
        throw py::value_error(what);
      }
    };
    if (py::isinstance<py::dict>(row)) {
      std::vector<bool> seen(static_cast<std::size_t>(n), false);
      for (const auto& [k, value] : py::reinterpret_borrow<py::dict>(row)) {
        const std::string key = py::cast<std::string>(k);
        int i = 0;
        while (i < n && names[static_cast<std::size_t>(i)] != key) ++i;
        if (i == n && (key == cli::kCategoryKey || key == cli::kFlagsKey || key == cli::kUniqueIDKey)) {
          AttributeFromPython(key, value, attributes, where);
          continue;
        }
        if (i == n) throw py::value_error(where + ": '" + key + "' is no field");
        seen[static_cast<std::size_t>(i)] = true;
        if (names[static_cast<std::size_t>(i)] != engine.ImplicitField()) set(i, value);
      }
      for (int i : given) {
        if (!seen[static_cast<std::size_t>(i)]) {
          throw py::value_error(where + ": no value for field '" + names[static_cast<std::size_t>(i)] + "'");
        }
      }
    } else if (!py::isinstance<py::str>(row) && !py::isinstance<py::bytes>(row) &&
               py::isinstance<py::sequence>(row)) {
      const auto seq = py::reinterpret_borrow<py::sequence>(row);
      if (seq.size() != given.size()) {
        throw py::value_error(where + ": " + std::to_string(seq.size()) + " values for " +
                              std::to_string(given.size()) + " fields");
      }
      for (std::size_t k = 0; k < given.size(); ++k) set(given[k], seq[k]);
    } else {
      throw py::type_error(where + ": a record is a dict or a sequence of values");
    }
    ++r;
  }
  return out;
}

py::object Write(const py::object& path, const std::string& engine_name, const py::object& fields,
                 const py::object& rows, const py::object& name, const py::object& type,
                 const py::object& creator, const std::string& encoding, const py::object& attributes,
                 int version, const py::object& created, const py::object& modified,
                 const py::object& backed_up, std::uint32_t modification_number,
                 std::uint32_t unique_id_seed, const py::object& categories,
                 const py::object& app_info, const py::object& sort_info) {
  const TextEncoding enc = EncodingFrom(encoding);
  std::unique_ptr<TAnyEngine> engine = MakeEngine(engine_name);
  DefineFields(*engine, FieldDefsFrom(fields), enc);
  if (engine->FieldCount() == 0) throw py::value_error("no fields to write");
  const std::shared_ptr<DatabaseData> header = NewDatabase(
      name, type, creator, attributes, version, created, modified, backed_up, categories, app_info, sort_info);
  header->modification_number = modification_number;
  header->unique_id_seed = unique_id_seed;
  // AppForge builds its block from its fields and categories, Java from the
  // database name: a block given would be lost.
  const bool engine_builds_app_info = engine->FieldsFromFile() || engine->Name() == "java";
  if (!header->app_info.empty() && engine_builds_app_info) {
    throw py::value_error("the " + std::string(engine->Name()) +
                          " engine builds its own application-info block: no app_info");
  }
  if (!header->app_info.empty() && header->write_categories) {
    throw py::value_error("categories and app_info: put the category table into app_info");
  }
  if (!header->sort_info.empty() && engine->Name() == "generic") {
    throw py::value_error("the generic engine writes no sort-info block: no sort_info");
  }
  // The table goes into AppForge's own block, not before it.
  if (engine->FieldsFromFile()) header->write_categories = false;
  const Rows values = RowsFromPython(rows, *engine, enc);
  std::string target;
  if (!path.is_none()) target = py::module_::import("os").attr("fsdecode")(path).cast<std::string>();

  Bytes image;
  {
    py::gil_scoped_release unlocked;
    TPDBBaseMgr& db = engine->Manager();
    db.SetStoredDBName(header->name);
    db.SetCreatorID(header->creator);
    db.SetDatabaseType(header->type);
    if (target.empty()) {
      // AppForge names the header after the file, the table after the
      // database; in memory the database's name serves for both.
      if (engine->FieldsFromFile()) db.SetPDBFilename(header->name + ".pdb");
      engine->CreateInMemory(header->name);
    } else {
      const std::filesystem::path p(target);
      engine->CreateFile(p.has_parent_path() ? p.parent_path().string() : std::string("."),
                         p.filename().string());
    }
    try {
      SetHeader(*header, db);
      if (engine->FieldsFromFile() && !header->categories.empty()) {
        for (std::size_t i = 0; i < header->categories.size(); ++i) {
          db.SetCategory(static_cast<std::uint8_t>(i), header->categories[i].second);
          db.SetCategoryID(static_cast<std::uint8_t>(i), header->categories[i].first);
        }
      }
      const std::size_t width = static_cast<std::size_t>(engine->FieldCount());
      for (std::size_t r = 0; r < values.attributes.size(); ++r) {
        const cli::RecordAttributes& a = values.attributes[r];
        try {
          engine->AppendRecord(std::span<const Variant>(values.values).subspan(r * width, width),
                               a.category, a.flags, a.unique_id);
        } catch (const EConvertError& e) {
          throw py::value_error("record " + std::to_string(r) + ", " + e.what());
        } catch (const EPDBException& e) {
          throw EPDBException(e.ErrorCode(), "record " + std::to_string(r) + ", " + e.what());
        }
      }
      engine->Close();
    } catch (...) {
      engine->Abort();
      throw;
    }
    if (target.empty()) image = db.TakeWrittenImage();
  }
  if (!target.empty()) return py::none();
  return py::bytes(reinterpret_cast<const char*>(image.data()), image.size());
}

}  // namespace

void RegisterEngines(py::module_& m) {
  py::module_ engines = m.def_submodule(
      "engines",
      "Databases of the development tools' typed records (appforge, pocketstudio,\n"
      "nsbasic, java, sqldriver) and of the generic layout: records as dicts of Python\n"
      "values by a field list, as `corvane export --engine` decodes them.");
  std::vector<std::string> names(TAnyEngine::EngineNames().begin(), TAnyEngine::EngineNames().end());
  engines.attr("ENGINES") = py::tuple(py::cast(names));
  engines.def("read", &Read, py::arg("source"), py::arg("engine"), py::arg("fields") = py::none(),
              py::kw_only(), py::arg("encoding") = "cp1252",
              "The records of a database (a path or its bytes) that are not deleted, each a dict\n"
              "of its fields' values by field name, plus 'category' (0-15), 'flags' (a list of\n"
              "'secret', 'busy', 'dirty') and 'uniqueID' unless a field has that name.\n"
              "fields: (name, type) or (name, type, size) tuples, or dicts with those keys, type\n"
              "the engine's own name (AFLong, PSString, NSBDate, JInt, PDChar, pdtPSUInt32, ...);\n"
              "AppForge files list their fields themselves (no fields). Values: int, float,\n"
              "decimal.Decimal (amounts), bool, str (texts by encoding: cp1252, latin1, utf8),\n"
              "bytes (binary), datetime / date / time by the field's type, None for no date.\n"
              "Raises corvane.Error when a record does not match the fields.");
  engines.def("write", &Write, py::arg("path"), py::arg("engine"), py::arg("fields"),
              py::arg("rows"), py::kw_only(), py::arg("name"), py::arg("type"), py::arg("creator"),
              py::arg("encoding") = "cp1252", py::arg("attributes") = py::none(),
              py::arg("version") = 0, py::arg("created") = py::none(),
              py::arg("modified") = py::none(), py::arg("backed_up") = py::none(),
              py::arg("modification_number") = 0, py::arg("unique_id_seed") = 0,
              py::arg("categories") = py::none(), py::arg("app_info") = py::none(),
              py::arg("sort_info") = py::none(),
              "Writes a new database of the rows through the engine, to path (a .pdb file,\n"
              "replaced only once complete) or, when path is None, into bytes it returns.\n"
              "fields as for read() (AppForge too); rows: dicts as read() gives them ('category',\n"
              "'flags' and 'uniqueID' optional; the SQL Driver's RowID is numbered by the\n"
              "engine) or sequences of the values in field order (RowID left out). The header\n"
              "arguments are those of Database.new(). ValueError or TypeError names the record\n"
              "and field of a value the record would not keep as given.");
}

}  // namespace corvane::python
