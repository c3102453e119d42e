#include "run_plan.hpp"

#include "case_names.hpp"
#include "path_resolution.hpp"
#include "python_support.hpp"

namespace velquin::main {

py::object planned_name(const py::object& cell) {
    if (is_missing(cell)) return py::none();
    try {
        return case_name(cell);
    } catch (py::error_already_set&) {
        return py::none();
    }
}

py::object result_folder_of(const py::object& parent_path) {
    if (is_missing(parent_path)) return py::none();
    try {
        return py::str(resolve_path(parent_path));
    } catch (py::error_already_set&) {
        try {
            return py::str(parent_path);
        } catch (py::error_already_set&) {
            return py::none();
        }
    }
}

py::list planned_pairs(const py::dict& main_cases, const py::dict& small_cases) {
    py::list pairs;
    long main_index = 0;
    for (const auto& main_entry : main_cases) {
        const py::object main_case = planned_name(main_entry.second[py::str("filename")]);
        long small_index = 0;
        for (const auto& small_entry : small_cases) {
            const py::object small = py::reinterpret_borrow<py::object>(small_entry.second);
            pairs.append(
                py::dict(py::arg("main_index") = main_index, py::arg("small_index") = small_index++,
                         py::arg("main_case") = main_case,
                         py::arg("small_case") = planned_name(small[py::str("filename")]),
                         py::arg("result_folder") = result_folder_of(small[py::str("parent_path")])));
        }
        ++main_index;
    }
    return pairs;
}

}  // namespace velquin::main
