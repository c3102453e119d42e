// Reads a whole saved case into one data object, without touching the case
// open in psspy.
#include <pybind11/pybind11.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "casefile/case_file.hpp"
#include "caspy/case_tables.hpp"

namespace py = pybind11;

namespace {

using velquin::sim::Case;
using velquin::sim::python::case_tables;
using velquin::sim::python::CaseTable;

// The object the reader returns. Its tables behave as plain instance
// attributes that callers may read, replace and delete; each is built from
// the case the first time it is read, since most readers look at a few of
// them and building them all costs far more than reading the file.
class CaseData {
public:
    explicit CaseData(Case c) : case_(std::move(c)), system_base_mva_(case_.identification.base_mva) {
        for (const CaseTable& table : case_tables()) pending_.push_back(&table);
    }

    double system_base_mva() const { return system_base_mva_; }

    // The table `name` when it is still to be built, built now and kept as
    // an instance attribute; nullptr for any other name.
    static py::object build_pending(const py::object& self, const std::string& name) {
        CaseData& data = self.cast<CaseData&>();
        const auto it = data.find_pending(name);
        if (it == data.pending_.end()) return py::object();
        py::object table = (*it)->build(data.case_);
        data.settle(it);
        store(self, py::str(name), table);
        return table;
    }

    // A caller setting or deleting `name` takes the table over: it is no
    // longer built. True when it was still to be built.
    bool forget_pending(const std::string& name) {
        const auto it = find_pending(name);
        if (it == pending_.end()) return false;
        settle(it);
        return true;
    }

    static void build_all(const py::object& self) {
        for (const std::string& name : self.cast<const CaseData&>().pending_names())
            build_pending(self, name);
    }

    std::vector<std::string> pending_names() const {
        std::vector<std::string> names;
        for (const CaseTable* table : pending_) names.emplace_back(table->name);
        return names;
    }

    static void store(const py::object& self, const py::str& name, const py::object& value) {
        if (PyObject_GenericSetAttr(self.ptr(), name.ptr(), value.ptr()) != 0) throw py::error_already_set();
    }

private:
    std::vector<const CaseTable*>::iterator find_pending(const std::string& name) {
        return std::find_if(pending_.begin(), pending_.end(),
                            [&name](const CaseTable* table) { return name == table->name; });
    }

    void settle(std::vector<const CaseTable*>::iterator it) {
        pending_.erase(it);
        if (pending_.empty()) case_ = Case{};  // every table is built: the case is no longer needed
    }

    Case case_;
    double system_base_mva_;
    std::vector<const CaseTable*> pending_;
};

std::filesystem::path case_path(const py::object& file) {
    py::object text = py::module_::import("os").attr("fspath")(file);
    if (!py::isinstance<py::str>(text))
        throw py::type_error("Savecase() needs a file name as text or a path");
    return velquin::sim::saved_case_path(text.cast<std::string>());
}

// The error normal lookup raises, with its name and object for the
// interpreter's suggestions.
[[noreturn]] void no_attribute(const py::object& self, const std::string& name) {
    const std::string message =
        std::string("'") + Py_TYPE(self.ptr())->tp_name + "' object has no attribute '" + name + "'";
    py::object error = py::reinterpret_borrow<py::object>(PyExc_AttributeError)(message);
    error.attr("name") = name;
    error.attr("obj") = self;
    PyErr_SetObject(PyExc_AttributeError, error.ptr());
    throw py::error_already_set();
}

}  // namespace

PYBIND11_MODULE(caspy, m) {
    m.doc() = "Velquin embedded simulator: whole saved-case reader.";

    // Raised when a file cannot be read as a saved case; the message names
    // the file. An OSError, like other failures to read a file.
    py::register_exception<velquin::sim::CaseFileError>(m, "CaseFileError", PyExc_OSError);

    py::class_<CaseData> case_data(
        m, "CaseData", py::dynamic_attr(),
        "Every table of a saved case. Attributes pssbus, casbrn, castrn, pssgen, pssfsh, "
        "psswsh, psslod, pssind, pssbrn, psstrn, pss3wt, pssabx, pssmsl, psssub, pssald, "
        "pss2dc, pssvsc, pssmdc, pssfct, pssict, pssitr map upper-case field keys to "
        "per-element tuples; cas_nbrn and cas_ntrn count the line and transformer branches; "
        "sbase (read-only) is the case's system MVA base.");
    case_data
        .def_property_readonly("sbase", &CaseData::system_base_mva, "The case's system MVA base (SBASE).")
        // Reached only when normal lookup finds nothing: a table not built yet.
        .def("__getattr__",
             [](const py::object& self, const std::string& name) {
                 py::object table = CaseData::build_pending(self, name);
                 if (!table) no_attribute(self, name);
                 return table;
             })
        .def("__setattr__",
             [](const py::object& self, const std::string& name, const py::object& value) {
                 CaseData::store(self, py::str(name), value);
                 self.cast<CaseData&>().forget_pending(name);
             })
        .def("__delattr__",
             [](const py::object& self, const std::string& name) {
                 if (self.cast<CaseData&>().forget_pending(name)) return;
                 if (PyObject_GenericSetAttr(self.ptr(), py::str(name).ptr(), nullptr) != 0)
                     throw py::error_already_set();
             })
        .def("__dir__", [](const py::object& self) {
            py::list names = py::module_::import("builtins").attr("object").attr("__dir__")(self);
            for (const std::string& name : self.cast<const CaseData&>().pending_names())
                names.append(py::str(name));
            return names;
        });

    // vars() and __dict__ show every table, as if all had been set at once.
    // The type's own "__dict__" entry cannot be assigned through setattr, so
    // the property takes its place in the type's dictionary directly.
    const py::object instance_dict =
        py::module_::import("builtins")
            .attr("property")(py::cpp_function([](const py::object& self) {
                                  CaseData::build_all(self);
                                  PyObject* dict = PyObject_GenericGetDict(self.ptr(), nullptr);
                                  if (dict == nullptr) throw py::error_already_set();
                                  return py::reinterpret_steal<py::object>(dict);
                              }),
                              py::cpp_function([](const py::object& self, const py::object& dict) {
                                  if (PyObject_GenericSetDict(self.ptr(), dict.ptr(), nullptr) != 0)
                                      throw py::error_already_set();
                                  for (const std::string& name : self.cast<const CaseData&>().pending_names())
                                      self.cast<CaseData&>().forget_pending(name);
                              }));
    auto* type = reinterpret_cast<PyTypeObject*>(case_data.ptr());
    if (PyDict_SetItemString(type->tp_dict, "__dict__", instance_dict.ptr()) != 0)
        throw py::error_already_set();
    PyType_Modified(type);

    m.def(
        "Savecase",
        [](const py::object& file) {
            const std::filesystem::path path = case_path(file);
            return CaseData(velquin::sim::load_case_file(path));
        },
        py::arg("sfile"),
        "Savecase(sfile): reads the saved case sfile (\".sav\" added to a name without extension) into a "
        "CaseData object, leaving the case in psspy's memory as it is. Raises CaseFileError, naming the "
        "file, when it cannot be read.");
}
