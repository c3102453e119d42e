// PSSE_ENGINE: the one object through which Velquin talks to the
// simulator's API modules. It keeps module handles and the version only;
// which case is open lives in the simulator.
#pragma once

#include <pybind11/pybind11.h>

namespace velquin::ps {

namespace py = pybind11;

struct TransferKind;

class Engine {
public:
    Engine(const py::object& psse_path, const py::object& version);

    // Start-up, cases and saving.
    py::object get_modules();
    py::object init_psse(const py::kwargs& kwargs);
    py::object create_progress_output(const py::kwargs& kwargs);
    py::object open_case(const py::kwargs& kwargs);
    py::object save_case(const py::kwargs& kwargs);
    py::object close_power_flow();
    py::object del_tmp_files();

    // Load-flow solving.
    void run_load_flow();
    void run_load_flow_rsol(const py::kwargs& kwargs);
    void run_load_flow_fnsl(const py::kwargs& kwargs);
    py::object check_solved();

    // Case data and element walks.
    py::object get_case_data(const py::object& case_path);
    py::object get_bus_data(const py::kwargs& kwargs);
    py::object ini_branch_2(const py::kwargs& kwargs);
    py::object get_next_branch_bus(const py::kwargs& kwargs);
    py::object get_next_tx3_bus(const py::kwargs& kwargs);
    py::object ini_mac(const py::kwargs& kwargs);
    py::object next_mac(const py::kwargs& kwargs);

    // Bus and machine changes.
    void disconnect_buses(const py::object& bus_numbers);
    void reconnect_buses(const py::object& bus_numbers);
    py::object change_bus_data(const py::kwargs& kwargs);
    py::object change_machine_data(const py::kwargs& kwargs);

    // Element transfer from a small case into the open case; each returns
    // its status dictionary.
    py::object add_buses(const py::object& small_case, const py::object& main_case_name,
                         const py::object& small_case_name, const py::object& directory);
    py::object add_line_branch(const py::object& small_case, const py::object& main_case_name,
                               const py::object& small_case_name, const py::object& directory);
    py::object add_trn_branch(const py::object& small_case, const py::object& main_case_name,
                              const py::object& small_case_name, const py::object& directory);
    py::object add_gen(const py::object& small_case, const py::object& main_case_name,
                       const py::object& small_case_name, const py::object& directory);
    py::object modify_gen(const py::object& small_case, const py::object& main_case_name,
                          const py::object& small_case_name, const py::object& directory);
    py::object add_fixed_shunt(const py::object& small_case, const py::object& main_case_name,
                               const py::object& small_case_name, const py::object& directory);
    py::object add_switched_shunt(const py::object& small_case, const py::object& main_case_name,
                                  const py::object& small_case_name, const py::object& directory);
    py::object add_load(const py::object& small_case, const py::object& main_case_name,
                        const py::object& small_case_name, const py::object& directory);
    py::object add_induction_machine(const py::object& small_case, const py::object& main_case_name,
                                     const py::object& small_case_name, const py::object& directory);

    py::object psse_path;
    double version = 0.0;
    py::object caspy;
    py::object psspy;

private:
    py::object transfer(const TransferKind& kind, const py::object& small_case,
                        const py::object& main_case_name, const py::object& small_case_name,
                        const py::object& directory);
    // Saves the open case as `directory` joined with the transfer's save name.
    void save_transfer(const py::object& directory, const py::str& save_name);
};

}  // namespace velquin::ps
