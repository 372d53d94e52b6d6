// The extension `corvane._corvane`: errors, conversions and the module's
// parts. The package's __init__.py re-exports everything from here.
#include <pybind11/pybind11.h>

#include <cerrno>
#include <new>

#include "corvane/foundation/exception.h"
#include "corvane/host/datetime.h"
#include "corvane/interchange/text_encoding.h"
#include "python/bindings.h"

namespace corvane::python {

namespace {

// corvane.Error, made once with the module and kept alive by it.
PyObject* g_error = nullptr;

// Raises `type(args)` with the library's code, message id and path attached.
void RaiseWith(PyObject* type, const py::tuple& args, int code, int message_id,
               const std::string& path) {
  PyObject* instance = PyObject_CallObject(type, args.ptr());
  if (instance == nullptr) return;  // the constructor's own error stands
  py::object e = py::reinterpret_steal<py::object>(instance);
  e.attr("code") = code;
  e.attr("message_id") = message_id;
  e.attr("path") = path.empty() ? py::object(py::none()) : py::object(py::str(path));
  PyErr_SetObject(type, e.ptr());
}

void Translate(std::exception_ptr p) {
  try {
    if (p) std::rethrow_exception(p);
  } catch (const EPDBException& e) {
    // A refusal by the operating system is an OSError (FileNotFoundError,
    // PermissionError, ... by its errno), still carrying the library's code.
    if (e.SystemError() != 0) {
      RaiseWith(PyExc_OSError,
                e.Path().empty() ? py::make_tuple(e.SystemError(), e.what())
                                 : py::make_tuple(e.SystemError(), e.what(), e.Path()),
                e.ErrorCode(), e.MessageId(), e.Path());
    } else {
      RaiseWith(g_error, py::make_tuple(e.what()), e.ErrorCode(), e.MessageId(), e.Path());
    }
  } catch (const EInOutError& e) {
    RaiseWith(PyExc_OSError, py::make_tuple(e.ErrorCode() != 0 ? e.ErrorCode() : EIO, e.what()),
              0, 0, "");
  } catch (const Exception& e) {
    RaiseWith(g_error, py::make_tuple(e.what()), 0, 0, "");
  }
}

}  // namespace

py::handle Imported(const char* module, const char* attr) {
  return py::object(py::module_::import(module).attr(attr)).release();
}

py::object DateToPython(TDateTime date) {
  if (date == 0) return py::none();
  static const py::handle datetime = Imported("datetime", "datetime");
  const DateParts d = DecodeDate(date);
  const TimeParts t = DecodeTime(date);
  return datetime(d.year, d.month, d.day, t.hour, t.minute, t.second, t.msec * 1000);
}

TDateTime DateFromPython(const py::handle& value) {
  if (value.is_none()) return 0;
  static const py::handle date_type = Imported("datetime", "date");
  static const py::handle datetime_type = Imported("datetime", "datetime");
  if (!py::isinstance(value, date_type)) throw py::type_error("a date must be a datetime or None");
  const int year = value.attr("year").cast<int>();
  const int month = value.attr("month").cast<int>();
  const int day = value.attr("day").cast<int>();
  TDateTime days = EncodeDate(year, month, day);
  if (!py::isinstance(value, datetime_type)) return days;
  const TDateTime time = EncodeTime(value.attr("hour").cast<int>(), value.attr("minute").cast<int>(),
                                    value.attr("second").cast<int>(),
                                    value.attr("microsecond").cast<int>() / 1000);
  // Before 1899-12-30 the day counts down while the time of day still counts up.
  return days < 0 ? days - time : days + time;
}

py::str TextToPython(std::string_view bytes) {
  const std::string utf8 = cli::ToUtf8(bytes, cli::TextEncoding::kWindows1252);
  return py::str(utf8.data(), utf8.size());
}

std::string TextFromPython(const py::handle& value) {
  if (py::isinstance<py::bytes>(value)) return value.cast<std::string>();
  if (!py::isinstance<py::str>(value)) throw py::type_error("expected str or bytes");
  py::object encoded;
  try {
    encoded = value.attr("encode")("cp1252");
  } catch (py::error_already_set& e) {
    throw py::value_error("'" + value.cast<std::string>() +
                          "' holds a character the handheld's code page (Windows-1252) cannot");
  }
  return encoded.cast<std::string>();
}

void RegisterErrors(py::module_& m) {
  g_error = PyErr_NewExceptionWithDoc(
      "corvane.Error",
      "A fault the library found: a file that is not a database, a damaged record, a value\n"
      "its checks refuse. .code numbers the checks of the failing operation from 1; .message_id\n"
      "is the catalogue id of the message (0 when none); .path the file concerned, or None.\n"
      "Refusals by the operating system are OSError instead, with the same attributes.",
      PyExc_Exception, nullptr);
  if (g_error == nullptr) throw py::error_already_set();
  m.add_object("Error", py::handle(g_error));
  py::register_exception_translator(Translate);
}

}  // namespace corvane::python

PYBIND11_MODULE(_corvane, m) {
  namespace cp = corvane::python;
  m.doc() = "Read and write Palm OS databases (PDB and PRC files).";
  cp::RegisterErrors(m);
  cp::RegisterDatabase(m);
  cp::RegisterApps(m);
  cp::RegisterEngines(m);
#ifdef CORVANE_PYTHON_RESCUE
  cp::RegisterRescue(m);
#endif
}
