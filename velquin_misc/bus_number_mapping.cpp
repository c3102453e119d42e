#include "bus_number_mapping.hpp"

#include <pybind11/numpy.h>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <vector>

#include "python_helpers.hpp"

namespace velquin::misc {

namespace {

// The map's new number for `value`, or `value` itself. A value that cannot
// be hashed is not a bus number and passes unchanged.
py::object mapped(const py::dict& map, const py::handle& value) {
    PyObject* found = PyDict_GetItemWithError(map.ptr(), value.ptr());
    if (found != nullptr) return py::reinterpret_borrow<py::object>(found);
    if (PyErr_Occurred() != nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_TypeError)) throw py::error_already_set();
        PyErr_Clear();
    }
    return py::reinterpret_borrow<py::object>(value);
}

std::optional<std::int64_t> as_int64(const py::handle& value) {
    if (PyBool_Check(value.ptr()) || PyIndex_Check(value.ptr()) == 0) return std::nullopt;
    const auto index = py::reinterpret_steal<py::object>(PyNumber_Index(value.ptr()));
    if (!index) throw py::error_already_set();
    int overflow = 0;
    const long long number = PyLong_AsLongLongAndOverflow(index.ptr(), &overflow);
    if (overflow != 0) return std::nullopt;
    if (number == -1 && PyErr_Occurred() != nullptr) throw py::error_already_set();
    return number;
}

// The map as native integers when every key and value is an integer.
std::optional<std::unordered_map<std::int64_t, std::int64_t>> native_map(const py::dict& map) {
    std::unordered_map<std::int64_t, std::int64_t> native;
    native.reserve(map.size());
    for (const auto& [key, value] : map) {
        const auto old_number = as_int64(key);
        const auto new_number = as_int64(value);
        if (!old_number || !new_number) return std::nullopt;
        native.emplace(*old_number, *new_number);
    }
    return native;
}

std::vector<py::ssize_t> shape_of(const py::array& array) {
    return {array.shape(), array.shape() + array.ndim()};
}

template <typename T>
py::array map_numbers(const py::array& array, const std::unordered_map<std::int64_t, std::int64_t>& native) {
    const auto input = py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(array);
    if (!input) throw py::error_already_set();
    py::array_t<T> output(shape_of(array));
    const T* in = input.data();
    T* out = output.mutable_data();
    for (py::ssize_t i = 0; i < input.size(); ++i) {
        const T value = in[i];
        out[i] = value;
        if constexpr (std::is_floating_point_v<T>) {
            // Only whole numbers within the integer range can equal a bus number.
            if (!(std::fabs(value) < 9.0e18) || std::trunc(value) != value) continue;
        }
        const auto hit = native.find(static_cast<std::int64_t>(value));
        if (hit != native.end()) out[i] = static_cast<T>(hit->second);
    }
    return output;
}

py::object renumber_array(const py::dict& map, const py::array& array) {
    if (array.size() == 0) return array.attr("copy")();
    // The dtype is read through its attributes; numpy.h's descriptor accessors
    // trip -Wnull-dereference under optimisation.
    const py::object dtype = array.attr("dtype");
    const auto kind = dtype.attr("kind").cast<std::string>();
    const auto itemsize = dtype.attr("itemsize").cast<long>();
    if (const auto native = native_map(map)) {
        // Integer arrays come out as 64-bit integers and float arrays as
        // 64-bit floats, whatever the first element maps to.
        if (kind == "i" || (kind == "u" && itemsize < 8)) return map_numbers<std::int64_t>(array, *native);
        if (kind == "f" && itemsize <= 8) return map_numbers<double>(array, *native);
    }
    const py::cpp_function mapper([map](const py::object& value) { return mapped(map, value); });
    const py::object vectorize = py::module_::import("numpy").attr("vectorize");
    // Object arrays hold items of any kind: the first result must not fix the output type.
    if (kind == "O") return vectorize(mapper, py::arg("otypes") = py::make_tuple(py::str("O")))(array);
    return vectorize(mapper)(array);
}

bool is_sequence(const py::handle& value) {
    return PyList_Check(value.ptr()) || PyTuple_Check(value.ptr()) || py::isinstance<py::array>(value);
}

// Items that are themselves sequences (the three buses of a transformer,
// the dummy buses of a multi-section line) are mapped all the way down.
py::list mapped_list(const py::dict& map, const py::handle& items) {
    const RecursionGuard guard(" while renumbering buses");
    py::list result;
    for (const auto& item : items) {
        result.append(is_sequence(item) ? renumber_value(map, py::reinterpret_borrow<py::object>(item))
                                        : mapped(map, item));
    }
    return result;
}

bool all_lists(const py::list& items) {
    for (const auto& item : items) {
        if (!PyList_Check(item.ptr())) return false;
    }
    return true;
}

}  // namespace

py::object renumber_value(const py::dict& bus_renumber_map, const py::object& val) {
    if (PyList_Check(val.ptr())) {
        const auto items = py::reinterpret_borrow<py::list>(val);
        if (!all_lists(items)) return mapped_list(bus_renumber_map, items);
        py::list result;
        for (const auto& inner : items) result.append(mapped_list(bus_renumber_map, inner));
        return result;
    }
    if (PyTuple_Check(val.ptr())) return py::tuple(mapped_list(bus_renumber_map, val));
    if (py::isinstance<py::array>(val)) return renumber_array(bus_renumber_map, val.cast<py::array>());
    return mapped(bus_renumber_map, val);
}

}  // namespace velquin::misc
