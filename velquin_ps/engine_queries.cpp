// Reading a saved case and walking buses, branches and machines of the
// open case. Everything is passed through and returned unchanged.
#include "engine.hpp"

namespace velquin::ps {

// Reads the file through caspy only: the case open in the simulator stays.
py::object Engine::get_case_data(const py::object& case_path) {
    return caspy.attr("Savecase")(case_path);
}

py::object Engine::get_bus_data(const py::kwargs& kwargs) {
    return psspy.attr("busdat")(**kwargs);
}

py::object Engine::ini_branch_2(const py::kwargs& kwargs) {
    return psspy.attr("inibrn_2")(**kwargs);
}

py::object Engine::get_next_branch_bus(const py::kwargs& kwargs) {
    return psspy.attr("nxtbrn_2")(**kwargs);
}

py::object Engine::get_next_tx3_bus(const py::kwargs& kwargs) {
    return psspy.attr("nxtbrn3_2")(**kwargs);
}

py::object Engine::ini_mac(const py::kwargs& kwargs) {
    return psspy.attr("inimac")(**kwargs);
}

py::object Engine::next_mac(const py::kwargs& kwargs) {
    return psspy.attr("nxtmac")(**kwargs);
}

}  // namespace velquin::ps
