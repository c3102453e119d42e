#include "renumber_validation.hpp"

#include <algorithm>
#include <string>

#include "python_helpers.hpp"
#include "renumbered_fields.hpp"

namespace velquin::misc {

namespace {

bool is_sequence(const py::handle& value) {
    return PyList_Check(value.ptr()) || PyTuple_Check(value.ptr()) ||
           py::isinstance(value, py::module_::import("numpy").attr("ndarray"));
}

// Walks one field's value and reports every item that is still an old bus number.
class FieldCheck {
public:
    FieldCheck(const py::dict& map, const char* section, const char* field)
        : map_(map), prefix_(std::string("Mismatch at ") + section + "->" + field) {}

    bool clean() const { return clean_; }

    void check(const py::handle& value, const std::string& path) {
        if (PyList_Check(value.ptr())) {
            const auto items = py::reinterpret_borrow<py::list>(value);
            const bool nested = std::all_of(items.begin(), items.end(),
                                            [](const py::handle& item) { return PyList_Check(item.ptr()); });
            const RecursionGuard guard(" while validating renumbered buses");
            std::size_t i = 0;
            for (const auto& item : items) {
                const auto where = [&path, i] { return path + "[" + std::to_string(i) + "]"; };
                if (nested || is_sequence(item)) {
                    check(item, where());
                } else {
                    report(item, where);
                }
                ++i;
            }
        } else if (PyTuple_Check(value.ptr())) {
            std::size_t i = 0;
            const RecursionGuard guard(" while validating renumbered buses");
            for (const auto& item : value) {
                const auto where = [&path, i] { return path + "(" + std::to_string(i) + ")"; };
                if (is_sequence(item)) {
                    check(item, where());
                } else {
                    report(item, where);
                }
                ++i;
            }
        } else if (py::isinstance(value, py::module_::import("numpy").attr("ndarray"))) {
            for (const auto& entry : py::module_::import("numpy").attr("ndenumerate")(value)) {
                const auto index_and_item = unpack_exact(entry, 2);
                report(index_and_item[1],
                       [&] { return path + py::str(index_and_item[0]).cast<std::string>(); });
            }
        } else {
            report(value, [&path] { return path; });
        }
    }

private:
    // `where` gives the item's path; it is built only for an item that is reported.
    template <typename Where>
    void report(const py::handle& item, const Where& where) {
        PyObject* expected = PyDict_GetItemWithError(map_.ptr(), item.ptr());
        if (expected == nullptr) {
            if (PyErr_Occurred() == nullptr) return;
            // An unhashable item cannot be a bus number.
            if (!PyErr_ExceptionMatches(PyExc_TypeError)) throw py::error_already_set();
            PyErr_Clear();
            return;
        }
        const auto new_number = py::reinterpret_borrow<py::object>(expected);
        print_line(py::str(prefix_ + where() + ": expected " + py::str(new_number).cast<std::string>() +
                           ", got " + py::str(item).cast<std::string>()));
        clean_ = false;
    }

    py::dict map_;
    std::string prefix_;
    bool clean_ = true;
};

}  // namespace

bool validate_bus_renumbering(const py::object& small_case, const py::dict& bus_renumber_map) {
    bool all_updated = true;
    for (const auto& [section_name, field_name] : kRenumberedFields) {
        py::object section = optional_attr(small_case, section_name);
        if (!section) section = py::dict();
        const py::str field(field_name);
        if (!py::bool_(section) || !contains(section, field)) {
            print_line(py::str(std::string("Field '") + field_name + "' not found in section '" +
                               section_name + "'."));
            all_updated = false;
            continue;
        }
        FieldCheck check(bus_renumber_map, section_name, field_name);
        const py::object value = section[field];
        check.check(value, "");
        if (!check.clean()) all_updated = false;
    }
    return all_updated;
}

}  // namespace velquin::misc
