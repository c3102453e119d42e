#include "main_case_selection.hpp"

#include <string>

#include "python_support.hpp"

namespace velquin::main {

namespace {

std::string enabled_positions(std::size_t count) {
    if (count == 0) return "the workbook enables no main case";
    return "the workbook enables " + std::to_string(count) + " main case(s), at positions 0 to " +
           std::to_string(count - 1);
}

}  // namespace

MainCaseSelection::MainCaseSelection(const py::object& positions, std::size_t count)
    : selected_(count, positions.is_none()) {
    if (positions.is_none()) return;
    for (const auto& item : positions) {
        if (!PyLong_Check(item.ptr()) || PyBool_Check(item.ptr())) {
            raise(PyExc_TypeError, "run_integration: main_cases must hold positions (whole numbers), not " +
                                       text(py::repr(item)));
        }
        int overflow = 0;
        const long long position = PyLong_AsLongLongAndOverflow(item.ptr(), &overflow);
        if (overflow != 0 || position < 0 || static_cast<unsigned long long>(position) >= count) {
            raise(PyExc_ValueError, "run_integration: main_cases holds the position " + text(item) +
                                        ", but " + enabled_positions(count));
        }
        selected_[static_cast<std::size_t>(position)] = true;
    }
}

}  // namespace velquin::main
