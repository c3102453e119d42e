// Small helpers that give the C++ code the host language's own semantics:
// printing through the host's print and recursion depth guarded the way the
// host guards it; unpacking, comparisons and membership come from the
// helpers shared by the velquin modules.
#pragma once

#include <pybind11/pybind11.h>

#include "velquin_common/python_values.hpp"
#include "velquin_common/unpacking.hpp"

namespace velquin::misc {

namespace py = pybind11;

using python::contains;
using python::equal;
using python::is_nonzero;
using python::not_equal;
using python::split_last;
using python::unpack_exact;

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
