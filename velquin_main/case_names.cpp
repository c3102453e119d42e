#include "case_names.hpp"

#include <cmath>

#include "python_support.hpp"

namespace velquin::main {

py::str case_name(const py::object& file_name) {
    const py::str name(file_name);
    return py::str(name.attr("split")(".sav", 1).cast<py::list>()[0]);
}

py::object case_path(const py::object& folder, const py::str& name) {
    return path_join(folder, join_text({name, py::str(".sav")}));
}

const py::object& required_cell(const py::object& value, const std::string& where, const char* column) {
    if (is_missing(value)) {
        raise(PyExc_ValueError, "configuration: " + where + ": the cell '" + column + "' is empty");
    }
    return value;
}

namespace {

[[noreturn]] void refuse_bus(const py::object& value, const std::string& where) {
    raise(PyExc_ValueError, "configuration: " + where + ": the connecting bus number " +
                                text(py::repr(value)) + " is not a whole bus number");
}

}  // namespace

py::object connecting_bus_number(const py::object& value, const std::string& where) {
    if (is_missing(value) || PyBool_Check(value.ptr())) refuse_bus(value, where);
    if (PyFloat_Check(value.ptr())) {
        const double number = PyFloat_AsDouble(value.ptr());
        if (!std::isfinite(number) || number != std::floor(number)) refuse_bus(value, where);
        return py::int_(value);
    }
    if (PyUnicode_Check(value.ptr())) {
        const std::string digits = text(value.attr("strip")());
        const bool whole = !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
        if (!whole) refuse_bus(value, where);
        return py::int_(py::str(digits));
    }
    return value;
}

}  // namespace velquin::main
