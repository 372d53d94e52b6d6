#include "python/bindings.h"

namespace corvane::python {

void RegisterApps(py::module_& m) { (void)m; }

}  // namespace corvane::python
