#include "nested_bus_fields.hpp"

namespace velquin::main {

namespace {

struct NestedField {
    const char* section;
    const char* field;
};

constexpr NestedField kNestedFields[] = {
    {"castrn", "BUSNUM"},
    {"castrn", "CONBUS"},
    {"pssmsl", "DUMBUS"},
};

bool is_sequence(const py::handle& value) {
    return PyTuple_Check(value.ptr()) || PyList_Check(value.ptr());
}

// The new number of `value`, or `value` itself (also for what cannot be a key).
py::object mapped(const py::dict& map, const py::handle& value) {
    PyObject* found = PyDict_GetItemWithError(map.ptr(), value.ptr());
    if (found != nullptr) return py::reinterpret_borrow<py::object>(found);
    if (PyErr_Occurred() != nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_TypeError)) throw py::error_already_set();
        PyErr_Clear();
    }
    return py::reinterpret_borrow<py::object>(value);
}

// A copy of `inner` with its items mapped, of the same kind (tuple or list);
// empty when nothing changes.
py::object mapped_inner(const py::dict& map, const py::handle& inner) {
    py::list items;
    bool changed = false;
    for (const auto& item : inner) {
        py::object number = mapped(map, item);
        changed = changed || !number.is(item);
        items.append(number);
    }
    if (!changed) return {};
    if (PyTuple_Check(inner.ptr())) return py::tuple(items);
    return items;
}

}  // namespace

void renumber_nested_bus_fields(const py::object& small_case, const py::dict& renumber_map) {
    if (renumber_map.empty()) return;
    for (const auto& [section, field] : kNestedFields) {
        if (!py::hasattr(small_case, section)) continue;
        const py::object table = small_case.attr(section);
        if (!PyDict_Check(table.ptr()) || !table.contains(field)) continue;
        const py::object values = table[field];
        if (!is_sequence(values)) continue;
        py::list rewritten;
        bool changed = false;
        for (const auto& element : values) {
            py::object inner = is_sequence(element) ? mapped_inner(renumber_map, element) : py::object();
            changed = changed || static_cast<bool>(inner);
            rewritten.append(inner ? inner : py::reinterpret_borrow<py::object>(element));
        }
        if (!changed) continue;
        py::dict copy = table.attr("copy")();
        copy[field] = PyTuple_Check(values.ptr()) ? py::object(py::tuple(rewritten)) : py::object(rewritten);
        py::setattr(small_case, section, copy);
    }
}

}  // namespace velquin::main
