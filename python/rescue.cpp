// corvane.rescue: the whole-folder rescue, the same run as `corvane rescue`.
#include <pybind11/pybind11.h>

#include <atomic>
#include <exception>
#include <mutex>
#include <string>
#include <vector>

#include "corvane/rescue/rescue.h"
#include "python/bindings.h"

namespace corvane::python {

namespace {

std::string PathText(const py::handle& value) {
  static const py::handle fspath = Imported("os", "fspath");
  py::object path = fspath(value);
  if (py::isinstance<py::bytes>(path)) return path.cast<std::string>();
  return path.cast<std::string>();
}

py::dict CountsToPython(const rescue::Counts& c) {
  py::dict d;
  d["contacts"] = c.contacts;
  d["events"] = c.events;
  d["todos"] = c.todos;
  d["memos"] = c.memos;
  d["books"] = c.books;
  d["mails"] = c.mails;
  d["tables"] = c.tables;
  d["rows"] = c.rows;
  d["pictures"] = c.pictures;
  d["resources"] = c.resources;
  d["records"] = c.records;
  d["damagedRecords"] = c.damagedRecords;
  return d;
}

py::object Rescue(const py::object& inputs, const py::object& out, const py::object& jobs,
                  const py::object& progress, const std::string& encoding, bool force) {
  rescue::Options options;
  if (py::isinstance<py::str>(inputs) || py::isinstance<py::bytes>(inputs) ||
      py::hasattr(inputs, "__fspath__")) {
    options.inputs.push_back(PathText(inputs));
  } else {
    for (const py::handle item : inputs) options.inputs.push_back(PathText(item));
  }
  if (options.inputs.empty()) throw py::value_error("rescue needs at least one input");
  options.output = PathText(out);
  if (!jobs.is_none()) {
    if (!py::isinstance<py::int_>(jobs)) throw py::type_error("jobs must be an int or None");
    const long n = jobs.cast<long>();
    if (n < 1 || n > 1024) throw py::value_error("jobs must lie between 1 and 1024");
    options.jobs = static_cast<unsigned>(n);
  }
  options.encoding = encoding;
  options.force = force;

  // The callback runs with the lock taken, one call at a time; an exception
  // it raises stops the files not yet started and is raised again here.
  std::atomic<bool> cancel{false};
  std::exception_ptr raised;
  std::mutex raised_lock;
  rescue::ProgressCallback callback;
  if (!progress.is_none()) {
    callback = [&](const rescue::Progress& p) {
      if (cancel.load()) return;
      py::gil_scoped_acquire gil;
      try {
        py::dict d;
        d["event"] = p.event == rescue::Progress::Event::kStarting ? "starting" : "finished";
        d["done"] = p.done;
        d["total"] = p.total;
        d["current"] = py::reinterpret_steal<py::object>(PyUnicode_DecodeFSDefaultAndSize(
            p.current.data(), static_cast<Py_ssize_t>(p.current.size())));
        d["failed"] = p.failed;
        d["elapsed"] = p.elapsedSeconds;
        d["totals"] = CountsToPython(p.totals);
        progress(d);
      } catch (...) {
        std::lock_guard<std::mutex> hold(raised_lock);
        if (!raised) raised = std::current_exception();
        cancel.store(true);
      }
    };
  }
  std::string json;
  {
    py::gil_scoped_release unlocked;
    try {
      const rescue::Report report = rescue::Run(options, callback, &cancel);
      json = rescue::ReportJson(report);
    } catch (const rescue::RescueRefused& e) {
      py::gil_scoped_acquire gil;
      throw py::value_error(e.what());
    }
  }
  if (raised) std::rethrow_exception(raised);
  static const py::handle loads = Imported("json", "loads");
  py::object text = py::reinterpret_steal<py::object>(
      PyUnicode_DecodeUTF8(json.data(), static_cast<Py_ssize_t>(json.size()), "replace"));
  if (!text) throw py::error_already_set();
  return loads(text);
}

}  // namespace

void RegisterRescue(py::module_& m) {
  m.def("rescue", &Rescue, py::arg("inputs"), py::arg("out"), py::kw_only(),
        py::arg("jobs") = py::none(), py::arg("progress") = py::none(),
        py::arg("encoding") = "cp1252", py::arg("force") = false,
        "rescue(inputs, out, *, jobs=None, progress=None, encoding='cp1252', force=False) -> dict\n\n"
        "Rescues every file under `inputs` (a path or a list of files and folders) into the\n"
        "folder `out`, as `corvane rescue` does: vCard, iCalendar, text, e-mail, CSV, images,\n"
        "the originals, rescue.json and index.html. Returns the report (the contents of\n"
        "rescue.json) as a dict. `jobs` threads (default: the machine's cores); `progress`,\n"
        "when given, is called with a dict (event, done, total, current, failed, elapsed,\n"
        "totals) as files start and finish; an exception it raises stops the files not yet\n"
        "started and is raised again. An output folder that is not empty (without force) or\n"
        "lies inside an input raises ValueError before anything is written.");
}

}  // namespace corvane::python
