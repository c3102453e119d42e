// Reads a whole saved case into one data object, without touching the case
// open in psspy.
#include <pybind11/pybind11.h>

#include <filesystem>

#include "casefile/case_file.hpp"
#include "caspy/case_tables.hpp"

namespace py = pybind11;

namespace {

// The object the reader returns; its tables are plain attributes that
// callers may read and replace.
struct CaseData {};

std::filesystem::path case_path(const py::object& file) {
    py::object text = py::module_::import("os").attr("fspath")(file);
    if (!py::isinstance<py::str>(text))
        throw py::type_error("Savecase() needs a file name as text or a path");
    return velquin::sim::saved_case_path(text.cast<std::string>());
}

}  // namespace

PYBIND11_MODULE(caspy, m) {
    m.doc() = "Velquin embedded simulator: whole saved-case reader.";

    // Raised when a file cannot be read as a saved case; the message names
    // the file. An OSError, like other failures to read a file.
    py::register_exception<velquin::sim::CaseFileError>(m, "CaseFileError", PyExc_OSError);

    py::class_<CaseData>(m, "CaseData", py::dynamic_attr(),
                         "Every table of a saved case. Attributes pssbus, casbrn, castrn, pssgen, pssfsh, "
                         "psswsh, psslod, pssind, pssbrn, psstrn, pss3wt, pssabx, pssmsl, psssub, pssald map "
                         "upper-case field keys to per-element tuples; cas_nbrn and cas_ntrn count the line "
                         "and transformer branches.");

    m.def(
        "Savecase",
        [](const py::object& file) {
            const std::filesystem::path path = case_path(file);
            const velquin::sim::Case c = velquin::sim::load_case_file(path);
            py::object data = py::cast(CaseData{});
            velquin::sim::python::set_case_tables(data, c);
            return data;
        },
        py::arg("sfile"),
        "Savecase(sfile): reads the saved case sfile (\".sav\" added to a name without extension) into a "
        "CaseData object, leaving the case in psspy's memory as it is. Raises CaseFileError, naming the "
        "file, when it cannot be read.");
}
