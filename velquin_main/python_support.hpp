// Small helpers that let the driver do in C++ what the equivalent host
// expression does, with the host's own errors.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

#include "velquin_common/python_values.hpp"

namespace velquin::main {

namespace py = pybind11;

// Raises the given host exception with a message.
[[noreturn]] void raise(PyObject* type, const std::string& message);

// `str(value)` as a C++ string (UTF-8).
std::string text(const py::handle& value);

using python::equal;
using python::join_text;

// `bool(value)`.
bool truthy(const py::handle& value);

// None or a float NaN: what the workbook reader delivers for an empty cell.
bool is_missing(const py::handle& value);

// os.path.join(a, b).
py::object path_join(const py::handle& a, const py::handle& b);

// A text file opened with the host's `open(path, "w")`. close() closes it
// and raises what closing raises (a failed flush is lost data); a file still
// open when the object goes away, because writing failed, is closed then.
class TextFile {
public:
    explicit TextFile(const py::object& path);
    ~TextFile();
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    const py::object& handle() const { return file_; }
    void write(const py::handle& piece) const;
    void close();

private:
    py::object file_;
    bool open_ = true;
};

}  // namespace velquin::main
