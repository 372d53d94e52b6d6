// corvane.apps: the handheld applications' records as dicts with the keys of
// the command's JSON export, through the same code the command uses.
#include <pybind11/stl.h>

#include <optional>
#include <string>

#include "corvane/foundation/exception.h"
#include "corvane/interchange/app_charset.h"
#include "corvane/interchange/apps_json.h"
#include "corvane/interchange/pim_formats.h"
#include "python/bindings.h"
#include "python/database.h"
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
  return attributes;
}

// Calls each(bytes, attributes) for every record not deleted (deleted records
// hold nothing to decode, as in the command's export), after reading the
// categories of the application-info block. Runs without the interpreter's lock.
template <class Each>
void ForEachRecord(const DatabaseData& d, cli::App app, const cli::Charset& cs,
                   apps::CategoryInfo& categories, Each each) {
  categories = apps::CategoryInfo::Standard();
  if (!d.app_info.empty() || app == cli::App::kRaw) {
    cli::AppInfoToJson(app, d.app_info, cs, categories);
  }
  for (const RecordSlot& r : d.records) {
    if (r.flags.Contains(dmRecAttrDelete)) continue;
    each(std::span<const std::uint8_t>(d.arena.data() + r.start, r.size), AttributesOf(r));
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
    ForEachRecord(d, app, *cs, categories, [&](auto bytes, const cli::AppRecordAttributes& a) {
      rows.push_back(cli::RecordToJson(app, bytes, a, categories, *cs));
    });
  }
  py::list out;
  for (const cli::JsonValue& row : rows) out.append(ToPython(row));
  return out;
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
    ForEachRecord(d, app, *cs, categories, [&](auto bytes, const cli::AppRecordAttributes& a) {
      if (!writer) writer.emplace(format, app, d.creator, *cs, categories, out);
      writer->Add(bytes, a);
    });
    if (!writer) writer.emplace(format, app, d.creator, *cs, categories, out);
    writer->Finish();
  }
  return py::str(out.Buffer().data(), out.Buffer().size());
}

}  // namespace

void RegisterApps(py::module_& m) {
  py::module_ apps = m.def_submodule(
      "apps", "The handheld's own applications (address book, date book, to-do list, memos,\n"
              "mail, e-books): records as dicts with the keys of `corvane export --app` JSON.");
  apps.def("decode", &Decode, py::arg("db"), py::kw_only(), py::arg("app") = py::none(),
           py::arg("encoding") = "cp1252",
           "The records of db (deleted ones left out) as dicts with the keys of the command's\n"
           "JSON export. app names the application (memo, todo, address, datebook, mail, doc,\n"
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
}

}  // namespace corvane::python
