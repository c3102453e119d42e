// Raising Python errors from C++, and turning the exception being handled
// into the Python error pybind11 would raise for it.
#pragma once

#include <pybind11/pybind11.h>

#include <exception>
#include <string>

namespace velquin::python {

namespace py = pybind11;

// Raises the given Python exception with a message.
[[noreturn]] inline void raise(PyObject* type, const std::string& message) {
    PyErr_SetString(type, message.c_str());
    throw py::error_already_set();
}

// Inside a catch block: the exception being handled as the Python error it
// becomes at the module's boundary (a C++ std::exception as pybind11
// translates it), so that it can be reported before it is thrown on.
inline py::error_already_set current_python_error() {
    py::detail::translate_exception(std::current_exception());
    return py::error_already_set();
}

}  // namespace velquin::python
