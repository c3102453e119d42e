// Small helpers that give the C++ code the host language's own semantics:
// unpacking with its errors, comparisons through the host's operators,
// printing through the host's print, and recursion depth guarded the way
// the host guards it.
#pragma once

#include <pybind11/pybind11.h>

#include <cstddef>
#include <string_view>
#include <vector>

#include "velquin_common/python_values.hpp"

namespace velquin::misc {

namespace py = pybind11;

// Unpacks `value` into exactly `count` items; raises the host's ValueError
// (too many / not enough values) or TypeError (not iterable).
std::vector<py::object> unpack_exact(const py::handle& value, std::size_t count);

// Splits a record into its leading items and its last item, as `*head, last = value`
// does; an empty record raises ValueError.
std::pair<std::vector<py::object>, py::object> split_last(const py::handle& value);

using python::equal;
using python::is_nonzero;
using python::not_equal;

// `item in container` through the host's membership test.
bool contains(const py::handle& container, const py::handle& item);

// One call of the host's print with a single text argument.
void print_line(const py::str& message);

// `value.strip()`.
py::object stripped(const py::handle& value);

// `frozenset((a, b))`.
py::object frozen_pair(const py::handle& a, const py::handle& b);

// getattr(obj, name) that reports a missing attribute as an empty result
// instead of raising; every other error propagates, as hasattr does.
py::object optional_attr(const py::handle& obj, const char* name);

// Guards one level of recursion through nested host containers, so a
// self-referencing container ends in the host's RecursionError instead of
// exhausting the native stack.
class RecursionGuard {
public:
    explicit RecursionGuard(const char* where);
    ~RecursionGuard();
    RecursionGuard(const RecursionGuard&) = delete;
    RecursionGuard& operator=(const RecursionGuard&) = delete;
};

}  // namespace velquin::misc
