// Construction, version selection, start-up, opening, saving and closing.
#include <array>

#include "embedded_simulator.hpp"
#include "engine.hpp"
#include "python_calls.hpp"
#include "version_bands.hpp"

namespace velquin::ps {

namespace {

// Start-up module of each simulator release the engine can address.
constexpr std::array<Band, 4> kStartupModules{{
    {36.2, "psse3602"},
    {36.1, "psse3601"},
    {35.5, "psse3505"},
    {34.0, "psse34"},
}};

}  // namespace

Engine::Engine(const py::object& path, const py::object& requested_version)
    : psse_path(simulator_folder(path)), version(py::float_(requested_version).cast<double>()) {
    auto modules = get_modules();
    if (modules.is_none()) {
        // Unpacking nothing into (caspy, psspy) is a TypeError in the host too.
        raise(PyExc_TypeError, "PSSE_ENGINE: simulator version " + version_text(version) +
                                   " is not supported (the oldest release is 34.0); "
                                   "cannot unpack the simulator modules");
    }
    auto pair = modules.cast<py::tuple>();
    caspy = pair[0];
    psspy = pair[1];
}

py::object Engine::get_modules() {
    py::module_::import("sys").attr("path").attr("append")(psse_path);
    const char* startup = select_operation(version, kStartupModules);
    if (startup == nullptr) return py::none();
    py::module_::import(startup);
    auto case_module = py::module_::import("caspy");
    auto api_module = py::module_::import("psspy");
    return py::make_tuple(case_module, api_module);
}

py::object Engine::init_psse(const py::kwargs& kwargs) {
    return psspy.attr("psseinit")(**kwargs);
}

py::object Engine::create_progress_output(const py::kwargs& kwargs) {
    auto ierr = psspy.attr("progress_output")(**kwargs);
    if (is_nonzero(ierr)) return py::none();
    psspy.attr("lines_per_page_one_device")(1, 10000000);
    return py::int_(0);
}

py::object Engine::open_case(const py::kwargs& kwargs) {
    return psspy.attr("case")(**kwargs);
}

py::object Engine::save_case(const py::kwargs& kwargs) {
    return psspy.attr("save")(**kwargs);
}

py::object Engine::close_power_flow() {
    return psspy.attr("close_powerflow")();
}

py::object Engine::del_tmp_files() {
    return psspy.attr("deltmpfiles")();
}

}  // namespace velquin::ps
