// Shared pieces of the Python module: the conversions between the library's
// values and Python's, and the registration of each part of the module.
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <string_view>

#include "corvane/foundation/types.h"
#include "corvane/host/datetime.h"

namespace corvane::python {

namespace py = pybind11;

// module.attr, kept for the life of the process: a static py::object would
// be released after the interpreter has ended, at exit.
py::handle Imported(const char* module, const char* attr);

// A date as a naive local datetime; None for 0 (a date never set).
py::object DateToPython(TDateTime date);
// None gives 0; a datetime or a date its day number; anything else raises TypeError.
TDateTime DateFromPython(const py::handle& value);

// The stored 8-bit text (Windows-1252) as str, and back; a character the
// code page cannot hold raises ValueError.
py::str TextToPython(std::string_view bytes);
std::string TextFromPython(const py::handle& value);

void RegisterErrors(py::module_& m);
void RegisterDatabase(py::module_& m);
void RegisterApps(py::module_& m);
void RegisterEngines(py::module_& m);
void RegisterRescue(py::module_& m);

}  // namespace corvane::python
