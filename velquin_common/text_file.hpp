// A text file written through Python's own open(), closed also when writing
// fails.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace velquin::python {

namespace py = pybind11;

// A text file opened with Python's `open(path, "w")`. close() closes it and
// raises what closing raises (a failed flush is lost data). A file still
// open when the object goes away, because writing failed, is closed then;
// the error already on its way out is the one to report, so a failing close
// there is reported as unraisable.
class TextFile {
public:
    explicit TextFile(const py::handle& path)
        : file_(py::module_::import("builtins").attr("open")(path, "w")) {}
    ~TextFile() {
        if (!open_) return;
        const py::error_scope pending;  // an error already set stays set
        try {
            file_.attr("close")();
        } catch (py::error_already_set& error) {
            error.discard_as_unraisable("closing a file after a failed write");
        }
    }
    TextFile(const TextFile&) = delete;
    TextFile& operator=(const TextFile&) = delete;

    const py::object& handle() const { return file_; }
    void write(const py::handle& text) const { file_.attr("write")(text); }
    void write(const std::string& text) const { write(py::str(text)); }
    void close() {
        open_ = false;
        file_.attr("close")();
    }

private:
    py::object file_;
    bool open_ = true;
};

}  // namespace velquin::python
