// corvane.apps: the handheld applications' records as dicts with the keys of
// the command's JSON export, through the same code the command uses.
#include <pybind11/stl.h>

#include <cmath>
#include <functional>
#include <optional>
#include <string>

#include "corvane/apps/doc.h"
#include "corvane/foundation/exception.h"
#include "corvane/foundation/message_ids.h"
#include "corvane/interchange/app_charset.h"
#include "corvane/interchange/apps_json.h"
#include "corvane/interchange/pim_formats.h"
#include "corvane/interchange/values.h"
#include "corvane/pdb/file_format.h"
#include "python/bindings.h"
#include "python/database.h"
#include "tools/apps_import.h"
#include "tools/cli.h"

namespace corvane::python {

namespace {

py::object ToPython(const cli::JsonValue& v) {
  using Kind = cli::JsonValue::Kind;
  switch (v.kind) {
    case Kind::kNull:
      return py::none();
    case Kind::kBool:
      return py::bool_(v.boolean);
    case Kind::kNumber:
      // The writer prints integers without a fraction or exponent.
      if (v.text.find_first_of(".eE") == std::string::npos) {
        return py::reinterpret_steal<py::object>(PyLong_FromString(v.text.c_str(), nullptr, 10));
      }
      return py::float_(std::stod(v.text));
    case Kind::kString:
      return py::str(v.text.data(), v.text.size());
    case Kind::kArray: {
      py::list out;
      for (const cli::JsonValue& item : v.items) out.append(ToPython(item));
      return out;
    }
    case Kind::kObject: {
      py::dict out;
      for (const cli::JsonMember& m : v.members) out[py::str(m.first)] = ToPython(m.second);
      return out;
    }
  }
  return py::none();
}

cli::App ChooseApp(const DatabaseData& d, const std::optional<std::string>& name) {
  if (!name) return cli::AppFromHeader(d.creator, d.type);
  const cli::AppIdentity* id = cli::AppByName(*name);
  if (id == nullptr) throw py::value_error("unknown application '" + *name + "'");
  return id->app;
}

std::unique_ptr<cli::Charset> MakeCharset(const std::string& encoding) {
  try {
    return std::make_unique<cli::Charset>(encoding);
  } catch (const cli::UsageError& e) {
    throw py::value_error(e.what());
  }
}

cli::AppRecordAttributes AttributesOf(const RecordSlot& r) {
  cli::AppRecordAttributes attributes;
  attributes.category = r.category;
  attributes.secret = r.flags.Contains(dmRecAttrSecret);
  attributes.busy = r.flags.Contains(dmRecAttrBusy);
  attributes.dirty = r.flags.Contains(dmRecAttrDirty);
  attributes.uniqueID = r.unique_id;
  // A deleted record is kept, so that encode writes the same record list
  // back; one archived (category bit 0x08) with its data.
  if (r.flags.Contains(dmRecAttrDelete)) {
    attributes.archived = (r.category & pdb::kArchivedCategoryBit) != 0;
    attributes.deleted = !attributes.archived;
    if (attributes.archived) attributes.category &= 0x07;
  }
  return attributes;
}

// Calls each(bytes, attributes) for every record, deleted ones too when
// `deleted` (the JSON keeps them; vCard and iCalendar leave them out), after
// reading the categories of the application-info block. Runs without the
// interpreter's lock.
template <class Each>
void ForEachRecord(const DatabaseData& d, cli::App app, const cli::Charset& cs,
                             apps::CategoryInfo& categories, bool deleted, Each each) {
  categories = apps::CategoryInfo::Standard();
  if (!d.app_info.empty() || app == cli::App::kRaw) {
    cli::AppInfoToJson(app, d.app_info, cs, categories);
  }
  for (const RecordSlot& r : d.records) {
    if (!deleted && r.flags.Contains(dmRecAttrDelete)) continue;
    const cli::AppRecordAttributes a = AttributesOf(r);
    // A deleted record has no data in a file (one built here may still hold some).
    each(std::span<const std::uint8_t>(d.arena.data() + r.start, a.deleted ? 0 : r.size), a);
  }
}

void CheckRecordDatabase(const DatabaseData& d) {
  if (d.is_resource) throw py::value_error("a resource database holds no application records");
}

py::list Decode(const DatabaseData& d, const std::optional<std::string>& app_name,
                const std::string& encoding) {
  CheckRecordDatabase(d);
  const cli::App app = ChooseApp(d, app_name);
  const auto cs = MakeCharset(encoding);
  std::vector<cli::JsonValue> rows;
  {
    py::gil_scoped_release unlocked;
    apps::CategoryInfo categories;
    rows.reserve(d.records.size());
    ForEachRecord(d, app, *cs, categories, true, [&](auto bytes, const cli::AppRecordAttributes& a) {
      rows.push_back(cli::RecordToJson(app, bytes, a, categories, *cs));
    });
  }
  py::list out;
  for (const cli::JsonValue& row : rows) out.append(ToPython(row));
  return out;
}

// The application-info block as the export's "appInfo" (None without one).
py::object AppInfo(const DatabaseData& d, const std::optional<std::string>& app_name,
                   const std::string& encoding) {
  CheckRecordDatabase(d);
  const cli::App app = ChooseApp(d, app_name);
  const auto cs = MakeCharset(encoding);
  cli::JsonValue info;
  {
    py::gil_scoped_release unlocked;
    apps::CategoryInfo categories = apps::CategoryInfo::Standard();
    if (!d.app_info.empty() || app == cli::App::kRaw) info = cli::AppInfoToJson(app, d.app_info, *cs, categories);
  }
  return ToPython(info);
}

// The records in one of the formats other programs import, as the command's
// export --format writes them.
py::str Export(const DatabaseData& d, const std::string& format, const std::string& encoding) {
  CheckRecordDatabase(d);
  const cli::App app = cli::AppFromHeader(d.creator, d.type);
  const bool fits = format == "vcard"
                        ? app == cli::App::kAddress || app == cli::App::kContacts
                        : app == cli::App::kDatebook || app == cli::App::kToDo ||
                              app == cli::App::kCalendar || app == cli::App::kTasks;
  if (!fits) {
    throw py::value_error(format == "vcard" ? "vCard is made of an address book"
                                            : "iCalendar is made of a date book or a to-do list");
  }
  const auto cs = MakeCharset(encoding);
  cli::Output out(nullptr);  // collects the text; never flushed
  {
    py::gil_scoped_release unlocked;
    apps::CategoryInfo categories;
    std::optional<cli::PimWriter> writer;
    ForEachRecord(d, app, *cs, categories, false, [&](auto bytes, const cli::AppRecordAttributes& a) {
      if (!writer) writer.emplace(format, app, d.creator, *cs, categories, out);
      writer->Add(bytes, a);
    });
    if (!writer) writer.emplace(format, app, d.creator, *cs, categories, out);
    writer->Finish();
  }
  return py::str(out.Buffer().data(), out.Buffer().size());
}

// Python values as the JSON the command's import reads: dicts, lists and
// tuples, str, int, float, bool and None (bytes as hexadecimal).
cli::JsonValue ToJson(const py::handle& v, int depth = 0) {
  using Kind = cli::JsonValue::Kind;
  if (depth > 64) throw py::value_error("the records nest too deeply");
  cli::JsonValue out;
  if (v.is_none()) return out;
  if (py::isinstance<py::bool_>(v)) {
    out.kind = Kind::kBool;
    out.boolean = v.cast<bool>();
  } else if (py::isinstance<py::int_>(v)) {
    out.kind = Kind::kNumber;
    out.text = py::str(v).cast<std::string>();
  } else if (py::isinstance<py::float_>(v)) {
    const double d = v.cast<double>();
    if (!std::isfinite(d)) throw py::value_error("a number must be finite");
    out.kind = Kind::kNumber;
    out.text = py::repr(v).cast<std::string>();
  } else if (py::isinstance<py::str>(v)) {
    out.kind = Kind::kString;
    out.text = v.cast<std::string>();
  } else if (py::isinstance<py::bytes>(v) || py::isinstance<py::bytearray>(v)) {
    out.kind = Kind::kString;
    out.text = py::bytes(py::reinterpret_borrow<py::object>(v)).attr("hex")().cast<std::string>();
  } else if (py::isinstance<py::dict>(v)) {
    out.kind = Kind::kObject;
    for (const auto& [key, value] : py::reinterpret_borrow<py::dict>(v)) {
      if (!py::isinstance<py::str>(key)) throw py::type_error("the keys of a record are str");
      out.members.push_back(cli::JsonMember{key.cast<std::string>(), ToJson(value, depth + 1)});
    }
  } else if (py::isinstance<py::list>(v) || py::isinstance<py::tuple>(v)) {
    out.kind = Kind::kArray;
    for (const py::handle item : v) out.items.push_back(ToJson(item, depth + 1));
  } else {
    throw py::type_error("cannot take a " + py::str(py::type::of(v).attr("__name__")).cast<std::string>() +
                         " into a record (dict, list, str, int, float, bool or None)");
  }
  return out;
}

// Text in the file's character set; ValueError for a character it lacks.
std::optional<std::string> Encoded(const py::object& text, const cli::Charset& cs, const char* what) {
  if (text.is_none()) return std::nullopt;
  try {
    return cs.FromUtf8(py::cast<std::string>(text));
  } catch (const EConvertError& e) {
    throw py::value_error(std::string(what) + ": " + e.what());
  }
}

// Writes the database the command's import --app writes for `in` into
// memory and reads it back, without the interpreter's lock.
std::shared_ptr<DatabaseData> WriteApps(cli::AppsInput& in, const cli::Charset& cs, bool lenient,
                                        const std::function<void(TPDBBaseMgr&)>& header) {
  Bytes image;
  {
    py::gil_scoped_release unlocked;
    cli::ImportChecks checks;
    checks.lenient = lenient;
    in.create = [](TPDBBaseMgr& out) { out.CreateDatabaseInMemory("<memory>"); };
    in.header = header;
    TPDBBaseMgr out;
    try {
      cli::WriteAppsDatabase(in, cs, checks, out);
    } catch (const cli::UsageError& e) {
      throw py::value_error(e.what());
    }
    image = out.TakeWrittenImage();
  }
  py::gil_scoped_release unlocked;
  return ReadDatabase(std::move(image), "<memory>");
}

// The header values given as arguments (None: not given), over the input's.
std::function<void(TPDBBaseMgr&)> HeaderSetter(const py::object& attributes, const py::object& version,
                                               const py::object& created, const py::object& modified,
                                               const py::object& backed_up,
                                               const py::object& modification_number) {
  std::optional<std::uint16_t> a, v;
  std::optional<TDateTime> c, m, b;
  std::optional<std::uint32_t> n;
  if (!attributes.is_none()) a = AttributesFromPython(attributes);
  if (!version.is_none()) {
    const long long x = version.cast<long long>();
    if (x < 0 || x > 0xFFFF) throw py::value_error("version must fit in 16 bits");
    v = static_cast<std::uint16_t>(x);
  }
  if (!created.is_none()) c = DateFromPython(created);
  if (!modified.is_none()) m = DateFromPython(modified);
  if (!backed_up.is_none()) b = DateFromPython(backed_up);
  if (!modification_number.is_none()) {
    const long long x = modification_number.cast<long long>();
    if (x < 0 || x > 0xFFFFFFFFLL) throw py::value_error("modification_number must fit in 32 bits");
    n = static_cast<std::uint32_t>(x);
  }
  return [=](TPDBBaseMgr& out) {
    if (a) out.SetAttributes(*a);
    if (v) out.SetDBVersion(*v);
    if (c) out.SetCreationDate(*c);
    if (m) out.SetModificationDate(*m);
    if (b) out.SetLastBackupDate(*b);
    if (n) out.SetModification(*n);
  };
}

std::shared_ptr<DatabaseData> Encode(const std::string& app_name, const py::object& records,
                                     const py::object& app_info, const py::object& name,
                                     const py::object& type, const py::object& creator,
                                     const std::string& encoding, bool lenient,
                                     const py::object& attributes, const py::object& version,
                                     const py::object& created, const py::object& modified,
                                     const py::object& backed_up,
                                     const py::object& modification_number,
                                     const py::object& unique_id_seed) {
  const cli::AppIdentity* id = cli::AppByName(app_name);
  if (id == nullptr || app_name == "auto") throw py::value_error("unknown application '" + app_name + "'");
  const auto cs = MakeCharset(encoding);
  if (py::isinstance<py::str>(records) || py::isinstance<py::dict>(records)) {
    throw py::type_error("records: a list of dicts");
  }
  cli::JsonValue root;
  root.kind = cli::JsonValue::Kind::kObject;
  cli::JsonValue list;
  list.kind = cli::JsonValue::Kind::kArray;
  for (const py::handle r : py::iter(records)) list.items.push_back(ToJson(r));
  root.members.push_back(cli::JsonMember{"records", std::move(list)});
  if (!app_info.is_none()) root.members.push_back(cli::JsonMember{"appInfo", ToJson(app_info)});
  // The seed the records without an ID are numbered from, as the export's
  // "database" object gives it.
  if (!unique_id_seed.is_none()) {
    const long long seed = unique_id_seed.cast<long long>();
    if (seed < 0 || seed > 0xFFFFFFFFLL) throw py::value_error("unique_id_seed must fit in 32 bits");
    cli::JsonValue db;
    db.kind = cli::JsonValue::Kind::kObject;
    cli::JsonValue n;
    n.kind = cli::JsonValue::Kind::kNumber;
    n.text = std::to_string(seed);
    db.members.push_back(cli::JsonMember{"uniqueIDSeed", std::move(n)});
    root.members.push_back(cli::JsonMember{"database", std::move(db)});
  }
  cli::AppsInput in;
  in.app = id->app;
  in.root = &root;
  in.source = "records";
  in.stem = id->name;
  in.name = Encoded(name, *cs, "name");
  in.type = Encoded(type, *cs, "type");
  in.creator = Encoded(creator, *cs, "creator");
  // The import's default without a "database" object, which the seed makes.
  const py::object backup = py::int_(0x0008);
  const auto header = HeaderSetter(attributes.is_none() ? backup : attributes, version, created, modified,
                                   backed_up, modification_number);
  if (id->app == cli::App::kDoc) {
    throw py::value_error("an e-book is made by write_text()");
  }
  return WriteApps(in, *cs, lenient, header);
}

// The whole text of an e-book, as export --app doc --format text gives it.
py::str ReadText(const DatabaseData& d, const std::string& encoding) {
  CheckRecordDatabase(d);
  const auto cs = MakeCharset(encoding);
  std::string utf8;
  {
    py::gil_scoped_release unlocked;
    const auto bytes = [&](std::size_t i) {
      const RecordSlot& r = d.records[i];
      return std::span<const std::uint8_t>(d.arena.data() + r.start, r.size);
    };
    if (d.records.empty() || d.records.front().flags.Contains(dmRecAttrDelete)) {
      RaisePDB(1, kMsgDocHeaderTooShort);
    }
    const apps::DocHeader header = apps::DecodeDocHeader(bytes(0));
    if (d.records.size() < std::size_t{header.recordCount} + 1) RaisePDB(1, kMsgDocMissingRecords);
    std::string text;
    for (std::size_t i = 1; i <= header.recordCount; ++i) {
      // The text is in the records that follow the header: none may be gone.
      if (d.records[i].flags.Contains(dmRecAttrDelete)) RaisePDB(1, kMsgDocMissingRecords);
      try {
        text += apps::DecodeDocRecord(header, bytes(i));
      } catch (const EPDBException& e) {
        throw EPDBException(e.ErrorCode(), "record " + std::to_string(i) + ": " + e.what());
      }
    }
    utf8 = cs->ToUtf8(text);
  }
  return py::str(utf8.data(), utf8.size());
}

// A new e-book of the text, as import --app doc --input book.txt makes it.
std::shared_ptr<DatabaseData> WriteText(const py::object& text, const py::object& name, bool compress,
                                        const std::string& encoding, const py::object& type,
                                        const py::object& creator) {
  if (!py::isinstance<py::str>(text)) throw py::type_error("the text must be str");
  const auto cs = MakeCharset(encoding);
  const std::string utf8 = text.cast<std::string>();
  cli::AppsInput in;
  in.app = cli::App::kDoc;
  in.input = utf8;
  in.source = "text";
  in.name = Encoded(name, *cs, "name");
  if (!in.name || in.name->empty()) throw py::value_error("an e-book needs a name");
  in.type = Encoded(type, *cs, "type");
  in.creator = Encoded(creator, *cs, "creator");
  in.doc_compression = compress ? apps::kDocCompressed : apps::kDocUncompressed;
  return WriteApps(in, *cs, false, nullptr);
}

}  // namespace

void RegisterApps(py::module_& m) {
  py::module_ apps = m.def_submodule(
      "apps", "The handheld's own applications (address book, date book, to-do list, memos,\n"
              "mail, e-books): records as dicts with the keys of `corvane export --app` JSON.");
  apps.def("decode", &Decode, py::arg("db"), py::kw_only(), py::arg("app") = py::none(),
           py::arg("encoding") = "cp1252",
           "The records of db as dicts with the keys of the command's JSON export (a deleted\n"
           "record as {'deleted': True, ...} without values, one archived with its values and\n"
           "'archived': True). app names the application (memo, todo, address, datebook, mail, doc,\n"
           "raw); by default the database's creator and type choose it. encoding: the\n"
           "texts' character set. Raises corvane.Error for a damaged record.");
  apps.def(
      "to_vcard",
      [](const DatabaseData& d, const std::string& encoding) { return Export(d, "vcard", encoding); },
      py::arg("db"), py::kw_only(), py::arg("encoding") = "cp1252",
      "The cards of an address book as vCard 3.0 text (what `corvane export --format vcard`\n"
      "writes); ValueError for another database.");
  apps.def(
      "to_ical",
      [](const DatabaseData& d, const std::string& encoding) { return Export(d, "ical", encoding); },
      py::arg("db"), py::kw_only(), py::arg("encoding") = "cp1252",
      "The events of a date book or the tasks of a to-do list as iCalendar text (what\n"
      "`corvane export --format ical` writes); ValueError for another database.");
  apps.def("decode_app_info", &AppInfo, py::arg("db"), py::kw_only(), py::arg("app") = py::none(),
           py::arg("encoding") = "cp1252",
           "The application-info block (categories, labels, settings) as a dict with the keys\n"
           "of the export's \"appInfo\" (None when the database has none): what encode()\n"
           "takes as app_info.");
  apps.def("encode", &Encode, py::arg("app"), py::arg("records"), py::kw_only(),
           py::arg("app_info") = py::none(), py::arg("name") = py::none(),
           py::arg("type") = py::none(), py::arg("creator") = py::none(),
           py::arg("encoding") = "cp1252", py::arg("lenient") = false,
           py::arg("attributes") = py::none(), py::arg("version") = py::none(),
           py::arg("created") = py::none(), py::arg("modified") = py::none(),
           py::arg("backed_up") = py::none(), py::arg("modification_number") = py::none(),
           py::arg("unique_id_seed") = py::none(),
           "A new Database of the application's records (memo, todo, address, datebook, mail,\n"
           "contacts, calendar, tasks, memos or raw), each a dict with the keys decode() gives\n"
           "(those of `corvane import --app` JSON), as that import writes it. app_info: the\n"
           "export's \"appInfo\" object (the categories, labels...), else the application's\n"
           "standard one; a category a record names that the table lacks takes a free slot.\n"
           "Name, type and creator default to the application's own (MemoDB, DATA, memo...).\n"
           "Records without a uniqueID are numbered from unique_id_seed up. Header arguments\n"
           "left None take the writer's values (attributes {'backup'}, dates of now).\n"
           "Unknown keys and records the application cannot hold raise corvane.Error\n"
           "(with lenient=True, warnings instead where the import warns).");
  apps.def("read_text", &ReadText, py::arg("db"), py::kw_only(), py::arg("encoding") = "cp1252",
           "The whole text of an e-book (what `corvane export --app doc --format text` prints);\n"
           "corvane.Error when a text record is missing or damaged.");
  apps.def("write_text", &WriteText, py::arg("text"), py::arg("name"), py::kw_only(),
           py::arg("compress") = true, py::arg("encoding") = "cp1252", py::arg("type") = py::none(),
           py::arg("creator") = py::none(),
           "A new e-book Database of the text (what `corvane import --app doc --input book.txt`\n"
           "writes): 4096 bytes of text per record, compressed unless compress=False. The type\n"
           "and creator default to the e-book readers' TEXt/REAd.");
}

}  // namespace corvane::python
