#include "network_solve.hpp"

#include <string>
#include <vector>

#include "python_helpers.hpp"

namespace velquin::misc {

namespace {

constexpr int kMaxRetries = 6;

// "(101, 205, '1 ')": numbers as written, texts quoted.
py::str connection_text(const std::vector<py::object>& items) {
    py::list parts;
    for (const auto& item : items) parts.append(PyUnicode_Check(item.ptr()) ? py::repr(item) : py::str(item));
    return py::str("({})").format(py::str(", ").attr("join")(parts));
}

// Buses in ascending order followed by the stripped circuit: the same link in either direction.
py::tuple link_key(const std::vector<py::object>& items) {
    py::list buses;
    for (std::size_t i = 0; i + 1 < items.size(); ++i) buses.append(items[i]);
    buses.attr("sort")();
    buses.append(stripped(items.back()));
    return py::tuple(buses);
}

class NetworkSolve {
public:
    NetworkSolve(const py::object& engine, py::str base) : engine_(engine), base_(std::move(base)) {}

    py::object run(const py::object& ordered) {
        for (const auto& connection : py::iter(ordered)) {
            if (is_nonzero(status_)) continue;
            std::vector<py::object> items;
            for (const auto& item : connection) items.push_back(py::reinterpret_borrow<py::object>(item));
            print_line(py::str("Reconnecting buses: {}").format(connection_text(items)));
            if (items.size() != 3 && items.size() != 4) continue;
            const py::tuple key = link_key(items);
            if (contains(seen_links_, key)) continue;
            seen_links_.add(key);
            reconnect(items);
            solve();
            if (is_nonzero(status_)) continue;
            ++saves_;
            engine_.attr("save_case")(py::arg("sfile") = python::join_text(
                                          {base_, py::str("_" + std::to_string(saves_) + ".sav")}));
        }
        if (!is_nonzero(status_))
            engine_.attr("save_case")(py::arg("sfile") =
                                          python::join_text({base_, py::str("_final_solved.sav")}));
        return status_;
    }

private:
    // The far buses come back with their machines set by intgar1 0 and start
    // from the voltage of the bus they are reconnected from.
    void reconnect(const std::vector<py::object>& items) {
        const py::object& first = items.front();
        const py::object magnitude = unpack_exact(
            engine_.attr("get_bus_data")(py::arg("ibus") = first, py::arg("string") = "PU"), 2)[1];
        const py::object angle = unpack_exact(
            engine_.attr("get_bus_data")(py::arg("ibus") = first, py::arg("string") = "ANGLED"), 2)[1];
        for (std::size_t i = 1; i + 1 < items.size(); ++i) {
            const py::object& bus = items[i];
            engine_.attr("reconnect_buses")(bus);
            engine_.attr("ini_mac")(py::arg("ibus") = bus);
            while (true) {
                const auto machine = unpack_exact(engine_.attr("next_mac")(py::arg("ibus") = bus), 2);
                if (is_nonzero(machine[0])) break;
                engine_.attr("change_machine_data")(py::arg("ibus") = bus, py::arg("id") = machine[1],
                                                    py::arg("intgar1") = 0);
            }
            engine_.attr("change_bus_data")(py::arg("ibus") = bus, py::arg("inode") = 0,
                                            py::arg("realar2") = magnitude, py::arg("realar3") = angle);
        }
    }

    void solve() {
        rsol_step();
        check();
        if (!is_nonzero(status_)) {
            rsol_step();
            check();
            engine_.attr("run_load_flow")();
        }
        fnsl_step();
        check();
        for (int retry = 0; is_nonzero(status_) && retry < kMaxRetries; ++retry) {
            engine_.attr("run_load_flow")();
            fnsl_step();
            check();
        }
        rsol_step();
        fnsl_step();
        check();
    }

    void rsol_step() {
        engine_.attr("run_load_flow_rsol")(py::arg("options1") = 1, py::arg("options2") = 2,
                                           py::arg("options6") = 1, py::arg("options7") = 0,
                                           py::arg("options8") = 99, py::arg("options9") = 0,
                                           py::arg("options10") = 0);
    }

    void fnsl_step() {
        engine_.attr("run_load_flow_fnsl")(py::arg("options1") = 2, py::arg("options4") = 1,
                                           py::arg("options5") = 1, py::arg("options6") = 0,
                                           py::arg("options7") = 99, py::arg("options8") = 0);
    }

    void check() { status_ = engine_.attr("check_solved")(); }

    py::object engine_;
    py::str base_;
    py::set seen_links_;
    py::object status_ = py::int_(0);
    long saves_ = 0;
};

// The base path as text; path objects are accepted too.
py::str base_path(const py::object& sav_file_name) {
    const py::object path = py::module_::import("os").attr("fspath")(sav_file_name);
    if (!PyUnicode_Check(path.ptr())) throw py::type_error("sav_file_name must be a text path");
    return py::reinterpret_borrow<py::str>(path);
}

}  // namespace

py::object solve_the_network(const py::object& psseng, const py::object& sav_file_name,
                             const py::object& ordered) {
    NetworkSolve solve(psseng, base_path(sav_file_name));
    return solve.run(ordered);
}

void register_network_solve(py::module_& module) {
    module.def("solve_the_network", &solve_the_network, py::arg("psseng"), py::arg("sav_file_name"),
               py::arg("ordered"), "Reconnects the ordered connections one by one, solving after each.");
}

}  // namespace velquin::misc
