#include "integration_run.hpp"

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "bus_numbers_in_use.hpp"
#include "case_names.hpp"
#include "main_case_selection.hpp"
#include "path_resolution.hpp"
#include "python_support.hpp"
#include "renumber_map_files.hpp"
#include "run_observer.hpp"
#include "run_plan.hpp"
#include "run_settings.hpp"
#include "solve_watch.hpp"
#include "transfer_results.hpp"

namespace velquin::main {

namespace {

using Clock = std::chrono::steady_clock;

// A path from the workbook: text is resolved against the file system's
// letter case; anything else is passed on for the callee to judge.
py::object workbook_path(const py::object& value) {
    if (PyUnicode_Check(value.ptr()) || py::hasattr(value, "__fspath__")) return resolve_path(value);
    return value;
}

struct MainCase {
    long index;
    py::str name;
    py::object path;
    BusNumbersInUse buses_in_use;
    bool psse_initialized = false;
};

// What the observer is told about a pair that stops on an error.
struct PairProgress {
    StageTimes stages;
    py::object small_case_name = py::none();
};

// The small case's buses, as renumbered, that the network solve did not
// bring back, leaving out those the main case never got (refused buses).
py::list buses_left_out(const py::object& small_bus_numbers, const py::set& reconnected,
                        const py::set& refused_bus_keys) {
    py::list left_out;
    for (const auto& bus : small_bus_numbers) {
        if (contains(reconnected, bus) || contains(refused_bus_keys, py::str(bus))) continue;
        left_out.append(bus);
    }
    return left_out;
}

class IntegrationRun {
public:
    IntegrationRun(const py::module_& module, const py::object& observer)
        : module_(module), observer_(observer) {}

    void run(const py::object& file_path, const py::object& file_name,
             const py::object& selected_main_cases) {
        reporting_failure([&] { run_all(file_path, file_name, selected_main_cases); },
                          [&](const py::error_already_set& error) { report_run_stop(error); });
    }

private:
    py::object global(const char* name) const { return module_.attr(name); }

    [[noreturn]] static void unbound(const char* description) {
        raise(PyExc_UnboundLocalError, std::string("the software sheet has no '") + description +
                                           "' row under 'attribute description'");
    }

    // What the whole run would handle, for the observer's "run_started": the
    // enabled rows of both tables, the main cases' names and each small
    // case's result folder.
    py::dict run_started_facts(const py::dict& main_cases) const {
        py::list main_case_names;
        for (const auto& [key, entry] : main_cases) {
            main_case_names.append(planned_name(py::reinterpret_borrow<py::object>(entry)["filename"]));
        }
        py::list result_folders;
        for (const auto& [key, entry] : small_cases_) {
            result_folders.append(result_folder_of(py::reinterpret_borrow<py::object>(entry)["parent_path"]));
        }
        return py::dict(py::arg("main_cases") = py::list(main_cases.attr("values")()),
                        py::arg("main_case_names") = main_case_names,
                        py::arg("small_cases") = py::list(small_cases_.attr("values")()),
                        py::arg("result_folders") = result_folders);
    }

    void run_all(const py::object& file_path, const py::object& file_name,
                 const py::object& selected_main_cases) {
        run_stage_ = "read workbook";
        const py::object reader = global("ReadConfigFile")(file_path, file_name);
        const py::object software_rows = reader.attr("get_soft_config_indexed_dict")();
        const py::object main_rows = reader.attr("get_main_config_indexed_dict")();
        const py::object case_rows = reader.attr("get_case_config_indexed_dict")();

        const SoftwareSettings settings = read_software_settings(software_rows);
        const py::dict main_cases = main_case_table(main_rows);
        small_cases_ = small_case_table(case_rows);
        const MainCaseSelection selection(selected_main_cases, py::len(main_cases));
        // The whole workbook's pairs, also in a run limited to some main cases.
        if (observer_.active()) {
            observer_.notify("run_planned",
                             py::dict(py::arg("pairs") = planned_pairs(main_cases, small_cases_)));
        }

        run_stage_ = "start simulator";
        if (!settings.psse_path) unbound("psse_path");
        if (!settings.version) unbound("psse_version");
        init_buses_ = settings.init_buses;
        engine_ = global("PSSE_ENGINE")(py::arg("psse_path") = workbook_path(*settings.psse_path),
                                        py::arg("version") = *settings.version);
        if (observer_.active()) observer_.notify("run_started", run_started_facts(main_cases));

        // Main cases keep their position in the workbook when others are left out.
        long main_index = 0;
        for (const auto& [key, entry] : main_cases) {
            const long index = main_index++;
            if (!selection.contains(static_cast<std::size_t>(index))) continue;
            run_main_case(index, py::reinterpret_borrow<py::object>(key),
                          py::reinterpret_borrow<py::object>(entry));
        }
    }

    void report_run_stop(const py::error_already_set& error) {
        if (stop_reported_ || !observer_.active()) return;  // a pair reported it, or nobody watches
        stop_reported_ = true;
        observer_.notify_during_error(
            "run_stopped",
            py::dict(py::arg("stage") = run_stage_, py::arg("main_index") = main_index_,
                     py::arg("main_case") = main_case_name_, py::arg("error") = error_facts(error)));
    }

    void run_main_case(long main_index, const py::object& key, const py::object& entry) {
        run_stage_ = "read main case";
        main_index_ = py::int_(main_index);
        main_case_name_ = planned_name(entry["filename"]);
        const std::string where = "main case " + text(key);
        const py::str name = case_name(required_cell(entry["filename"], where, "snapshot filename"));
        const py::object path =
            workbook_path(case_path(required_cell(entry["filepath"], where, "snapshot filepath"), name));

        const auto start = Clock::now();
        const py::object main_case_data = engine_.attr("get_case_data")(path);
        const py::object main_bus_table = main_case_data.attr("pssbus");
        observer_.notify("main_case_read",
                         py::dict(py::arg("main_index") = main_index, py::arg("main_case") = name,
                                  py::arg("path") = path, py::arg("seconds") = seconds_since(start)));

        MainCase main_case{main_index, name, path, BusNumbersInUse(main_bus_table)};
        std::size_t small_index = 0;
        for (const auto& [small_key, small_entry] : small_cases_) {
            run_small_case(main_case, small_index++, py::reinterpret_borrow<py::object>(small_key),
                           py::reinterpret_borrow<py::object>(small_entry));
        }
    }

    void run_small_case(MainCase& main_case, std::size_t small_index, const py::object& key,
                        const py::object& entry) {
        PairProgress progress;
        reporting_failure(
            [&] { graft(main_case, small_index, key, entry, progress); },
            [&](const py::error_already_set& error) {
                stop_reported_ = true;
                if (!observer_.active()) return;
                const char* stage = progress.stages.last_started();
                observer_.notify_during_error(
                    "pair_stopped",
                    py::dict(py::arg("main_index") = main_case.index, py::arg("small_index") = small_index,
                             py::arg("main_case") = main_case.name,
                             py::arg("small_case") = progress.small_case_name,
                             py::arg("stage") = stage != nullptr ? stage : "settings",
                             py::arg("error") = error_facts(error)));
            });
    }

    // One pair: the small case is prepared, copied into the main case, its
    // network brought back step by step and the results saved.
    void graft(MainCase& main_case, std::size_t small_index, const py::object& key, const py::object& entry,
               PairProgress& progress) {
        const auto start = Clock::now();
        StageTimes& stages = progress.stages;
        const std::string where = "small case " + text(key);
        const py::str& main_case_name = main_case.name;
        const py::str small_case_name =
            case_name(required_cell(entry["filename"], where, "name of case to be added"));
        progress.small_case_name = small_case_name;
        const py::object small_case_path = workbook_path(case_path(
            required_cell(entry["filepath"], where, "filepath of case to be added"), small_case_name));

        py::print(std::string(59, '*'));
        py::print(join_text({py::str("Processing "), main_case_name, py::str(" with "), small_case_name}));
        py::print(small_case_path);
        py::object result_folder = py::none();
        if (observer_.active()) {
            result_folder = result_folder_of(entry["parent_path"]);
            observer_.notify(
                "pair_started",
                py::dict(py::arg("main_index") = main_case.index, py::arg("small_index") = small_index,
                         py::arg("main_case") = main_case_name, py::arg("small_case") = small_case_name,
                         py::arg("small_case_path") = small_case_path,
                         py::arg("result_folder") = result_folder));
        }

        const py::object connecting_bus =
            connecting_bus_number(entry["connecting_bus"], "small case '" + text(small_case_name) + "'");
        const py::object parent_path = required_cell(entry["parent_path"], where, "parent_path");
        if (!main_case.buses_in_use.contains(connecting_bus)) {
            // Nothing of the small case could be brought back from a bus the
            // main case does not have: its buses would stay out of service
            // while the solve reported success.
            raise(PyExc_ValueError, "small case '" + text(small_case_name) + "': the connecting bus " +
                                        text(connecting_bus) + " is not a bus of main case '" +
                                        text(main_case_name) + "'");
        }

        py::object small_case =
            stages.time("read", [&] { return engine_.attr("get_case_data")(small_case_path); });

        py::object renumber_map;
        stages.time("renumber", [&] {
            small_case.attr("pssbus") =
                global("exclude_connecting_bus")(small_case, small_case.attr("pssbus"), connecting_bus);
            const py::object small_bus_table = small_case.attr("pssbus");
            small_case.attr("pssbus") =
                global("remove_internal_psse_buses")(small_bus_table, small_bus_table);
            auto [renumbered, map] = unpack_pair(global("renumber_buses")(
                small_case, small_case.attr("pssbus"), main_case.buses_in_use.table(), connecting_bus));
            small_case = renumbered;
            renumber_map = map;
        });

        const py::object directory = stages.time("maps", [&] {
            py::object folder =
                make_folder(path_join(path_join(parent_path, small_case_name), main_case_name));
            write_renumber_map_text(
                path_join(folder, join_text({main_case_name, py::str("_renumber_map.txt")})), renumber_map);
            write_renumber_map_json(
                path_join(folder, join_text({main_case_name, py::str("_renumber_map.json")})), renumber_map);
            return folder;
        });

        stages.time("start", [&] {
            if (small_index == 0) {
                if (!init_buses_) unbound("psse_init");
                engine_.attr("init_psse")(py::arg("buses") = py::int_(*init_buses_));
                main_case.psse_initialized = true;
                engine_.attr("open_case")(py::arg("sfile") = main_case.path);
            }
        });
        if (!main_case.psse_initialized) return;

        stages.time("start", [&] {
            engine_.attr("create_progress_output")(
                py::arg("islct") = 2, py::arg("filarg") = path_join(directory, py::str("progress.txt")));
        });

        py::dict statuses;
        stages.time("copy", [&] {
            for (const auto& step : kTransferSteps) {
                statuses[py::str(step.status_section)] =
                    engine_.attr(step.method)(small_case, main_case_name, small_case_name, directory);
            }
        });
        const py::object small_bus_numbers = small_case.attr("pssbus")[py::str("NUM")];
        main_case.buses_in_use.add(small_bus_numbers);

        stages.time("saves", [&] {
            save(path_join(directory, join_text({main_case_name, py::str("_added_"), small_case_name})));
        });
        stages.time("report", [&] {
            global("write_status_report")(path_join(directory, join_text({main_case_name, py::str("_status_"),
                                                                          small_case_name, py::str(".txt")})),
                                          **statuses);
        });

        py::object ordered;
        stages.time("discover", [&] {
            py::list buses_to_walk;
            buses_to_walk.append(connecting_bus);
            for (const auto& number : small_bus_numbers) buses_to_walk.append(number);
            auto [branch_connections, three_winding_connections] =
                unpack_pair(global("find_buses")(buses_to_walk, engine_));
            const py::object all_connections =
                global("organize_connections")(connecting_bus, branch_connections, three_winding_connections);
            ordered = global("enforce_topological_order")(all_connections, connecting_bus);
        });

        stages.time("disconnect", [&] { engine_.attr("disconnect_buses")(py::list(small_bus_numbers)); });
        stages.time("saves", [&] {
            save(path_join(directory,
                           join_text({main_case_name, py::str("_oos_"), small_case_name, py::str(".sav")})));
        });
        stages.time("first solve", [&] {
            engine_.attr("run_load_flow_rsol")(py::arg("options1") = 1, py::arg("options2") = 2,
                                               py::arg("options7") = 2, py::arg("options9") = 1,
                                               py::arg("options10") = 0);
            engine_.attr("check_solved")();
        });
        stages.time("saves", [&] {
            save(path_join(directory, join_text({main_case_name, py::str("_solved_"), small_case_name,
                                                 py::str("_0.sav")})));
        });

        const py::object solve_base_path =
            path_join(directory, join_text({main_case_name, py::str("_solved_"), small_case_name}));
        py::object solve_engine = engine_;
        if (observer_.active()) {
            const py::dict solve_facts(
                py::arg("main_index") = main_case.index, py::arg("small_index") = small_index,
                py::arg("main_case") = main_case_name, py::arg("small_case") = small_case_name,
                py::arg("connections") = py::len(ordered));
            observer_.notify("network_solve_started", solve_facts);
            solve_engine = py::cast(SolveWatch(engine_, py::str(solve_base_path), observer_, solve_facts));
        }
        const py::object solve_status = stages.time("network solve", [&] {
            return global("solve_the_network")(solve_engine, solve_base_path, ordered);
        });
        stages.time("modify generators", [&] {
            engine_.attr("modify_gen")(small_case, main_case_name, small_case_name, directory);
        });

        const bool solved = !truthy(solve_status);
        py::object final_case = py::none();
        stages.time("close", [&] {
            if (solved && small_index + 1 == py::len(small_cases_)) {
                final_case = path_join(resolve_path(parent_path),
                                       join_text({main_case_name, py::str("_solved_.sav")}));
                save(final_case);
                engine_.attr("close_power_flow")();
                engine_.attr("del_tmp_files")();
            }
            engine_.attr("create_progress_output")(py::arg("islct") = 6);
        });

        if (!observer_.active()) return;
        const SolveWatch& watch = solve_engine.cast<const SolveWatch&>();
        const TransferResults transfers = read_transfer_results(statuses);
        py::object failed_connection = py::none();
        py::object failed_position = py::none();
        if (!solved) {
            const py::object last = watch.last_connection(ordered);
            if (!last.is_none()) {
                failed_position = last[py::int_(0)];
                failed_connection = last[py::int_(1)];
            }
        }
        observer_.notify(
            "pair_finished",
            py::dict(py::arg("main_index") = main_case.index, py::arg("small_index") = small_index,
                     py::arg("main_case") = main_case_name, py::arg("small_case") = small_case_name,
                     py::arg("result_folder") = result_folder, py::arg("folder") = directory,
                     py::arg("buses") = py::len(small_bus_numbers),
                     py::arg("renumbered") = py::len(renumber_map), py::arg("connections") = py::len(ordered),
                     py::arg("reconnected") = watch.numbered_saves(), py::arg("ival_lf") = solve_status,
                     py::arg("converged") = solved, py::arg("final_case") = final_case,
                     py::arg("seconds") = seconds_since(start), py::arg("stages") = stages.as_dict(),
                     py::arg("elements") = transfers.elements, py::arg("refused") = transfers.refused,
                     py::arg("buses_out_of_service") = buses_left_out(
                         small_bus_numbers, watch.reconnected_buses(), transfers.refused_bus_keys),
                     py::arg("failed_connection") = failed_connection,
                     py::arg("failed_position") = failed_position));
    }

    void save(const py::object& path) const { engine_.attr("save_case")(py::arg("sfile") = path); }

    py::module_ module_;
    RunObserver observer_;
    py::dict small_cases_;
    py::object engine_;
    std::optional<py::object> init_buses_;
    // Where the run is, for an error outside any pair.
    const char* run_stage_ = "read workbook";
    py::object main_index_ = py::none();
    py::object main_case_name_ = py::none();
    bool stop_reported_ = false;
};

}  // namespace

void run_integration(const py::module_& module, const py::object& file_path, const py::object& file_name,
                     const py::object& observer, const py::object& main_cases) {
    IntegrationRun(module, observer).run(file_path, file_name, main_cases);
}

}  // namespace velquin::main
