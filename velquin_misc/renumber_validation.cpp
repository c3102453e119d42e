#include "renumber_validation.hpp"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>

#include "python_helpers.hpp"
#include "renumbered_fields.hpp"

namespace velquin::misc {

namespace {

std::string text(const py::handle& value) {
    return py::str(value).cast<std::string>();
}

bool is_sequence(const py::handle& value) {
    return PyList_Check(value.ptr()) || PyTuple_Check(value.ptr()) ||
           py::isinstance(value, py::module_::import("numpy").attr("ndarray"));
}

// Walks one field's value and reports every item that is still an old bus number.
class FieldCheck {
public:
    FieldCheck(const py::dict& map, const char* section, const char* field,
               std::vector<StaleBusNumber>& stale)
        : map_(map), field_(std::string(section) + "->" + field), stale_(stale) {}

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
        StaleBusNumber found{field_ + where(), py::reinterpret_borrow<py::object>(item), new_number};
        print_line(
            py::str("Mismatch at " + found.place + ": expected " + text(new_number) + ", got " + text(item)));
        stale_.push_back(std::move(found));
    }

    py::dict map_;
    std::string field_;
    std::vector<StaleBusNumber>& stale_;
};

}  // namespace

RenumberCheck check_renumbering(const py::object& small_case, const py::dict& bus_renumber_map) {
    RenumberCheck result;
    for (const auto& [section_name, field_name] : kRenumberedFields) {
        py::object section = optional_attr(small_case, section_name);
        if (!section) section = py::dict();
        const py::str field(field_name);
        if (!py::bool_(section) || !contains(section, field)) {
            print_line(py::str(std::string("Field '") + field_name + "' not found in section '" +
                               section_name + "'."));
            result.all_fields_found = false;
            continue;
        }
        FieldCheck check(bus_renumber_map, section_name, field_name, result.stale);
        check.check(section[field], "");
    }
    return result;
}

bool validate_bus_renumbering(const py::object& small_case, const py::dict& bus_renumber_map) {
    return check_renumbering(small_case, bus_renumber_map).passed();
}

std::string stale_numbers_message(const std::vector<StaleBusNumber>& stale) {
    constexpr std::size_t kPlacesShown = 5;
    constexpr std::size_t kNumbersShown = 10;
    // Old numbers in the order first met, each with its places.
    std::vector<std::pair<const StaleBusNumber*, std::vector<const std::string*>>> numbers;
    for (const auto& item : stale) {
        auto same = std::find_if(numbers.begin(), numbers.end(), [&](const auto& entry) {
            return equal(entry.first->old_number, item.old_number);
        });
        if (same == numbers.end()) {
            numbers.push_back({&item, {}});
            same = std::prev(numbers.end());
        }
        same->second.push_back(&item.place);
    }
    std::string message =
        "bus renumbering left old bus numbers in the small case, which is therefore not "
        "added to the main case: ";
    for (std::size_t n = 0; n < numbers.size() && n < kNumbersShown; ++n) {
        const auto& [first, places] = numbers[n];
        if (n > 0) message += "; ";
        message += text(first->old_number) + " (renumbered " + text(first->new_number) + ") at ";
        for (std::size_t p = 0; p < places.size() && p < kPlacesShown; ++p) {
            if (p > 0) message += ", ";
            message += *places[p];
        }
        if (places.size() > kPlacesShown)
            message += " and " + std::to_string(places.size() - kPlacesShown) + " more";
    }
    if (numbers.size() > kNumbersShown)
        message += "; and " + std::to_string(numbers.size() - kNumbersShown) + " more numbers";
    return message;
}

}  // namespace velquin::misc
