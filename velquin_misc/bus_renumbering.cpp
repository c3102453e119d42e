#include "bus_renumbering.hpp"

#include <stdexcept>
#include <string>
#include <utility>

#include "bus_number_mapping.hpp"
#include "python_helpers.hpp"
#include "renumber_validation.hpp"
#include "renumbered_fields.hpp"

namespace velquin::misc {

namespace {

constexpr long kFirstNewBus = 900000;
constexpr long kLastNewBus = 999999;
constexpr long kNewBusCount = kLastNewBus - kFirstNewBus + 1;

// The numbers a new bus number must avoid: the main case's, those already
// given, and the small case's own, which would otherwise end up shared by two
// buses of the small case whenever one keeps its number.
class TakenNumbers {
public:
    TakenNumbers(py::set main_numbers, py::set small_numbers)
        : main_(std::move(main_numbers)), small_(std::move(small_numbers)) {}

    bool taken(long number) const {
        const py::int_ candidate(number);
        return contains(main_, candidate) || contains(assigned_, candidate) || contains(small_, candidate);
    }
    void assign(long number) { assigned_.add(py::int_(number)); }

private:
    py::set main_;
    py::set small_;
    py::set assigned_;
};

// The small case's bus numbers, plus the connecting bus that keeps its number too.
py::set small_case_numbers(const py::object& small_bus_nums, const py::object& connecting_bus) {
    py::set numbers(small_bus_nums);
    if (PyObject_Hash(connecting_bus.ptr()) == -1) {
        PyErr_Clear();  // an unhashable connecting bus cannot equal a candidate number
    } else {
        numbers.add(connecting_bus);
    }
    return numbers;
}

}  // namespace

py::object renumber_field(const py::dict& bus_renumber_map, const py::object& small_case,
                          const std::string& section, const py::object& field) {
    const py::object table = optional_attr(small_case, section.c_str());
    if (!table || !PyDict_Check(table.ptr()) || !contains(table, field)) return small_case;
    py::object changed = table.attr("copy")();
    changed[field] = renumber_value(bus_renumber_map, table[field]);
    py::setattr(small_case, section.c_str(), changed);
    return small_case;
}

py::tuple renumber_buses(const py::object& small_case, const py::object& scbus, const py::object& mcbus,
                         const py::object& connecting_bus) {
    const py::str num("NUM");
    const py::set main_bus_nums(mcbus[num]);
    // The array's items as plain numbers: they compare equal to the array's
    // scalars, and make every later map lookup far cheaper.
    const py::object small_bus_nums = py::module_::import("numpy").attr("array")(scbus[num]).attr("tolist")();
    TakenNumbers numbers(main_bus_nums, small_case_numbers(small_bus_nums, connecting_bus));
    py::dict bus_renumber_map;

    long new_num = kFirstNewBus;
    for (const auto& old_num : small_bus_nums) {
        if (!not_equal(old_num, connecting_bus) || !contains(main_bus_nums, old_num)) continue;
        for (long tried = 0; numbers.taken(new_num);) {
            new_num = new_num == kLastNewBus ? kFirstNewBus : new_num + 1;
            if (++tried == kNewBusCount) {
                throw std::runtime_error("No free bus number between 900000 and 999999 is left for bus " +
                                         py::str(old_num).cast<std::string>());
            }
        }
        bus_renumber_map[old_num] = py::int_(new_num);
        numbers.assign(new_num);
    }

    py::dict renumber_map;
    for (const auto& [old_num, new_number] : bus_renumber_map) {
        renumber_map[py::int_(py::reinterpret_borrow<py::object>(old_num))] =
            py::int_(py::reinterpret_borrow<py::object>(new_number));
    }

    py::object renumbered = small_case;
    if (bus_renumber_map.size() > 0) {
        print_line(py::str("Conflicting bus numbers found. Renumbering..."));
        for (const auto& [section, field] : kRenumberedFields) {
            renumbered = renumber_field(bus_renumber_map, renumbered, section, py::str(field));
        }
        const RenumberCheck check = check_renumbering(renumbered, bus_renumber_map);
        if (check.passed()) {
            print_line(py::str("Bus numbers have been successfully renumbered."));
        } else {
            print_line(py::str("Some bus numbers may not have been renumbered correctly."));
        }
        // A field still holding an old number would copy a bus, or a
        // reference to one, onto the main case's bus of that number: the
        // small case stops here, before anything is copied. A missing field
        // holds no number at all and stays a printed warning.
        if (!check.stale.empty()) throw py::value_error(stale_numbers_message(check.stale));
    } else {
        print_line(py::str("No conflicting buses found. No renumbering needed."));
    }
    return py::make_tuple(renumbered, renumber_map);
}

namespace {

// A mapping that is not a dictionary is read into one.
py::dict as_map(const py::object& map) {
    if (PyDict_Check(map.ptr())) return py::reinterpret_borrow<py::dict>(map);
    return py::dict(map);
}

}  // namespace

void register_bus_renumbering(py::module_& module) {
    module.def("renumber_buses", &renumber_buses, py::arg("small_case"), py::arg("scbus"), py::arg("mcbus"),
               py::arg("connecting_bus"),
               "Renumbers the small case's buses that collide with the main case; returns (case, map).");
    module.def(
        "renumber_field",
        [](const py::object& map, const py::object& small_case, const std::string& section,
           const py::object& field) { return renumber_field(as_map(map), small_case, section, field); },
        py::arg("bus_renumber_map"), py::arg("small_case"), py::arg("section"), py::arg("field"),
        "Replaces small_case.<section> by a copy with the field renumbered; returns small_case.");
    module.def(
        "renumber_value",
        [](const py::object& map, const py::object& val) { return renumber_value(as_map(map), val); },
        py::arg("bus_renumber_map"), py::arg("val"), "The value with every bus number mapped.");
    module.def(
        "validate_bus_renumbering",
        [](const py::object& small_case, const py::object& map) {
            return validate_bus_renumbering(small_case, as_map(map));
        },
        py::arg("small_case"), py::arg("bus_renumber_map"),
        "True when every bus field is present and none holds a renumbered number.");
}

}  // namespace velquin::misc
