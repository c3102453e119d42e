// Python value operations shared by the velquin modules: comparisons and
// membership with Python's own semantics, and text joined the way str()
// joins it.
#pragma once

#include <pybind11/pybind11.h>

#include <initializer_list>

namespace velquin::python {

namespace py = pybind11;

inline bool compare(const py::handle& a, const py::handle& b, int op) {
    const int result = PyObject_RichCompareBool(a.ptr(), b.ptr(), op);
    if (result < 0) throw py::error_already_set();
    return result == 1;
}

inline bool equal(const py::handle& a, const py::handle& b) {
    return compare(a, b, Py_EQ);
}
inline bool not_equal(const py::handle& a, const py::handle& b) {
    return compare(a, b, Py_NE);
}

// `value != 0` as Python evaluates it (simulator codes may be any number).
inline bool is_nonzero(const py::handle& value) {
    return not_equal(value, py::int_(0));
}

// `item in container`.
inline bool contains(const py::handle& container, const py::handle& item) {
    const int result = PySequence_Contains(container.ptr(), item.ptr());
    if (result < 0) throw py::error_already_set();
    return result == 1;
}

// The pieces' str() forms joined without separators.
inline py::str join_text(std::initializer_list<py::handle> pieces) {
    py::list texts;
    for (const auto& piece : pieces) texts.append(py::str(piece));
    return py::str("").attr("join")(texts);
}

}  // namespace velquin::python
