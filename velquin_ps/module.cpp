// Python bindings of PSSE_ENGINE. Methods that forward keyword arguments to
// the simulator take keyword arguments only.
#include <pybind11/pybind11.h>

#include "embedded_simulator.hpp"
#include "engine.hpp"
#include "python_calls.hpp"
#include "velquin_common/console.hpp"

namespace py = pybind11;
using velquin::ps::Engine;
using velquin::ps::refuse_positional;

namespace {

using KeywordMethod = py::object (Engine::*)(const py::kwargs&);
using KeywordProcedure = void (Engine::*)(const py::kwargs&);

template <KeywordMethod method>
py::object keyword_only(const char* name, Engine& engine, const py::args& args, const py::kwargs& kwargs) {
    refuse_positional(name, args);
    return (engine.*method)(kwargs);
}

template <KeywordProcedure procedure>
void keyword_only_procedure(const char* name, Engine& engine, const py::args& args,
                            const py::kwargs& kwargs) {
    refuse_positional(name, args);
    (engine.*procedure)(kwargs);
}

#define VELQUIN_KEYWORD_METHOD(cls, name)                                               \
    cls.def(#name, [](Engine& engine, const py::args& args, const py::kwargs& kwargs) { \
        return keyword_only<&Engine::name>(#name, engine, args, kwargs);                \
    })
#define VELQUIN_KEYWORD_PROCEDURE(cls, name)                                            \
    cls.def(#name, [](Engine& engine, const py::args& args, const py::kwargs& kwargs) { \
        keyword_only_procedure<&Engine::name>(#name, engine, args, kwargs);             \
    })
#define VELQUIN_TRANSFER_METHOD(cls, name)                                          \
    cls.def(#name, &Engine::name, py::arg("small_case"), py::arg("main_case_name"), \
            py::arg("small_case_name"), py::arg("directory_to_save_files"))

}  // namespace

PYBIND11_MODULE(velquin_ps, module) {
    module.doc() = "Velquin simulator adapter";

    velquin::python::clear_console_on_windows();

    module.def("embedded_simulator_folder", &velquin::ps::embedded_simulator_folder,
               "The folder of the embedded simulator's modules, which the psse_path value\n"
               "'embedded' names.");

    py::class_<Engine> engine_class(module, "PSSE_ENGINE", py::dynamic_attr());
    engine_class
        .def(py::init<const py::object&, const py::object&>(), py::arg("psse_path"), py::arg("version"))
        .def_readwrite("psse_path", &Engine::psse_path)
        .def_readwrite("version", &Engine::version)
        .def_readwrite("caspy", &Engine::caspy)
        .def_readwrite("psspy", &Engine::psspy)
        .def("get_modules", &Engine::get_modules)
        .def("get_psspy", [](const Engine& self) { return self.psspy; })
        .def("get_caspy", [](const Engine& self) { return self.caspy; })
        .def("close_power_flow", &Engine::close_power_flow)
        .def("del_tmp_files", &Engine::del_tmp_files)
        .def("run_load_flow", &Engine::run_load_flow)
        .def("check_solved", &Engine::check_solved)
        .def("get_case_data", &Engine::get_case_data, py::arg("case"))
        .def("disconnect_buses", &Engine::disconnect_buses, py::arg("bus_numbers"))
        .def("reconnect_buses", &Engine::reconnect_buses, py::arg("bus_numbers"));

    VELQUIN_KEYWORD_METHOD(engine_class, init_psse);
    VELQUIN_KEYWORD_METHOD(engine_class, create_progress_output);
    VELQUIN_KEYWORD_METHOD(engine_class, open_case);
    VELQUIN_KEYWORD_METHOD(engine_class, save_case);
    VELQUIN_KEYWORD_PROCEDURE(engine_class, run_load_flow_rsol);
    VELQUIN_KEYWORD_PROCEDURE(engine_class, run_load_flow_fnsl);
    VELQUIN_KEYWORD_METHOD(engine_class, get_bus_data);
    VELQUIN_KEYWORD_METHOD(engine_class, ini_branch_2);
    VELQUIN_KEYWORD_METHOD(engine_class, get_next_branch_bus);
    VELQUIN_KEYWORD_METHOD(engine_class, get_next_tx3_bus);
    VELQUIN_KEYWORD_METHOD(engine_class, ini_mac);
    VELQUIN_KEYWORD_METHOD(engine_class, next_mac);
    VELQUIN_KEYWORD_METHOD(engine_class, change_bus_data);
    VELQUIN_KEYWORD_METHOD(engine_class, change_machine_data);

    VELQUIN_TRANSFER_METHOD(engine_class, add_buses);
    VELQUIN_TRANSFER_METHOD(engine_class, add_line_branch);
    VELQUIN_TRANSFER_METHOD(engine_class, add_trn_branch);
    VELQUIN_TRANSFER_METHOD(engine_class, add_gen);
    VELQUIN_TRANSFER_METHOD(engine_class, modify_gen);
    VELQUIN_TRANSFER_METHOD(engine_class, add_fixed_shunt);
    VELQUIN_TRANSFER_METHOD(engine_class, add_switched_shunt);
    VELQUIN_TRANSFER_METHOD(engine_class, add_load);
    VELQUIN_TRANSFER_METHOD(engine_class, add_induction_machine);
}
