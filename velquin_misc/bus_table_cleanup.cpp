#include "bus_table_cleanup.hpp"

#include <string>
#include <vector>

#include "numpy_types.hpp"
#include "python_helpers.hpp"

namespace velquin::misc {

namespace {

// Highest bus number a user can give; the simulator numbers its own internal buses above it.
constexpr long kHighestUserBus = 999999;

std::size_t first_position(const py::handle& numbers, const py::handle& bus) {
    std::size_t position = 0;
    for (const auto& number : numbers) {
        if (equal(number, bus)) return position;
        ++position;
    }
    throw py::value_error("bus " + py::str(bus).cast<std::string>() + " is not in the bus numbers");
}

py::tuple without_position(const py::tuple& values, std::size_t position) {
    py::list kept;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i != position) kept.append(values[i]);
    }
    return py::tuple(kept);
}

py::tuple selected(const py::tuple& values, const std::vector<bool>& keep) {
    py::list kept;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (keep[i]) kept.append(values[i]);
    }
    return py::tuple(kept);
}

}  // namespace

py::object exclude_connecting_bus(const py::object& small_case, const py::object& scbus,
                                  const py::object& connecting_bus) {
    if (connecting_bus.is_none()) return scbus;
    const py::object numbers = scbus[py::str("NUM")];
    if (!contains(numbers, connecting_bus)) return scbus;
    const std::size_t position = first_position(numbers, connecting_bus);

    py::dict table;
    for (const auto& entry : scbus.attr("items")()) {
        const auto pair = unpack_exact(entry, 2);
        if (PyTuple_Check(pair[1].ptr()))
            table[pair[0]] = without_position(pair[1].cast<py::tuple>(), position);
    }
    const py::object case_bus_table = small_case.attr("pssbus");
    const py::str ierr("IERR");
    if (contains(case_bus_table, ierr)) table[ierr] = case_bus_table[ierr];
    return table;
}

py::object remove_internal_psse_buses(const py::object& pssbus, const py::object& scbus) {
    const py::module_ numpy = py::module_::import("numpy");
    const py::object bus_nums = numpy.attr("array")(pssbus[py::str("NUM")]);
    PyObject* compared = PyObject_RichCompare(bus_nums.ptr(), py::int_(kHighestUserBus).ptr(), Py_LE);
    if (compared == nullptr) throw py::error_already_set();
    const auto mask = py::reinterpret_steal<py::object>(compared);
    const std::size_t bus_count = py::len(bus_nums);
    if (mask.attr("ndim").cast<int>() != 1) {
        throw py::value_error("the bus numbers under 'NUM' must be a flat sequence of numbers");
    }
    std::vector<bool> keep;
    keep.reserve(bus_count);
    for (const auto& flag : mask.attr("tolist")()) keep.push_back(PyObject_IsTrue(flag.ptr()) == 1);

    // The kept rows are taken from the original tuples rather than through an
    // array, so mixed-type columns keep their items' types and values.
    py::dict filtered;
    for (const auto& entry : pssbus.attr("items")()) {
        const auto pair = unpack_exact(entry, 2);
        const py::object& value = pair[1];
        if (PyTuple_Check(value.ptr()) && py::len(value) == bus_count) {
            filtered[pair[0]] = selected(value.cast<py::tuple>(), keep);
        } else {
            filtered[pair[0]] = value;
        }
    }
    scbus.attr("update")(convert_np_types(filtered));
    return scbus;
}

void register_bus_table_cleanup(py::module_& module) {
    module.def("exclude_connecting_bus", &exclude_connecting_bus, py::arg("small_case"), py::arg("scbus"),
               py::arg("connecting_bus"), "The bus table without the connecting bus.");
    module.def("remove_internal_psse_buses", &remove_internal_psse_buses, py::arg("pssbus"), py::arg("scbus"),
               "scbus updated with the rows of pssbus numbered 999999 or below.");
}

}  // namespace velquin::misc
