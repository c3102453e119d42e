#include "python_calls.hpp"

namespace velquin::ps {

py::object times_100(const py::handle& value) {
    PyObject* product = PyNumber_Multiply(value.ptr(), py::int_(100).ptr());
    if (product == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::object>(product);
}

py::ssize_t as_index(const py::handle& value) {
    PyObject* index = PyNumber_Index(value.ptr());
    if (index == nullptr) throw py::error_already_set();
    return py::reinterpret_steal<py::int_>(index).cast<py::ssize_t>();
}

std::string version_text(double version) {
    return py::repr(py::float_(version)).cast<std::string>();
}

void refuse_positional(const char* method, const py::args& args) {
    if (args.empty()) return;
    raise(PyExc_TypeError, std::string("PSSE_ENGINE.") + method + "() takes keyword arguments only (" +
                               std::to_string(args.size()) + " positional argument" +
                               (args.size() == 1 ? "" : "s") + " given)");
}

}  // namespace velquin::ps
