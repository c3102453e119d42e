#include "python_helpers.hpp"

#include <string>

namespace velquin::misc {

namespace {

// Iterator over `value`, raising the host's own error for a value that cannot be unpacked.
py::iterator unpacking_iterator(const py::handle& value) {
    PyObject* it = PyObject_GetIter(value.ptr());
    if (it == nullptr) {
        if (PyErr_ExceptionMatches(PyExc_TypeError)) {
            PyErr_Clear();
            throw py::type_error(std::string("cannot unpack non-iterable ") + Py_TYPE(value.ptr())->tp_name +
                                 " object");
        }
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::iterator>(it);
}

// Next item of `it`, or an empty object at the end; errors of the iteration propagate.
py::object next_item(const py::iterator& it) {
    PyObject* item = PyIter_Next(it.ptr());
    if (item == nullptr) {
        if (PyErr_Occurred() != nullptr) throw py::error_already_set();
        return py::object();
    }
    return py::reinterpret_steal<py::object>(item);
}

}  // namespace

std::vector<py::object> unpack_exact(const py::handle& value, std::size_t count) {
    py::iterator it = unpacking_iterator(value);
    std::vector<py::object> items;
    items.reserve(count);
    while (items.size() < count) {
        py::object item = next_item(it);
        if (!item) {
            throw py::value_error("not enough values to unpack (expected " + std::to_string(count) +
                                  ", got " + std::to_string(items.size()) + ")");
        }
        items.push_back(std::move(item));
    }
    if (next_item(it)) {
        throw py::value_error("too many values to unpack (expected " + std::to_string(count) + ")");
    }
    return items;
}

std::pair<std::vector<py::object>, py::object> split_last(const py::handle& value) {
    py::iterator it = unpacking_iterator(value);
    std::vector<py::object> items;
    for (py::object item = next_item(it); item; item = next_item(it)) items.push_back(std::move(item));
    if (items.empty()) throw py::value_error("not enough values to unpack (expected at least 1, got 0)");
    py::object last = std::move(items.back());
    items.pop_back();
    return {std::move(items), std::move(last)};
}

bool contains(const py::handle& container, const py::handle& item) {
    const int result = PySequence_Contains(container.ptr(), item.ptr());
    if (result < 0) throw py::error_already_set();
    return result == 1;
}

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
