#include "numpy_types.hpp"

#include "python_helpers.hpp"

namespace velquin::misc {

namespace {

struct NumpyTypes {
    py::object ndarray;
    py::object generic;
};

py::object convert(const py::handle& data, const NumpyTypes& np) {
    if (PyDict_Check(data.ptr())) {
        const RecursionGuard guard(" while converting array types");
        py::dict result;
        for (const auto& [key, value] : py::reinterpret_borrow<py::dict>(data))
            result[key] = convert(value, np);
        return result;
    }
    if (PyTuple_Check(data.ptr()) || PyList_Check(data.ptr())) {
        const RecursionGuard guard(" while converting array types");
        py::list items;
        for (const auto& item : data) items.append(convert(item, np));
        if (PyTuple_Check(data.ptr())) return py::tuple(items);
        return items;
    }
    if (py::isinstance(data, np.ndarray)) return data.attr("tolist")();
    if (py::isinstance(data, np.generic)) return data.attr("item")();
    return py::reinterpret_borrow<py::object>(data);
}

}  // namespace

py::object convert_np_types(const py::object& data) {
    const py::module_ numpy = py::module_::import("numpy");
    const NumpyTypes np{numpy.attr("ndarray"), numpy.attr("generic")};
    return convert(data, np);
}

void register_numpy_types(py::module_& module) {
    module.def("convert_np_types", &convert_np_types, py::arg("data"),
               "The value with arrays and array scalars replaced by plain values.");
}

}  // namespace velquin::misc
