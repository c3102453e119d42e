// Walking the branches, three-winding transformers and machines at a bus,
// and reading bus values. Identifiers come back padded to two characters,
// as the simulator's fixed-width fields hold them.
#include "api/session.hpp"
#include "common/operation_support.hpp"
#include "operations/bus_query.hpp"
#include "operations/element_walks.hpp"
#include "psspy/registration.hpp"

namespace velquin::sim::python {

namespace {

Session& session() {
    return Session::instance();
}

std::string padded(std::string id) {
    if (id.size() < 2) id.resize(2, ' ');
    return id;
}

py::tuple failed(int code, int outputs) {
    py::tuple result(static_cast<std::size_t>(outputs + 1));
    result[0] = code;
    for (int i = 1; i <= outputs; ++i) result[static_cast<std::size_t>(i)] = py::none();
    return result;
}

// The end of a walk is an answer, not a refusal; the other codes are
// reported like any refused call.
py::tuple walk_failed(const char* function, int code, int bus, int outputs) {
    if (code == static_cast<int>(WalkCode::kBusNotFound)) {
        report_refusal(function, code, "bus " + std::to_string(bus) + " does not exist");
    } else if (code == static_cast<int>(WalkCode::kNotStarted)) {
        report_refusal(function, code, "no walk was started at bus " + std::to_string(bus));
    }
    return failed(code, outputs);
}

py::tuple start_branch_walk(const CallArguments& a) {
    const int bus = required_int(a, "inibrn_2", "ibus");
    const int node = int_arg(a, "inode").value_or(0);
    const int single = int_arg(a, "single").value_or(1);
    if (!case_in_memory("inibrn_2")) return failed(kNoCaseCode, 1);
    const auto started =
        session().walks().start_branches(session().current_case(), session().case_index(), bus, node, single);
    if (started.code != 0) return failed(report_refusal("inibrn_2", started.code, started.message), 1);
    return py::make_tuple(0, started.count);
}

py::tuple next_branch(const CallArguments& a) {
    const int bus = required_int(a, "nxtbrn_2", "ibus");
    if (!case_in_memory("nxtbrn_2")) return failed(kNoCaseCode, 3);
    const auto next = session().walks().next_branch(session().current_case(), session().case_index(), bus);
    if (next.code != 0) return walk_failed("nxtbrn_2", next.code, bus, 3);
    return py::make_tuple(0, next.branch.far_bus, 0, padded(next.branch.ckt));
}

py::tuple next_three_winding(const CallArguments& a) {
    const int bus = required_int(a, "nxtbrn3_2", "ibus");
    if (!case_in_memory("nxtbrn3_2")) return failed(kNoCaseCode, 5);
    const auto next =
        session().walks().next_three_winding(session().current_case(), session().case_index(), bus);
    if (next.code != 0) return walk_failed("nxtbrn3_2", next.code, bus, 5);
    const ThreeWindingAtBus& t = next.transformer;
    return py::make_tuple(0, t.second_bus, 0, t.third_bus, 0, padded(t.ckt));
}

int start_machine_walk(const CallArguments& a) {
    const int bus = required_int(a, "inimac", "ibus");
    if (!case_in_memory("inimac")) return kNoCaseCode;
    const int code = session().walks().start_machines(session().current_case(), session().case_index(), bus);
    return report_refusal("inimac", code, "bus " + std::to_string(bus) + " does not exist");
}

py::tuple next_machine(const CallArguments& a) {
    const int bus = required_int(a, "nxtmac", "ibus");
    if (!case_in_memory("nxtmac")) return failed(kNoCaseCode, 1);
    const auto next = session().walks().next_machine(session().current_case(), session().case_index(), bus);
    if (next.code != 0) return walk_failed("nxtmac", next.code, bus, 1);
    return py::make_tuple(0, padded(next.id));
}

py::tuple bus_data(const CallArguments& a) {
    const int bus = required_int(a, "busdat", "ibus");
    const std::string quantity = text_arg(a, "string").value_or("");
    if (!case_in_memory("busdat")) return failed(kNoCaseCode, 1);
    const BusValue v = bus_value(session().current_case(), session().case_index(), bus, quantity);
    if (v.code != 0) return failed(report_refusal("busdat", v.code, v.message), 1);
    if (const int* i = std::get_if<int>(&v.value)) return py::make_tuple(0, *i);
    return py::make_tuple(0, std::get<double>(v.value));
}

}  // namespace

void register_query_operations(pybind11::module_& m) {
    def_operation(m, "inibrn_2", {int_param("ibus"), int_param("inode"), int_param("single")},
                  start_branch_walk,
                  "Starts the branch and three-winding walks at the bus; single 1 walks in-service elements, "
                  "2 every element. Returns (ierr, number of two-terminal branches).");
    def_operation(m, "nxtbrn_2", {int_param("ibus"), int_param("inode")}, next_branch,
                  "Next line, two-winding transformer or switching device at the bus. "
                  "Returns (ierr, jbus, jnode, ckt); ierr 2 at the end.");
    def_operation(m, "nxtbrn3_2", {int_param("ibus"), int_param("inode")}, next_three_winding,
                  "Next three-winding transformer at the bus. Returns (ierr, jbus, jnode, kbus, knode, ckt); "
                  "ierr 2 at the end.");
    def_operation(m, "inimac", {int_param("ibus")}, start_machine_walk,
                  "Starts the machine walk at the bus. Returns ierr.");
    def_operation(m, "nxtmac", {int_param("ibus")}, next_machine,
                  "Next machine at the bus. Returns (ierr, id); ierr 2 at the end.");
    def_operation(m, "busdat", {int_param("ibus"), text_param("string")}, bus_data,
                  "One value of the bus: BASE, PU, KV, ANGLE (radians), ANGLED, NVLMHI, NVLMLO, EVLMHI, "
                  "EVLMLO, TYPE, AREA, ZONE, OWNER. Returns (ierr, value).");
}

}  // namespace velquin::sim::python
