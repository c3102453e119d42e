// Checking a renumbered case: every bus field is present and none still
// holds a number that was renumbered.
#pragma once

#include <pybind11/pybind11.h>

#include <string>
#include <vector>

namespace velquin::misc {

namespace py = pybind11;

// An item of a bus field that still holds a number the renumbering replaced.
struct StaleBusNumber {
    std::string place;  // section->field and the item's path, e.g. "pssgen->IREG[1]"
    py::object old_number;
    py::object new_number;
};

struct RenumberCheck {
    bool all_fields_found = true;
    std::vector<StaleBusNumber> stale;

    bool passed() const { return all_fields_found && stale.empty(); }
};

// Prints one line per missing (section, field) and per stale item.
RenumberCheck check_renumbering(const py::object& small_case, const py::dict& bus_renumber_map);

// True when the check above found nothing.
bool validate_bus_renumbering(const py::object& small_case, const py::dict& bus_renumber_map);

// The error that stops a small case whose renumbering left stale numbers:
// each old number with its new number and the places that still hold it.
std::string stale_numbers_message(const std::vector<StaleBusNumber>& stale);

}  // namespace velquin::misc
