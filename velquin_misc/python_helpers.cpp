#include "python_helpers.hpp"

namespace velquin::misc {

void print_line(const py::str& message) {
    // The host's own print, so redirections of standard output (and print itself) apply.
    py::handle builtins = PyEval_GetBuiltins();
    py::object print = py::reinterpret_borrow<py::dict>(builtins)["print"];
    print(message);
}

py::object stripped(const py::handle& value) {
    return value.attr("strip")();
}

py::object frozen_pair(const py::handle& a, const py::handle& b) {
    PyObject* set = PyFrozenSet_New(py::make_tuple(a, b).ptr());
    if (set == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(set);
}

py::object optional_attr(const py::handle& obj, const char* name) {
    PyObject* value = PyObject_GetAttrString(obj.ptr(), name);
    if (value == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw py::error_already_set();
        PyErr_Clear();
        return py::object();
    }
    return py::reinterpret_steal<py::object>(value);
}

RecursionGuard::RecursionGuard(const char* where) {
    if (Py_EnterRecursiveCall(where) != 0) throw py::error_already_set();
}

RecursionGuard::~RecursionGuard() {
    Py_LeaveRecursiveCall();
}

}  // namespace velquin::misc
