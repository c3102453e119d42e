#include "solve_watch.hpp"

#include <string>

#include "python_support.hpp"

namespace velquin::main {

py::object SolveWatch::save_case(const py::args& args, const py::kwargs& kwargs) {
    py::object result = engine_.attr("save_case")(*args, **kwargs);
    if (kwargs.contains("sfile") && numbered(kwargs["sfile"])) {
        ++numbered_saves_;
        py::dict facts = facts_.attr("copy")();  // a fresh dict per event; facts_ is shared
        facts["reconnected"] = numbered_saves_;
        observer_.notify("connection_solved", facts);
    }
    return result;
}

bool SolveWatch::numbered(const py::handle& sfile) const {
    if (!PyUnicode_Check(sfile.ptr())) return false;
    const std::string name = text(sfile);
    const std::string base = text(base_) + "_";
    const std::string suffix = ".sav";
    if (name.size() <= base.size() + suffix.size()) return false;
    if (name.compare(0, base.size(), base) != 0) return false;
    if (name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) return false;
    const std::string counter = name.substr(base.size(), name.size() - base.size() - suffix.size());
    return counter.find_first_not_of("0123456789") == std::string::npos;
}

void register_solve_watch(py::module_& module) {
    py::class_<SolveWatch>(module, "_SolveWatch")
        .def("__getattr__", &SolveWatch::forward)
        .def("save_case", &SolveWatch::save_case);
}

}  // namespace velquin::main
