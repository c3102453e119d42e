#include "python_support.hpp"

#include <cmath>

namespace velquin::main {

void raise(PyObject* type, const std::string& message) {
    PyErr_SetString(type, message.c_str());
    throw py::error_already_set();
}

std::string text(const py::handle& value) {
    return py::str(value).cast<std::string>();
}

bool truthy(const py::handle& value) {
    const int result = PyObject_IsTrue(value.ptr());
    if (result < 0) throw py::error_already_set();
    return result == 1;
}

bool is_missing(const py::handle& value) {
    if (value.is_none()) return true;
    return PyFloat_Check(value.ptr()) && std::isnan(PyFloat_AsDouble(value.ptr()));
}

py::object path_join(const py::handle& a, const py::handle& b) {
    return py::module_::import("os").attr("path").attr("join")(a, b);
}

TextFile::TextFile(const py::object& path) : file_(py::module_::import("builtins").attr("open")(path, "w")) {}

TextFile::~TextFile() {
    if (!open_) return;
    // Only reached while an earlier error propagates; that error is the one
    // to report, so a failing close here is reported as unraisable.
    try {
        file_.attr("close")();
    } catch (py::error_already_set& error) {
        error.discard_as_unraisable("closing a file after a failed write");
    }
}

void TextFile::close() {
    open_ = false;
    file_.attr("close")();
}

void TextFile::write(const py::handle& piece) const {
    file_.attr("write")(piece);
}

}  // namespace velquin::main
