#include "python_support.hpp"

#include <cmath>

namespace velquin::main {

std::string text(const py::handle& value) {
    return py::str(value).cast<std::string>();
}

bool truthy(const py::handle& value) {
    const int result = PyObject_IsTrue(value.ptr());
    if (result < 0) throw py::error_already_set();
    return result == 1;
}

bool is_missing(const py::handle& value) {
    if (value.is_none()) return true;
    return PyFloat_Check(value.ptr()) && std::isnan(PyFloat_AsDouble(value.ptr()));
}

py::object path_join(const py::handle& a, const py::handle& b) {
    return py::module_::import("os").attr("path").attr("join")(a, b);
}

}  // namespace velquin::main
