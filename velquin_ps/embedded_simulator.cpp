#include "embedded_simulator.hpp"

#include <string>

#include "python_calls.hpp"

namespace velquin::ps {

namespace {

constexpr const char* kEmbeddedName = "embedded";

std::string text(const py::handle& value) {
    return py::str(value).cast<std::string>();
}

}  // namespace

py::str embedded_simulator_folder() {
    const py::object path_class = py::module_::import("pathlib").attr("Path");
    const py::object module_folder =
        path_class(py::module_::import("velquin_ps").attr("__file__")).attr("resolve")().attr("parent");
    const py::object installed = module_folder.attr("__truediv__")("velquin_simulator");
    const py::object built = module_folder.attr("parent").attr("__truediv__")("simulator");
    for (const py::object& folder : {installed, built}) {
        if (folder.attr("is_dir")().cast<bool>()) return py::str(folder);
    }
    raise(PyExc_ImportError, "the embedded simulator (psse_path '" + std::string(kEmbeddedName) +
                                 "') is not installed: neither '" + text(installed) + "' nor '" +
                                 text(built) + "' exists");
}

py::str simulator_folder(const py::object& psse_path) {
    if (PyUnicode_Check(psse_path.ptr()) &&
        text(psse_path.attr("strip")().attr("lower")()) == kEmbeddedName) {
        return embedded_simulator_folder();
    }
    return py::str(psse_path);
}

}  // namespace velquin::ps
