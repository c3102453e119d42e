// Unpacking Python values in C++ as `a, b = value` and `*head, last = value`
// do, with Python's own errors.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace velquin::python {

namespace py = pybind11;

namespace detail {

// Iterator over `value`, raising Python's own error for a value that cannot be unpacked.
inline py::iterator unpacking_iterator(const py::handle& value) {
    PyObject* iterator = PyObject_GetIter(value.ptr());
    if (iterator == nullptr) {
        if (PyErr_ExceptionMatches(PyExc_TypeError)) {
            PyErr_Clear();
            throw py::type_error(std::string("cannot unpack non-iterable ") + Py_TYPE(value.ptr())->tp_name +
                                 " object");
        }
        throw py::error_already_set();
    }
    return py::reinterpret_steal<py::iterator>(iterator);
}

// Next item of `iterator`, or an empty object at the end; errors of the iteration propagate.
inline py::object next_item(const py::iterator& iterator) {
    PyObject* item = PyIter_Next(iterator.ptr());
    if (item == nullptr) {
        if (PyErr_Occurred() != nullptr) throw py::error_already_set();
        return py::object();
    }
    return py::reinterpret_steal<py::object>(item);
}

}  // namespace detail

// Unpacks `value` into exactly `count` items; raises ValueError (too many /
// not enough values) or TypeError (not iterable).
inline std::vector<py::object> unpack_exact(const py::handle& value, std::size_t count) {
    const py::iterator iterator = detail::unpacking_iterator(value);
    std::vector<py::object> items;
    items.reserve(count);
    while (items.size() < count) {
        py::object item = detail::next_item(iterator);
        if (!item) {
            throw py::value_error("not enough values to unpack (expected " + std::to_string(count) +
                                  ", got " + std::to_string(items.size()) + ")");
        }
        items.push_back(std::move(item));
    }
    if (detail::next_item(iterator)) {
        throw py::value_error("too many values to unpack (expected " + std::to_string(count) + ")");
    }
    return items;
}

// `a, b = value`.
inline std::pair<py::object, py::object> unpack_pair(const py::handle& value) {
    auto items = unpack_exact(value, 2);
    return {std::move(items[0]), std::move(items[1])};
}

// Splits a record into its leading items and its last item, as
// `*head, last = value` does; an empty record raises ValueError.
inline std::pair<std::vector<py::object>, py::object> split_last(const py::handle& value) {
    const py::iterator iterator = detail::unpacking_iterator(value);
    std::vector<py::object> items;
    for (py::object item = detail::next_item(iterator); item; item = detail::next_item(iterator)) {
        items.push_back(std::move(item));
    }
    if (items.empty()) throw py::value_error("not enough values to unpack (expected at least 1, got 0)");
    py::object last = std::move(items.back());
    items.pop_back();
    return {std::move(items), std::move(last)};
}

}  // namespace velquin::python
