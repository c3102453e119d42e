#include "python_calls.hpp"

namespace velquin::ps {

void raise(PyObject* type, const std::string& message) {
    PyErr_SetString(type, message.c_str());
    throw py::error_already_set();
}

bool not_zero(const py::handle& value) {
    const int result = PyObject_RichCompareBool(value.ptr(), py::int_(0).ptr(), Py_NE);
    if (result < 0) throw py::error_already_set();
    return result == 1;
}

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

py::str join_text(std::initializer_list<py::handle> pieces) {
    py::list texts;
    for (const auto& piece : pieces) texts.append(py::str(piece));
    return py::str("").attr("join")(texts);
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
